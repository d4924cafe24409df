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

// Listing lines joined with CR LF.
std::string JoinLines(const TStringList& Lines);

}  // namespace kvxprot
