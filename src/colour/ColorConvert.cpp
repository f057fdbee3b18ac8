#include "colour/ColorConvert.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

using Extended = long double;

// Where two ways of working out a channel may round apart: within this of a half. Either way
// stays within 1e-9 of the exact value: its values stay below 250,000 (the hue times the spread
// of the channels), where a unit in the last place of a double is 3e-11, and it takes fewer than
// ten steps, each losing at most one.
constexpr double NearHalf = 1e-6;

// Value rounded to the nearest integer, into Channel clamped to 0..255, when it is not near a
// half. Adding and taking away 1.5 * 2^52 rounds a double of this size to an integer.
bool RoundClear(double Value, std::int32_t& Channel) noexcept
{
    constexpr double Shift = 0x1.8p52;
    const double rounded = (Value + Shift) - Shift;
    if (std::fabs(Value - rounded) > 0.5 - NearHalf)
        return false;
    Channel = std::clamp(static_cast<std::int32_t>(rounded), 0, 255);
    return true;
}

} // namespace

// The integer nearest to x, ties to even, taken on the extended value. Values far outside
// the channel range are clamped first so the conversion to an integer is always defined.
// With a 64-bit significand, adding and taking away 1.5 * 2^63 leaves x rounded to an
// integer, ties to even (the rounding mode is never changed from its default): the same as
// nearbyintl, without saving the floating-point state or switching its rounding control.
// The integer then fits a double exactly.
std::int32_t TColorConvert::Nearest(long double x) noexcept
{
    if (!(x > -1.0e6L)) return -1000000;
    if (x > 1.0e6L) return 1000000;
#if LDBL_MANT_DIG == 64
    constexpr long double Shift = 0x1.8p63L;
    const long double shifted = x + Shift;
    return static_cast<std::int32_t>(static_cast<double>(shifted - Shift));
#else
    return static_cast<std::int32_t>(std::nearbyintl(x));
#endif
}

THSBColor TColorConvert::RGBtoHSB(std::int32_t R, std::int32_t G, std::int32_t B) noexcept
{
    const std::int32_t max = std::max({R, G, B});
    const std::int32_t min = std::min({R, G, B});
    const std::int32_t delta = max - min;

    THSBColor hsb;
    if (delta == 0) {
        hsb.H = 0.0;
    } else if (max == G) {
        hsb.H = static_cast<double>(static_cast<Extended>(B - R) / delta * 60 + 120);
    } else if (max == B) {
        hsb.H = static_cast<double>(static_cast<Extended>(R - G) / delta * 60 + 240);
    } else {
        // Two stores, not one expression: the negative hue is rounded to a double before
        // 360 is added, and the sum is rounded again.
        hsb.H = static_cast<double>(static_cast<Extended>(G - B) / delta * 60);
        if (B > G) hsb.H = static_cast<double>(static_cast<Extended>(hsb.H) + 360);
    }
    hsb.S = max > 0 ? static_cast<double>(static_cast<Extended>(delta) / max * 100) : 0.0;
    hsb.B = max;
    return hsb;
}

TRGBColor TColorConvert::HSBtoRGB(double H, double S, double B) noexcept
{
    // Each wrap step happens once: 720 becomes 360, which the sectors treat like 0.
    if (H > 360) H = static_cast<double>(static_cast<Extended>(H) - 360);
    if (H < 0) H = static_cast<double>(static_cast<Extended>(H) + 360);

    // Saturation is limited to the channel range, not to 100: above 100 it drives Lo negative.
    S = ClampLevel(S);
    const double V = ClampLevel(B);
    const double Lo = static_cast<double>(static_cast<Extended>(V) - (static_cast<Extended>(V) * S / 100));
    const double D = static_cast<double>(static_cast<Extended>(V) - Lo);

    const Extended h = H;
    std::int32_t r, g, b;
    if (H < 60) {
        r = Nearest(V);
        g = Nearest(h * D / 60 + Lo);
        b = Nearest(Lo);
    } else if (H < 120) {
        r = Nearest(Lo - (h - 120) * D / 60);
        g = Nearest(V);
        b = Nearest(Lo);
    } else if (H < 180) {
        r = Nearest(Lo);
        g = Nearest(V);
        b = Nearest((h - 120) * D / 60 + Lo);
    } else if (H < 240) {
        r = Nearest(Lo);
        g = Nearest(Lo - (h - 240) * D / 60);
        b = Nearest(V);
    } else if (H < 300) {
        r = Nearest((h - 240) * D / 60 + Lo);
        g = Nearest(Lo);
        b = Nearest(V);
    } else {
        r = Nearest(V);
        g = Nearest(Lo);
        b = Nearest(Lo - (h - 360) * D / 60);
    }
    return {ClampChannel(r), ClampChannel(g), ClampChannel(b)};
}

bool TColorConvert::ShiftQuickly(std::int32_t R, std::int32_t G, std::int32_t B, std::int32_t HueOffset,
                                 std::int32_t SatOffset, std::int32_t BrightOffset, TRGBColor& Out) noexcept
{
    // RGBtoHSB and HSBtoRGB step by step, in doubles.
    const std::int32_t max = std::max({R, G, B});
    const std::int32_t min = std::min({R, G, B});
    const std::int32_t delta = max - min;
    double H = 0;
    if (delta == 0) {
        H = 0;
    } else if (max == G) {
        H = static_cast<double>(B - R) / delta * 60 + 120;
    } else if (max == B) {
        H = static_cast<double>(R - G) / delta * 60 + 240;
    } else {
        H = static_cast<double>(G - B) / delta * 60;
        if (B > G) H += 360;
    }
    double S = max > 0 ? static_cast<double>(delta) / max * 100 : 0.0;

    H += HueOffset;
    S = ClampLevel(S + SatOffset);
    const double V = ClampLevel(static_cast<double>(max) + BrightOffset);
    if (H > 360) H -= 360;
    if (H < 0) H += 360;
    const double Lo = V - V * S * (1.0 / 100);
    const double D = V - Lo;

    double r, g, b;
    if (H < 60) {
        r = V;
        g = H * D * (1.0 / 60) + Lo;
        b = Lo;
    } else if (H < 120) {
        r = Lo - (H - 120) * D * (1.0 / 60);
        g = V;
        b = Lo;
    } else if (H < 180) {
        r = Lo;
        g = V;
        b = (H - 120) * D * (1.0 / 60) + Lo;
    } else if (H < 240) {
        r = Lo;
        g = Lo - (H - 240) * D * (1.0 / 60);
        b = V;
    } else if (H < 300) {
        r = (H - 240) * D * (1.0 / 60) + Lo;
        g = Lo;
        b = V;
    } else {
        r = V;
        g = Lo;
        b = Lo - (H - 360) * D * (1.0 / 60);
    }
    return RoundClear(r, Out.R) && RoundClear(g, Out.G) && RoundClear(b, Out.B);
}

std::int32_t TColorConvert::ClampChannel(std::int32_t x) noexcept
{
    if (x < 0) return 0;
    if (x > 255) return 255;
    return x;
}

double TColorConvert::ClampLevel(double x) noexcept
{
    if (x < 0) return 0.0;
    if (x > 255) return 255.0;
    return x;
}
