// The main window and its small dialogs as a screen reader meets them, through Qt's
// accessibility interface: every control a user operates has a name to say, without a stray
// blank. (The status lamps' names and states: tests/services/test_led_controls.cpp.)
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTextEdit>
#include <QToolButton>

#include "MainFormTestUtil.h"
#include "app/dialogs/KVXFWUpdateDlg.h"
#include "app/dialogs/KVXSaveScopeDataDlg.h"

namespace {

QAccessibleInterface* Iface(QObject* o) { return QAccessible::queryAccessibleInterface(o); }

QString Name(QObject* o) { return Iface(o) ? Iface(o)->text(QAccessible::Name) : QString(); }

// The label a control is the buddy of, or its group's caption: how a screen reader here names a
// combo box, whose own name is its value (empty while nothing is chosen).
QString LabelOf(QObject* o) {
  QAccessibleInterface* i = Iface(o);
  if (!i) return QString();
  const auto labels = i->relations(QAccessible::Label);
  return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
}

// What a screen reader calls a control.
QString SpokenName(QWidget* w) {
  const QString label = qobject_cast<QComboBox*>(w) ? LabelOf(w) : QString();
  return label.isEmpty() ? Name(w) : label;
}

// What a keyboard reaches; the inner parts of combo and spin boxes speak through their boxes.
bool Operable(QWidget* w) {
  if (!w->isVisible() || w->focusPolicy() == Qt::NoFocus) return false;
  for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
    if (qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p)) return false;
  return qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) ||
         qobject_cast<QAbstractSlider*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
         qobject_cast<QAbstractItemView*>(w) || qobject_cast<QTextEdit*>(w) || qobject_cast<QPlainTextEdit*>(w);
}

void ExpectEveryControlNamed(QWidget* window, const std::string& where) {
  int controls = 0;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (w->window() != window || !Operable(w)) continue;
    ++controls;
    const QString name = SpokenName(w);
    const std::string what = where + ": " + w->metaObject()->className() + " " + w->objectName().toStdString();
    EXPECT_FALSE(name.isEmpty()) << what;
    EXPECT_EQ(name, name.trimmed()) << what;
  }
  EXPECT_GT(controls, 0) << where;
}

class Accessibility : public mftest::MainFormFixture {};

TEST_F(Accessibility, EveryControlOfEveryPageAndDialogHasAName) {
  ASSERT_NO_FATAL_FAILURE(StartIdentified());
  for (int page : {0, 1, 2, 3}) {
    form->ShowPage(page);
    QApplication::processEvents();
    ExpectEveryControlNamed(form.get(), "page " + std::to_string(page));
  }
  EXPECT_EQ(LabelOf(form->CBoxPortSel), "Port");
  EXPECT_EQ(Name(form->SBtnSettings), "Settings");
  // The track bar and its range labels are told apart, also while the labels are empty.
  form->ShowPage(1);
  for (QWidget* w : std::initializer_list<QWidget*>{form->TBarAnaInputs, form->LabelTBarMin, form->LabelTBarMax})
    EXPECT_NE(Name(w), form->GBoxAnaInputs->title()) << w->objectName().toStdString();
  EXPECT_NE(Name(form->LabelTBarMin), Name(form->LabelTBarMax));

  for (int page = 0; page < form->FWUpdateDlg->NB->count(); ++page) {
    form->FWUpdateDlg->NB->setCurrentIndex(page);
    form->FWUpdateDlg->show();
    QApplication::processEvents();
    ExpectEveryControlNamed(form->FWUpdateDlg, "firmware update, page " + std::to_string(page));
  }
  form->FWUpdateDlg->hide();
  form->SaveScopeDataDlg->show();
  QApplication::processEvents();
  ExpectEveryControlNamed(form->SaveScopeDataDlg, "scope data log");
  form->SaveScopeDataDlg->hide();
}

}  // namespace
