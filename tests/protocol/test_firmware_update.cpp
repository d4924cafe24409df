// Firmware updates through the module's bootloader: the whole update as the assistant runs it, in
// full and in half duplex, with an S19 file made by srec_cat; the image the bootloader received
// compared byte for byte with the file; updates cut short (silent bootloader, unplugged adapter,
// a broken file, a pipe in place of a file); the terminal-driven bootloader mode and the sending of a text file.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>

#include "ModesTestUtil.h"
#include "TestTempDir.h"
#include "protocol/osDRUVModProtUtil.h"
#include "protocol/osS19File.h"

namespace prottest {
namespace {

using testutil::TempDir;

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool HaveSrecCat() { return std::system("srec_cat --version >/dev/null 2>&1") == 0; }

constexpr std::uint32_t kLoadAddress = 0x8000;

// A random firmware image and its S19 file made by srec_cat (lines end with LF alone).
struct Firmware {
  std::vector<std::uint8_t> Image;
  std::string S19Path;
};

// With PlainOutput the file is srec_cat's plain output: a count record (S5) last, no end record.
bool MakeFirmware(const TempDir& dir, std::size_t size, Firmware& fw, bool PlainOutput = false) {
  std::mt19937 rng(4711);
  fw.Image.resize(size);
  for (auto& b : fw.Image) b = static_cast<std::uint8_t>(rng());
  const std::string bin = dir.File("fw.bin");
  fw.S19Path = dir.File("fw.s19");
  if (!WriteFile(bin, std::string(fw.Image.begin(), fw.Image.end()))) return false;
  // With its start address: the end record the bootloader finishes programming on.
  const std::string cmd = "srec_cat '" + bin + "' -binary -offset 0x8000 -o '" + fw.S19Path +
                          "' -motorola" +
                          (PlainOutput ? "" : " -execution-start-address=0x8000") +
                          " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// The file as the bootloader line gets it: line feeds and backspaces left out, a line ending
// in a line feed alone ended by a carriage return.
std::string AsSentOnTheLine(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      if (i == 0 || text[i - 1] != '\r') out.push_back('\r');
    } else if (c != '\b') {
      out.push_back(c);
    }
  }
  return out;
}

class FirmwareUpdate : public ModuleFixture {
 protected:
  void Start(bool hdx) { Start(modsim::ModuleOptions{.HalfDuplex = hdx}); }
  void Start(const modsim::ModuleOptions& options, bool detection = false) {
    StartModule(options);
    prot->SetAutoBaudDetection(detection);
    prot->SetTerminal(&terminal);
    Identify();
    ASSERT_TRUE(prot->ModuleLoaded());
    sim->Module().ClearRecords();
  }

  // Waits until the module's answer to a raw command (up to its prompt) is in, and takes it.
  std::string DrainAnswer() {
    std::string got;
    try {
      kvxprot::SetReadTimeouts(prot->Port(), static_cast<int>(platform::MAXDWORD), 0, 2000);
      std::string c;
      while (got.empty() || got.back() != '>') {
        if (prot->Port()->ReadText(c, 1) <= 0) break;
        got += c;
      }
    } catch (...) {
    }
    return got;
  }

  RecordingTerminal terminal;
  TempDir dir;
};

class FullUpdate : public FirmwareUpdate, public ::testing::WithParamInterface<bool> {};

TEST_P(FullUpdate, TheBootloaderReceivesTheFileByteForByte) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
  const bool hdx = GetParam();
  Start(hdx);
  // Every byte takes its line time: the bootloader loses a record that comes while it still
  // writes the one before, so the pause after each record is measured as on a real line.
  sim->SetPacing(true);
  Firmware fw;
  ASSERT_TRUE(MakeFirmware(dir, 2000, fw));
  const std::string text = ReadFile(fw.S19Path);
  ASSERT_NE(text.find('\n'), std::string::npos);

  // As the update assistant runs it.
  ASSERT_TRUE(prot->BootloaderStep(0));
  EXPECT_TRUE(sim->Module().InBootloader());
  EXPECT_FALSE(prot->ModuleLoaded());  // the command model is empty during an update
  if (!hdx) {
    EXPECT_EQ(prot->BaudRate(), mb57600);
    EXPECT_EQ(prot->Port()->BaudRate(), br57600);
  }
  ASSERT_TRUE(TKVXModCommProt::CheckFirmwareFile(fw.S19Path));
  ASSERT_TRUE(prot->BootloaderStep(2));
  EXPECT_EQ(sim->Module().FlashEraseCount(), 1);
  ASSERT_TRUE(prot->BootloaderStep(3));

  std::vector<std::pair<std::int64_t, std::int64_t>> progress;
  ASSERT_TRUE(prot->SendFirmwareFile(
      fw.S19Path, [&](std::int64_t pos, std::int64_t max) { progress.emplace_back(pos, max); }));

  // Byte for byte: the text the bootloader read and the image it programmed.
  EXPECT_EQ(sim->Module().S19Text(), AsSentOnTheLine(text));
  const auto flash = sim->Module().FlashImage();
  ASSERT_EQ(flash.size(), fw.Image.size());
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i < fw.Image.size(); ++i) {
    const auto it = flash.find(kLoadAddress + static_cast<std::uint32_t>(i));
    if (it == flash.end() || it->second != fw.Image[i]) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0u);

  // The progress reached its end with the last byte, never going back.
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), std::make_pair(static_cast<std::int64_t>(text.size()),
                                            static_cast<std::int64_t>(text.size())));
  for (std::size_t i = 1; i < progress.size(); ++i)
    EXPECT_LE(progress[i - 1].first, progress[i].first);

  // Back to the application at the fixed rate; it answers the identification again.
  ASSERT_TRUE(prot->BootloaderStep(1));
  EXPECT_FALSE(sim->Module().InBootloader());
  EXPECT_EQ(prot->BaudRate(), prot->FixBaudrate());
  // In full duplex the application's answer to the "ID" sent after leaving waits in the line.
  if (!hdx) {
    EXPECT_NE(DrainAnswer().find("KVX-SIM"), std::string::npos);
  }
  std::string id;
  EXPECT_TRUE(prot->IdentifyModule(id));
}

INSTANTIATE_TEST_SUITE_P(Duplex, FullUpdate, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "HalfDuplex" : "FullDuplex"; });

TEST_F(FirmwareUpdate, ASilentBootloaderAbortsTheUpdate) {
  Start(false);
  ASSERT_TRUE(prot->BootloaderStep(0));
  ASSERT_TRUE(prot->BootloaderStep(2));
  ASSERT_TRUE(prot->BootloaderStep(3));
  sim->SetSilent(true);
  const std::string file = dir.File("small.s19");
  ASSERT_TRUE(WriteFile(file, "S1050000AABB95\r\nS9030000FC\r\n"));
  EXPECT_FALSE(prot->SendFirmwareFile(file, nullptr));
  EXPECT_FALSE(prot->BootloaderStep(1));
}

// A bootloader that starts its answer and then falls silent has not finished the step: the erase
// or the programming prompt is not reported as done because its first words came.
class StepCutShort : public FirmwareUpdate, public ::testing::WithParamInterface<bool> {};

TEST_P(StepCutShort, IsAFailure) {
  Start(GetParam());
  ASSERT_TRUE(prot->BootloaderStep(0));
  // "\r\nErasing FLASH..." and then more than the erase's 6000 ms of silence.
  sim->Module().SetPauseOnce(18, 6500ms);
  EXPECT_FALSE(prot->BootloaderStep(2));
  // The late end of the erase, before the next key.
  EXPECT_NE(DrainAnswer().find('>'), std::string::npos);
  // "\r\nSend file to Pro" and then more than the 3000 ms the prompt may pause.
  sim->Module().SetPauseOnce(18, 3500ms);
  EXPECT_FALSE(prot->BootloaderStep(3));
}

INSTANTIATE_TEST_SUITE_P(Duplex, StepCutShort, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "HalfDuplex" : "FullDuplex"; });

TEST_F(FirmwareUpdate, AFailedEntryReturnsThePortToTheModulesRate) {
  Start(false);
  sim->SetSilent(true);
  EXPECT_FALSE(prot->BootloaderStep(0));
  EXPECT_EQ(prot->Port()->BaudRate(), br19200);
  EXPECT_EQ(prot->BaudRate(), mb19200);
  EXPECT_TRUE(prot->PortOpen());
}

TEST_F(FirmwareUpdate, ABrokenFileIsRefusedBeforeAnythingIsSent) {
  Start(false);
  ASSERT_TRUE(prot->BootloaderStep(0));
  ASSERT_TRUE(prot->BootloaderStep(3));
  struct Case {
    std::string Text;
    std::string Reason;
  };
  const std::string s1 = "S1050000AABB95\n", s9 = "S9030000FC\n";
  const Case cases[] = {
      {s1 + "hello\n" + s9, "line 2: a line that is not S-record text"},
      {"S1050000AABB96\n" + s9, "line 1: a record whose checksum does not match"},
      {"S1050000AABG95\n", "line 1: a line that is not S-record text"},  // not hex
      {"S1060000AABB95\n", "line 1: a line that is not S-record text"},  // wrong byte count
      {"S1050000AABB95\x1A\n" + s9, "line 1: a line that is not S-record text"},  // ^Z inside
      {"\n \n\x1A", "it holds no S-record"},
      {"S10200FD\n" + s9, "line 1: a record too short for its own address"},
      // Two files joined: what follows the first end record would be the bootloader's keys.
      {s1 + s9 + "\n" + s1 + s9, "line 4: a record after the end record (S7, S8, S9)"},
      {"S00600004844521B\n" + s9, "no data record (S1, S2, S3)"},  // a header alone
      {s1 + s1 + "S5030001FB\n",
       "line 3: a count record (S5, S6) that does not match the number of data records before it"},
      {s1 + s1 + "S604000001FA\n",
       "line 3: a count record (S5, S6) that does not match the number of data records before it"},
      // Joined 32-bit and 24-bit files: S7 and S8 end a file as S9 does.
      {"S309000080000001020370\nS705000080007A\nS309000080000001020370\n",
       "line 3: a record after the end record (S7, S8, S9)"},
      {"S2080180000001020370\nS8040180007A\nS2080180000001020370\n",
       "line 3: a record after the end record (S7, S8, S9)"},
      // Data records without a data byte: the module would be erased for nothing.
      {"S00600004844521B\nS1031000EC\nS1031010DC\n" + s9,
       "no data byte: its data records (S1, S2, S3) are empty"},
      // 0x1008..0x100F given twice, with other bytes; and the last byte of one record only.
      {s1 + "S1131000000102030405060708090A0B0C0D0E0F64\nS1131008101112131415161718191A1B1C1D1E1F5C\n",
       "line 3: a record that gives an address another byte than an earlier record"},
      {"S1131000000102030405060708090A0B0C0D0E0F64\nS10510101001C9\nS105100F1001CA\n",
       "line 3: a record that gives an address another byte than an earlier record"},
  };
  for (const Case& c : cases) {
    const std::string file = dir.File("bad.s19");
    ASSERT_TRUE(WriteFile(file, c.Text));
    std::string reason;
    EXPECT_FALSE(TKVXModCommProt::CheckFirmwareFile(file, &reason)) << c.Reason;
    EXPECT_EQ(reason, c.Reason);
    EXPECT_FALSE(prot->SendFirmwareFile(file, nullptr)) << c.Reason;
  }
  EXPECT_FALSE(TKVXModCommProt::CheckFirmwareFile(dir.File("missing.s19")));
  EXPECT_FALSE(prot->SendFirmwareFile(dir.File("missing.s19"), nullptr));
  EXPECT_FALSE(TKVXModCommProt::CheckFirmwareFile(dir.Path()));  // a folder
  EXPECT_TRUE(sim->Module().S19Text().empty());

  // A good file with Windows line ends, blanks after its records, no end record and an
  // end-of-file mark: the records go out with carriage returns only.
  const std::string good = dir.File("good.s19");
  ASSERT_TRUE(WriteFile(good, "S1050000AABB95 \r\nS5030001FB\t \r\n\x1A"));
  EXPECT_TRUE(TKVXModCommProt::CheckFirmwareFile(good));
  EXPECT_TRUE(prot->SendFirmwareFile(good, nullptr));
  EXPECT_EQ(sim->Module().S19Text(), "S1050000AABB95\rS5030001FB\r");
  EXPECT_EQ(sim->Module().FlashImage().size(), 2u);
  // Repeats of the same bytes, a record beside another, and a matching 24-bit count pass.
  EXPECT_EQ(CheckS19Text("S113100808090A0B0C0D0E0F1011121314151617DC\n"
                         "S1131000000102030405060708090A0B0C0D0E0F64\n"
                         "S1131000000102030405060708090A0B0C0D0E0F64\nS10510181819A1\nS604000004F7\n"),
            TS19Check::Ok);
  // What the transfer sends ends with the end record, whatever follows it.
  EXPECT_EQ(S19TransferText(s1 + s9 + s1 + "\x1A"), s1 + s9 + std::string(16, '\b'));
}

// A bootloader that answers at once: every step, the confirmation right after the last record
// and the start question right after the leave key. srec_cat's plain output (no end record)
// updates it too; the module is back in its application afterwards.
class ImmediateBootloader : public FirmwareUpdate, public ::testing::WithParamInterface<bool> {};

TEST_P(ImmediateBootloader, UpdatesTheModuleAndLeavesIt) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
  const bool hdx = GetParam();
  // In full duplex the question comes before the line is at the application's rate: only the
  // answer at each rate finds the application, which needs rate detection.
  Start({.HalfDuplex = hdx,
         .EraseTime = 0ms,
         .ProgramPromptTime = 0ms,
         .ProgramTime = 0ms,
         .AppStartTime = 0ms},
        !hdx);
  Firmware fw;
  ASSERT_TRUE(MakeFirmware(dir, 1000, fw, true));
  ASSERT_EQ(ReadFile(fw.S19Path).find("S9"), std::string::npos);
  const std::string quick = dir.File("quick.s19");
  ASSERT_TRUE(WriteFile(quick, "S1050000AABB95\nS9030000FC\n"));

  ASSERT_TRUE(prot->BootloaderStep(0));
  ASSERT_TRUE(prot->BootloaderStep(2));
  ASSERT_TRUE(prot->BootloaderStep(3));
  EXPECT_TRUE(prot->SendFirmwareFile(quick, nullptr));  // confirmed at once
  ASSERT_TRUE(prot->BootloaderStep(2));
  ASSERT_TRUE(prot->BootloaderStep(3));
  EXPECT_TRUE(prot->SendFirmwareFile(fw.S19Path, nullptr));
  const auto flash = sim->Module().FlashImage();
  ASSERT_EQ(flash.size(), fw.Image.size());
  for (std::size_t i = 0; i < fw.Image.size(); ++i)
    ASSERT_EQ(flash.at(kLoadAddress + static_cast<std::uint32_t>(i)), fw.Image[i]) << i;

  ASSERT_TRUE(prot->BootloaderStep(1));
  EXPECT_FALSE(sim->Module().InBootloader());
  EXPECT_EQ(prot->BaudRate(), mb19200);
  DrainAnswer();
  std::string id;
  EXPECT_TRUE(prot->IdentifyModule(id));
}

INSTANTIATE_TEST_SUITE_P(Duplex, ImmediateBootloader, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "HalfDuplex" : "FullDuplex"; });

// Left right after an erase, the module has no application to start: the leave step fails, also
// where the start question is looked for at every rate, and the bootloader is still reached.
class LeaveAfterErase : public FirmwareUpdate, public ::testing::WithParamInterface<bool> {};

TEST_P(LeaveAfterErase, FailsAndTheModuleStaysInItsBootloader) {
  const bool hdx = GetParam();
  Start({.HalfDuplex = hdx, .EraseTime = 0ms, .ProgramTime = 0ms, .AppStartTime = 0ms}, !hdx);
  const std::string file = dir.File("small.s19");
  ASSERT_TRUE(WriteFile(file, "S1050000AABB95\nS9030000FC\n"));
  ASSERT_TRUE(prot->BootloaderStep(0));
  ASSERT_TRUE(prot->BootloaderStep(2));
  EXPECT_FALSE(prot->BootloaderStep(1));
  EXPECT_TRUE(sim->Module().InBootloader());
  ASSERT_TRUE(prot->BootloaderStep(3));
  ASSERT_TRUE(prot->SendFirmwareFile(file, nullptr));
  EXPECT_TRUE(prot->BootloaderStep(1));
  EXPECT_FALSE(sim->Module().InBootloader());
  EXPECT_EQ(sim->Module().FlashEraseCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Duplex, LeaveAfterErase, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "HalfDuplex" : "FullDuplex"; });

// The application starts at its power-on rate, which is neither the fixed rate nor the faster
// rate the tool had moved it to: its start question is garbage at the fixed rate, so the answer
// goes out at each rate, the one found at connect first, and the line stays where it answers.
TEST_F(FirmwareUpdate, LeavingFindsTheApplicationAtItsPowerOnRate) {
  StartModule({.Rate = 38400});
  prot->SetAutoBaudDetection(true);
  prot->SetAutoSetBaudrate(true);
  prot->SetAutoBaudrate(mb115200);
  prot->SetFixBaudrate(mb9600);
  Identify();
  ASSERT_EQ(sim->Rate(), 115200);
  const std::string file = dir.File("small.s19");
  ASSERT_TRUE(WriteFile(file, "S1050000AABB95\nS9030000FC\n"));
  ASSERT_TRUE(prot->BootloaderStep(0));
  ASSERT_TRUE(prot->BootloaderStep(2));
  ASSERT_TRUE(prot->BootloaderStep(3));
  ASSERT_TRUE(prot->SendFirmwareFile(file, nullptr));

  EXPECT_TRUE(prot->BootloaderStep(1));
  EXPECT_FALSE(sim->Module().InBootloader());
  EXPECT_EQ(sim->Rate(), 38400);
  EXPECT_EQ(prot->BaudRate(), mb38400);
  EXPECT_EQ(prot->Port()->BaudRate(), br38400);
  std::string id;
  EXPECT_TRUE(prot->IdentifyModule(id));
}

// A pipe or a device chosen in place of a file: refused at once, never waited on or read forever.
TEST(FirmwareFile, APipeOrADeviceIsRefusedWithoutWaiting) {
  TempDir dir;
  const std::string fifo = dir.File("fw.s19");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& name : {fifo, std::string("/dev/zero")}) {
    auto check = std::async(std::launch::async, [&] {
      std::string text;
      return ReadWholeFile(name, text) || TKVXModCommProt::CheckFirmwareFile(name);
    });
    if (check.wait_for(10s) != std::future_status::ready) {
      ADD_FAILURE() << name << " is still being opened or read";
      // Let a reader blocked in opening the pipe go on, so that the test can end.
      const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    }
    EXPECT_FALSE(check.get()) << name;
  }
  TKVXModCommProt prot;
  EXPECT_FALSE(prot.SendTextFile(fifo));
  EXPECT_FALSE(prot.SendFirmwareFile(fifo, nullptr));
}

TEST_F(FirmwareUpdate, AnAdapterUnpluggedPartWayFailsTheTransfer) {
  if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
  Start(false);
  Firmware fw;
  ASSERT_TRUE(MakeFirmware(dir, 2000, fw));
  ASSERT_TRUE(prot->BootloaderStep(0));
  ASSERT_TRUE(prot->BootloaderStep(2));
  ASSERT_TRUE(prot->BootloaderStep(3));
  bool unplugged = false;
  EXPECT_FALSE(prot->SendFirmwareFile(fw.S19Path, [&](std::int64_t pos, std::int64_t max) {
    if (!unplugged && pos > max / 3) {
      sim->Unplug();
      unplugged = true;
    }
  }));
  EXPECT_TRUE(unplugged);
  EXPECT_TRUE(sim->Module().FlashImage().empty());
}

TEST_F(FirmwareUpdate, StepsNeedAnOpenPortAndAKnownNumber) {
  Start(false);
  prot->SetPortOpen(false);
  for (int step : {1, 2, 3}) EXPECT_FALSE(prot->BootloaderStep(step)) << step;
  EXPECT_FALSE(prot->PortOpen());
  prot->SetPortOpen(true);
  EXPECT_FALSE(prot->BootloaderStep(5));
  EXPECT_FALSE(prot->BootloaderStep(-1));
  EXPECT_TRUE(sim->ReceivedCommands().empty());
  EXPECT_FALSE(sim->Module().InBootloader());
}

// ---- Terminal-driven bootloader and text files -------------------------------------------------

class TerminalBootloader : public FirmwareUpdate, public ::testing::WithParamInterface<bool> {};

TEST_P(TerminalBootloader, SwitchesOnAndOffWithTheDialogueInTheTerminal) {
  const bool hdx = GetParam();
  Start(hdx);
  prot->SetBootloaderMode(true);
  EXPECT_TRUE(prot->GetBootloaderActive());
  EXPECT_EQ(prot->OperatingMode(), 1);
  EXPECT_FALSE(prot->ModuleLoaded());
  EXPECT_TRUE(sim->Module().InBootloader());
  if (!hdx) {
    EXPECT_EQ(prot->BaudRate(), mb57600);
    // The full-duplex bootloader greets a carriage return.
    terminal.Type('\r');
  }
  ASSERT_TRUE(PumpFor([&] { return terminal.text.find("G: Go") != std::string::npos; }));
  EXPECT_NE(terminal.text.find("DRUVTEC bootloader"), std::string::npos);
  // Half duplex: the echoed command word is not shown, only the banner.
  if (hdx) {
    EXPECT_EQ(terminal.text.rfind("\r\nDRUVTEC", 0), 0u) << terminal.text;
  }

  prot->SetBootloaderMode(false);
  EXPECT_FALSE(prot->GetBootloaderActive());
  EXPECT_EQ(prot->BaudRate(), prot->FixBaudrate());
  ASSERT_TRUE(PumpFor([&] { return terminal.text.find("(y/n)?") != std::string::npos; }))
      << terminal.text;
  terminal.Type('y');
  ASSERT_TRUE(PumpFor([&] { return !sim->Module().InBootloader(); }));
}

INSTANTIATE_TEST_SUITE_P(Duplex, TerminalBootloader, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "HalfDuplex" : "FullDuplex"; });

// The classic send in the bootloader: a joined file goes only up to its first end record (what
// follows would be keys, each "1" an erase of the flash), and a stop is not taken once begun.
TEST_F(FirmwareUpdate, AClassicSendEndsWithTheEndRecordAndCannotBeStopped) {
  Start(false);
  prot->SetBootloaderMode(true);
  terminal.Type('\r');
  ASSERT_TRUE(PumpFor([&] { return terminal.text.find("G: Go") != std::string::npos; }));
  terminal.Type('2');
  ASSERT_TRUE(PumpFor([&] { return terminal.text.find("Send file") != std::string::npos; }));
  const std::string file = dir.File("joined.s19");
  ASSERT_TRUE(WriteFile(file, "S1050000AABB95\r\nS9030000FC\r\nS104001011DA\r\nS9030000FC\r\n"));
  prot->OnProgress = [](TObject*, TProgressStep, int, int, bool& Stop) { Stop = true; };
  EXPECT_TRUE(prot->SendTextFile(file));
  EXPECT_FALSE(prot->LastStopped());
  ASSERT_TRUE(PumpFor([&] { return terminal.text.find("Programming done") != std::string::npos; }));
  EXPECT_EQ(sim->Module().S19Text(), "S1050000AABB95\rS9030000FC\r");
  EXPECT_EQ(sim->Module().FlashImage().size(), 2u);
  EXPECT_EQ(sim->Module().FlashEraseCount(), 0);
}

TEST_F(FirmwareUpdate, BootloaderModeOffNeedsAnOpenPort) {
  Start(false);
  prot->SetBootloaderMode(true);
  ASSERT_TRUE(prot->GetBootloaderActive());
  prot->SetPortOpen(false);
  prot->SetBootloaderMode(false);
  EXPECT_TRUE(prot->GetBootloaderActive());
}

TEST_F(FirmwareUpdate, BootloaderModeOnWithAPortThatDoesNotOpenStaysOff) {
  Start(false);
  prot->SetPortOpen(false);
  prot->SetPortName(dir.File("no-such-device"));
  prot->SetBootloaderMode(true);
  EXPECT_FALSE(prot->GetBootloaderActive());
  EXPECT_FALSE(prot->PortOpen());
}

TEST_F(FirmwareUpdate, ATextFileGoesToTheLineLineByLine) {
  Start(false);
  prot->SetOperatingMode(1);
  const std::string file = dir.File("commands.txt");
  // Unix and Windows line ends, and a backspace that is left out.
  ASSERT_TRUE(WriteFile(file, "ID\nAC\bODE\r\n"));
  EXPECT_TRUE(prot->SendTextFile(file));
  EXPECT_EQ(sim->ReceivedCommands(), (std::vector<std::string>{"ID", "ACODE"}));
  ASSERT_TRUE(PumpFor([&] { return terminal.text.find("KVX-SIM") != std::string::npos; }));
  EXPECT_FALSE(prot->SendTextFile(dir.File("missing.txt")));
  prot->SetOperatingMode(0);
}

}  // namespace
}  // namespace prottest
