// The serial link's error texts: the English table, the message forms, and translation through
// the test catalogues in locale/ beside this program (built from tests/serial/*.po).
#include <gtest/gtest.h>
#include <locale.h>

#include "pty_fixture.h"
#include "serial/CPort.h"

using serialtest::ScopedEnv;

namespace {

// Translation needs a locale other than "C" for messages; C.UTF-8 is always there and lets the
// LANGUAGE variable choose the catalogue.
class Translated : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(::setlocale(LC_MESSAGES, "C.UTF-8"), nullptr); }
  void TearDown() override {
    ::unsetenv("LANGUAGE");
    InitComErrorMessages();  // back to the English texts for the tests that follow
    ::setlocale(LC_MESSAGES, "C");
  }
};

}  // namespace

TEST(ErrorTexts, TheTwentyThreeTextsAndTheTwoMessageForms) {
  ScopedEnv language("LANGUAGE", nullptr);
  InitComErrorMessages();
  EXPECT_EQ(ComErrorMessage(1), "Unable to open com port");
  EXPECT_EQ(ComErrorMessage(8), "SetCommTimeouts failed");
  EXPECT_EQ(ComErrorMessage(14), "Cannot set property while connected");
  EXPECT_EQ(ComErrorMessage(19), "Cannot change led state if ComPort is selected");
  EXPECT_EQ(ComErrorMessage(23), "Registry error");
  EXPECT_EQ(ComErrorMessage(0), "");
  EXPECT_EQ(ComErrorMessage(24), "");
  for (int code = 1; code <= 23; ++code) EXPECT_EQ(ComErrorMessage(code), ComErrorSourceText(code));

  const EComPort win = EComPort::CreateWin(3, 5);
  EXPECT_EQ(win.Code(), 3);
  EXPECT_EQ(win.WinCode(), 5);
  EXPECT_STREQ(win.what(), "ReadFile function failed (win error code: 5)");
  const EComPort no = EComPort::CreateNo(4);
  EXPECT_EQ(no.WinCode(), -1);
  EXPECT_EQ(no.Message(), "Invalid Async parameter");
}

TEST_F(Translated, ACatalogueForDefaultTranslatesTextAndSuffixIndependently) {
  ScopedEnv language("LANGUAGE", "de");
  InitComErrorMessages();
  EXPECT_EQ(ComErrorMessage(1), "Schnittstelle kann nicht ge\xF6" "ffnet werden");  // Windows-1252
  EXPECT_STREQ(EComPort::CreateWin(1, 2).what(),
               "Schnittstelle kann nicht ge\xF6" "ffnet werden (Windows-Fehlercode: 2)");
  // Untranslated texts stay English; the suffix is translated on its own.
  EXPECT_STREQ(EComPort::CreateWin(3, 5).what(), "ReadFile function failed (Windows-Fehlercode: 5)");
  // The extra domain "cport" is searched too.
  EXPECT_EQ(ComErrorMessage(5), "PurgeComm-Funktion fehlgeschlagen");
}

TEST_F(Translated, CatalogueTextsAreNeverUsedAsFormats) {
  ScopedEnv language("LANGUAGE", "nl");
  InitComErrorMessages();
  EXPECT_STREQ(EComPort::CreateWin(2, 5).what(), "Schrijven mislukt %s %n %x (foutcode 5, %s)");
  EXPECT_EQ(EComPort::CreateNo(2).Message(), "Schrijven mislukt %s %n %x");
}

TEST_F(Translated, ASuffixThatLostItsNumberFallsBackToEnglish) {
  ScopedEnv language("LANGUAGE", "fr");
  InitComErrorMessages();
  EXPECT_STREQ(EComPort::CreateWin(1, 13).what(), "Impossible d'ouvrir le port (win error code: 13)");
}

TEST_F(Translated, ALanguageWithoutCatalogueKeepsTheEnglishTexts) {
  ScopedEnv language("LANGUAGE", "sv");
  InitComErrorMessages();
  EXPECT_STREQ(EComPort::CreateWin(1, 2).what(), "Unable to open com port (win error code: 2)");
}
