#include "protocol/osS19File.h"

#include <cstdint>
#include <vector>

#include "model/osFileUtils.h"

namespace {

constexpr char kEndOfFile = 0x1A;  // ^Z, the end-of-file mark of old editors and tools

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

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

// One record without its line end; DataBytes receives the bytes of a data record's data.
TS19Check CheckRecord(const std::string& Line, long long& DataBytes) {
  DataBytes = 0;
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
  if (type >= 1 && type <= 3) DataBytes = static_cast<long long>(bytes[0] - addrLen - 1);
  return TS19Check::Ok;
}

// The end of the content: a final end-of-file mark ^Z, with nothing but blanks and line ends after
// it, ends the text before it.
std::size_t ContentEnd(const std::string& Text) {
  std::size_t end = Text.size();
  while (end > 0 && (IsBlank(Text[end - 1]) || Text[end - 1] == '\r' || Text[end - 1] == '\n'))
    --end;
  return end > 0 && Text[end - 1] == kEndOfFile ? end - 1 : Text.size();
}

}  // namespace

TS19Check CheckS19Text(const std::string& Text, int* BadLine, TS19Summary* Summary) {
  if (BadLine) *BadLine = 0;
  int lineNo = 0;
  int records = 0;
  long long dataBytes = 0;
  std::string line;
  auto finishLine = [&]() -> TS19Check {
    ++lineNo;
    while (!line.empty() && IsBlank(line.back())) line.pop_back();
    if (line.empty()) return TS19Check::Ok;
    long long data = 0;
    const TS19Check r = CheckRecord(line, data);
    line.clear();
    dataBytes += data;
    if (r != TS19Check::Ok) {
      if (BadLine) *BadLine = lineNo;
      return r;
    }
    ++records;
    return TS19Check::Ok;
  };
  const std::size_t end = ContentEnd(Text);
  for (std::size_t i = 0; i < end; ++i) {
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
  if (Summary) {
    Summary->Records = records;
    Summary->DataBytes = dataBytes;
  }
  return records == 0 ? TS19Check::Empty : TS19Check::Ok;
}

std::string S19TransferText(const std::string& Text) {
  std::string out = Text;
  const std::size_t end = ContentEnd(Text);
  // A run of blanks (backspaces within it included) that a line end or the end of the content
  // follows is left out.
  std::size_t run = std::string::npos;
  for (std::size_t i = 0; i <= end; ++i) {
    if (i == end || out[i] == '\r' || out[i] == '\n') {
      if (run != std::string::npos)
        for (std::size_t k = run; k < i; ++k) out[k] = '\b';
      run = std::string::npos;
    } else if (IsBlank(out[i]) || out[i] == '\b') {
      if (run == std::string::npos) run = i;
    } else {
      run = std::string::npos;
    }
  }
  for (std::size_t i = end; i < out.size(); ++i) out[i] = '\b';
  return out;
}

bool ReadWholeFile(const std::string& FileName, std::string& Text) {
  // Regular files only, and of a sane size: a pipe would block the open, a device would be read
  // without end.
  return LoadFileBytes(FileName, Text) == flrOk;
}
