// Firmware files in Motorola S-record text ("S19"): reading one whole and checking it before any
// of it goes to a module's bootloader, so that a broken file is refused before the module's
// flash is erased.
#pragma once

#include <string>

// A file passes only when the bootloader would take it whole: whatever it refuses, or takes for
// one of its keys, would leave the module with an erased or a part flash.
enum class TS19Check {
  Ok,
  Empty,         // no record at all
  NotSRecord,    // a line that is not S-record text: wrong start, a non-hex digit, odd length,
                 // a byte count that does not match, a record type that does not exist
  BadChecksum,   // a well-formed record whose checksum does not match
  TooShort,      // a record whose byte count leaves no room for its address ("S10200FD")
  AfterEnd,      // a record after the end record (S7, S8, S9): the bootloader has finished by
                 // then and takes the characters for its keys ("1" erases the flash)
  NoData,        // records, but not one data record (S1, S2, S3): nothing to program
  BadCount,      // a count record (S5, S6) whose count is not the number of data records before it
  NoDataBytes,   // data records, but none with a data byte ("S1031000EC"): nothing to program
  Overlap,       // a record that gives an address another byte than an earlier record: the image
                 // would depend on the order, and a flash cell is not written twice unerased
};

// What a good file holds: its records, and the data bytes of its data records (S1, S2, S3).
struct TS19Summary {
  int Records = 0;
  long long DataBytes = 0;
};

// Checks every line of Text (lines end with CR, LF or CR LF; empty lines and blanks at the end of
// a line are allowed, backspaces are ignored as the transfer leaves them out; an end-of-file mark
// ^Z may end the text). An end record (S7, S8, S9) is not required: many tools end a file with a
// count record (S5) or with the last data record; but nothing may follow one. BadLine, when
// given, receives the number (from 1) of the first line at fault, 0 when there is none (also for
// Empty, NoData and NoDataBytes, which no line causes). A record that repeats bytes an earlier
// one gave, at the same addresses, passes. Summary, when given, receives what the file holds
// (meaningful when the result is Ok).
TS19Check CheckS19Text(const std::string& Text, int* BadLine = nullptr, TS19Summary* Summary = nullptr);

// Why a file was refused, as the user reads it, with the line at fault when there is one:
// "line 3: a record after the end record (S7, S8, S9)".
std::string S19CheckText(TS19Check Result, int BadLine);

// The text as the bootloader is to get it, position for position with Text: what belongs to no
// record (blanks at the end of a line, the end-of-file mark ^Z and what follows it) and all that
// follows the end record's line becomes a backspace, which the transfer leaves out like the
// file's own backspaces.
std::string S19TransferText(const std::string& Text);

// Reads the whole file into Text. False (Text empty) when it cannot be opened or read, or is not
// a regular file (a pipe, a device, a folder).
bool ReadWholeFile(const std::string& FileName, std::string& Text);
