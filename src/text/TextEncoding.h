#pragma once
// Character boundaries of the two encodings a site's text can come in. A text is read as a
// whole in one of them: UTF-8 when it is valid UTF-8 and not plain ASCII, Shift-JIS otherwise.
//
// Shift-JIS (code page 932): a lead byte (0x81-0x9F or 0xE0-0xFC) followed by a trail byte
// (0x40-0x7E or 0x80-0xFC) is one double-byte character; every other byte -- ASCII, a
// half-width katakana 0xA1-0xDF, a lead byte at the end of the text or before a byte that
// cannot follow it -- is a character of its own. A trail byte may have the value of an ASCII
// character ("{", "}", "|", "\", letters), which must never be taken for that character.

#include <cstddef>
#include <string_view>

enum class TTextEncoding { ShiftJIS, UTF8 };

// UTF8 when the text is valid UTF-8 and has a byte above 0x7F; ShiftJIS otherwise.
TTextEncoding DetectTextEncoding(std::string_view Text);

// No byte above 0x7F.
bool IsASCII(std::string_view Text) noexcept;

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUTF8(std::string_view Text) noexcept;

bool IsShiftJISLeadByte(unsigned char Byte) noexcept;
bool IsShiftJISTrailByte(unsigned char Byte) noexcept;

// Number of bytes of the character that starts at Pos (Pos < Text.size(), on a boundary).
// A malformed UTF-8 sequence counts one byte at a time.
std::size_t CharLengthAt(std::string_view Text, std::size_t Pos, TTextEncoding Encoding) noexcept;

// True when a character starts at Pos, or Pos == Text.size(); false beyond the end.
// For Shift-JIS the answer depends on the bytes before Pos and is found by walking back over
// the run of lead-byte values that ends there, so it costs the length of that run.
bool IsCharBoundary(std::string_view Text, std::size_t Pos, TTextEncoding Encoding) noexcept;

// Byte offset of the first occurrence of Needle in Haystack at or after From that starts on a
// character boundary of the given encoding (never inside a double-byte Shift-JIS character or a
// UTF-8 sequence); std::string_view::npos when none. An empty Needle is found at the first
// boundary at or after From.
std::size_t FindOnCharBoundary(std::string_view Haystack, std::string_view Needle,
                               std::size_t From, TTextEncoding Encoding);
