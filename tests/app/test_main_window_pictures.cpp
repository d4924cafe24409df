// Pictures of the scope page (customer and expert settings) with four live channels and the
// cursors, and of the monitor page with its remote-control group, for docs/ (written when
// KVX_SCREENSHOT_DIR is set). Run with KVX_SCREENSHOT_DIR=docs and look at every picture.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

#include "MainFormTestUtil.h"
#include "views/osDRUVScope.h"

namespace {

using mftest::WaitFor;

class MainWindowPictures : public mftest::MainFormFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartIdentified());
    form->resize(1024, 768);
  }
  std::size_t Points(int channel) {
    TScopePaintThread* t = form->KVXScope->PaintThread();
    std::lock_guard<std::mutex> lock(t->Lock());
    TScopeChannel* c = t->Channels().GetChannel(channel - 1);
    return c ? c->Points.size() : 0;
  }
};

void Choose(QComboBox* box, const QString& text) {
  box->showPopup();
  box->hidePopup();
  const int i = box->findText(text);
  ASSERT_GE(i, 0) << text.toStdString();
  box->setCurrentIndex(i);
  emit box->activated(i);
}

TEST_F(MainWindowPictures, ScopePagesWithFourLiveChannelsAndCursors) {
  form->ShowPage(2);
  const char* names[4] = {"SINE", "RAMP", "PRESS", "TEMP"};
  const char* lower[4] = {"-10", "0", "0", "0"};
  const char* upper[4] = {"10", "100", "500", "50"};
  for (int i = 0; i < 4; ++i) {
    ASSERT_NO_FATAL_FAILURE(Choose(form->CBChCustSignal[i], names[i]));
    ASSERT_NO_FATAL_FAILURE(Choose(form->CBChSignal[i], names[i]));
    ASSERT_NO_FATAL_FAILURE(Choose(form->CBChCustMin[i], lower[i]));
    ASSERT_NO_FATAL_FAILURE(Choose(form->CBChCustMax[i], upper[i]));
  }
  ASSERT_NO_FATAL_FAILURE(Choose(form->CBCustTimeScale, "200"));
  form->BtnStart->click();
  ASSERT_TRUE(WaitFor([&] { return Points(1) >= 40 && Points(4) >= 40; }, 30000));

  const QSize box = form->PBoxScope->size();
  TScopeCusors* c = form->KVXScope->Cursors();
  c->T1->X = box.width() * 45 / 100;
  c->T2->X = box.width() * 70 / 100;
  c->A1->Y = box.height() * 25 / 100;
  c->A2->Y = box.height() * 55 / 100;
  form->KVXScope->SetCursorEnable({ckAmplitude, ckTime});
  TCursorInfo info;
  form->KVXScope->GetCursorInfo(info);
  form->ShowCursorValues(info, true);
  EXPECT_NE(form->PanelText(5), "");
  EXPECT_NE(form->PanelText(6), "");
  const std::uint64_t frames = form->KVXScope->PaintThread()->FrameCount();
  ASSERT_TRUE(WaitFor([&] { return form->KVXScope->PaintThread()->FrameCount() > frames + 1; }));
  QApplication::processEvents();
  dlgtest::SavePicture(form.get(), "main-scope-customer.png");
  form->NBScopeSettings->setCurrentIndex(0);
  QApplication::processEvents();
  dlgtest::SavePicture(form.get(), "main-scope-expert.png");
  form->BtnStopClick();
}

TEST_F(MainWindowPictures, MonitorPageWithTheRemoteControlGroup) {
  form->ShowPage(1);
  form->CBoxRemoteCtrlEnable->click();
  ASSERT_TRUE(form->CBoxRemoteCtrlEnable->isChecked());
  sim->Module().SetDigitalInputs(0x13);
  ASSERT_TRUE(WaitFor([&] { return form->CBDInp[4]->isChecked(); }));
  form->LEditAnaInputsDlbClick(&form->LEditPinX[1]);
  form->TBarAnaInputs->setValue(2500);
  EXPECT_EQ(form->LEditPinX[1].Edit->text(), "2500");
  EXPECT_EQ(form->LabelTBarMax->text(), "10000");
  QApplication::processEvents();  // the layout takes the new range labels
  dlgtest::SavePicture(form.get(), "main-monitor-remote.png");
}

}  // namespace
