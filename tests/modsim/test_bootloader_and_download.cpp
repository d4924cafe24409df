// The simulated module's bootloader dialogue, its S-record checks and the parameter download.
#include <gtest/gtest.h>

#include "ModsimTestUtil.h"
#include "tools/modsim/ModuleLogic.h"
#include "tools/modsim/SRecord.h"

using namespace modsim;
using namespace std::chrono_literals;
using modsim_test::Feed;
using modsim_test::FeedOutputs;

namespace {

const char* const kBanner =
    "\r\nDRUVTEC bootloader V1.00\r\n1: FLASH erase command\r\n2: Program FLASH\r\nG: Go\r\n>";

std::string Firmware() {
  return MakeSRecord(0, 0, {'h', 'd', 'r'}) + "\r" + MakeSRecord(1, 0x1000, {1, 2, 3, 4}) + "\r" +
         MakeSRecord(2, 0x020000, {0xAA}) + "\r" + MakeSRecord(9, 0x1000) + "\r";
}

std::string Text(const std::vector<Output>& out) {
  std::string s;
  for (const auto& o : out) s += o.Bytes;
  return s;
}

}  // namespace

TEST(SRecordCheck, GoodBadAndForeignLines) {
  SRecord rec;
  const std::string good = MakeSRecord(1, 0x1234, {0xDE, 0xAD});
  EXPECT_EQ(good, "S1051234DEAD29");
  ASSERT_EQ(ParseSRecord(good, rec), SRecordCheck::Ok);
  EXPECT_EQ(rec.Type, 1);
  EXPECT_EQ(rec.Address, 0x1234u);
  EXPECT_EQ(rec.Data, (std::vector<std::uint8_t>{0xDE, 0xAD}));
  ASSERT_EQ(ParseSRecord(MakeSRecord(3, 0x12345678, {7}), rec), SRecordCheck::Ok);
  EXPECT_EQ(rec.Address, 0x12345678u);
  ASSERT_EQ(ParseSRecord("S9030000FC", rec), SRecordCheck::Ok);
  EXPECT_TRUE(IsEndRecord(rec));

  std::string badSum = good;
  badSum.back() = badSum.back() == '0' ? '1' : '0';
  EXPECT_EQ(ParseSRecord(badSum, rec), SRecordCheck::BadChecksum);
  EXPECT_EQ(ParseSRecord("S40300FC", rec), SRecordCheck::NotSRecord);      // reserved type
  EXPECT_EQ(ParseSRecord("S1061234DEA", rec), SRecordCheck::NotSRecord);   // odd length
  EXPECT_EQ(ParseSRecord("S1061234DEAD29", rec), SRecordCheck::NotSRecord);  // count too big
  EXPECT_EQ(ParseSRecord("S10512G4DEAD29", rec), SRecordCheck::NotSRecord);  // not hex
  EXPECT_EQ(ParseSRecord("Hello", rec), SRecordCheck::NotSRecord);
  EXPECT_EQ(ParseSRecord("", rec), SRecordCheck::NotSRecord);
}

TEST(Bootloader, FullDuplexDialogueProgramsTheFlash) {
  ModuleLogic m(ModuleOptions{.Rate = 38400});
  Feed(m, "GAIN 600\r");  // not saved: lost by the restart

  // The jump: echoed command characters, no answer, then the bootloader's rate.
  auto out = FeedOutputs(m, "BOOTLOADER\r");
  EXPECT_EQ(Text(out), "BOOTLOADER");
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back().SwitchRate, 57600);
  EXPECT_EQ(m.Rate(), 57600);
  EXPECT_TRUE(m.InBootloader());

  EXPECT_EQ(Feed(m, "\r"), kBanner);
  out = FeedOutputs(m, "1");
  EXPECT_EQ(Text(out), "1\r\nErasing FLASH...done\r\n>");
  EXPECT_GT(out.back().Delay.count(), 0);  // erasing takes a moment
  EXPECT_EQ(m.FlashEraseCount(), 1);
  EXPECT_EQ(Feed(m, "2"), "2\r\nSend file to Program");

  // Records bring no echo; the end record brings the verdict, after the last page is written.
  const std::string fw = Firmware();
  const auto t0 = Clock::now();
  out = FeedOutputs(m, fw, t0);
  EXPECT_EQ(Text(out), "\r\nProgramming done\r\n>");
  EXPECT_GE(out.front().Delay.count(), 100);
  EXPECT_EQ(m.S19Text(), fw);
  const std::map<std::uint32_t, std::uint8_t> image{
      {0x1000, 1}, {0x1001, 2}, {0x1002, 3}, {0x1003, 4}, {0x20000, 0xAA}};
  EXPECT_EQ(m.FlashImage(), image);

  // Leaving: echo at 57600, then the application's rate and, a moment later, the question.
  out = FeedOutputs(m, "G");
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out.front().Bytes, "G");
  EXPECT_EQ(m.Rate(), 38400);
  EXPECT_EQ(Text(out), "G\r\nStart application (y/n)?");
  bool switched = false;
  for (const auto& o : out) switched = switched || o.SwitchRate == 38400;
  EXPECT_TRUE(switched);
  EXPECT_EQ(Feed(m, "y"), "y\r\n>");
  EXPECT_FALSE(m.InBootloader());
  EXPECT_EQ(Feed(m, "ID\r"), "ID\r\nKVX-SIM 1.20 2026 4711\r\n>");
  EXPECT_EQ(m.ValueText("GAIN"), "250");
  EXPECT_EQ(m.ReceivedCommands(),
            (std::vector<std::string>{"GAIN 600", "BOOTLOADER", "", "1", "2", "G", "y", "ID"}));
  EXPECT_TRUE(m.Violations().empty());
}

TEST(Bootloader, HalfDuplexStaysAtItsRateAndAnswersAtOnce) {
  ModuleLogic m(ModuleOptions{.Rate = 19200, .HalfDuplex = true});
  auto out = FeedOutputs(m, "BOOTLOADER\r");
  EXPECT_EQ(Text(out), std::string("BOOTLOADER") + kBanner);
  for (const auto& o : out) EXPECT_EQ(o.SwitchRate, 0);
  EXPECT_EQ(Feed(m, "2"), "2\r\nSend file to Program");
  EXPECT_EQ(Feed(m, Firmware()), "\r\nProgramming done\r\n>");
  out = FeedOutputs(m, "G");
  for (const auto& o : out) EXPECT_EQ(o.SwitchRate, 0);
  EXPECT_EQ(Text(out), "G\r\nStart application (y/n)?");
  EXPECT_EQ(m.Rate(), 19200);
  EXPECT_EQ(Feed(m, "y"), "y\r\n>");
  EXPECT_TRUE(m.Violations().empty());
}

TEST(Bootloader, BadRecordsVoidTheImage) {
  ModuleLogic m(ModuleOptions{.HalfDuplex = true});
  Feed(m, "BOOTLOADER\r2");
  Feed(m, Firmware());
  ASSERT_FALSE(m.FlashImage().empty());

  // Bad checksum: the file is broken, the tool is not at fault.
  std::string bad = MakeSRecord(1, 0x2000, {9, 9});
  bad.back() = bad.back() == '0' ? '1' : '0';
  Feed(m, "2");
  EXPECT_EQ(Feed(m, MakeSRecord(1, 0x1000, {5}) + "\r" + bad + "\r" + MakeSRecord(9, 0) + "\r"),
            "\r\nProgramming error\r\n>");
  EXPECT_TRUE(m.FlashImage().empty());
  EXPECT_TRUE(m.Violations().empty());

  // A count record that disagrees with the data records before it: one went missing.
  Feed(m, "2");
  EXPECT_EQ(Feed(m, MakeSRecord(1, 0x10, {1}) + "\r" + MakeSRecord(5, 2) + "\r" + MakeSRecord(9, 0) + "\r"),
            "\r\nProgramming error\r\n>");
  EXPECT_TRUE(m.FlashImage().empty());

  // Not S-record text, and a line feed: a correct tool sends neither.
  Feed(m, "2");
  EXPECT_EQ(Feed(m, "hello\r" + MakeSRecord(1, 0x10, {1}) + "\r\n" + MakeSRecord(9, 0) + "\r"),
            "\r\nProgramming error\r\n>");
  EXPECT_TRUE(m.FlashImage().empty());
  ASSERT_EQ(m.Violations().size(), 2u);
  EXPECT_NE(m.Violations()[0].find("not S-record text"), std::string::npos);
  EXPECT_NE(m.Violations()[1].find("line feed"), std::string::npos);
}

TEST(Bootloader, EndsOfTransferFoundByTime) {
  ModuleLogic m(ModuleOptions{.HalfDuplex = true});
  const auto t0 = Clock::now();
  Feed(m, "BOOTLOADER\r2", t0);
  // The file's last line without a line end: complete, so it counts after a short silence.
  Feed(m, MakeSRecord(1, 0x40, {7}) + "\r" + MakeSRecord(9, 0x40), t0);
  EXPECT_TRUE(m.Poll(t0 + std::chrono::milliseconds(50)).empty());
  EXPECT_EQ(Text(m.Poll(t0 + std::chrono::milliseconds(250))), "\r\nProgramming done\r\n>");
  EXPECT_EQ(m.FlashImage().size(), 1u);

  // No end record (a count record S5 last, as srec_cat writes): the silence after it ends the
  // file, and the image is written.
  Feed(m, "12" + MakeSRecord(1, 0x50, {8, 9}) + "\r" + MakeSRecord(5, 1), t0);
  EXPECT_TRUE(m.Poll(t0 + std::chrono::milliseconds(500)).empty());
  EXPECT_EQ(Text(m.Poll(t0 + std::chrono::milliseconds(1100))), "\r\nProgramming done\r\n>");
  EXPECT_EQ(m.FlashImage(), (std::map<std::uint32_t, std::uint8_t>{{0x50, 8}, {0x51, 9}}));

  // A transfer that stops inside a record fails.
  Feed(m, "2" + MakeSRecord(1, 0x40, {7}) + "\rS10", t0);
  EXPECT_TRUE(m.Poll(t0 + std::chrono::milliseconds(500)).empty());
  EXPECT_EQ(Text(m.Poll(t0 + std::chrono::milliseconds(1100))), "\r\nProgramming error\r\n>");
  EXPECT_TRUE(m.FlashImage().empty());
  EXPECT_EQ(Feed(m, "\r"), kBanner);  // back in the menu
  EXPECT_TRUE(m.Violations().empty());
}

// Writing a record into its flash takes the bootloader a moment after the record's CR: what comes
// meanwhile is lost, and the image with it.
TEST(Bootloader, LosesWhatComesWhileItWritesARecord) {
  ModuleLogic m(ModuleOptions{.HalfDuplex = true});
  const auto t0 = Clock::now();
  const std::string s1 = MakeSRecord(1, 0x10, {1}) + "\r", s9 = MakeSRecord(9, 0) + "\r";
  Feed(m, "BOOTLOADER\r2", t0);
  Feed(m, s1, t0);
  Feed(m, s1, t0 + 2ms);
  EXPECT_EQ(Feed(m, s9, t0 + 20ms), "\r\nProgramming error\r\n>");
  ASSERT_EQ(m.Violations().size(), 1u);
  EXPECT_NE(m.Violations()[0].find("still wrote it"), std::string::npos) << m.Violations()[0];
  Feed(m, "2" + s1, t0 + 30ms);
  Feed(m, s1, t0 + 35ms);
  EXPECT_EQ(Feed(m, s9, t0 + 50ms), "\r\nProgramming done\r\n>");
}

// After an erase "G" starts no application until one is programmed: the bootloader says so and
// stays in its menu at its own rate. A tool's answer to the question it expected, and its search
// for the application, are not counted until the next menu key.
TEST(Bootloader, StartsNoApplicationWhenNothingWasProgrammedAfterTheErase) {
  ModuleLogic m(ModuleOptions{.EraseTime = Millis{0}, .ProgramTime = Millis{0}, .AppStartTime = Millis{0}});
  Feed(m, "BOOTLOADER\r\r1");
  EXPECT_EQ(Feed(m, "G"), "G\r\nChecksum error\r\n>");
  EXPECT_EQ(m.Rate(), 57600);
  EXPECT_EQ(Feed(m, "yID"), "YID");
  EXPECT_TRUE(m.Violations().empty());
  Feed(m, "\ry");
  EXPECT_EQ(m.Violations().size(), 1u);
  // A file without a data byte programs nothing; one with data does.
  EXPECT_EQ(Feed(m, "2" + MakeSRecord(1, 0x1000) + "\r" + MakeSRecord(9, 0) + "\r"),
            "2\r\nSend file to Program\r\nProgramming done\r\n>");
  EXPECT_EQ(Feed(m, "G"), "G\r\nChecksum error\r\n>");
  Feed(m, "\r2" + Firmware());
  EXPECT_EQ(Feed(m, "G"), "G\r\nStart application (y/n)?");
  EXPECT_EQ(m.Violations().size(), 1u);
}

// What follows the end record is no longer the file: the bootloader takes it for its keys, and
// each "1" in it erases the flash just programmed.
TEST(Bootloader, TakesWhatFollowsTheEndRecordForItsKeys) {
  ModuleLogic m(ModuleOptions{.HalfDuplex = true});
  Feed(m, "BOOTLOADER\r2" + Firmware() + MakeSRecord(1, 0x1000, {1}) + "\r");
  EXPECT_EQ(m.FlashEraseCount(), 3);  // S104100001EA
  EXPECT_TRUE(m.FlashImage().empty());
}

// Each delay of the bootloader is an option, 0 included; after "G" the application starts at
// its power-on rate, not at the rate the tool had moved it to before.
TEST(Bootloader, DelaysAreOptionsAndTheApplicationStartsAtItsPowerOnRate) {
  ModuleLogic m(ModuleOptions{.Rate = 19200,
                              .EraseTime = Millis{0},
                              .ProgramPromptTime = Millis{40},
                              .ProgramTime = Millis{0},
                              .AppStartTime = Millis{0}});
  Feed(m, "BR 12\r");
  ASSERT_EQ(m.Rate(), 115200);
  Feed(m, "BOOTLOADER\r\r");
  auto delays = [](const std::vector<Output>& out) {
    long sum = 0;
    for (const auto& o : out) sum += static_cast<long>(o.Delay.count());
    return sum;
  };
  auto out = FeedOutputs(m, "1");
  EXPECT_EQ(Text(out), "1\r\nErasing FLASH...done\r\n>");
  EXPECT_EQ(delays(out), 0);
  EXPECT_EQ(delays(FeedOutputs(m, "2")), 40);
  out = FeedOutputs(m, Firmware());
  EXPECT_EQ(Text(out), "\r\nProgramming done\r\n>");
  EXPECT_EQ(delays(out), 0);
  out = FeedOutputs(m, "G");
  EXPECT_EQ(Text(out), "G\r\nStart application (y/n)?");
  EXPECT_EQ(delays(out), 0);
  EXPECT_EQ(m.Rate(), 19200);
  EXPECT_EQ(Feed(m, "y"), "y\r\n>");
  EXPECT_EQ(m.Rate(), 19200);
  EXPECT_TRUE(m.Violations().empty());
}

TEST(Download, BlockIsCheckedWholeThenApplied) {
  ModuleLogic m;
  EXPECT_EQ(Feed(m, "DOWNLOAD\r"), "DOWNLOAD\r\nready for download!");
  const std::string block = "OPMODE Gain 2;GAIN 700;CURVE:-2 -2000 -1500;AIN1 1 2 3 C;";
  EXPECT_EQ(Feed(m, block + "\r"), "OPMODE GAIN 2;GAIN 700;CURVE:-2 -2000 -1500;AIN1 1 2 3 C;"
                                   "\r\ndownload completed!\r\n>");
  EXPECT_EQ(m.ValueText("OPMODE"), "Gain 2");
  EXPECT_EQ(m.ValueText("GAIN"), "700");
  EXPECT_EQ(m.CurvePoint("CURVE", -2), std::make_pair(-2000, -1500));
  EXPECT_EQ(m.ValueText("AIN1"), "1 2 3 C");
  EXPECT_EQ(m.Downloads(), std::vector<std::string>{block});
  EXPECT_EQ(m.Writes().size(), 4u);

  // One bad item: nothing changes.
  Feed(m, "DOWNLOAD\r");
  EXPECT_EQ(Feed(m, "GAIN 800;SERNO 5\r"), "GAIN 800;SERNO 5\r\ncommand error\r\n>");
  EXPECT_EQ(m.ValueText("GAIN"), "700");
  EXPECT_EQ(m.Writes().size(), 4u);
  // Back to commands afterwards.
  EXPECT_EQ(Feed(m, "GAIN\r"), "GAIN\r\n700\r\n>");
  EXPECT_TRUE(m.Violations().empty());
}
