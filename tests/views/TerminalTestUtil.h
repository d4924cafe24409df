// The terminal's rules for received bytes, applied one byte at a time: what the terminal must
// show however the bytes are gathered.
#pragma once

#include <QString>
#include <string>

#include "services/QtText.h"
#include "views/osDRUVTerminal.h"

namespace termtest {

// The text Bytes make when each goes in alone after Text, in a terminal holding at most
// MaxLines lines (0: no limit).
inline QString ByteByByte(const std::string& bytes, QString t = {}, int maxLines = 0) {
  int lines = static_cast<int>(t.count('\n')) + 1;
  for (const char c : bytes) {
    if (c == '\n' || (t.isEmpty() && (c == '\b' || c == '\r'))) continue;
    const bool lineFull = t.size() - t.lastIndexOf('\n') - 1 >= TKVXPTerminal::MaxLineLength;
    if (c == '\b') {
      if (t.endsWith('\n')) --lines;
      t.chop(1);
    } else if ((c == '\r' && !t.endsWith('\n')) || (c != '\r' && lineFull)) {
      t += '\n';
      ++lines;
    }
    if (c != '\b' && c != '\r') t += FromAnsiChar(c);
    if (maxLines > 0 && lines > maxLines) {
      t.remove(0, t.indexOf('\n') + 1);
      --lines;
    }
  }
  return t;
}

}  // namespace termtest
