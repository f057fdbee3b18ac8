#include "colour/ColorConvert.h"

#include <algorithm>
#include <array>
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

namespace {

// RGBtoHSB with its expressions evaluated in Wide: the exact conversion takes the extended
// real, the quick one doubles. The results are stored as doubles where the exact conversion
// stores them.
template <class Wide>
THSBColor HSBOf(std::int32_t R, std::int32_t G, std::int32_t B) noexcept
{
    const std::int32_t max = std::max({R, G, B});
    const std::int32_t min = std::min({R, G, B});
    const std::int32_t delta = max - min;

    THSBColor hsb;
    if (delta == 0) {
        hsb.H = 0.0;
    } else if (max == G) {
        hsb.H = static_cast<double>(static_cast<Wide>(B - R) / delta * 60 + 120);
    } else if (max == B) {
        hsb.H = static_cast<double>(static_cast<Wide>(R - G) / delta * 60 + 240);
    } else {
        // Two stores, not one expression: the negative hue is rounded to a double before
        // 360 is added, and the sum is rounded again.
        hsb.H = static_cast<double>(static_cast<Wide>(G - B) / delta * 60);
        if (B > G) hsb.H = static_cast<double>(static_cast<Wide>(hsb.H) + 360);
    }
    hsb.S = max > 0 ? static_cast<double>(static_cast<Wide>(delta) / max * 100) : 0.0;
    hsb.B = max;
    return hsb;
}

// The red, green and blue of H, S, B before they are rounded to channels, evaluated in Wide as
// HSBtoRGB describes.
template <class Wide>
std::array<Wide, 3> UnroundedRGBOf(double H, double S, double B) noexcept
{
    // Each wrap step happens once: 720 becomes 360, which the sectors treat like 0.
    if (H > 360) H = static_cast<double>(static_cast<Wide>(H) - 360);
    if (H < 0) H = static_cast<double>(static_cast<Wide>(H) + 360);

    // Saturation is limited to the channel range, not to 100: above 100 it drives Lo negative.
    S = TColorConvert::ClampLevel(S);
    const double V = TColorConvert::ClampLevel(B);
    const double Lo = static_cast<double>(static_cast<Wide>(V) - (static_cast<Wide>(V) * S / 100));
    const double D = static_cast<double>(static_cast<Wide>(V) - Lo);

    const Wide h = H;
    if (H < 60) return {V, h * D / 60 + Lo, Lo};
    if (H < 120) return {Lo - (h - 120) * D / 60, V, Lo};
    if (H < 180) return {Lo, V, (h - 120) * D / 60 + Lo};
    if (H < 240) return {Lo, Lo - (h - 240) * D / 60, V};
    if (H < 300) return {(h - 240) * D / 60 + Lo, Lo, V};
    return {V, Lo, Lo - (h - 360) * D / 60};
}

}  // namespace

THSBColor TColorConvert::RGBtoHSB(std::int32_t R, std::int32_t G, std::int32_t B) noexcept
{
    return HSBOf<Extended>(R, G, B);
}

TRGBColor TColorConvert::HSBtoRGB(double H, double S, double B) noexcept
{
    const std::array<Extended, 3> c = UnroundedRGBOf<Extended>(H, S, B);
    return {ClampChannel(Nearest(c[0])), ClampChannel(Nearest(c[1])), ClampChannel(Nearest(c[2]))};
}

bool TColorConvert::ShiftQuickly(std::int32_t R, std::int32_t G, std::int32_t B, std::int32_t HueOffset,
                                 std::int32_t SatOffset, std::int32_t BrightOffset, TRGBColor& Out) noexcept
{
    const THSBColor hsb = HSBOf<double>(R, G, B);
    const std::array<double, 3> c = UnroundedRGBOf<double>(hsb.H + HueOffset, hsb.S + SatOffset, hsb.B + BrightOffset);
    return RoundClear(c[0], Out.R) && RoundClear(c[1], Out.G) && RoundClear(c[2], Out.B);
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
