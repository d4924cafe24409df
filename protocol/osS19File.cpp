#include "protocol/osS19File.h"

#include <cstdint>
#include <vector>

#include "model/osFileUtils.h"

namespace {

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  return -1;
}

// Address bytes of a record type; 0 for the reserved type 4.
std::size_t AddressLength(int Type) {
  switch (Type) {
    case 0: case 1: case 5: case 9: return 2;
    case 2: case 6: case 8: return 3;
    case 3: case 7: return 4;
    default: return 0;
  }
}

// One record without its line end. IsEnd tells an S7, S8 or S9.
TS19Check CheckRecord(const std::string& Line, bool& IsEnd) {
  IsEnd = false;
  if (Line.size() < 4 || Line[0] != 'S' || Line[1] < '0' || Line[1] > '9')
    return TS19Check::NotSRecord;
  const int type = Line[1] - '0';
  const std::size_t addrLen = AddressLength(type);
  if (addrLen == 0 || Line.size() % 2 != 0) return TS19Check::NotSRecord;
  std::vector<std::uint8_t> bytes;
  bytes.reserve((Line.size() - 2) / 2);
  for (std::size_t i = 2; i < Line.size(); i += 2) {
    const int hi = HexDigit(Line[i]);
    const int lo = HexDigit(Line[i + 1]);
    if (hi < 0 || lo < 0) return TS19Check::NotSRecord;
    bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  // The count byte covers address, data and checksum.
  if (bytes[0] != bytes.size() - 1 || bytes[0] < addrLen + 1) return TS19Check::NotSRecord;
  unsigned sum = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
  if (static_cast<std::uint8_t>(~sum & 0xFFu) != bytes.back()) return TS19Check::BadChecksum;
  IsEnd = type >= 7;
  return TS19Check::Ok;
}

}  // namespace

TS19Check CheckS19Text(const std::string& Text, int* BadLine) {
  if (BadLine) *BadLine = 0;
  int lineNo = 0;
  int records = 0;
  bool lastWasEnd = false;
  std::string line;
  auto finishLine = [&]() -> TS19Check {
    ++lineNo;
    if (line.empty()) return TS19Check::Ok;
    bool isEnd = false;
    const TS19Check r = CheckRecord(line, isEnd);
    line.clear();
    if (r != TS19Check::Ok) {
      if (BadLine) *BadLine = lineNo;
      return r;
    }
    ++records;
    lastWasEnd = isEnd;
    return TS19Check::Ok;
  };
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '\b') continue;
    if (c == '\r' || c == '\n') {
      if (c == '\n' && i > 0 && Text[i - 1] == '\r') continue;  // CR LF is one line end
      if (const TS19Check r = finishLine(); r != TS19Check::Ok) return r;
      continue;
    }
    line.push_back(c);
  }
  if (!line.empty()) {
    if (const TS19Check r = finishLine(); r != TS19Check::Ok) return r;
  }
  if (records == 0) return TS19Check::Empty;
  if (!lastWasEnd) {
    if (BadLine) *BadLine = lineNo;
    return TS19Check::NoEndRecord;
  }
  return TS19Check::Ok;
}

bool ReadWholeFile(const std::string& FileName, std::string& Text) {
  // Regular files only, and of a sane size: a pipe would block the open, a device would be read
  // without end.
  return LoadFileBytes(FileName, Text) == flrOk;
}
