#pragma once
// Colours written as hexadecimal text, "#RRGGBB": in pages and stylesheets, on the command line
// and in the windows. Every part of the program that reads or writes such text does it here, so
// that all of them take the same digits (in either case) and write the same ones (upper case).

#include "base/Language.h"
#include "colour/Colour.h"

#include <cstdint>
#include <string>
#include <string_view>

// The messages of the errors (EConvertError) raised here.
inline constexpr TText HexDigitsMessage{"16進文字から数字に変換できませんでした",
    "hexadecimal characters could not be read as a number"};
inline constexpr TText HexOrderLengthMessage{"文字数6個に満たない", "fewer than 6 characters"};

constexpr bool IsHexDigit(char c) noexcept
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// 0..15, or -1 for a character that is no hexadecimal digit.
constexpr int HexDigitValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A colour in the order its six digits are written: 0xRRGGBB. Of a channel outside 0..255 only
// its lowest byte is kept, as the digits keep it.
constexpr std::uint32_t PackRGB(const TRGBColor& c) noexcept
{
    return (static_cast<std::uint32_t>(c.R) & 0xFF) << 16 | (static_cast<std::uint32_t>(c.G) & 0xFF) << 8 |
           (static_cast<std::uint32_t>(c.B) & 0xFF);
}

constexpr TRGBColor UnpackRGB(std::uint32_t Value) noexcept
{
    return {static_cast<std::int32_t>(Value >> 16 & 0xFF), static_cast<std::int32_t>(Value >> 8 & 0xFF),
            static_cast<std::int32_t>(Value & 0xFF)};
}

// Exactly six hexadecimal digits to 0xRRGGBB. False (Value untouched) for anything else.
bool ParseHexDigits(std::string_view Digits, std::uint32_t& Value) noexcept;
// Exactly three hexadecimal digits, each standing for two as in CSS: "F80" reads 0xFF8800.
// False (Value untouched) for anything else.
bool ParseShortHexDigits(std::string_view Digits, std::uint32_t& Value) noexcept;
// Six hexadecimal digits with an optional leading "#". False (Color untouched) when Text is
// anything else: no spaces, no "#RGB", no second "#".
bool ParseHexColor(std::string_view Text, TRGBColor& Color) noexcept;

// The six upper-case digits of the lowest 24 bits of Value into Out[0..5].
void WriteHexDigits(std::uint32_t Value, char* Out) noexcept;
// "#" and the six digits of Value into Out[0..6].
void WriteHexColor(std::uint32_t Value, char* Out) noexcept;
// The six upper-case digits of the lowest 24 bits of Value: "RRGGBB".
std::string FormatHexDigits(std::uint32_t Value);
// "#" and six upper-case hexadecimal digits.
std::string FormatHexColor(const TRGBColor& Color);

// The value of one to eight hexadecimal digits (eight of them may give a negative number).
// EConvertError with HexDigitsMessage for anything else, the empty text included.
std::int32_t HexDigitsValue(std::string_view Digits);

// The three two-character groups of a hexadecimal text in reverse order: "RRGGBB" <-> "BBGGRR",
// the order of the digits of a colour value the platform keeps with red in its lowest byte. Of
// a longer text its last six characters are taken; below six EConvertError with
// HexOrderLengthMessage. The characters themselves are not checked.
std::string SwapHexOrder(std::string_view Text);
