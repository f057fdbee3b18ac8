#pragma once
// The colour adjuster: the one object that decides what a colour becomes.

#include "colour/Colour.h"

#include <cstdint>
#include <span>
#include <vector>

class TColourAdjuster final {
public:
    // n, the number of specific colour pairs, is the length of Adjust; Before and After
    // must hold at least n colours (std::invalid_argument otherwise).
    TColourAdjuster(std::int32_t HueOffset, std::int32_t SatOffset, std::int32_t BrightOffset,
                   std::span<const TRGBColor> Before, std::span<const TRGBColor> After,
                   std::span<const bool> Adjust);
    virtual ~TColourAdjuster() = default;

    // Immutable after construction: Convert only reads, allocates nothing and may be
    // called from several threads at once.
    virtual TRGBColor Convert(const TRGBColor& In) const noexcept;
    // The same with the extended arithmetic for every colour, where Convert takes it only
    // for the colours the quicker double arithmetic cannot answer (TColorConvert::ShiftQuickly).
    TRGBColor ConvertExactly(const TRGBColor& In) const noexcept;

    std::int32_t HueOffset() const noexcept { return FHueOffset; }
    std::int32_t SatOffset() const noexcept { return FSatOffset; }
    std::int32_t BrightOffset() const noexcept { return FBrightOffset; }
    std::size_t PairCount() const noexcept { return FAdjustFlags.size(); }

private:
    TRGBColor Convert(const TRGBColor& In, bool Quickly) const noexcept;

    std::int32_t FHueOffset;
    std::int32_t FSatOffset;
    std::int32_t FBrightOffset;
    std::vector<TRGBColor> FBeforeColors;
    std::vector<TRGBColor> FAfterColors;
    std::vector<bool> FAdjustFlags;
};
