// Small helpers shared by the protocol's source files.
#pragma once

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
  explicit TLineReader(TComPort* Port, std::size_t Ahead = kChunk) : Port_(Port), Ahead_(Ahead) {}
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
  std::string Buf_;
  std::size_t Pos_ = 0;
};

// How far an exchange ending with Terminator may read ahead: past the prompt the module says
// nothing until it is sent something, while other terminators (a bootloader's texts, a single
// echoed key) may be followed by more that a later read without purge still wants.
std::size_t ReadAheadFor(const std::string& Terminator);

// Listing lines joined with CR LF.
std::string JoinLines(const TStringList& Lines);

}  // namespace kvxprot
