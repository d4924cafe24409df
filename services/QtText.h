// Where the program's Windows-1252 texts meet Qt's Unicode strings. Every window converts through
// these, so a byte shows as the same character everywhere and comes back as the same byte.
#pragma once

#include <QChar>
#include <QList>
#include <QLocale>
#include <QString>
#include <string>
#include <utility>

#include "model/Cp1252.h"
#include "model/MyGlobalUtils.h"

inline QChar FromAnsiChar(char ch) {
  return QChar(static_cast<char16_t>(cp1252::ToUnicode(static_cast<unsigned char>(ch))));
}

inline QString FromAnsi(const std::string& s) {
  QString out;
  out.reserve(static_cast<qsizetype>(s.size()));
  for (char ch : s) out += FromAnsiChar(ch);
  return out;
}

// The byte of one character; false when Windows-1252 has none for it.
inline bool ToAnsiChar(char32_t codePoint, char& ch) {
  unsigned char byte = 0;
  if (!cp1252::FromUnicode(codePoint, byte)) return false;
  ch = static_cast<char>(byte);
  return true;
}

// Characters without a Windows-1252 byte become "?".
inline std::string ToAnsi(const QString& s) {
  std::string out;
  out.reserve(static_cast<std::size_t>(s.size()));
  for (char32_t cp : s.toUcs4()) {
    char ch = '?';
    ToAnsiChar(cp, ch);
    out += ch;
  }
  return out;
}

// The whole text as Windows-1252 bytes; false (and `out` unchanged) when a character has no
// byte, so a text the user typed is never taken for another one.
inline bool TryToAnsi(const QString& s, std::string& out) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(s.size()));
  for (char32_t cp : s.toUcs4()) {
    char ch = 0;
    if (!ToAnsiChar(cp, ch)) return false;
    bytes += ch;
  }
  out = std::move(bytes);
  return true;
}

// The user's decimal separator as one Windows-1252 byte ('.' when the system's has none).
inline char SystemDecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  char ch = '.';
  if (point.size() == 1 && ToAnsiChar(point.at(0).unicode(), ch)) return ch;
  return '.';
}

// Read once at start-up: every decimal text of the program uses the user's separator.
inline void ApplySystemDecimalSeparator() { SetDecimalSeparator(SystemDecimalSeparator()); }
