// Feeds arbitrary bytes to the listing-line parser and the reply checker, and checks what every
// caller relies on: no crash, no leak, a failed reply leaves no items behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/osDRUVModProtBase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // Listing line: whatever comes out must answer its own operations.
  if (auto cmd = ParseModCommandLine(text)) {
    (void)cmd->GetValueStr();
    (void)cmd->GetGroupNames();
    if (auto copy = CreateModCommandCopy(cmd.get())) cmd->AssignTo(copy.get());
    if (auto* bit = dynamic_cast<TModStatusBitCommand*>(cmd.get())) {
      bit->Status = 0xFFFF;
      (void)bit->IsBitSet();
      (void)bit->GetBitName();
    }
    if (auto* ain = dynamic_cast<TModAinParaCmd*>(cmd.get())) (void)ain->GetValueStr();
    if (auto* rc = dynamic_cast<TModRemoteCtrlCmd*>(cmd.get())) (void)rc->GetPinCaption();
  }

  // Reply without and with a known command word (the text's first line as the echo).
  TStringList lines{"stale"};
  std::string cmdWord;
  if (!CheckModAnswer(text, cmdWord, lines) && !lines.empty()) std::abort();
  cmdWord = text.substr(0, text.find('\r'));
  if (!cmdWord.empty()) {
    // A given command word stays as it is, and the first item stays even when the echo empties it.
    lines = {"stale"};
    const std::string before = cmdWord;
    if (CheckModAnswer(text, cmdWord, lines)) {
      if (lines.empty() || cmdWord != before) std::abort();
    } else if (!lines.empty()) {
      std::abort();
    }
  }

  (void)SplitString(text, '|');
  std::int32_t v;
  (void)TryStrToInt(text, v);
  return 0;
}
