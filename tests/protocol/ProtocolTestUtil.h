// Shared pieces of the protocol tests: a simulated module on a pseudo-terminal with a protocol
// component connected to it, and plain fakes of the views.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "protocol/osDRUVModProt.h"
#include "tools/modsim/PtyModule.h"

namespace prottest {

using namespace std::chrono_literals;

// A simulated module and a protocol component whose port names the module's pseudo-terminal.
// The component uses a fixed rate (no detection) unless a test asks for detection.
class ModuleFixture : public ::testing::Test {
 protected:
  void StartModule(modsim::ModuleOptions options = {}) {
    sim = std::make_unique<modsim::PtyModule>(options);
    ASSERT_TRUE(sim->Start()) << sim->LastError();
    prot = std::make_unique<TKVXModCommProt>();
    prot->SetPortName(sim->PortPath());
    prot->SetAutoSetBaudrate(false);
    TModBaudrate idx{};
    ASSERT_TRUE(ModBaudrateFromBits(options.Rate, idx));
    if (options.HalfDuplex) {
      prot->SetTransferMode(tmHalfDuplex);
    }
    prot->SetFixBaudrate(idx);
    prot->SetAutoBaudDetection(false);
    prot->SetBaudRate(idx);
  }

  // Connects at the module's rate (no detection).
  void ConnectFixed() { ASSERT_TRUE(prot->Connect()); }

  // Connects and identifies; the identification text is returned.
  std::string Identify() {
    std::string id;
    EXPECT_TRUE(prot->Connect());
    EXPECT_TRUE(prot->IdentifyModule(id));
    return id;
  }

  void TearDown() override {
    prot.reset();
    if (sim) {
      const auto v = sim->Violations();
      EXPECT_TRUE(v.empty()) << "first violation: " << (v.empty() ? "" : v.front());
      sim.reset();
    }
  }

  template <class T>
  T* Find(const std::string& name) {
    const int i = prot->CommandList()->IndexOf(name);
    return i < 0 ? nullptr : dynamic_cast<T*>(prot->CommandList()->GetObject(i));
  }

  std::unique_ptr<modsim::PtyModule> sim;
  std::unique_ptr<TKVXModCommProt> prot;
};

// Milliseconds since `start`.
inline long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// ---- View fakes ---------------------------------------------------------------------------------

class FakeParamList : public platform::TComponent, public IParamListView {
 public:
  bool Fill(TModCommandList* cmdList, std::uint16_t accessCode) override {
    ++fills;
    lastCode = accessCode;
    lastCount = cmdList ? cmdList->Count() : -1;
    return true;
  }
  bool RefreshValues() override {
    ++refreshes;
    return true;
  }
  void SetOnCmdSendRequest(TCmdSendRequestEvent handler) override { sendRequest = std::move(handler); }

  int fills = 0;
  int refreshes = 0;
  std::uint16_t lastCode = 0;
  int lastCount = -1;
  TCmdSendRequestEvent sendRequest;
};

class FakeMonitor : public platform::TComponent, public IMonitorView {
 public:
  void SetProcessDataStructure(TModProcessData* pd) override { processCount = pd ? pd->Count() : -1; }
  void FireStatusInfoStrucInit(TModStatusInfoData* si) override { statusCount = si ? si->Count() : -1; }
  void NewProcessData(TBaseProcDataObj*) override { ++samples; }
  void FireNewStatusInfo(std::uint16_t) override { ++statusWords; }

  int processCount = -2;
  int statusCount = -2;
  int samples = 0;
  int statusWords = 0;
};

class FakeScope : public platform::TComponent, public IScopeView {
 public:
  void SetProcessDataStructure(TModProcessData* pd) override { processCount = pd ? pd->Count() : -1; }
  void SetEnabled(bool) override {}
  void AddScopeData(TASCIIProcDataObj*, TASCIIProcDataObj*, TASCIIProcDataObj*,
                    TASCIIProcDataObj*) override {}
  void AddProcessData(TBaseProcDataObj*) override {}
  std::uint32_t DataSampleRate() const override { return 50; }
  std::string ChannelSignalName(int) const override { return std::string(); }

  int processCount = -2;
};

}  // namespace prottest

// ---- A scripted peer -----------------------------------------------------------------------------

namespace prottest {

// The far end of a pseudo-terminal that answers every CR it receives with the next scripted
// answer (pieces with a pause before each), and records what arrived. For exact checks of the
// exchange rules where the simulated module would be too well-behaved.
class ScriptedPeer {
 public:
  struct Piece {
    std::string Bytes;
    std::chrono::milliseconds Pause{0};
  };

  ScriptedPeer() {
    int slave = -1;
    if (::openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0) return;
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    path_ = ::ttyname(slave);
    slave_ = slave;  // kept open so the port's close causes no hang-up
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  const std::string& Path() const { return path_; }

  // The answer to the next CR.
  void Answer(std::vector<Piece> pieces) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(std::move(pieces));
  }
  void Answer(const std::string& bytes) { Answer(std::vector<Piece>{{bytes, {}}}); }
  // Sends bytes at once, unasked.
  void Send(const std::string& bytes) { WriteAll(bytes); }

  std::string Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  void WriteAll(const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
      const ssize_t n = ::write(master_, s.data() + done, s.size() - done);
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }
  void Run() {
    char buf[256];
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      if (p.revents & (POLLHUP | POLLERR)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) continue;
      for (ssize_t i = 0; i < n; ++i) {
        std::vector<Piece> answer;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          received_.push_back(buf[i]);
          if (buf[i] != '\r' || answers_.empty()) continue;
          answer = std::move(answers_.front());
          answers_.erase(answers_.begin());
        }
        for (const Piece& piece : answer) {
          if (piece.Pause.count() > 0) std::this_thread::sleep_for(piece.Pause);
          WriteAll(piece.Bytes);
        }
      }
    }
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::vector<Piece>> answers_;
  std::string received_;
};

}  // namespace prottest
