#include "model/MyGlobalUtils.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <string_view>
#include <unordered_set>

// ---- Basic types ------------------------------------------------------------------------------

namespace {

// Days from 1970-01-01 to the civil date y-m-d (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// 1899-12-30 counted from 1970-01-01.
constexpr std::int64_t kDateTimeEpoch = -25569;

}  // namespace

TDateTime Now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&secs, &local);
  const std::int64_t days =
      DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                    static_cast<unsigned>(local.tm_mday)) - kDateTimeEpoch;
  const double dayMs = ((local.tm_hour * 60.0 + local.tm_min) * 60.0 + local.tm_sec) * 1000.0 +
                       static_cast<double>(ms < 0 ? ms + 1000 : ms);
  return static_cast<double>(days) + dayMs / 86400000.0;
}

// ---- Byte and text helpers --------------------------------------------------------------------

std::uint16_t SwapWord(std::uint16_t W) { return static_cast<std::uint16_t>((W >> 8) | (W << 8)); }

std::string RemoveCtrlChars(const std::string& S, bool DelBlanks, bool DelHigh) {
  std::string r;
  r.reserve(S.size());
  for (char ch : S) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 32 || c == 127) continue;
    if (DelBlanks && c == 32) continue;
    if (DelHigh && c >= 128) continue;
    r += ch;
  }
  return r;
}

std::string Trim(const std::string& S) {
  std::size_t b = 0, e = S.size();
  while (b < e && static_cast<unsigned char>(S[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(S[e - 1]) <= 32) --e;
  return S.substr(b, e - b);
}

namespace {

// The delimited-text rule. With blanksSeparate false a blank is an ordinary item character, which
// is how blanks inside value lists and listing fields survive the split.
TStringList SplitRule(std::string_view t, char d, bool blanksSeparate) {
  const std::size_t nul = t.find('\0');
  if (nul != std::string_view::npos) t = t.substr(0, nul);  // code 0 ends the text
  const std::size_t n = t.size();
  auto isSep = [blanksSeparate](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c >= 1 && (c < 32 || (blanksSeparate && c == 32));
  };
  std::size_t i = 0;
  auto skip = [&] {
    while (i < n && isSep(t[i])) ++i;
  };
  TStringList r;
  skip();
  while (i < n) {
    std::string item;
    if (t[i] == '"') {
      ++i;
      while (i < n) {
        if (t[i] == '"') {
          if (i + 1 < n && t[i + 1] == '"') {
            item += '"';
            i += 2;
          } else {
            ++i;
            break;
          }
        } else {
          item += t[i++];
        }
      }
    } else {
      const std::size_t s = i;
      while (i < n && !isSep(t[i]) && t[i] != d) ++i;
      item.assign(t.substr(s, i - s));
    }
    r.push_back(std::move(item));
    skip();
    if (i < n && t[i] == d) {
      if (i == n - 1) r.emplace_back();
      ++i;
      skip();
    }
  }
  return r;
}

}  // namespace

TStringList SplitDelimitedText(const std::string& T, char Delim) { return SplitRule(T, Delim, true); }

TStringList SplitKeepingBlanks(const std::string& T, char Delim) { return SplitRule(T, Delim, false); }

TStringList SplitString(const std::string& S, char Delim) { return SplitRule(Trim(S), Delim, false); }

namespace {

struct CaseTables {
  unsigned char upper[256];
  unsigned char lower[256];
  CaseTables() {
    for (int i = 0; i < 256; ++i) upper[i] = lower[i] = static_cast<unsigned char>(i);
    auto pair = [this](int up, int low) {
      upper[low] = static_cast<unsigned char>(up);
      lower[up] = static_cast<unsigned char>(low);
    };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c)
      if (c != 0xD7) pair(c, c + 0x20);
    pair(0x8A, 0x9A);
    pair(0x8C, 0x9C);
    pair(0x8E, 0x9E);
    pair(0x9F, 0xFF);
  }
};

const CaseTables& Tables() {
  static const CaseTables t;
  return t;
}

}  // namespace

char UpperCaseAnsiChar(char C) { return static_cast<char>(Tables().upper[static_cast<unsigned char>(C)]); }

char LowerCaseAnsiChar(char C) { return static_cast<char>(Tables().lower[static_cast<unsigned char>(C)]); }

std::string UpperCaseAnsi(const std::string& S) {
  std::string r(S);
  for (char& c : r) c = UpperCaseAnsiChar(c);
  return r;
}

std::string LowerCaseAnsi(const std::string& S) {
  std::string r(S);
  for (char& c : r) c = LowerCaseAnsiChar(c);
  return r;
}

bool SameText(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  const auto& up = Tables().upper;
  for (std::size_t i = 0; i < A.size(); ++i)
    if (up[static_cast<unsigned char>(A[i])] != up[static_cast<unsigned char>(B[i])]) return false;
  return true;
}

int CompareText(const std::string& A, const std::string& B) {
  const auto& up = Tables().upper;
  const std::size_t n = A.size() < B.size() ? A.size() : B.size();
  for (std::size_t i = 0; i < n; ++i) {
    const int a = up[static_cast<unsigned char>(A[i])];
    const int b = up[static_cast<unsigned char>(B[i])];
    if (a != b) return a - b;
  }
  if (A.size() == B.size()) return 0;
  return A.size() < B.size() ? -1 : 1;
}

// ---- Number reading ---------------------------------------------------------------------------

bool TryStrToInt(const std::string& S, std::int32_t& Value) {
  const std::size_t n = S.size();
  std::size_t i = 0;
  while (i < n && S[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (S[i] == '-' || S[i] == '+')) {
    negative = S[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < n && (S[i] == '$' || S[i] == 'x' || S[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  std::uint64_t mag = 0;
  for (; i < n; ++i) {
    const char c = S[i];
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    mag = mag * (hex ? 16 : 10) + digit;
    if (mag > 0xFFFFFFFFull) return false;
  }
  std::uint32_t bits;
  if (hex) {
    // A hexadecimal value may use all 32 bits; the sign then applies to the 32-bit pattern.
    bits = static_cast<std::uint32_t>(mag);
  } else {
    if (mag > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return false;
    bits = static_cast<std::uint32_t>(mag);
  }
  if (negative) bits = 0u - bits;
  Value = static_cast<std::int32_t>(bits);
  return true;
}

std::int32_t StrToIntDef(const std::string& S, std::int32_t Default) {
  std::int32_t v = Default;
  return TryStrToInt(S, v) ? v : Default;
}

bool TryStrToBool(const std::string& S, bool& Value) {
  std::int32_t v = 0;
  if (TryStrToInt(S, v)) {
    Value = v != 0;
    return true;
  }
  if (SameText(S, "True")) {
    Value = true;
    return true;
  }
  if (SameText(S, "False")) {
    Value = false;
    return true;
  }
  return false;
}

// ---- Decimal texts ----------------------------------------------------------------------------

namespace {
std::atomic<char> gDecimalSeparator{'.'};
}

char DecimalSeparator() { return gDecimalSeparator.load(std::memory_order_relaxed); }

void SetDecimalSeparator(char Sep) { gDecimalSeparator.store(Sep, std::memory_order_relaxed); }

const char* const NoValueText = "---";

std::string FormatHundredths(std::int64_t Hundredths) {
  const bool negative = Hundredths < 0;
  // Unsigned negation: also right for the most negative value.
  const std::uint64_t a = negative ? 0ull - static_cast<std::uint64_t>(Hundredths)
                                   : static_cast<std::uint64_t>(Hundredths);
  std::string r = negative ? "-" : "";
  r += std::to_string(a / 100);
  r += DecimalSeparator();
  const unsigned frac = static_cast<unsigned>(a % 100);
  r += static_cast<char>('0' + frac / 10);
  r += static_cast<char>('0' + frac % 10);
  return r;
}

std::string FormatQuotient2(std::int64_t Numerator, std::int64_t Denominator) {
  if (Denominator == 0) return NoValueText;
  const bool negative = (Numerator < 0) != (Denominator < 0);
  const unsigned __int128 a = static_cast<unsigned __int128>(Numerator < 0 ? -static_cast<__int128>(Numerator)
                                                                           : static_cast<__int128>(Numerator));
  const unsigned __int128 b = static_cast<unsigned __int128>(
      Denominator < 0 ? -static_cast<__int128>(Denominator) : static_cast<__int128>(Denominator));
  // Hundredths rounded half away from zero: floor(100a/b + 1/2). Up to 100 * 2^63, so the digits
  // are written from the 128-bit value itself (no 64-bit step could hold every quotient).
  unsigned __int128 q = (200 * a + b) / (2 * b);
  const unsigned frac = static_cast<unsigned>(q % 100);
  q /= 100;
  std::string whole;
  do {
    whole.insert(whole.begin(), static_cast<char>('0' + static_cast<unsigned>(q % 10)));
    q /= 10;
  } while (q != 0);
  std::string r = negative && (whole != "0" || frac != 0) ? "-" : "";  // never "-0.00"
  r += whole;
  r += DecimalSeparator();
  r += static_cast<char>('0' + frac / 10);
  r += static_cast<char>('0' + frac % 10);
  return r;
}

// ---- Owning keyed object list -----------------------------------------------------------------

TosBaseObjStringList::TosBaseObjStringList() = default;

TosBaseObjStringList::~TosBaseObjStringList() { ClearObjects(OwnsObjects); }

void TosBaseObjStringList::ClearObjects(bool FreeObjects) {
  // Empty the list before freeing, so nothing can reach a freed object through it.
  std::vector<std::pair<std::string, TObject*>> old;
  old.swap(List);
  FirstByName.clear();
  if (!FreeObjects) return;
  // An object entered twice is freed once.
  std::unordered_set<TObject*> freed;
  for (auto& entry : old) {
    if (entry.second && freed.insert(entry.second).second) delete entry.second;
  }
}

int TosBaseObjStringList::Count() const { return static_cast<int>(List.size()); }

TObject* TosBaseObjStringList::GetObject(int Index) const {
  return ValidIndex(Index) ? List[static_cast<std::size_t>(Index)].second : nullptr;
}

std::string TosBaseObjStringList::GetName(int Index) const {
  return ValidIndex(Index) ? List[static_cast<std::size_t>(Index)].first : std::string();
}

void TosBaseObjStringList::SetObject(int Index, TObject* Obj) {
  if (ValidIndex(Index)) List[static_cast<std::size_t>(Index)].second = Obj;
}

void TosBaseObjStringList::SetName(int Index, const std::string& Name) {
  if (!ValidIndex(Index)) return;
  std::string& name = List[static_cast<std::size_t>(Index)].first;
  std::string oldKey = UpperCaseAnsi(name);
  std::string newKey = UpperCaseAnsi(Name);
  name = Name;
  if (oldKey == newKey) return;
  UnindexName(oldKey, Index);
  auto [it, added] = FirstByName.emplace(std::move(newKey), Index);
  if (!added && it->second > Index) it->second = Index;
}

void TosBaseObjStringList::Clear() { ClearObjects(OwnsObjects); }

void TosBaseObjStringList::Delete(int Index) {
  if (!ValidIndex(Index)) return;
  TObject* obj = List[static_cast<std::size_t>(Index)].second;
  const std::string key = UpperCaseAnsi(List[static_cast<std::size_t>(Index)].first);
  List.erase(List.begin() + Index);
  // The entries behind it moved one place up.
  for (auto& entry : FirstByName)
    if (entry.second > Index) --entry.second;
  UnindexName(key, Index);
  // An object that another entry still holds stays alive.
  if (OwnsObjects && obj && IndexOfObject(obj) < 0) delete obj;
}

void TosBaseObjStringList::UnindexName(const std::string& Key, int Index) {
  auto it = FirstByName.find(Key);
  if (it == FirstByName.end() || it->second != Index) return;
  // Index itself now holds another entry (or none): the next one of that name starts from it.
  for (std::size_t i = static_cast<std::size_t>(Index); i < List.size(); ++i) {
    if (SameText(List[i].first, Key)) {
      it->second = static_cast<int>(i);
      return;
    }
  }
  FirstByName.erase(it);
}

int TosBaseObjStringList::IndexOf(const std::string& Name) const {
  const auto it = FirstByName.find(UpperCaseAnsi(Name));
  return it == FirstByName.end() ? -1 : it->second;
}

int TosBaseObjStringList::IndexOfObject(const TObject* Obj) const {
  for (std::size_t i = 0; i < List.size(); ++i)
    if (List[i].second == Obj) return static_cast<int>(i);
  return -1;
}

int TosBaseObjStringList::AddObject(const std::string& Name, TObject* Obj) {
  const int index = static_cast<int>(List.size());
  List.emplace_back(Name, Obj);
  // An earlier entry of the same name stays the one found.
  FirstByName.emplace(UpperCaseAnsi(Name), index);
  return index;
}

// ---- Worker thread ----------------------------------------------------------------------------

TosBaseThread::~TosBaseThread() { Shutdown(); }

void TosBaseThread::Quit() {
  Terminate();
  PostMessage(platform::WM_QUIT, 0, 0);
}

void TosBaseThread::Shutdown() {
  Quit();
  if (!Suspended()) WaitFor();
  StopThread();
}
