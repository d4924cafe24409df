// A firmware transfer to the simulated bootloader over a pseudo-terminal paced by the simulated
// module (every byte takes its line time): the time from the first byte to the bootloader's
// confirmation, against the line time of the file plus the 10 ms pause after each record.
//
// The image is 8 KiB in S1 records of 32 data bytes (as srec_cat writes them), with its end
// record. Full duplex talks to the bootloader at 57600 bit/s, half duplex at 19200. The
// simulated bootloader takes 300 ms after the end record to write its last page; that is part
// of the measured time.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "protocol/osDRUVModProt.h"
#include "tools/modsim/PtyModule.h"
#include "tools/modsim/SRecord.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kImageSize = 8192;
constexpr std::size_t kRecordData = 32;

// The S19 text (LF line ends) and its number of records.
std::string MakeS19(std::size_t& records) {
  std::mt19937 rng(17);
  std::string text = modsim::MakeSRecord(0, 0, {'b', 'e', 'n', 'c', 'h'}) + "\n";
  records = 1;
  for (std::size_t off = 0; off < kImageSize; off += kRecordData) {
    std::vector<std::uint8_t> data(kRecordData);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    text += modsim::MakeSRecord(1, static_cast<std::uint32_t>(0x8000 + off), data) + "\n";
    ++records;
  }
  text += modsim::MakeSRecord(9, 0x8000) + "\n";
  ++records;
  return text;
}

void RunFirmware(benchmark::State& state, bool hdx) {
  std::string dir = (std::filesystem::temp_directory_path() / "kvx-fwbench-XXXXXX").string();
  if (!::mkdtemp(dir.data())) {
    state.SkipWithError("no temporary folder");
    return;
  }
  std::size_t records = 0;
  const std::string text = MakeS19(records);
  const std::string file = dir + "/bench.s19";
  std::ofstream(file, std::ios::binary) << text;

  modsim::ModuleOptions options;
  options.Rate = 19200;
  options.HalfDuplex = hdx;
  modsim::PtyModule sim(options);
  if (!sim.Start()) {
    state.SkipWithError("simulated module not reachable");
    return;
  }
  sim.SetPacing(true);
  TKVXModCommProt prot;
  prot.SetPortName(sim.PortPath());
  prot.SetAutoSetBaudrate(false);
  if (hdx) prot.SetTransferMode(tmHalfDuplex);
  prot.SetFixBaudrate(mb19200);
  prot.SetAutoBaudDetection(false);
  prot.SetBaudRate(mb19200);
  if (!prot.Connect()) {
    state.SkipWithError("port did not open");
    return;
  }
  const int rate = hdx ? 19200 : 57600;
  // What goes on the line: every byte but the line feeds, each line ended by a CR.
  std::size_t lineBytes = 0;
  for (char c : text)
    if (c != '\n') ++lineBytes;
  lineBytes += records;
  const double lineTime = static_cast<double>(lineBytes) * 10.0 / rate;
  const double pauses = static_cast<double>(records) * 0.010;

  for (auto _ : state) {
    if (!prot.BootloaderStep(0) || !prot.BootloaderStep(2) || !prot.BootloaderStep(3)) {
      state.SkipWithError("bootloader dialogue failed");
      break;
    }
    const auto t0 = Clock::now();
    const bool ok = prot.SendFirmwareFile(file, nullptr);
    const double total = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!ok) {
      state.SkipWithError("transfer failed");
      break;
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["line_bytes"] = static_cast<double>(lineBytes);
    state.counters["line_time_s"] = lineTime;
    state.counters["line_plus_pauses_s"] = lineTime + pauses;
    state.counters["total_s"] = total;
    state.counters["ratio_to_line_plus_pauses"] = total / (lineTime + pauses);
    state.PauseTiming();
    prot.BootloaderStep(1);
    state.ResumeTiming();
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  if (!sim.Violations().empty()) state.SkipWithError(sim.Violations().front().c_str());
}

void BM_FirmwareFdx57600(benchmark::State& state) { RunFirmware(state, false); }
void BM_FirmwareHdx19200(benchmark::State& state) { RunFirmware(state, true); }

BENCHMARK(BM_FirmwareFdx57600)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FirmwareHdx19200)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
