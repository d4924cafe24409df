// Small helpers shared by the protocol's source files.
#pragma once

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

// Listing lines joined with CR LF.
std::string JoinLines(const TStringList& Lines);

}  // namespace kvxprot
