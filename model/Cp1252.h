// The program's one Windows-1252 table. Texts from the module, from files and from the settings
// are 8-bit Windows-1252 bytes; the windows show Unicode. Every byte converts to a code point and
// back unchanged (the five bytes Windows-1252 leaves undefined map to the C1 control of the same
// value), so nothing the module sends is lost on its way through a window.
#pragma once

#include <string>

namespace cp1252 {

// The Unicode code point of one Windows-1252 byte.
char32_t ToUnicode(unsigned char byte);

// The Windows-1252 byte of a code point; false when the character has none.
bool FromUnicode(char32_t codePoint, unsigned char& byte);

// Windows-1252 bytes to UTF-8.
std::string ToUtf8(const std::string& ansi);

// UTF-8 to Windows-1252 bytes. A character without a Windows-1252 byte, and every byte of a
// malformed UTF-8 sequence, becomes "?".
std::string FromUtf8(const std::string& utf8);

}  // namespace cp1252
