#include "tools/modsim/SRecord.h"

namespace modsim {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::size_t AddressBytesOf(int type) {
  switch (type) {
    case 0: case 1: case 5: case 9: return 2;
    case 2: case 6: case 8: return 3;
    case 3: case 7: return 4;
    default: return 0;  // S4 is reserved
  }
}

std::string MakeSRecord(int type, std::uint32_t address, const std::vector<std::uint8_t>& data) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::size_t addrLen = AddressBytesOf(type);
  std::vector<std::uint8_t> bytes;
  bytes.push_back(static_cast<std::uint8_t>(addrLen + data.size() + 1));
  for (std::size_t i = addrLen; i > 0; --i) {
    bytes.push_back(static_cast<std::uint8_t>(address >> (8 * (i - 1))));
  }
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (auto b : bytes) sum += b;
  bytes.push_back(static_cast<std::uint8_t>(~sum & 0xFF));
  std::string text = "S";
  text += static_cast<char>('0' + type);
  for (auto b : bytes) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

SRecordCheck ParseSRecord(std::string_view line, SRecord& rec) {
  rec = SRecord{};
  if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
    return SRecordCheck::NotSRecord;
  }
  const int type = line[1] - '0';
  const auto addrLen = AddressBytesOf(type);
  if (addrLen == 0) return SRecordCheck::NotSRecord;
  const std::string_view hex = line.substr(2);
  if (hex.size() % 2 != 0) return SRecordCheck::NotSRecord;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexValue(hex[i]);
    const int lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return SRecordCheck::NotSRecord;
    bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  // The count covers address, data and checksum.
  const std::size_t count = bytes[0];
  if (count != bytes.size() - 1 || count < addrLen + 1) return SRecordCheck::NotSRecord;
  unsigned sum = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
  if (static_cast<std::uint8_t>(~sum & 0xFF) != bytes.back()) return SRecordCheck::BadChecksum;
  rec.Type = type;
  for (std::size_t i = 0; i < addrLen; ++i) rec.Address = (rec.Address << 8) | bytes[1 + i];
  if (type >= 1 && type <= 3) {
    rec.Data.assign(bytes.begin() + 1 + static_cast<long>(addrLen), bytes.end() - 1);
  }
  return SRecordCheck::Ok;
}

}  // namespace modsim
