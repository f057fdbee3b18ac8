#pragma once
// The six conversion settings the main window owns and every adjuster is built from:
// the three scroll-bar offsets and the specific colour table as three parallel arrays.

#include "colour/ColourAdjuster.h"
#include "colour/Colour.h"

#include <cstdint>
#include <memory>
#include <vector>

struct TConversionSettings {
    std::int32_t HueOffset = 0;     // scbH, -180..180
    std::int32_t SatOffset = 0;     // scbS, -255..255
    std::int32_t BrightOffset = 0;  // scbB, -255..255
    std::vector<TRGBColor> BeforeColors;
    std::vector<TRGBColor> AfterColors;
    // A plain byte per flag, so the array can be handed out as a span of bool.
    std::vector<std::uint8_t> AdjustFlags;

    void AddPair(const TRGBColor& before, const TRGBColor& after, bool adjust)
    {
        BeforeColors.push_back(before);
        AfterColors.push_back(after);
        AdjustFlags.push_back(adjust ? 1 : 0);
    }

    std::span<const bool> Adjust() const
    {
        static_assert(sizeof(bool) == sizeof(std::uint8_t));
        return {reinterpret_cast<const bool*>(AdjustFlags.data()), AdjustFlags.size()};
    }

    // A fresh adjuster from all six values, in the order hue, saturation, brightness,
    // before colours, after colours, adjust flags.
    std::unique_ptr<TColourAdjuster> MakeAdjuster() const
    {
        return std::make_unique<TColourAdjuster>(HueOffset, SatOffset, BrightOffset, BeforeColors,
                                                AfterColors, Adjust());
    }
};
