#pragma once
// The two colour records every conversion passes through.

#include <cstdint>

// Red, green and blue, each 0..255 in use.
struct TRGBColor {
    std::int32_t R = 0;
    std::int32_t G = 0;
    std::int32_t B = 0;

    friend bool operator==(const TRGBColor&, const TRGBColor&) = default;
};

// Hue in degrees (0 <= H < 360 as produced), saturation in percent (0..100) and
// brightness on the channel scale (0..255): the largest of the three channels.
struct THSBColor {
    double H = 0.0;
    double S = 0.0;
    double B = 0.0;
};
