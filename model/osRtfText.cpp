#include "model/osRtfText.h"

#include <cstdint>
#include <vector>

#include "model/Cp1252.h"

namespace rtf {

namespace {

const char kHex[] = "0123456789abcdef";

void PutHexByte(std::string& out, unsigned char byte) {
  out += "\\'";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Groups whose content is no text of the document.
bool IsSkippedDestination(const std::string& word) {
  return word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info" ||
         word == "pict";
}

// Longest control word and parameter the format allows; anything longer is no RTF.
constexpr std::size_t kMaxWordLength = 32;
constexpr std::size_t kMaxDigits = 10;

class Reader {
 public:
  explicit Reader(const std::string& rtf) : in_(rtf) {}

  bool Run(std::string& text) {
    if (in_.compare(0, 5, "{\\rtf") != 0) return false;
    while (pos_ < in_.size()) {
      const char c = in_[pos_];
      if (c == '{') {
        ++pos_;
        groups_.push_back(groups_.empty() ? Group{} : groups_.back());
        fallback_ = 0;
      } else if (c == '}') {
        ++pos_;
        if (groups_.empty()) return false;
        groups_.pop_back();
        fallback_ = 0;
        if (groups_.empty()) {
          if (!OnlyTrailingBlanks()) return false;
          text.swap(out_);
          return true;
        }
      } else if (c == '\\') {
        ++pos_;
        if (!Control()) return false;
      } else {
        ++pos_;
        // Line ends in the file are layout of the file, not of the text.
        if (c != '\r' && c != '\n') Put(c);
      }
    }
    return false;  // the document's group never closed
  }

 private:
  struct Group {
    bool Skip = false;
    std::int64_t Uc = 1;
  };

  // One character of text, unless it stands in for the \u before it.
  void Put(char c) {
    if (fallback_ > 0) {
      --fallback_;
      return;
    }
    if (!groups_.back().Skip) out_ += c;
  }

  // A control word or symbol that is no text still counts as one fallback character.
  void Other() {
    if (fallback_ > 0) --fallback_;
  }

  bool OnlyTrailingBlanks() const {
    for (std::size_t i = pos_; i < in_.size(); ++i) {
      const char c = in_[i];
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\0') return false;
    }
    return true;
  }

  bool Control() {
    if (pos_ >= in_.size()) return false;
    const char c = in_[pos_];
    if (!IsLetter(c)) return Symbol(c);

    std::string word;
    while (pos_ < in_.size() && IsLetter(in_[pos_])) {
      if (word.size() == kMaxWordLength) return false;
      word += in_[pos_++];
    }
    bool hasParam = false;
    std::int64_t param = 0;
    bool negative = false;
    if (pos_ < in_.size() && in_[pos_] == '-') {
      negative = true;
      ++pos_;
      if (pos_ >= in_.size() || !IsDigit(in_[pos_])) return false;
    }
    std::size_t digits = 0;
    while (pos_ < in_.size() && IsDigit(in_[pos_])) {
      if (++digits > kMaxDigits) return false;
      param = param * 10 + (in_[pos_++] - '0');
      hasParam = true;
    }
    if (negative) param = -param;
    if (param < INT32_MIN || param > INT32_MAX) return false;
    // A blank ends the word and belongs to it.
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
    return Word(word, hasParam, param);
  }

  bool Symbol(char c) {
    ++pos_;
    switch (c) {
      case '\\':
      case '{':
      case '}':
        Put(c);
        return true;
      case '\'': {
        if (pos_ + 2 > in_.size()) return false;
        const int hi = HexValue(in_[pos_]);
        const int lo = HexValue(in_[pos_ + 1]);
        if (hi < 0 || lo < 0) return false;
        pos_ += 2;
        Put(static_cast<char>(hi * 16 + lo));
        return true;
      }
      case '*':
        groups_.back().Skip = true;
        return true;
      case '~':
        Put('\xA0');
        return true;
      case '_':
        Put('-');
        return true;
      case '\r':
      case '\n':
        Put('\n');
        return true;
      default:
        Other();
        return true;
    }
  }

  bool Word(const std::string& word, bool hasParam, std::int64_t param) {
    Group& g = groups_.back();
    if (word == "par" || word == "line") {
      Put('\n');
    } else if (word == "tab") {
      Put('\t');
    } else if (word == "u" && hasParam) {
      if (param < -32768 || param > 65535) return false;
      const char32_t unit = static_cast<char32_t>(param < 0 ? param + 65536 : param);
      fallback_ = 0;
      // A character beyond the 16-bit range comes as a surrogate pair: one "?" for both.
      if (unit < 0xDC00 || unit > 0xDFFF) {
        unsigned char byte = '?';
        if (unit >= 0xD800 || !cp1252::FromUnicode(unit, byte)) byte = '?';
        Put(static_cast<char>(byte));
      }
      fallback_ = g.Uc;
    } else if (word == "uc" && hasParam) {
      if (param < 0) return false;
      g.Uc = param;
    } else if (word == "bin") {
      // Binary data: never text, and its bytes are not to be read as RTF.
      if (!hasParam || param < 0 || static_cast<std::uint64_t>(param) > in_.size() - pos_)
        return false;
      pos_ += static_cast<std::size_t>(param);
      Other();
    } else if (IsSkippedDestination(word)) {
      g.Skip = true;
    } else {
      Other();
    }
    return true;
  }

  const std::string& in_;
  std::size_t pos_ = 0;
  std::vector<Group> groups_;
  std::int64_t fallback_ = 0;
  std::string out_;
};

}  // namespace

std::string WriteRtfText(const std::string& Text) {
  std::string out =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}\r\n"
      "\\pard\\f0\\fs22 ";
  out.reserve(out.size() + Text.size() + Text.size() / 8 + 8);
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
      out += "\\par\r\n";
    } else if (c == '\t') {
      out += "\\tab ";
    } else if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += c;
    } else if (byte >= 128 || byte < 32 || byte == 127) {
      PutHexByte(out, byte);
    } else {
      out += c;
    }
  }
  out += "}\r\n";
  return out;
}

bool ReadRtfText(const std::string& Rtf, std::string& Text) {
  Text.clear();
  Reader reader(Rtf);
  return reader.Run(Text);
}

}  // namespace rtf
