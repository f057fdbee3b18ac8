#pragma once
// Character boundaries of the three encodings a site's text can come in. A text is read as a
// whole in one of them: EUC-JP when it says so (a charset in a meta tag or an @charset rule)
// and is well-formed EUC-JP, else UTF-8 when it is valid UTF-8 and not plain ASCII, else
// EUC-JP when its bytes read as EUC-JP and not as Shift-JIS text (see DetectTextEncoding)
// and it does not declare Shift-JIS, Shift-JIS otherwise.
//
// Shift-JIS (code page 932): a lead byte (0x81-0x9F or 0xE0-0xFC) followed by a trail byte
// (0x40-0x7E or 0x80-0xFC) is one double-byte character; every other byte -- ASCII, a
// half-width katakana 0xA1-0xDF, a lead byte at the end of the text or before a byte that
// cannot follow it -- is a character of its own. A trail byte may have the value of an ASCII
// character ("{", "}", "|", "\", letters), which must never be taken for that character.
//
// EUC-JP: 0x8E and a byte 0xA1-0xDF (half-width katakana), 0x8F and two bytes 0xA1-0xFE
// (JIS X 0212), or two bytes 0xA1-0xFE are one character; every other byte is one of its own.
// No byte of a multi-byte character is below 0x80, so an ASCII byte is always a character.

#include <cstddef>
#include <optional>
#include <string_view>

enum class TTextEncoding { ShiftJIS, UTF8, EUCJP };

// As told at the top of this file. The content rule for EUC-JP: every byte above 0x7F belongs
// to a well-formed EUC-JP character, and read as Shift-JIS the text either is not well-formed
// or has at least 8 half-width katakana and more than twice as many as double-byte characters
// (EUC-JP kana and kanji read as Shift-JIS come out mostly as half-width katakana, which real
// Shift-JIS pages rarely use; a few such bytes alone tell nothing).
TTextEncoding DetectTextEncoding(std::string_view Text);

// The encoding a page or stylesheet declares in its first 4 KB ("charset=..." of a meta tag,
// `<meta charset>`, `@charset "..."`), when it is one of these three; none otherwise.
std::optional<TTextEncoding> DeclaredTextEncoding(std::string_view Text);

// Every byte above 0x7F belongs to a well-formed EUC-JP character.
bool IsValidEUCJP(std::string_view Text) noexcept;

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
// the run of lead-byte values that ends there, so it costs the length of that run; for EUC-JP
// over the run of bytes above 0x7F.
bool IsCharBoundary(std::string_view Text, std::size_t Pos, TTextEncoding Encoding) noexcept;

// Byte offset of the first occurrence of Needle in Haystack at or after From that starts on a
// character boundary of the given encoding (never inside a double-byte Shift-JIS character or a
// UTF-8 sequence); std::string_view::npos when none. An empty Needle is found at the first
// boundary at or after From.
std::size_t FindOnCharBoundary(std::string_view Haystack, std::string_view Needle,
                               std::size_t From, TTextEncoding Encoding);
