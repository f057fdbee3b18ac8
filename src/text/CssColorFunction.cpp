#include "text/CssColorFunction.h"

#include "colour/ColorConvert.h"

#include "text/CssScanner.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace {

bool IsCssSpace(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool StartsWithNoCase(std::string_view s, std::size_t Pos, std::string_view Prefix) noexcept
{
    if (Pos > s.size() || s.size() - Pos < Prefix.size())
        return false;
    for (std::size_t i = 0; i < Prefix.size(); ++i)
        if (Lower(s[Pos + i]) != Lower(Prefix[i]))
            return false;
    return true;
}

bool EqualNoCase(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trim(std::string_view s) noexcept
{
    while (!s.empty() && IsCssSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsCssSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Length of the CSS <number> at the start of s (sign, digits, "." and digits, exponent), 0 when
// there is none.
std::size_t NumberLength(std::string_view s) noexcept
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t intStart = i;
    while (i < s.size() && IsDigit(s[i]))
        ++i;
    bool digits = i > intStart;
    if (i + 1 < s.size() && s[i] == '.' && IsDigit(s[i + 1])) {
        i += 1;
        while (i < s.size() && IsDigit(s[i]))
            ++i;
        digits = true;
    }
    if (!digits)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

// The value of a CSS number that NumberLength has accepted whole. from_chars does not depend
// on the locale the desktop program runs in.
long double NumberValue(std::string_view s)
{
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    // Whole numbers, most of them, are exact as they are.
    if (!s.empty() && s.size() <= 18 && std::all_of(s.begin(), s.end(), IsDigit)) {
        std::int64_t whole = 0;
        for (const char c : s)
            whole = whole * 10 + (c - '0');
        return negative ? -static_cast<long double>(whole) : static_cast<long double>(whole);
    }
    // "from_chars" wants a digit before the point.
    std::string text = !s.empty() && s.front() == '.' ? "0" + std::string(s) : std::string(s);
    long double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = HUGE_VALL;
    return negative ? -value : value;
}

enum class TUnit { None, Percent, Deg, Rad, Grad, Turn, Bad };

struct TComponent {
    long double Value = 0;
    TUnit Unit = TUnit::Bad;
};

TComponent ReadComponent(std::string_view s)
{
    TComponent c;
    const std::size_t n = NumberLength(s);
    if (n == 0)
        return c;
    c.Value = NumberValue(s.substr(0, n));
    const std::string_view unit = s.substr(n);
    if (unit.empty())
        c.Unit = TUnit::None;
    else if (unit == "%")
        c.Unit = TUnit::Percent;
    else if (EqualNoCase(unit, "deg"))
        c.Unit = TUnit::Deg;
    else if (EqualNoCase(unit, "rad"))
        c.Unit = TUnit::Rad;
    else if (EqualNoCase(unit, "grad"))
        c.Unit = TUnit::Grad;
    else if (EqualNoCase(unit, "turn"))
        c.Unit = TUnit::Turn;
    return c;
}

std::int32_t RoundChannel(long double v) { return TColorConvert::Nearest(v); }

// One rgb() channel: a number 0..255 or a percentage 0..100.
std::optional<std::int32_t> RgbChannel(const TComponent& c)
{
    if (c.Unit == TUnit::None && c.Value >= 0 && c.Value <= 255)
        return RoundChannel(c.Value);
    if (c.Unit == TUnit::Percent && c.Value >= 0 && c.Value <= 100)
        return RoundChannel(c.Value * 255 / 100);
    return std::nullopt;
}

std::optional<long double> HueDegrees(const TComponent& c)
{
    constexpr long double Pi = 3.141592653589793238462643383279502884L;
    if (!std::isfinite(c.Value))
        return std::nullopt;
    switch (c.Unit) {
    case TUnit::None:
    case TUnit::Deg: return c.Value;
    case TUnit::Rad: return c.Value * 180 / Pi;
    case TUnit::Grad: return c.Value * 360 / 400;
    case TUnit::Turn: return c.Value * 360;
    default: return std::nullopt;
    }
}

// Saturation or lightness in percent: a percentage, or in the space-separated form also a
// plain number meaning the same.
std::optional<long double> HslPercent(const TComponent& c, bool PlainNumberAllowed)
{
    if (!(c.Unit == TUnit::Percent || (PlainNumberAllowed && c.Unit == TUnit::None)))
        return std::nullopt;
    if (c.Value < 0 || c.Value > 100)
        return std::nullopt;
    return c.Value;
}

bool IsAlpha(std::string_view s)
{
    const TComponent c = ReadComponent(s);
    return (c.Unit == TUnit::None || c.Unit == TUnit::Percent) && std::isfinite(c.Value);
}

std::vector<std::string_view> Split(std::string_view s, char Separator)
{
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = s.find(Separator, from);
        parts.push_back(Trim(s.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from)));
        if (at == std::string_view::npos)
            return parts;
        from = at + 1;
    }
}

std::vector<std::string_view> SplitSpaces(std::string_view s)
{
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsCssSpace(s[i]))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && !IsCssSpace(s[i]))
            ++i;
        if (i > start)
            parts.push_back(s.substr(start, i - start));
    }
    return parts;
}

}  // namespace

TRGBColor HslToRgb(long double Hue, long double Saturation, long double Lightness)
{
    long double h = std::fmod(Hue, 360.0L);
    if (h < 0)
        h += 360;
    const long double s = Saturation / 100;
    const long double l = Lightness / 100;
    const long double a = s * std::min(l, 1 - l);
    const auto f = [&](long double n) {
        const long double k = std::fmod(n + h / 30, 12.0L);
        return l - a * std::max(-1.0L, std::min({k - 3, 9 - k, 1.0L}));
    };
    return {RoundChannel(f(0) * 255), RoundChannel(f(8) * 255), RoundChannel(f(4) * 255)};
}

THslColor RgbToHsl(const TRGBColor& Color)
{
    const long double r = Color.R / 255.0L, g = Color.G / 255.0L, b = Color.B / 255.0L;
    const long double max = std::max({r, g, b});
    const long double min = std::min({r, g, b});
    const long double d = max - min;
    const long double l = (max + min) / 2;
    THslColor hsl{0, 0, l * 100};
    if (d == 0)
        return hsl;
    hsl.S = (l == 0 || l == 1 ? 0 : d / (1 - std::fabs(2 * l - 1))) * 100;
    long double h;
    if (max == r)
        h = (g - b) / d + (g < b ? 6 : 0);
    else if (max == g)
        h = (b - r) / d + 2;
    else
        h = (r - g) / d + 4;
    hsl.H = std::fmod(h * 60, 360.0L);
    return hsl;
}

std::optional<TCssColorFunction> ParseCssColorFunction(std::string_view Text)
{
    const std::size_t open = Text.find('(');
    if (open == std::string_view::npos || Text.empty() || Text.back() != ')')
        return std::nullopt;
    const std::string_view name = Text.substr(0, open);
    const bool rgb = EqualNoCase(name, "rgb") || EqualNoCase(name, "rgba");
    const bool hsl = EqualNoCase(name, "hsl") || EqualNoCase(name, "hsla");
    if (!rgb && !hsl)
        return std::nullopt;
    const std::string_view inside = Text.substr(open + 1, Text.size() - open - 2);
    if (inside.find_first_of("()") != std::string_view::npos)
        return std::nullopt;

    std::vector<std::string_view> channels;
    std::string_view alpha;
    bool hasAlpha = false;
    const bool commas = inside.find(',') != std::string_view::npos;
    if (commas) {
        channels = Split(inside, ',');
        if (channels.size() == 4) {
            hasAlpha = true;
            alpha = channels.back();
            channels.pop_back();
        }
    } else {
        const std::vector<std::string_view> halves = Split(inside, '/');
        if (halves.size() > 2)
            return std::nullopt;
        channels = SplitSpaces(halves[0]);
        if (halves.size() == 2) {
            hasAlpha = true;
            alpha = halves[1];
        }
    }
    if (channels.size() != 3)
        return std::nullopt;
    // The alpha value is one number or percentage: "1 2" after the "/" is malformed.
    if (hasAlpha && (alpha.empty() || SplitSpaces(alpha).size() != 1 || !IsAlpha(alpha)))
        return std::nullopt;

    TComponent c[3];
    for (int i = 0; i < 3; ++i) {
        if (channels[i].empty())
            return std::nullopt;
        c[i] = ReadComponent(channels[i]);
        if (c[i].Unit == TUnit::Bad)
            return std::nullopt;
    }

    TCssColorFunction result;
    if (rgb) {
        // The comma form takes three numbers or three percentages, not a mixture.
        if (commas && !(c[0].Unit == c[1].Unit && c[1].Unit == c[2].Unit))
            return std::nullopt;
        std::int32_t v[3];
        for (int i = 0; i < 3; ++i) {
            const auto channel = RgbChannel(c[i]);
            if (!channel)
                return std::nullopt;
            v[i] = *channel;
        }
        result.Color = {v[0], v[1], v[2]};
    } else {
        const auto hue = HueDegrees(c[0]);
        const auto saturation = HslPercent(c[1], !commas);
        const auto lightness = HslPercent(c[2], !commas);
        if (!hue || !saturation || !lightness)
            return std::nullopt;
        result.Color = HslToRgb(*hue, *saturation, *lightness);
    }
    result.HasAlpha = hasAlpha;
    result.Alpha = alpha;
    return result;
}

std::optional<TCssColorFunction> FindCssColorFunction(std::string_view Text, TTextEncoding Encoding)
{
    if (Text.find('(') == std::string_view::npos)
        return std::nullopt;
    bool afterIdentifier = false;
    for (std::size_t i = 0; i < Text.size(); i += CharLengthAt(Text, i, Encoding)) {
        const bool start =
            !afterIdentifier && (StartsWithNoCase(Text, i, "rgb") || StartsWithNoCase(Text, i, "hsl"));
        afterIdentifier = IsIdentifierByte(Text[i]);
        if (!start)
            continue;
        std::size_t open = i + 3;
        if (open < Text.size() && Lower(Text[open]) == 'a')
            ++open;
        if (open >= Text.size() || Text[open] != '(')
            continue;
        const std::size_t close = FindOnCharBoundary(Text, ")", open, Encoding);
        if (close == std::string_view::npos)
            break;
        if (auto function = ParseCssColorFunction(Text.substr(i, close + 1 - i)))
            return function;
    }
    return std::nullopt;
}
