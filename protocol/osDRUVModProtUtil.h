// Small helpers shared by the protocol's source files.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include "model/MyGlobalUtils.h"
#include "serial/CPort.h"

namespace kvxprot {

// Sets the port's three read timeouts at once (one apply), when they differ from the current ones.
void SetReadTimeouts(TComPort* Port, int Interval, int Multiplier, int Constant);

// Comparisons without regard to case (the model's Windows-1252 table).
bool EndsWithNoCase(const std::string& S, const std::string& Tail);
bool StartsWithNoCase(const std::string& S, const std::string& Head);

// The module refused the command.
bool HasCommandError(const std::string& Reply);

// The point after which an exchange (or a drain of the line) gives up, whatever still arrives:
// its timeout plus the line time of Bytes (10 bits a byte at the port's rate). A real answer of
// fewer bytes never gets there; a line that keeps talking, fast or in a trickle, does.
class TLineBound {
 public:
  TLineBound(const TComPort* Port, int TimeoutMs, std::size_t Bytes);
  bool Passed() const { return std::chrono::steady_clock::now() >= End_; }

 private:
  std::chrono::steady_clock::time_point End_;
};

// The reading side of one exchange: each read from the port takes what has arrived (up to
// Ahead bytes, at most), and the exchange takes it a character at a time. The silence timeout is
// the port's, set by the caller: it bounds the wait for the next character whenever nothing read
// is left. What is read and not taken when the exchange ends is gone; an exchange that reads
// ahead must end where the module falls silent (its prompt) or be followed by a purge.
class TLineReader {
 public:
  // Reads a chunk at a time, at most Ahead bytes (1: nothing past the character asked for).
  // With a Gather pause, a read that follows a piece of the answer first gives the rest that
  // long to arrive, so that it is taken in a few reads rather than one wake-up per character.
  explicit TLineReader(TComPort* Port, std::size_t Ahead = kChunk,
                       std::chrono::microseconds Gather = {})
      : Port_(Port), Ahead_(Ahead), Gather_(Gather) {}
  // The next character; false when the line stayed silent for the timeout.
  bool Next(char& C) {
    if (Pos_ >= Buf_.size() && !Fill()) return false;
    C = Buf_[Pos_++];
    return true;
  }

  static constexpr std::size_t kChunk = 512;

 private:
  bool Fill();
  TComPort* Port_;
  std::size_t Ahead_;
  std::chrono::microseconds Gather_;
  std::string Buf_;
  std::size_t Pos_ = 0;
};

// The Gather pause of a poll's reader: the line time of four characters at the port's rate, at
// most 2 ms. A poll repeats at a fixed period with time to spare; what it saves is the wake-ups
// of reading an answer character by character as the line brings it.
std::chrono::microseconds GatherPause(const TComPort* Port);

// Sets a flag for as long as it lives, also when its scope is left early (Busy during a scope
// poll, the gathered reads of a poll).
class TFlagScope {
 public:
  explicit TFlagScope(std::atomic<bool>& Flag) : Flag_(Flag) { Flag_ = true; }
  ~TFlagScope() { Flag_ = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  std::atomic<bool>& Flag_;
};

// How far an exchange ending with Terminator may read ahead: past the prompt the module says
// nothing until it is sent something, while other terminators (a bootloader's texts, a single
// echoed key) may be followed by more that a later read without purge still wants.
std::size_t ReadAheadFor(const std::string& Terminator);

// Listing lines joined with CR LF.
std::string JoinLines(const TStringList& Lines);

}  // namespace kvxprot
