#include "protocol/osS19File.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
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

// What a good record holds.
struct TRecordInfo {
  int Type = 0;
  std::uint32_t Address = 0;
  const std::uint8_t* Data = nullptr;  // data records only: into the bytes CheckRecord decoded
  std::size_t DataBytes = 0;
};

// One record without its line end. Bytes receives the decoded record (reused from line to line).
TS19Check CheckRecord(const std::string& Line, TRecordInfo& Rec, std::vector<std::uint8_t>& Bytes) {
  Rec = TRecordInfo{};
  if (Line.size() < 4 || Line[0] != 'S' || Line[1] < '0' || Line[1] > '9')
    return TS19Check::NotSRecord;
  const int type = Line[1] - '0';
  const std::size_t addrLen = AddressLength(type);
  if (addrLen == 0 || Line.size() % 2 != 0) return TS19Check::NotSRecord;
  Bytes.clear();
  for (std::size_t i = 2; i < Line.size(); i += 2) {
    const int hi = HexDigit(Line[i]);
    const int lo = HexDigit(Line[i + 1]);
    if (hi < 0 || lo < 0) return TS19Check::NotSRecord;
    Bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  // The count byte covers address, data and checksum.
  if (Bytes[0] != Bytes.size() - 1) return TS19Check::NotSRecord;
  if (Bytes[0] < addrLen + 1) return TS19Check::TooShort;
  unsigned sum = 0;
  for (std::size_t i = 0; i + 1 < Bytes.size(); ++i) sum += Bytes[i];
  if (static_cast<std::uint8_t>(~sum & 0xFFu) != Bytes.back()) return TS19Check::BadChecksum;
  Rec.Type = type;
  for (std::size_t i = 0; i < addrLen; ++i) Rec.Address = (Rec.Address << 8) | Bytes[1 + i];
  if (type >= 1 && type <= 3) {
    Rec.Data = Bytes.data() + 1 + addrLen;
    Rec.DataBytes = Bytes[0] - addrLen - 1;
  }
  return TS19Check::Ok;
}

// The bytes the data records gave so far, as disjoint address ranges in address order: a record
// is compared with the ranges it overlaps only, and what it adds becomes new ranges, or extends
// the range it continues (a file in address order stays one range). Work and memory grow with the
// file, not with the addresses it spans.
class TImage {
 public:
  // False when the record gives an address another byte than an earlier record gave it.
  bool Add(std::uint32_t Address, const std::uint8_t* Data, std::size_t Count) {
    if (Count == 0) return true;
    const std::uint64_t first = Address, end = first + Count;
    auto it = Ranges_.upper_bound(first);
    if (it != Ranges_.begin() && std::prev(it)->second.End > first) --it;
    std::uint64_t pos = first;  // what is not yet compared or added
    for (; it != Ranges_.end() && it->first < end; ++it) {
      if (it->first > pos) Insert(it, pos, Data + (pos - first), it->first - pos);
      const std::uint64_t from = std::max(first, it->first), to = std::min(end, it->second.End);
      if (std::memcmp(&Bytes_[it->second.Data + (from - it->first)], Data + (from - first),
                      to - from) != 0)
        return false;
      pos = to;
    }
    if (pos < end) Insert(it, pos, Data + (pos - first), end - pos);
    return true;
  }

 private:
  struct TRange {
    std::uint64_t End;  // behind the range's last address
    std::size_t Data;   // its first byte in Bytes_
  };
  using TRanges = std::map<std::uint64_t, TRange>;

  // A new range [From, From + Count) that no range overlaps; Next is the range after it.
  void Insert(TRanges::iterator Next, std::uint64_t From, const std::uint8_t* Data, std::size_t Count) {
    if (Next != Ranges_.begin()) {
      TRanges::iterator prev = std::prev(Next);
      if (prev->second.End == From &&
          prev->second.Data + (prev->second.End - prev->first) == Bytes_.size()) {
        prev->second.End += Count;
        Bytes_.insert(Bytes_.end(), Data, Data + Count);
        return;
      }
    }
    Ranges_.emplace_hint(Next, From, TRange{From + Count, Bytes_.size()});
    Bytes_.insert(Bytes_.end(), Data, Data + Count);
  }

  TRanges Ranges_;  // by first address
  std::vector<std::uint8_t> Bytes_;
};

bool IsEndRecord(const std::string& Line) {
  return Line.size() >= 2 && Line[0] == 'S' && Line[1] >= '7' && Line[1] <= '9';
}

// The end of the content: a final end-of-file mark ^Z, with nothing but blanks and line ends after
// it, ends the text before it.
std::size_t ContentEnd(const std::string& Text) {
  std::size_t end = Text.size();
  while (end > 0 && (IsBlank(Text[end - 1]) || Text[end - 1] == '\r' || Text[end - 1] == '\n'))
    --end;
  return end > 0 && Text[end - 1] == kEndOfFile ? end - 1 : Text.size();
}

// Calls Fn(Line, LineNo, Next) for each line of Text up to End: Line without backspaces and
// without blanks at its end (empty for an empty line), LineNo from 1, Next the position after
// its line end. Stops when Fn returns false.
template <class Fn>
void ForEachLine(const std::string& Text, std::size_t End, Fn fn) {
  std::string line;
  int lineNo = 0;
  auto finish = [&](std::size_t Next) {
    while (!line.empty() && IsBlank(line.back())) line.pop_back();
    const bool more = fn(line, ++lineNo, Next);
    line.clear();
    return more;
  };
  for (std::size_t i = 0; i < End; ++i) {
    const char c = Text[i];
    if (c == '\b') continue;
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < End && Text[i + 1] == '\n') ++i;  // CR LF is one line end
      if (!finish(i + 1)) return;
      continue;
    }
    line.push_back(c);
  }
  if (!line.empty()) finish(End);
}

}  // namespace

TS19Check CheckS19Text(const std::string& Text, int* BadLine, TS19Summary* Summary) {
  TS19Check result = TS19Check::Ok;
  int badLine = 0;
  TS19Summary summary;
  int dataRecords = 0;
  bool ended = false;
  std::vector<std::uint8_t> bytes;
  TImage image;
  ForEachLine(Text, ContentEnd(Text), [&](const std::string& Line, int LineNo, std::size_t) {
    if (Line.empty()) return true;
    TRecordInfo rec;
    result = CheckRecord(Line, rec, bytes);
    if (result == TS19Check::Ok && ended) result = TS19Check::AfterEnd;
    if (result == TS19Check::Ok && (rec.Type == 5 || rec.Type == 6) &&
        rec.Address != static_cast<std::uint32_t>(dataRecords))
      result = TS19Check::BadCount;
    if (result == TS19Check::Ok && !image.Add(rec.Address, rec.Data, rec.DataBytes))
      result = TS19Check::Overlap;
    if (result != TS19Check::Ok) {
      badLine = LineNo;
      return false;
    }
    ++summary.Records;
    if (rec.Type >= 1 && rec.Type <= 3) {
      ++dataRecords;
      summary.DataBytes += static_cast<long long>(rec.DataBytes);
    }
    ended = rec.Type >= 7;
    return true;
  });
  if (result == TS19Check::Ok && summary.Records == 0) result = TS19Check::Empty;
  if (result == TS19Check::Ok && dataRecords == 0) result = TS19Check::NoData;
  if (result == TS19Check::Ok && summary.DataBytes == 0) result = TS19Check::NoDataBytes;
  if (BadLine) *BadLine = badLine;
  if (Summary) *Summary = summary;
  return result;
}

std::string S19CheckText(TS19Check Result, int BadLine) {
  const char* reason = "";
  switch (Result) {
    case TS19Check::Ok: reason = "a good S-record file"; break;
    case TS19Check::Empty: reason = "it holds no S-record"; break;
    case TS19Check::NotSRecord: reason = "a line that is not S-record text"; break;
    case TS19Check::BadChecksum: reason = "a record whose checksum does not match"; break;
    case TS19Check::TooShort: reason = "a record too short for its own address"; break;
    case TS19Check::AfterEnd: reason = "a record after the end record (S7, S8, S9)"; break;
    case TS19Check::NoData: reason = "no data record (S1, S2, S3)"; break;
    case TS19Check::BadCount:
      reason = "a count record (S5, S6) that does not match the number of data records before it";
      break;
    case TS19Check::NoDataBytes: reason = "no data byte: its data records (S1, S2, S3) are empty"; break;
    case TS19Check::Overlap:
      reason = "a record that gives an address another byte than an earlier record";
      break;
  }
  return BadLine > 0 ? "line " + std::to_string(BadLine) + ": " + reason : std::string(reason);
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
  // Nothing after the end record's line goes out: the bootloader has finished by then and would
  // take the characters for its keys.
  std::size_t cut = end;
  ForEachLine(Text, end, [&](const std::string& Line, int, std::size_t Next) {
    if (!IsEndRecord(Line)) return true;
    cut = Next;
    return false;
  });
  for (std::size_t i = cut; i < out.size(); ++i) out[i] = '\b';
  return out;
}

bool ReadWholeFile(const std::string& FileName, std::string& Text) {
  // Regular files only, and of a sane size: a pipe would block the open, a device would be read
  // without end.
  return LoadFileBytes(FileName, Text) == flrOk;
}
