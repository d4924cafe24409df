// The command exchange on the line: one command out, the module's echo recognised, the answer
// collected up to its terminator; and the small exchanges built on it.
#include <algorithm>
#include <cstddef>
#include <string>
#include <thread>

#include "platform/Threads.h"
#include "protocol/osDRUVModProt.h"
#include "protocol/osDRUVModProtUtil.h"

namespace {

// Before its echo a module sends at most the echo of the command itself and a line or two; a
// line that keeps talking without ever echoing is another device (or noise), not the module.
constexpr std::size_t kMaxEchoSlack = 4096;

constexpr int kDefaultTimeoutMs = 3000;

int EffectiveTimeout(int TimeoutMs) { return TimeoutMs < 0 ? kDefaultTimeoutMs : TimeoutMs; }

// Every single-character read returns at once when a character is there, else after Ms.
void SetCharTimeouts(TComPort* Port, int Ms) {
  kvxprot::SetReadTimeouts(Port, static_cast<int>(platform::MAXDWORD), 0, Ms);
}

}  // namespace

namespace kvxprot {

bool TLineReader::Fill() {
  if (Gather_.count() > 0 && !Buf_.empty()) std::this_thread::sleep_for(Gather_);
  Pos_ = 0;
  return Port_->ReadText(Buf_, static_cast<int>(Ahead_)) > 0 && !Buf_.empty();
}

std::size_t ReadAheadFor(const std::string& Terminator) {
  return !Terminator.empty() && Terminator.back() == '>' ? TLineReader::kChunk : 1;
}

namespace {

int LineBits(const TComPort* Port) {
  const int bits =
      Port->BaudRate() == brCustom ? Port->CustomBaudRate() : BaudRateValue(Port->BaudRate());
  return bits > 0 ? bits : 110;  // no known rate: the slowest there is
}

}  // namespace

std::chrono::microseconds GatherPause(const TComPort* Port) {
  const long long us = 4LL * 10 * 1'000'000 / LineBits(Port);
  return std::chrono::microseconds(std::min(us, 2000LL));
}

TLineBound::TLineBound(const TComPort* Port, int TimeoutMs, std::size_t Bytes) {
  const int bits = LineBits(Port);
  const long long lineMs = static_cast<long long>(Bytes) * 10 * 1000 / bits + 1;
  End_ = std::chrono::steady_clock::now() +
         std::chrono::milliseconds(std::max(TimeoutMs, 0) + lineMs);
}

void SetReadTimeouts(TComPort* Port, int Interval, int Multiplier, int Constant) {
  const TComTimeouts& cur = Port->Timeouts();
  if (cur.ReadInterval() == Interval && cur.ReadTotalMultiplier() == Multiplier &&
      cur.ReadTotalConstant() == Constant)
    return;
  TComTimeouts t;
  t.Assign(cur);
  t.SetReadInterval(Interval);
  t.SetReadTotalMultiplier(Multiplier);
  t.SetReadTotalConstant(Constant);
  Port->SetTimeouts(t);
}

bool EndsWithNoCase(const std::string& S, const std::string& Tail) {
  if (Tail.size() > S.size()) return false;
  const std::size_t off = S.size() - Tail.size();
  for (std::size_t i = 0; i < Tail.size(); ++i)
    if (UpperCaseAnsiChar(S[off + i]) != UpperCaseAnsiChar(Tail[i])) return false;
  return true;
}

bool StartsWithNoCase(const std::string& S, const std::string& Head) {
  if (Head.size() > S.size()) return false;
  for (std::size_t i = 0; i < Head.size(); ++i)
    if (UpperCaseAnsiChar(S[i]) != UpperCaseAnsiChar(Head[i])) return false;
  return true;
}

bool HasCommandError(const std::string& Reply) {
  return Reply.find("command error") != std::string::npos;
}

}  // namespace kvxprot

// ---- Unit routines ------------------------------------------------------------------------------

bool ExchangeFullDuplex(TComPort* Port, const std::string& Cmd, const std::string& Echo,
                        const std::string& Terminator, std::string& Reply, int TimeoutMs,
                        std::size_t MaxReplyBytes, bool Gather) {
  Reply.clear();
  if (!Port) return false;
  try {
    SetCharTimeouts(Port, EffectiveTimeout(TimeoutMs));
    if (!Port->Connected()) return false;
    Port->PurgeBuffers(true, true);
    Port->WriteText(Cmd);
    // The command, its echo (with what a module may send before it) and the answer.
    const kvxprot::TLineBound bound(Port, EffectiveTimeout(TimeoutMs),
                                    2 * Cmd.size() + kMaxEchoSlack + MaxReplyBytes);

    bool complete = false;
    bool echoSeen = false;
    std::size_t beforeEcho = 0;
    std::string echoBuf;
    const std::size_t ahead = kvxprot::ReadAheadFor(Terminator);
    const std::chrono::microseconds gather =
        Gather && ahead > 1 ? kvxprot::GatherPause(Port) : std::chrono::microseconds();
    kvxprot::TLineReader line(Port, ahead, gather);
    char c = 0;
    while (!complete && Port->Connected()) {
      if (bound.Passed()) break;  // a line that keeps talking
      if (!line.Next(c)) break;   // silence: timed out
      if (!echoSeen) {
        if (Echo.empty()) {
          // The first character ends the echo phase and is not part of the reply.
          echoSeen = true;
          Reply = Echo;
          continue;
        }
        if (++beforeEcho > Cmd.size() + kMaxEchoSlack) break;
        echoBuf.push_back(c);
        // Only the tail can still match; keep the buffer as short as the echo.
        if (echoBuf.size() > Echo.size()) echoBuf.erase(0, echoBuf.size() - Echo.size());
        if (kvxprot::EndsWithNoCase(echoBuf, Echo)) {
          echoSeen = true;
          Reply = Echo;
        }
        continue;
      }
      Reply.push_back(c);
      if (!Terminator.empty() && kvxprot::EndsWithNoCase(Reply, Terminator)) complete = true;
      if (!complete && Reply.size() > MaxReplyBytes) break;
    }
    if (!complete) Reply.clear();
    return complete;
  } catch (...) {
    // A port error (unplugged adapter, closed device) is a failed exchange, never the caller's.
    Reply.clear();
    return false;
  }
}

bool ExchangeHalfDuplex(TComPort* Port, const std::string& Cmd, const std::string& Echo,
                        const std::string& Terminator, std::string& Reply, int TimeoutMs,
                        std::size_t MaxReplyBytes) {
  Reply.clear();
  if (!Port) return false;
  bool timedOut = false;
  bool termSeen = false;
  try {
    SetCharTimeouts(Port, EffectiveTimeout(TimeoutMs));
    if (!Port->Connected()) return false;
    Port->PurgeBuffers(true, true);

    kvxprot::TLineReader line(Port, kvxprot::ReadAheadFor(Terminator));
    char c = 0;
    for (std::size_t i = 0; i < Cmd.size() && !timedOut && !termSeen && Port->Connected(); ++i) {
      if (Port->WriteText(std::string(1, Cmd[i])) <= 0) continue;
      // The line's own copy of the character just sent.
      if (!line.Next(c)) {
        timedOut = true;
        break;
      }
      if (Cmd[i] == '\r' || i + 1 == Cmd.size()) {
        // The end of the command: the module's echo of it and its answer, up to the terminator.
        const std::size_t limit = Reply.size() + MaxReplyBytes;
        const kvxprot::TLineBound bound(Port, EffectiveTimeout(TimeoutMs), MaxReplyBytes);
        for (;;) {
          if (bound.Passed() || !line.Next(c)) {
            timedOut = true;
            break;
          }
          Reply.push_back(c);
          if (!Terminator.empty() && kvxprot::EndsWithNoCase(Reply, Terminator)) {
            termSeen = true;
            break;
          }
          if (Reply.size() > limit) {
            timedOut = true;
            break;
          }
        }
      } else {
        // The module's echo of the character.
        if (!line.Next(c)) {
          timedOut = true;
          break;
        }
        Reply.push_back(c);
      }
    }
  } catch (...) {
    return false;
  }
  return !timedOut && termSeen && kvxprot::StartsWithNoCase(Reply, Echo);
}

bool ReadBetween(TComPort* Port, const std::string& StartText, const std::string& EndText,
                 std::string& Reply, std::uint32_t TotalMs, std::uint32_t IntervalMs) {
  Reply.clear();
  if (!Port) return false;
  bool startSeen = StartText.empty();
  bool endSeen = EndText.empty();
  try {
    kvxprot::SetReadTimeouts(Port, static_cast<int>(IntervalMs), 0, static_cast<int>(TotalMs));
    if (!Port->Connected()) return false;
    // No purge: what is awaited may already be in the buffer.
    const kvxprot::TLineBound bound(Port, static_cast<int>(TotalMs), ShortReplyLimit);
    std::string scratch;
    // A character at a time: with these timeouts a longer read would wait for all it asks for,
    // and what follows the end text belongs to the next reader.
    kvxprot::TLineReader line(Port, 1);
    char c = 0;
    // With an empty end text the line is read until it falls silent.
    while (EndText.empty() || !endSeen) {
      if (bound.Passed()) {  // a line that keeps talking
        startSeen = false;
        break;
      }
      if (!line.Next(c)) break;
      if (!startSeen) {
        scratch.push_back(c);
        if (scratch.size() > StartText.size()) scratch.erase(0, scratch.size() - StartText.size());
        if (kvxprot::EndsWithNoCase(scratch, StartText)) {
          startSeen = true;
          Reply = StartText;
        }
        continue;
      }
      Reply.push_back(c);
      if (!endSeen && kvxprot::EndsWithNoCase(Reply, EndText)) endSeen = true;
      if (Reply.size() > ShortReplyLimit) {
        startSeen = false;
        break;
      }
    }
  } catch (...) {
    Reply.clear();
    return false;
  }
  const bool ok = startSeen && endSeen && !Reply.empty();
  if (!ok) Reply.clear();
  return ok;
}

// ---- Operations of the component ----------------------------------------------------------------

TKVXModCommProt::TCommLock TKVXModCommProt::LockComm() {
  std::unique_lock<std::recursive_mutex> lock(CommLock_);
  const int pump = platform::PumpDepth();
  if (CommDepth_ == 0)
    CommPumpDepth_ = pump;
  else if (pump > CommPumpDepth_)
    return TCommLock();  // work run while an operation of this thread waits
  ++CommDepth_;
  return TCommLock(this, std::move(lock));
}

bool TKVXModCommProt::SendCommand(const std::string& Cmd, const std::string& Echo,
                                  const std::string& Terminator, std::string& Reply,
                                  int TimeoutMs) {
  return Exchange(Cmd, Echo, Terminator, Reply, TimeoutMs, ShortReplyLimit);
}

bool TKVXModCommProt::Exchange(const std::string& Cmd, const std::string& Echo,
                               const std::string& Terminator, std::string& Reply, int TimeoutMs,
                               std::size_t MaxReplyBytes) {
  auto lock = LockComm();
  if (!lock) {
    Reply.clear();
    return false;
  }
  switch (TransferMode()) {
    case tmFullDuplex:
      return ExchangeFullDuplex(Port_.get(), Cmd, Echo, Terminator, Reply, TimeoutMs,
                                MaxReplyBytes, GatherReplies_.load());
    case tmHalfDuplex:
      return ExchangeHalfDuplex(Port_.get(), Cmd, Echo, Terminator, Reply, TimeoutMs,
                                MaxReplyBytes);
  }
  Reply.clear();
  return false;
}

bool TKVXModCommProt::SendCheckedCommand(const std::string& Cmd, const std::string& Echo,
                                         const std::string& Terminator, std::string& Reply,
                                         int TimeoutMs) {
  // A module that refuses a command says so in its reply; the exchange alone would pass.
  return SendCommand(Cmd, Echo, Terminator, Reply, TimeoutMs) && !kvxprot::HasCommandError(Reply);
}

bool TKVXModCommProt::ExchangeRaw(char Ch, std::string& Reply) {
  auto lock = LockComm();
  if (!lock) return false;
  Reply.clear();
  try {
    kvxprot::SetReadTimeouts(Port_.get(), static_cast<int>(platform::MAXDWORD), 0, 500);
    if (!Port_->Connected()) return false;
    Port_->PurgeBuffers(true, true);
    Port_->WriteText(std::string(1, Ch));
    const kvxprot::TLineBound bound(Port_.get(), 500, ShortReplyLimit);
    // Everything up to the silence is the answer: nothing is left for another reader.
    kvxprot::TLineReader line(Port_.get());
    char c = 0;
    while (!bound.Passed() && Reply.size() < ShortReplyLimit && line.Next(c)) Reply.push_back(c);
  } catch (...) {
    // What arrived before the port failed is still the answer.
  }
  return !Reply.empty();
}

bool TKVXModCommProt::CheckPrompt() {
  auto lock = LockComm();
  if (!lock) return false;
  if (!GetPortOpen()) return false;
  std::string reply;
  return SendCommand("\r", "", ">", reply, 40);
}

bool TKVXModCommProt::CheckModuleId() {
  auto lock = LockComm();
  if (!lock) return false;
  std::string reply;
  if (!SendCommand("ID\r", "ID", ">", reply, 400)) return false;
  return CutReply(reply, 2) == ModuleId_;
}

std::string TKVXModCommProt::CutReply(const std::string& Reply, std::size_t HeadLen) {
  // The echo in front, the prompt at the end (and "CMD" before it).
  if (Reply.size() < HeadLen + 1) return std::string();
  std::string s = Reply.substr(HeadLen, Reply.size() - HeadLen - 1);
  if (s.size() >= 3 && s.compare(s.size() - 3, 3, "CMD") == 0) s.erase(s.size() - 3);
  return Trim(s);
}
