// The simulated module on a pseudo-terminal: the tool opens PortPath() like a serial port and
// talks to a module that answers every command of the line protocol.
//
//   modsim::PtyModule sim;                 // or PtyModule sim({.Rate = 38400, .HalfDuplex = true})
//   ASSERT_TRUE(sim.Start());
//   port.Open(sim.PortPath());             // "/dev/pts/N"
//   sim.SetRate(38400);                    // the module now listens at 38400 bit/s
//   sim.Module().SetSlowDelay(std::chrono::milliseconds(30));
//   ... run the tool ...
//   EXPECT_TRUE(sim.Violations().empty());
//   EXPECT_EQ(sim.Module().ValueText("GAIN"), "500");
//
// The line as the module sees it:
// - The rate the tool set on its side (read from the pty's settings) must equal the module's
//   rate. Bytes sent at another rate arrive as the garbage a real receiver makes of them
//   (MisreadAtRate): the module echoes it and answers a garbled line with "command error"; what
//   the module sends while the rates differ reaches the tool as garbage too.
// - Half duplex: every byte the tool sends comes back at once (the line's own copy), then the
//   module's echo, then (after CR) the answer.
// - Pacing (off by default): every byte in either direction takes its line time, 10 bits at the
//   rate, measured on steady_clock.
// - The server keeps its own descriptor of the slave side open, so the tool may close and reopen
//   the port at will; Unplug() closes the master: the tool then sees a hang-up.
//
// Everything here is thread-safe; the server runs on a thread of its own between Start and Stop.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/modsim/ModuleLogic.h"

namespace modsim {

class PtyModule {
 public:
  explicit PtyModule(ModuleOptions options = {});
  ~PtyModule();
  PtyModule(const PtyModule&) = delete;
  PtyModule& operator=(const PtyModule&) = delete;

  // Opens the pseudo-terminal and starts serving. False (see LastError) when that fails.
  bool Start();
  // Stops serving and closes the pseudo-terminal. Also done by the destructor.
  void Stop();
  bool Running() const;
  std::string PortPath() const;  // the slave side, e.g. "/dev/pts/7"
  std::string LastError() const;

  // The module behind the line: values, records and the behaviour controls.
  ModuleLogic& Module() { return module_; }
  const ModuleLogic& Module() const { return module_; }

  // --- The line -----------------------------------------------------------------------------
  void SetRate(int bitsPerSecond);  // the module's rate (both directions), at once
  int Rate() const;
  void SetHalfDuplex(bool on);
  bool HalfDuplex() const;
  void SetPacing(bool on);
  bool Pacing() const;
  // Pulls the plug: closes the master side. Returns when done; the module stays unplugged.
  void Unplug();
  bool Unplugged() const;
  // Plugs the module in again after Unplug, as a re-plugged adapter: a new pseudo-terminal (so
  // PortPath changes), the same module with its values. False (see LastError) when that fails.
  bool PlugIn();
  // Bytes the tool sent while its rate differed from the module's (the module got garbage).
  std::size_t WrongRateBytes() const;
  // The module is still keeping up a talk (ModuleLogic::SetTalkOnce).
  bool Talking() const;

  // --- Text of the module's own ---------------------------------------------------------------
  // Writes Text as a module that prints on its own (a trace, a log) at the line's pace: Chunk
  // bytes at a time, one chunk every Chunk line times (10 bits per byte at the module's rate),
  // when nothing else is being sent. A chunk that finds the line's buffer full waits for room,
  // and the pace goes on from when it went out. A new stream replaces one still running.
  void StartStream(std::string text, std::size_t chunk = 64);
  struct StreamState {
    std::size_t Sent = 0;
    std::size_t Total = 0;
    int Full = 0;  // chunks that found the line's buffer full
    // From the start until the last byte was on the line (its chunk written, then its line time).
    Clock::duration Took{};
    bool Done() const { return Sent == Total; }
  };
  StreamState Stream() const;

  // --- Shortcuts to Module() ------------------------------------------------------------------
  void SetCmdPrompt(bool on) { module_.SetCmdPrompt(on); }
  void SetSilent(bool on) { module_.SetSilent(on); }
  std::vector<std::string> ReceivedCommands() const { return module_.ReceivedCommands(); }
  std::vector<WriteRecord> Writes() const { return module_.Writes(); }
  std::vector<std::string> Violations() const { return module_.Violations(); }

 private:
  struct InByte;
  struct Pending;
  void Run();
  void Serve();
  void Wake();
  void CloseLine();

  ModuleLogic module_;
  std::atomic<bool> pacing_{false};
  std::atomic<int> talkRate_;  // the rate the module sends at (follows rate switches late)
  std::atomic<std::size_t> wrongRate_{0};
  std::atomic<int> talks_{0};  // talks queued or being sent

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::thread thread_;
  bool running_ = false;
  bool stop_ = false;
  bool unplugRequest_ = false;
  bool threadDone_ = false;  // the server thread has left its loop
  std::atomic<bool> unplugged_{false};
  int master_ = -1;
  int slave_ = -1;  // held open so the tool's close and reopen cause no hang-up
  int wake_ = -1;   // eventfd that interrupts the server's wait
  std::string path_;
  std::string error_;
  // A stream asked for, until the server takes it; then what it has done.
  std::string streamText_;
  std::size_t streamChunk_ = 64;
  bool streamRequest_ = false;
  StreamState stream_;
};

// Text as a module's trace: Bytes bytes of numbered lines of 64 bytes, each ending with CR LF
// (LineEnds), or the same lines with "; " in place of their line ends.
std::string StreamText(std::size_t bytes, bool lineEnds);

}  // namespace modsim
