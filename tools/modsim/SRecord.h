// S-record lines as the simulated bootloader reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace modsim {

enum class SRecordCheck {
  Ok,
  NotSRecord,   // not S-record text: wrong start, a non-hex digit, odd length, wrong count
  BadChecksum,  // well-formed, but the checksum does not match
};

struct SRecord {
  int Type = -1;            // the digit after "S"
  std::uint32_t Address = 0;
  std::vector<std::uint8_t> Data;  // S1/S2/S3 only
};

// Checks one record (without its line end) and decodes it into `rec` when it is good.
SRecordCheck ParseSRecord(std::string_view line, SRecord& rec);

// True for the end records S7, S8 and S9.
inline bool IsEndRecord(const SRecord& rec) { return rec.Type >= 7 && rec.Type <= 9; }

// Number of address bytes of a record type; 0 for a type that does not exist (S4).
std::size_t AddressBytesOf(int type);

// Builds the text of one good record (no line end): for tests that need firmware files.
std::string MakeSRecord(int type, std::uint32_t address, const std::vector<std::uint8_t>& data = {});

}  // namespace modsim
