// Small routines every part of the command model uses, the owning keyed object list, and the
// worker-thread base.
//
// Texts are 8-bit Windows-1252 bytes in std::string. Nothing here depends on the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Object.h"
#include "platform/Threads.h"

// ---- Basic types ------------------------------------------------------------------------------

// A plain list of texts: value lists, reply items, listing fields.
using TStringList = std::vector<std::string>;

// A point in time as a count of days since 1899-12-30 00:00 (fraction = time of day).
using TDateTime = double;

// The current local date and time.
TDateTime Now();

// ---- Byte and text helpers --------------------------------------------------------------------

// W with its two bytes exchanged.
std::uint16_t SwapWord(std::uint16_t W);

// S without every character of code < 32 or 127; with DelBlanks also without blanks; with DelHigh
// also without every character of code >= 128. The order of the rest is kept.
std::string RemoveCtrlChars(const std::string& S, bool DelBlanks, bool DelHigh);

// S without leading and trailing characters of code 0 to 32.
std::string Trim(const std::string& S);

// The one splitting rule of the model. Items are separated by Delim and by runs of characters of
// code 1..32; a double-quoted item may hold both (a doubled quote inside stands for one quote); a
// character of code 0 ends the text. Consecutive delimiters give an empty item between them, a
// leading one an empty first item, a trailing one an empty last item.
TStringList SplitDelimitedText(const std::string& T, char Delim);

// The same rule, except that blanks (code 32) are ordinary characters of an item: only Delim and
// control characters separate items, and nothing is trimmed.
TStringList SplitKeepingBlanks(const std::string& T, char Delim);

// Like SplitDelimitedText, but blanks (code 32) never separate items: S is trimmed at both ends
// first, and every blank inside is kept in its item. "Gain 1|Gain 2" at '|' gives "Gain 1" and
// "Gain 2"; "  a b | c  " gives "a b " and " c". Control characters still separate items.
TStringList SplitString(const std::string& S, char Delim);

// Windows-1252 case folding by a fixed table (A-Z, the accented letters 0xC0-0xDE except 0xD7,
// and 0x8A/0x9A, 0x8C/0x9C, 0x8E/0x9E, 0x9F/0xFF), independent of the process locale.
char UpperCaseAnsiChar(char C);
char LowerCaseAnsiChar(char C);
std::string UpperCaseAnsi(const std::string& S);
std::string LowerCaseAnsi(const std::string& S);
// Case-insensitive equality by the table above. Used wherever commands are found by name.
bool SameText(const std::string& A, const std::string& B);
// Case-insensitive ordering by the table above: < 0, 0 or > 0.
int CompareText(const std::string& A, const std::string& B);

// ---- Number reading ---------------------------------------------------------------------------

// The integer reading rule of every whole number read from the module, a listing or a file:
// leading blanks skipped, optional "-" or "+", then decimal digits or hexadecimal digits after
// "$", "x", "X", "0x" or "0X"; nothing may follow the digits; the value must fit a signed 32-bit
// integer, a hexadecimal one may use all 32 bits and then reads negative ("$FFFFFFFF" is -1).
// On failure Value is left unchanged and the result is false.
bool TryStrToInt(const std::string& S, std::int32_t& Value);
// TryStrToInt with a default for texts that do not read.
std::int32_t StrToIntDef(const std::string& S, std::int32_t Default);

// The Boolean reading rule: a text that reads as a whole number gives true when it is not zero;
// otherwise "True" or "False" without regard to case. On failure Value is left unchanged and the
// result is false.
bool TryStrToBool(const std::string& S, bool& Value);

// ---- Decimal texts ----------------------------------------------------------------------------

// The user's decimal separator for every decimal text of the model ('.' until the GUI sets it
// once at start-up). Safe to read from any thread.
char DecimalSeparator();
void SetDecimalSeparator(char Sep);

// The text shown for a value that has no result (a division by a factor of 0).
extern const char* const NoValueText;  // "---"

// Hundredths as a decimal text with exactly two decimals and the user's separator: 1234 gives
// "12.34", -5 gives "-0.05", 0 gives "0.00".
std::string FormatHundredths(std::int64_t Hundredths);

// Numerator / Denominator with exactly two decimals, rounded half away from zero at the second
// decimal, never "-0.00". NoValueText when Denominator is 0.
std::string FormatQuotient2(std::int64_t Numerator, std::int64_t Denominator);

// ---- Owning keyed object list -----------------------------------------------------------------

// An ordered list of (name, object) pairs. Names need not be unique and are found without regard
// to case (SameText); the list is not sorted. While OwnsObjects is true the list frees the objects
// it holds when they are deleted or cleared and when the list is destroyed.
//
// A module may list tens of thousands of parameters, and files are read by looking up each
// name: the list keeps an index from name to first entry, so IndexOf takes the same time
// whatever the list's length. Every change of the entries goes through the operations below,
// which keep the index current.
class TosBaseObjStringList : public TObject {
 public:
  TosBaseObjStringList();
  ~TosBaseObjStringList() override;
  TosBaseObjStringList(const TosBaseObjStringList&) = delete;
  TosBaseObjStringList& operator=(const TosBaseObjStringList&) = delete;

  bool OwnsObjects = true;

  // With FreeObjects frees every object held (each one once, in index order), then empties the
  // list.
  void ClearObjects(bool FreeObjects);

  // Number of entries.
  virtual int Count() const;
  // The object of entry Index; nullptr for an invalid index.
  virtual TObject* GetObject(int Index) const;
  // The name of entry Index; empty for an invalid index.
  virtual std::string GetName(int Index) const;
  // Replaces the object of entry Index (valid index only). The previous object is not freed.
  virtual void SetObject(int Index, TObject* Obj);
  // Replaces the name of entry Index (valid index only).
  virtual void SetName(int Index, const std::string& Name);
  // ClearObjects(OwnsObjects).
  virtual void Clear();
  // Removes entry Index (valid index only), freeing its object when OwnsObjects.
  virtual void Delete(int Index);
  // Index of the first entry whose name equals Name without regard to case; -1 when none.
  virtual int IndexOf(const std::string& Name) const;
  // Index of the first entry holding exactly Obj; -1 when none.
  virtual int IndexOfObject(const TObject* Obj) const;

 protected:
  // Appends (Name, Obj) and returns its index. The descendants' typed Add operations use it.
  int AddObject(const std::string& Name, TObject* Obj);

 private:
  bool ValidIndex(int Index) const { return Index >= 0 && Index < static_cast<int>(List.size()); }
  // Entry Index no longer carries a name of that key: the key goes to the next entry of the same
  // name after it, or out of the index.
  void UnindexName(const std::string& Key, int Index);

  std::vector<std::pair<std::string, TObject*>> List;
  // Name in upper case (the folding SameText compares by) -> index of its first entry.
  std::unordered_map<std::string, int> FirstByName;
};

// ---- Worker thread ----------------------------------------------------------------------------

// A worker thread that is stopped by terminating it and posting a quit message to its own queue,
// so a body blocked waiting for its next thread message wakes up and ends its loop.
class TosBaseThread : public platform::TThread {
 public:
  explicit TosBaseThread(bool createSuspended) : platform::TThread(createSuspended) {}
  // Derived classes call Shutdown() first in their own destructors, while their members still
  // exist; this destructor then finds the thread ended.
  ~TosBaseThread() override;

  // Sets Terminated and posts WM_QUIT to the thread's own queue.
  void Quit();

 protected:
  // Quit; wait for a running body; a suspended thread is ended without running its body.
  void Shutdown();
};
