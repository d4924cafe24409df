// View fakes that keep what the protocol hands them, for the tests of the operating modes, the
// polls and the terminal. The scope fake is safe on the scope poll's thread.
#pragma once

#include <array>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "ProtocolTestUtil.h"
#include "platform/Threads.h"

namespace prottest {

// Waits on the window thread (serving the calls handed to it) until Done holds.
inline bool PumpFor(const std::function<bool()>& Done,
                    std::chrono::milliseconds Timeout = std::chrono::milliseconds(10000)) {
  return platform::MainThread::PumpUntil(Done, Timeout);
}

class RecordingMonitor : public platform::TComponent, public IMonitorView {
 public:
  struct Sample {
    int Index;
    int Value;
  };
  void SetProcessDataStructure(TModProcessData*) override {}
  void FireStatusInfoStrucInit(TModStatusInfoData*) override {}
  void NewProcessData(TBaseProcDataObj* obj) override {
    if (auto* a = dynamic_cast<TASCIIProcDataObj*>(obj)) samples.push_back({a->Index, a->Value});
  }
  void FireNewStatusInfo(std::uint16_t status) override {
    masks.push_back(status);
    statusTimes.push_back(std::chrono::steady_clock::now());
  }

  std::vector<Sample> samples;
  std::vector<std::uint16_t> masks;
  std::vector<std::chrono::steady_clock::time_point> statusTimes;
};

class RecordingScope : public platform::TComponent, public IScopeView {
 public:
  struct Record {
    bool Present = false;
    int Index = -1;
    int Value = 0;
    TDateTime Stamp = 0;
  };
  using Sample = std::array<Record, 4>;

  explicit RecordingScope(std::array<std::string, 4> channels = {}, std::uint32_t rate = 50)
      : channels_(std::move(channels)), rate_(rate) {}

  void SetProcessDataStructure(TModProcessData*) override {}
  void SetEnabled(bool enabled) override {
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = enabled;
  }
  void AddScopeData(TASCIIProcDataObj* ch1, TASCIIProcDataObj* ch2, TASCIIProcDataObj* ch3,
                    TASCIIProcDataObj* ch4) override {
    Sample s;
    TASCIIProcDataObj* in[4] = {ch1, ch2, ch3, ch4};
    for (int i = 0; i < 4; ++i) {
      if (!in[i]) continue;
      s[i] = Record{true, in[i]->Index, in[i]->Value, in[i]->TimeStamp};
    }
    std::lock_guard<std::mutex> lock(mutex_);
    samples_.push_back(s);
  }
  void AddProcessData(TBaseProcDataObj* obj) override {
    std::lock_guard<std::mutex> lock(mutex_);
    blocks_.push_back(obj ? obj->Values : std::vector<std::int32_t>{});
  }
  std::uint32_t DataSampleRate() const override { return rate_; }
  std::string ChannelSignalName(int channel) const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return channel >= 1 && channel <= 4 ? channels_[static_cast<std::size_t>(channel - 1)]
                                        : std::string();
  }

  std::vector<Sample> Samples() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_;
  }
  std::vector<std::vector<std::int32_t>> Blocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return blocks_;
  }
  bool Enabled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return enabled_;
  }

 private:
  mutable std::mutex mutex_;
  std::array<std::string, 4> channels_;
  std::uint32_t rate_;
  bool enabled_ = false;
  std::vector<Sample> samples_;
  std::vector<std::vector<std::int32_t>> blocks_;
};

class RecordingTerminal : public platform::TComponent, public ITerminalView {
 public:
  void PutChar(char ch) override { text.push_back(ch); }
  void SetOnTerminalInput(TTerminalInputEvent handler) override { input = std::move(handler); }
  // Types a key as the terminal's editor would.
  void Type(char key) {
    std::string response;
    if (input) input(this, key, response);
  }

  std::string text;
  TTerminalInputEvent input;
};

// Counts of a command among the lines the module received.
inline std::size_t CountCommand(const std::vector<std::string>& cmds, const std::string& c) {
  std::size_t n = 0;
  for (const auto& s : cmds)
    if (s == c) ++n;
  return n;
}

}  // namespace prottest
