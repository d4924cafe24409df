// How long the model takes for a module's whole listing and for a long run of replies.
#include <benchmark/benchmark.h>

#include <cstdio>

#include <string>
#include <vector>

#include "model/osDRUVModProtBase.h"

namespace {

// A listing of n lines mixing every kind the parser makes, as a module sends it.
std::vector<std::string> MakeListing(int n) {
  static const char* const templates[] = {
      "3\\2\\PAR%d\\\\Gain of stage %d\\1\\-1000\\1000\\$FFBC",
      "3\\1\\MODE%d\\Off|On|Auto mode|Manual mode\\Operating mode %d\\1\\0\\3\\65535",
      "2\\0\\PV%d\\mA\\Process value %d\\21\\0\\100",
      "2\\10\\ST:Bit%d\\\\Status bit %d\\1\\3\\13\\0",
      "3\\7\\AIN%d\\0|1\\Analog input %d\\1\\-10000\\10000\\1",
      "3\\6\\CC%d\\\\Curve %d\\1\\-10000\\10000\\1",
      "3\\11\\RC:6\\\\Remote %d %d\\1\\-100\\100\\0",
      "1\\5\\SAVE%d\\\\Save data %d\\0\\0\\0\\0",
  };
  std::vector<std::string> lines;
  char buf[256];
  for (int i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, templates[i % 8], i, i);
    lines.emplace_back(buf);
  }
  return lines;
}

void BM_ParseListing2000(benchmark::State& state) {
  const auto lines = MakeListing(2000);
  for (auto _ : state) {
    TModCommandList list;
    for (const auto& l : lines) {
      auto cmd = ParseModCommandLine(l);
      if (cmd) list.Add(cmd.release());
    }
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_ParseListing2000)->Unit(benchmark::kMillisecond);

void BM_CheckReplies100000(benchmark::State& state) {
  const std::string replies[] = {"PAR12 250\r\n>", "AIN3 100,-50,0,V\r\n>", "CC1 -3\r\n-3,-1000,2500\r\n>",
                                 "ID\r\nMOD-1 2.0\r\nCMD>"};
  const std::string cmds[] = {"PAR12", "AIN3", "CC1", ""};
  TStringList lines;
  for (auto _ : state) {
    int ok = 0;
    for (int i = 0; i < 100000; ++i) {
      std::string cmd = cmds[i & 3];
      ok += CheckModAnswer(replies[i & 3], cmd, lines);
    }
    benchmark::DoNotOptimize(ok);
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_CheckReplies100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
