#pragma once
// RGB <-> HSB conversions with the exact arithmetic every colour result depends on.

#include "colour/Colour.h"

#include <cstdint>
#include <limits>

// The conversions evaluate every expression with a 64-bit significand and round only
// where a value is stored (to a double) or converted to a channel (to nearest, ties to
// even). Colours that land on a .5 boundary -- and there are tens of thousands of them
// at common hue offsets -- come out differently with plain double arithmetic, so the
// intermediate type must be the 80-bit extended real. On a platform where long double
// is something else we refuse to build rather than quietly produce other colours.
static_assert(std::numeric_limits<long double>::digits == 64,
              "Tessival's colour arithmetic needs long double to be the 80-bit x87 extended type");

class TColorConvert {
public:
    TColorConvert() = delete;

    static THSBColor RGBtoHSB(std::int32_t R, std::int32_t G, std::int32_t B) noexcept;
    // Takes any values: the hue is wrapped once, saturation and brightness are clamped.
    static TRGBColor HSBtoRGB(double H, double S, double B) noexcept;
    static std::int32_t ClampChannel(std::int32_t x) noexcept;
    // The integer nearest to x, ties to even (values beyond a million are clamped there).
    static std::int32_t Nearest(long double x) noexcept;
    static double ClampLevel(double x) noexcept;

    // R, G, B with the offsets added to its hue, saturation and brightness (RGBtoHSB, each sum
    // stored as a double, HSBtoRGB) worked out in double precision: true, with the channels in
    // Out, where they are those of the exact arithmetic. The two ways part by far less than a
    // millionth before the channels are rounded, so they round alike except where a value lies
    // that near a half; there it is false, and the exact way must decide.
    static bool ShiftQuickly(std::int32_t R, std::int32_t G, std::int32_t B, std::int32_t HueOffset,
                             std::int32_t SatOffset, std::int32_t BrightOffset, TRGBColor& Out) noexcept;
};
