// The lamps and the named LED: picture names, the colour translation by name, clicks, height.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QTest>
#include <set>

#include "services/osLED.h"
#include "services/vLED.h"

TEST(LampControl, StartsAsNormalRedOffAndHasTwentyFourDistinctPictures) {
  TvLED led;
  EXPECT_EQ(led.BitmapName(), "ROFF");
  EXPECT_EQ(led.size(), QSize(23, 23));
  led.SetSize(lzSmall);
  led.SetColor(lcGreen);
  EXPECT_EQ(led.BitmapName(), "GOFFS");
  EXPECT_EQ(led.size(), QSize(15, 15));
  led.SetSize(lzBig);
  led.SetColor(lcYellow);
  led.SetState(lsON);
  EXPECT_EQ(led.BitmapName(), "YONB");
  EXPECT_EQ(led.size(), QSize(35, 35));
  std::set<QString> names;
  for (TLEDColor c : {lcYellow, lcRed, lcGreen, lcBlue})
    for (TLEDState s : {lsON, lsOFF})
      for (TLEDSize z : {lzSmall, lzNormal, lzBig}) {
        names.insert(TvLED::LampName(c, s, z));
        const QImage img = TvLED::LampPicture(c, s, z).toImage();
        EXPECT_EQ(img.width(), TvLED::LampPixels(z));
        EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0) << "corners are transparent";
      }
  EXPECT_EQ(names.size(), 24u);
  // A lit lamp is brighter than an unlit one in its middle.
  const QImage on = TvLED::LampPicture(lcRed, lsON, lzNormal).toImage();
  const QImage off = TvLED::LampPicture(lcRed, lsOFF, lzNormal).toImage();
  EXPECT_GT(on.pixelColor(15, 15).value(), off.pixelColor(15, 15).value() + 60);
}

TEST(NamedLed, ColoursTranslateByNameNotByPosition) {
  TosNamedLed led;
  EXPECT_EQ(led.Led()->BitmapName(), "ROFF");
  EXPECT_EQ(led.LedText(), "LED");
  EXPECT_EQ(led.LedLabel()->text(), "LED");
  led.SetColor(TosLedColor::lcGreen);
  led.SetState(TosLedState::lsOn);
  EXPECT_EQ(led.Led()->BitmapName(), "GON");
  EXPECT_EQ(led.Color(), TosLedColor::lcGreen);
  EXPECT_EQ(led.State(), TosLedState::lsOn);
  led.SetColor(TosLedColor::lcYellow);
  EXPECT_EQ(led.Led()->BitmapName(), "YON");
  led.SetColor(TosLedColor::lcBlue);
  EXPECT_EQ(led.Led()->Color(), lcBlue);
  led.SetLedText("Ready");
  EXPECT_EQ(led.LedLabel()->text(), "Ready");
}

TEST(NamedLed, LampOrLabelClickRaisesThePanelsClickOnce) {
  TosNamedLed led;
  led.resize(150, 25);
  led.show();
  std::vector<TObject*> senders;
  led.OnClick = [&](TObject* sender) { senders.push_back(sender); };
  QTest::mouseClick(led.Led(), Qt::LeftButton);
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], static_cast<TObject*>(&led));
  QTest::mouseClick(led.LedLabel(), Qt::LeftButton);
  EXPECT_EQ(senders.size(), 2u);
}

TEST(NamedLed, HeightStaysLampHeightPlusTwo) {
  TosNamedLed led;
  EXPECT_EQ(led.height(), 25);
  EXPECT_EQ(led.width(), 120);
  led.resize(150, 80);
  led.show();
  EXPECT_EQ(led.height(), 25);
  EXPECT_EQ(led.width(), 150);
  EXPECT_EQ(led.LedLabel()->geometry(), QRect(23, 0, 127, 23));
}

// A screen reader meets a lamp as an indicator, checked while it is on; a named LED as one
// indicator named by its text and described by its hint and its lamp.
TEST(NamedLed, ScreenReadersHearTheTextAndWhetherTheLampIsOn) {
  TvLED lamp;
  QAccessibleInterface* bare = QAccessible::queryAccessibleInterface(&lamp);
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->role(), QAccessible::Indicator);
  EXPECT_EQ(bare->text(QAccessible::Name), "Red lamp");
  EXPECT_EQ(bare->text(QAccessible::Description), "off");
  EXPECT_FALSE(bare->state().checked);
  lamp.SetState(lsON);
  EXPECT_TRUE(bare->state().checked);

  TosNamedLed led;
  led.SetLedText("Ready ");
  led.setToolTip("Module ready");
  led.SetColor(TosLedColor::lcGreen);
  QAccessibleInterface* named = QAccessible::queryAccessibleInterface(&led);
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->role(), QAccessible::Indicator);
  EXPECT_EQ(named->text(QAccessible::Name), "Ready");
  EXPECT_EQ(named->text(QAccessible::Description), "Module ready. Green lamp off");
  EXPECT_FALSE(named->state().checked);
  led.SetState(TosLedState::lsOn);
  EXPECT_TRUE(named->state().checked);
  EXPECT_EQ(named->text(QAccessible::Description), "Module ready. Green lamp on");
  EXPECT_EQ(named->childCount(), 0);
}
