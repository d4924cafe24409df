// How long saving and loading parameter files takes with a large file: 50 modules of 300
// commands each in one ".kvx" file, and one 300-command module as a ".par" file. The ".kvx"
// figures go through the protocol component's offline operations, as the program does. Opening a
// module of the large file, saving one into it and downloading one from it are each meant to
// stay under 60 ms: the user waits for them.
//
// The values of one very large module (5,000 to 40,000 parameters) from a ".kvx" and from a
// ".par" file show how the time grows with the number of names: every value is found by name,
// so it must grow in step with the file, not with its square.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "model/osDRUVKVXCmdDOMStruc.h"
#include "model/osDRUVModProtBase.h"
#include "protocol/osDRUVModProt.h"

namespace {

constexpr int kModules = 50;
constexpr int kCommands = 300;

std::string ModuleId(int m) { return "BENCH-" + std::to_string(m) + " 1.00 2026 " + std::to_string(1000 + m); }

// 300 commands: 20 curves, 20 analog inputs, the rest numbers and texts; plus 4 process values,
// 4 status bits and 5 remote-control inputs.
void FillModule(TModCommandList& cmds, TModProcessData& pd, TModStatusInfoData& st,
                TModRemoteCtrlCommandList& rc, int seed, int commands = kCommands) {
  for (int i = 0; i < commands; ++i) {
    const std::string n = std::to_string(i);
    TModCtrlCommand* c = nullptr;
    if (i < 20) {
      auto* cc = new TModCCParaCmd();
      for (int k = -10; k <= 10; ++k) cc->SetPoint(k, {k * 1000, k * (i + seed)});
      cc->Name = "CC" + n;
      c = cc;
    } else if (i < 40) {
      auto* a = new TModAinParaCmd();
      a->A = i * 10 + seed;
      a->B = -i;
      a->C = 10000;
      a->Name = "AIN" + n;
      c = a;
    } else if (i % 2 == 0) {
      auto* p = new TModNumParaCmd();
      p->Value = i * 7 + seed;
      p->Name = "PAR" + n;
      c = p;
    } else {
      auto* t = new TModTextParaCmd();
      t->VList = {"Low", "Mid value", "High", "Druck in \xB0" "C"};
      t->SetText(t->VList[static_cast<std::size_t>(i + seed) % 4]);
      t->Name = "TXT" + n;
      c = t;
    }
    c->AType = 3;
    c->GCode = 0x0024;
    c->Min = -10000;
    c->Max = 10000;
    c->Help = "Parameter " + n + " of the bench module";
    cmds.Add(c);
  }
  for (int i = 0; i < 4; ++i) {
    auto* p = new TModProcCommand();
    p->Name = "PV" + std::to_string(i);
    p->PhysUnit = "bar";
    pd.Add(p);
    auto* s = new TModStatusBitCommand();
    s->Name = "ST:" + std::to_string(i);
    s->BActive = true;
    s->BIndex = static_cast<std::uint8_t>(i);
    st.Add(s);
  }
  for (const char* pin : {"RC:910", "RC:6", "RC:13", "RC:14", "RC:29"}) {
    auto* r = new TModRemoteCtrlCmd();
    r->Name = pin;
    rc.Add(r);
  }
}

struct BenchDir {
  std::string path;
  BenchDir() {
    char tmpl[] = "/tmp/kvxbench.XXXXXX";
    if (mkdtemp(tmpl)) path = tmpl;
  }
  ~BenchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

// Writes the 50-module file once.
void MakeBigFile(const std::string& file) {
  for (int m = 0; m < kModules; ++m) {
    TModCommandList cmds;
    TModProcessData pd;
    TModStatusInfoData st;
    TModRemoteCtrlCommandList rc;
    FillModule(cmds, pd, st, rc, m);
    TosKVXCmdDOM dom;
    dom.CommandList = &cmds;
    dom.ProcessData = &pd;
    dom.StatusInfo = &st;
    dom.RemoteCtrlList = &rc;
    if (!dom.WriteModulCmds(file, ModuleId(m))) std::abort();
    rc.FreeCommands();
  }
}

// Writing all 50 modules one after the other into a new file (each save rewrites the file).
void BM_KvxWrite50Modules(benchmark::State& state) {
  BenchDir dir;
  for (auto _ : state) {
    const std::string file = dir.path + "/all.kvx";
    std::filesystem::remove(file);
    MakeBigFile(file);
  }
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(dir.path + "/all.kvx")) / 1e6;
}
BENCHMARK(BM_KvxWrite50Modules)->Unit(benchmark::kMillisecond)->Iterations(3);

// Offline load of the last module of the 50-module file (the whole description), as the
// "Load Offline Data" command does.
void BM_KvxOpenModuleDescription(benchmark::State& state) {
  BenchDir dir;
  const std::string file = dir.path + "/all.kvx";
  MakeBigFile(file);
  TKVXModCommProt prot;
  prot.OnModIdSelRequest = [](TObject*, TStringList& ids, int& sel) { sel = static_cast<int>(ids.size()) - 1; };
  for (auto _ : state) {
    if (!prot.OpenModuleDescription(file)) std::abort();
  }
  state.counters["commands"] = prot.CommandList()->Count();
}
BENCHMARK(BM_KvxOpenModuleDescription)->Unit(benchmark::kMillisecond);

// Saving the loaded module back into the 50-module file (replacing its entry).
void BM_KvxSaveIntoBigFile(benchmark::State& state) {
  BenchDir dir;
  const std::string file = dir.path + "/all.kvx";
  MakeBigFile(file);
  TKVXModCommProt prot;
  prot.OnModIdSelRequest = [](TObject*, TStringList&, int& sel) { sel = 25; };
  prot.OnInfoMsg = [](TObject*, TKVXCommProtMsgKind, TModalResult& r) { r = 1; };
  if (!prot.OpenModuleDescription(file)) std::abort();
  for (auto _ : state) {
    if (!prot.SaveParameterXml(file)) std::abort();
  }
}
BENCHMARK(BM_KvxSaveIntoBigFile)->Unit(benchmark::kMillisecond);

// The values of one module of the 50-module file into the loaded module (offline download).
void BM_KvxDownloadValues(benchmark::State& state) {
  BenchDir dir;
  const std::string file = dir.path + "/all.kvx";
  MakeBigFile(file);
  TKVXModCommProt prot;
  prot.OnModIdSelRequest = [](TObject*, TStringList&, int& sel) { sel = 49; };
  if (!prot.OpenModuleDescription(file)) std::abort();
  for (auto _ : state) {
    if (prot.DownloadParameterXml(file) != 0) std::abort();
  }
}
BENCHMARK(BM_KvxDownloadValues)->Unit(benchmark::kMillisecond);

// The ".par" file of one 300-command module: save, and load into the offline module.
void BM_ParSaveAndLoad(benchmark::State& state) {
  BenchDir dir;
  const std::string kvx = dir.path + "/one.kvx";
  const std::string par = dir.path + "/one.par";
  {
    TModCommandList cmds;
    TModProcessData pd;
    TModStatusInfoData st;
    TModRemoteCtrlCommandList rc;
    FillModule(cmds, pd, st, rc, 1);
    TosKVXCmdDOM dom;
    dom.CommandList = &cmds;
    dom.ProcessData = &pd;
    dom.StatusInfo = &st;
    dom.RemoteCtrlList = &rc;
    if (!dom.WriteModulCmds(kvx, ModuleId(1))) std::abort();
    rc.FreeCommands();
  }
  TKVXModCommProt prot;
  if (!prot.OpenModuleDescription(kvx)) std::abort();
  const bool load = state.range(0) != 0;
  if (load && !prot.SaveParameterText(par)) std::abort();
  for (auto _ : state) {
    if (load) {
      if (prot.DownloadParameterText(par, false) != 0) std::abort();
    } else if (!prot.SaveParameterText(par)) {
      std::abort();
    }
  }
  state.SetLabel(load ? "load" : "save");
}
BENCHMARK(BM_ParSaveAndLoad)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One module of Arg parameters, loaded offline from its ".kvx" file; the values are then
// loaded again from the same ".kvx" file or from a ".par" file saved from it.
void LargeModuleDownload(benchmark::State& state, bool par) {
  BenchDir dir;
  const std::string kvx = dir.path + "/large.kvx";
  const std::string txt = dir.path + "/large.par";
  const int commands = static_cast<int>(state.range(0));
  {
    TModCommandList cmds;
    TModProcessData pd;
    TModStatusInfoData st;
    TModRemoteCtrlCommandList rc;
    FillModule(cmds, pd, st, rc, 1, commands);
    TosKVXCmdDOM dom;
    dom.CommandList = &cmds;
    dom.ProcessData = &pd;
    dom.StatusInfo = &st;
    dom.RemoteCtrlList = &rc;
    if (!dom.WriteModulCmds(kvx, ModuleId(1))) std::abort();
    rc.FreeCommands();
  }
  TKVXModCommProt prot;
  if (!prot.OpenModuleDescription(kvx)) std::abort();
  if (par && !prot.SaveParameterText(txt)) std::abort();
  for (auto _ : state) {
    const std::uint8_t r = par ? prot.DownloadParameterText(txt, false) : prot.DownloadParameterXml(kvx);
    if (r != 0) std::abort();
  }
  state.counters["commands"] = prot.CommandList()->Count();
}

void BM_KvxDownloadLargeModule(benchmark::State& state) { LargeModuleDownload(state, false); }
BENCHMARK(BM_KvxDownloadLargeModule)->Arg(5000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_ParDownloadLargeModule(benchmark::State& state) { LargeModuleDownload(state, true); }
BENCHMARK(BM_ParDownloadLargeModule)->Arg(5000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
