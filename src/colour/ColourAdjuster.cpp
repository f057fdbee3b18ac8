#include "colour/ColourAdjuster.h"

#include "colour/ColorConvert.h"

#include <stdexcept>

TColourAdjuster::TColourAdjuster(std::int32_t HueOffset, std::int32_t SatOffset, std::int32_t BrightOffset,
                               std::span<const TRGBColor> Before, std::span<const TRGBColor> After,
                               std::span<const bool> Adjust)
    : FHueOffset(HueOffset), FSatOffset(SatOffset), FBrightOffset(BrightOffset)
{
    const std::size_t n = Adjust.size();
    if (Before.size() < n || After.size() < n)
        throw std::invalid_argument("colour pair arrays shorter than the adjust flags");
    FBeforeColors.assign(Before.begin(), Before.begin() + static_cast<std::ptrdiff_t>(n));
    FAfterColors.assign(After.begin(), After.begin() + static_cast<std::ptrdiff_t>(n));
    FAdjustFlags.assign(Adjust.begin(), Adjust.end());
}

TRGBColor TColourAdjuster::Convert(const TRGBColor& In) const noexcept
{
    return Convert(In, true);
}

TRGBColor TColourAdjuster::ConvertExactly(const TRGBColor& In) const noexcept
{
    return Convert(In, false);
}

TRGBColor TColourAdjuster::Convert(const TRGBColor& In, bool Quickly) const noexcept
{
    TRGBColor c = In;
    bool shift = true;
    // The first pair whose before colour matches wins; the replacement is not looked up again.
    for (std::size_t i = 0; i < FBeforeColors.size(); ++i) {
        if (FBeforeColors[i] == c) {
            c = FAfterColors[i];
            shift = FAdjustFlags[i];
            break;
        }
    }
    if (!shift) return c;
    TRGBColor quick;
    if (Quickly && TColorConvert::ShiftQuickly(c.R, c.G, c.B, FHueOffset, FSatOffset, FBrightOffset, quick))
        return quick;

    const THSBColor hsb = TColorConvert::RGBtoHSB(c.R, c.G, c.B);
    // Each sum is stored as a double, as the offsets are added in extended precision.
    const double H = static_cast<double>(static_cast<long double>(hsb.H) + FHueOffset);
    const double S = static_cast<double>(static_cast<long double>(hsb.S) + FSatOffset);
    const double B = static_cast<double>(static_cast<long double>(hsb.B) + FBrightOffset);
    return TColorConvert::HSBtoRGB(H, S, B);
}
