#include "colour/HexColour.h"

#include "base/Exceptions.h"

namespace {

constexpr char UpperDigits[] = "0123456789ABCDEF";

}  // namespace

bool ParseHexDigits(std::string_view Digits, std::uint32_t& Value) noexcept
{
    if (Digits.size() != 6)
        return false;
    std::uint32_t v = 0;
    for (char c : Digits) {
        const int d = HexDigitValue(c);
        if (d < 0)
            return false;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    Value = v;
    return true;
}

bool ParseShortHexDigits(std::string_view Digits, std::uint32_t& Value) noexcept
{
    if (Digits.size() != 3)
        return false;
    std::uint32_t v = 0;
    for (char c : Digits) {
        const int d = HexDigitValue(c);
        if (d < 0)
            return false;
        v = v << 8 | static_cast<std::uint32_t>(d) * 0x11;
    }
    Value = v;
    return true;
}

bool ParseHexColor(std::string_view Text, TRGBColor& Color) noexcept
{
    if (!Text.empty() && Text.front() == '#')
        Text.remove_prefix(1);
    std::uint32_t value;
    if (!ParseHexDigits(Text, value))
        return false;
    Color = UnpackRGB(value);
    return true;
}

void WriteHexDigits(std::uint32_t Value, char* Out) noexcept
{
    for (int i = 0; i < 6; ++i)
        Out[i] = UpperDigits[Value >> (20 - 4 * i) & 0xF];
}

void WriteHexColor(std::uint32_t Value, char* Out) noexcept
{
    Out[0] = '#';
    WriteHexDigits(Value, Out + 1);
}

std::string FormatHexDigits(std::uint32_t Value)
{
    std::string text(6, '0');
    WriteHexDigits(Value, text.data());
    return text;
}

std::string FormatHexColor(const TRGBColor& Color)
{
    std::string text(7, '#');
    WriteHexColor(PackRGB(Color), text.data());
    return text;
}

std::int32_t HexDigitsValue(std::string_view Digits)
{
    if (Digits.empty() || Digits.size() > 8)
        throw EConvertError(std::string(HexDigitsMessage));
    std::uint32_t value = 0;
    for (char c : Digits) {
        const int d = HexDigitValue(c);
        if (d < 0)
            throw EConvertError(std::string(HexDigitsMessage));
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return static_cast<std::int32_t>(value);
}

std::string SwapHexOrder(std::string_view Text)
{
    if (Text.size() < 6)
        throw EConvertError(std::string(HexOrderLengthMessage));
    const std::string_view t = Text.substr(Text.size() - 6);
    std::string swapped;
    swapped.reserve(6);
    swapped.append(t.substr(4, 2)).append(t.substr(2, 2)).append(t.substr(0, 2));
    return swapped;
}
