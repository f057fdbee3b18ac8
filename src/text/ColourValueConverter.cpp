#include "text/ColourValueConverter.h"

#include "base/Exceptions.h"
#include "text/CssColorFunction.h"
#include "text/CssScanner.h"
#include "text/ValueTokens.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t npos = std::string_view::npos;

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

char Upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool StartsWithNoCase(std::string_view s, std::size_t Pos, std::string_view Prefix) noexcept
{
    if (Pos > s.size() || s.size() - Pos < Prefix.size())
        return false;
    for (std::size_t i = 0; i < Prefix.size(); ++i)
        if (Lower(s[Pos + i]) != Lower(Prefix[i]))
            return false;
    return true;
}

// Delphi-style trimming: every byte up to and including the space goes at both ends.
std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

// The number of a classic rgb() component: decimal digits only, nothing else, not even spaces.
std::optional<std::int64_t> DecimalNumber(std::string_view s)
{
    if (s.empty() || s.size() > 12)
        return std::nullopt;
    std::int64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

// The colour of "#" with three or six hexadecimal digits (the "#" is not read) as 0xRRGGBB.
bool ReadHexColour(std::string_view H, std::uint32_t& RGB) noexcept
{
    const std::string_view digits = H.substr(std::min<std::size_t>(1, H.size()));
    return digits.size() == 3 ? ParseShortHexDigits(digits, RGB) : ParseHexDigits(digits, RGB);
}

// "#RGBA" and "#RRGGBBAA" keep their alpha digits after the converted colour. Hex is the colour
// as written from its "#", Length that of the colour read from it (4 or 7), Digits the number
// of hexadecimal digits after the "#".
void AppendAlphaDigits(std::string& Out, std::string_view Hex, std::size_t Length, std::size_t Digits)
{
    if (Length == 7 && Digits == 8) {
        Out.push_back(Upper(Hex[7]));
        Out.push_back(Upper(Hex[8]));
    } else if (Length == 4 && Digits == 4) {
        Out.push_back(Upper(Hex[4]));
        Out.push_back(Upper(Hex[4]));
    }
}

}  // namespace

TColourValueConverter::TEncodingScope::TEncodingScope(TColourValueConverter& Owner, std::string_view Text)
    : FOwner(Owner)
{
    if (!FOwner.FEncoding) {
        FOwner.FEncoding = DetectTextEncoding(Text);
        FOwns = true;
    }
}

TColourValueConverter::TEncodingScope::~TEncodingScope()
{
    if (FOwns)
        FOwner.FEncoding.reset();
}

TColourValueConverter::TColourValueConverter(std::int32_t HueOffset, std::int32_t SatOffset,
                                             std::int32_t BrightOffset, std::span<const TRGBColor> Before,
                                             std::span<const TRGBColor> After, std::span<const bool> Adjust,
                                             TMatcher& Matcher)
    : FConverter(std::make_unique<TColourAdjuster>(HueOffset, SatOffset, BrightOffset, Before, After, Adjust)),
      FConvertedCache(std::make_unique<TConverted[]>(ConvertedSlots)),
      FMatcher(Matcher)
{
}

TColourValueConverter::~TColourValueConverter() = default;

TTextEncoding TColourValueConverter::Encoding() const noexcept
{
    return FEncoding.value_or(TTextEncoding::ShiftJIS);
}

std::string TColourValueConverter::ReplaceColorValue(std::string_view T)
{
    TEncodingScope scope(*this, T);
    const std::string named = NameToHex(T);
    std::string classic = ReplaceRgbFunction(named);
    if (classic != named)
        return ReplaceHex(classic);
    std::string modern = ReplaceColorFunction(named);
    if (modern != named)
        return modern;
    return ReplaceHex(named);
}

std::string TColourValueConverter::NameToHex(std::string_view S)
{
    const std::string* hex = FNames.Find(S);
    return hex ? *hex : std::string(S);
}

std::string TColourValueConverter::ReplaceRgbFunction(std::string_view S)
{
    TEncodingScope scope(*this, S);
    // Without "rgb" (any case) the command cannot match.
    bool rgb = false;
    for (std::size_t i = 0; !rgb && i + 3 <= S.size(); ++i)
        rgb = Lower(S[i]) == 'r' && StartsWithNoCase(S, i, "rgb");
    if (!rgb)
        return std::string(S);
    // RgbFunctionCommand, found directly; the matcher would refuse malformed UTF-8.
    if (Encoding() == TTextEncoding::UTF8 && !IsValidUTF8(S))
        throw EMatcherError("the text is not valid UTF-8");
    std::size_t begin = 0, length = 0;
    if (!FindClassicRgbFunction(S, Encoding(), begin, length))
        return std::string(S);
    return RgbFunctionToHex(S.substr(begin, length));
}

std::string TColourValueConverter::RgbFunctionToHex(std::string_view F)
{
    TEncodingScope scope(*this, F);
    const TTextEncoding encoding = Encoding();
    const std::size_t p1 = FindOnCharBoundary(F, "(", 0, encoding);
    const std::size_t p2 = FindOnCharBoundary(F, ",", 0, encoding);
    const std::size_t p3 = p2 == npos ? npos : FindOnCharBoundary(F, ",", p2 + 1, encoding);
    const std::size_t p4 = FindOnCharBoundary(F, ")", 0, encoding);
    if (p1 == npos || p2 == npos || p3 == npos || p4 == npos || !(p1 < p2 && p2 < p3 && p3 < p4))
        throw EConvertError(std::string(RgbContentMessage));

    const std::size_t bounds[4] = {p1, p2, p3, p4};
    std::int64_t values[3];
    for (int i = 0; i < 3; ++i) {
        const std::string_view component =
            Trimmed(F.substr(bounds[i] + 1, bounds[i + 1] - bounds[i] - 1));
        const bool percent = !component.empty() && component.back() == '%';
        const auto n = DecimalNumber(percent ? component.substr(0, component.size() - 1) : component);
        if (!n)
            throw EConvertError(std::string(RgbContentMessage));
        // n * 255 / 100 to the nearest integer, ties to the even one: 50% gives 128, 30% gives 76.
        values[i] = percent ? static_cast<std::int64_t>(
                                  std::nearbyint(static_cast<long double>(*n * 255) / 100.0L))
                            : *n;
    }
    for (std::int64_t v : values)
        if (v > 255)
            throw EConvertError(std::string(RgbTooLargeMessage));
    return FormatHexColor({static_cast<std::int32_t>(values[0]), static_cast<std::int32_t>(values[1]),
                           static_cast<std::int32_t>(values[2])});
}

std::string TColourValueConverter::ReplaceHex(std::string_view S)
{
    TEncodingScope scope(*this, S);
    // The match of HexCommand, found directly; the matcher would refuse malformed UTF-8.
    if (S.find('#') == npos)
        return std::string(S);
    if (Encoding() == TTextEncoding::UTF8 && !IsValidUTF8(S))
        throw EMatcherError("the text is not valid UTF-8");
    std::size_t begin = 0, length = 0;
    if (!FindHexColor(S, begin, length))
        return std::string(S);
    std::string result = ConvertHex(S.substr(begin, length));

    std::size_t digits = 0;
    while (begin + 1 + digits < S.size() && IsHexDigit(S[begin + 1 + digits]))
        ++digits;
    AppendAlphaDigits(result, S.substr(begin), length, digits);
    return result;
}

std::string TColourValueConverter::ConvertHex(std::string_view H)
{
    std::uint32_t rgb;
    if (ReadHexColour(H, rgb)) {
        std::string result(7, '#');
        WriteHexColor(ConvertedRGB(rgb), result.data());
        return result;
    }
    std::string h(H);
    if (h.size() == 4)
        h = {h[0], h[1], h[1], h[2], h[2], h[3], h[3]};
    const auto digits = [&](std::size_t from) {
        return from < h.size() ? std::string_view(h).substr(from, 2) : std::string_view();
    };
    const TRGBColor c{HexToInt(digits(1)), HexToInt(digits(3)), HexToInt(digits(5))};
    return FormatHexColor(FConverter->Convert(c));
}

// The converter gives the same colour for the same colour every time, so the colours of a text
// are converted once and then remembered.
std::uint32_t TColourValueConverter::ConvertedRGB(std::uint32_t RGB)
{
    const std::uint32_t key = RGB | 0x1000000u;
    TConverted& slot = FConvertedCache[((RGB * 2654435761u) >> 20) & (ConvertedSlots - 1)];
    if (slot.Key != key) {
        slot.Value = PackRGB(FConverter->Convert(UnpackRGB(RGB)));
        slot.Key = key;
    }
    return slot.Value;
}

std::int32_t TColourValueConverter::HexToInt(std::string_view D)
{
    return HexDigitsValue(D);
}

std::string TColourValueConverter::ReplaceColorFunction(std::string_view S)
{
    TEncodingScope scope(*this, S);
    const auto function = FindCssColorFunction(S, Encoding());
    if (!function)
        return std::string(S);
    const TRGBColor c = FConverter->Convert(function->Color);
    if (!function->HasAlpha)
        return FormatHexColor(c);
    std::string result = "rgba(";
    result += std::to_string(c.R) + ", " + std::to_string(c.G) + ", " + std::to_string(c.B) + ", ";
    result.append(function->Alpha);
    result.push_back(')');
    return result;
}

// A word of letters (Word) and "#" with hexadecimal digits, by far the most common tokens, are
// converted directly: with plain names neither can be a colour function, so only the name
// lookup and the hexadecimal colour apply.
std::optional<std::uint32_t> TColourValueConverter::ReadColourValue(std::string_view Value) const
{
    std::uint32_t rgb;
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!Value.empty() && std::all_of(Value.begin(), Value.end(), letter)) {
        const std::string* hex = FNames.Find(Value);
        if (hex && ReadHexColour(*hex, rgb)) return rgb;
        return std::nullopt;
    }
    if (Value.size() >= 2 && Value[0] == '#' && std::all_of(Value.begin() + 1, Value.end(), IsHexDigit)) {
        const std::size_t digits = Value.size() - 1;
        if (digits != 3 && digits != 4 && digits != 6 && digits != 8) return std::nullopt;
        if (ReadHexColour(Value.substr(0, digits >= 6 ? 7 : 4), rgb)) return rgb;
        return std::nullopt;
    }
    if (const auto function = ParseCssColorFunction(Value)) return PackRGB(function->Color);
    return std::nullopt;
}

bool TColourValueConverter::ConvertValueToken(std::string_view Value, bool Word, std::string& Rewritten)
{
    if (!FNames.Plain()) {
        Rewritten = ReplaceColorValue(Value);
        return Rewritten != Value;
    }
    // A colour that converts to itself keeps its own spelling; another is written #RRGGBB.
    std::uint32_t converted = 0;
    const auto changes = [&](std::uint32_t Rgb) {
        converted = ConvertedRGB(Rgb);
        if (converted == Rgb) return false;
        Rewritten.resize(7);
        WriteHexColor(converted, Rewritten.data());
        return true;
    };
    std::uint32_t rgb;
    if (Word) {
        const std::string* hex = FNames.Find(Value);
        return hex && ReadHexColour(*hex, rgb) && changes(rgb);
    }
    if (Value.size() >= 2 && Value[0] == '#' && std::all_of(Value.begin() + 1, Value.end(), IsHexDigit)) {
        const std::size_t digits = Value.size() - 1;
        if (digits != 3 && digits != 4 && digits != 6 && digits != 8)
            return false;
        const std::size_t length = digits >= 6 ? 7 : 4;
        if (!ReadHexColour(Value.substr(0, length), rgb) || !changes(rgb))
            return false;
        AppendAlphaDigits(Rewritten, Value, length, digits);
        return true;
    }
    const std::string classic = ReplaceRgbFunction(Value);
    if (classic != Value)
        return ReadHexColour(classic, rgb) && changes(rgb);
    const auto function = ParseCssColorFunction(Value);
    if (!function || !changes(PackRGB(function->Color)))
        return false;
    if (!function->HasAlpha)
        return true;
    const TRGBColor c = UnpackRGB(converted);
    Rewritten = "rgba(";
    Rewritten += std::to_string(c.R) + ", " + std::to_string(c.G) + ", " + std::to_string(c.B) + ", ";
    Rewritten.append(function->Alpha);
    Rewritten.push_back(')');
    return true;
}
