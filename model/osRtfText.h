// The terminal's files: its text as a small rich-text (RTF) document and back. Only plain text
// travels: one font (Courier New), line breaks as paragraphs. Texts are Windows-1252 bytes on
// both sides, so every byte the module sent comes back as the same byte.
#pragma once

#include <string>

namespace rtf {

// An \ansi\ansicpg1252 document with a Courier New font table. "\", "{" and "}" are escaped,
// bytes from 128 and control bytes become \'xx, a tab \tab, a line break (LF, CR LF or a lone
// CR) \par.
std::string WriteRtfText(const std::string& Text);

// The plain text of a document: \par and \line give "\n", \tab a tab, \'xx its byte, \uN its
// Windows-1252 byte ("?" when it has none) with its fallback skipped (\ucN, 1 by default);
// destination groups (font, colour and style tables, info, pictures, every \* group) are
// skipped, other control words ignored. False, with Text empty, for anything that is not a
// well-formed document: no "{\rtf" at the start, unbalanced braces, a broken escape, a number
// out of range, text after the last brace.
bool ReadRtfText(const std::string& Rtf, std::string& Text);

}  // namespace rtf
