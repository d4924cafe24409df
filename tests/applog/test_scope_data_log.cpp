// The scope data log file: header blocks and data lines in their fixed format, a file that is
// only appended to, and a file name that the window thread changes while the poll thread writes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <regex>
#include <thread>

#include "TestTempDir.h"
#include "model/FileTestUtil.h"
#include "app/KVXScopeDataLog.h"
#include "model/osDRUVModProtBase.h"

namespace {

// The file's lines; false when a line does not end with CR LF.
bool SplitCrLf(const std::string& text, std::vector<std::string>& lines) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) return false;
    lines.push_back(text.substr(start, end - start));
    if (lines.back().find_first_of("\r\n") != std::string::npos) return false;
    start = end + 2;
  }
  return true;
}

TASCIIProcDataObj Sample(int value) {
  TASCIIProcDataObj s(nullptr, 0, false, 0);
  s.Value = value;
  return s;
}

const std::regex kStamp(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d:\d{3})");

TEST(ScopeDataLog, TwoRunsAppendTwoHeaderBlocksAndTheirDataLines) {
  testutil::TempDir dir;
  TScopeDataLog log;
  log.SetFileName(dir.File("scope.txt"));
  const TASCIIProcDataObj a = Sample(100), b = Sample(-57), c = Sample(1234567890);
  for (int run = 0; run < 2; ++run) {
    log.CreateScopeDataFile();
    log.WriteScopeDataHeader({"SINE", "---", "Temp \xB0" "C", "AVeryLongSignalName"});
    log.AppendScopeData(&a, nullptr, &b, nullptr);
    log.AppendScopeData(nullptr, &c, nullptr, nullptr);
  }
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitCrLf(filetest::ReadAll(dir.File("scope.txt")), lines));
  ASSERT_EQ(lines.size(), 12u);
  const std::string rule(63, '=');
  for (int run = 0; run < 2; ++run) {
    const std::string* l = &lines[static_cast<std::size_t>(run * 6)];
    EXPECT_EQ(l[0], "");
    EXPECT_EQ(l[1], rule);
    ASSERT_GE(l[2].size(), 23u);
    EXPECT_TRUE(std::regex_match(l[2].substr(0, 23), kStamp)) << l[2];
    EXPECT_EQ(l[2].substr(23), "      SINE       ---   Temp \xB0" "CAVeryLongSignalName");
    EXPECT_EQ(l[3], rule);
    EXPECT_TRUE(std::regex_match(l[4].substr(0, 23), kStamp)) << l[4];
    EXPECT_EQ(l[4].substr(23), "       100       ---       -57       ---");
    EXPECT_EQ(l[5].substr(23), "       ---1234567890       ---       ---");
  }
}

TEST(ScopeDataLog, NoNameWritesNothingAndABadNameOrDeletedFileIsHandled) {
  testutil::TempDir dir;
  TScopeDataLog log;
  const TASCIIProcDataObj a = Sample(1);
  EXPECT_NO_THROW(log.CreateScopeDataFile());
  log.WriteScopeDataHeader({"a", "b", "c", "d"});
  log.AppendScopeData(&a, &a, &a, &a);
  EXPECT_TRUE(dir.Entries().empty());

  for (const std::string& bad : {dir.File("no/such/folder.txt"), dir.Path()}) {
    log.SetFileName(bad);
    try {
      log.CreateScopeDataFile();
      ADD_FAILURE() << bad;
    } catch (const EScopeDataFile& e) {
      EXPECT_EQ(std::string(e.what()), "Datei " + bad + " konnte nicht erstellt werden.");
    }
  }
  // A file deleted while the scope runs is not created again.
  log.SetFileName(dir.File("gone.txt"));
  log.CreateScopeDataFile();
  ASSERT_EQ(::unlink(dir.File("gone.txt").c_str()), 0);
  log.AppendScopeData(&a, &a, &a, &a);
  EXPECT_TRUE(dir.Entries().empty());
}

// The poll thread appends while the window thread switches the file name back and forth: every
// line lands whole in one of the files (run under ThreadSanitizer in CI).
TEST(ScopeDataLog, AppendingWhileTheNameChangesOnAnotherThread) {
  testutil::TempDir dir;
  const std::string one = dir.File("one.txt"), two = dir.File("two.txt");
  TScopeDataLog log;
  for (const std::string& f : {one, two}) {
    log.SetFileName(f);
    log.CreateScopeDataFile();
  }
  std::atomic<bool> stop{false};
  std::atomic<int> written{0};
  std::thread poll([&] {
    const TASCIIProcDataObj s = Sample(42);
    while (!stop) {
      log.AppendScopeData(&s, nullptr, &s, nullptr);
      ++written;
    }
  });
  for (int i = 0; i < 400 || written < 200; ++i) log.SetFileName(i % 2 ? one : two);
  stop = true;
  poll.join();
  std::size_t total = 0;
  for (const std::string& f : {one, two}) {
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitCrLf(filetest::ReadAll(f), lines)) << f;
    for (const std::string& l : lines)
      EXPECT_EQ(l.substr(23), "        42       ---        42       ---");
    total += lines.size();
  }
  EXPECT_EQ(total, static_cast<std::size_t>(written.load()));
}

}  // namespace
