#pragma once
// Converting every pixel of a picture held as 32-bit pixels: blue, green, red and a fourth byte
// that is left as it is (0 in the batch's bitmaps, opaque alpha in the preview's captures).
// The batch and the preview both come here, so a picture looks the same in both.

#include "colour/Colour.h"

#include <cstddef>
#include <cstdint>

class TColourAdjuster;

// The rule of pictures with a transparent colour: that colour is never changed, and no other
// pixel may turn into it, so no converted pixel is 5 or darker in all three channels.
struct TTransparencyRule {
    bool Enabled = false;
    TRGBColor Color;
};

// One pixel under the rule.
TRGBColor ConvertPictureColour(const TColourAdjuster& Adjuster, const TTransparencyRule& Rule, const TRGBColor& In);

// Converts Height rows of Width pixels starting at Bits, Stride bytes apart. Each pixel's result
// depends on its own colour only, so the rows may be shared out: Bands > 1 converts that many
// bands of rows at once on their own threads (the adjuster only reads). True when any pixel
// changed: a picture nothing changes in need not be written again.
bool ConvertPictureColours(std::uint8_t* Bits, std::size_t Stride, int Width, int Height,
                           const TColourAdjuster& Adjuster, const TTransparencyRule& Rule, int Bands = 1);

// How many bands a picture of Pixels pixels is worth sharing out in on this machine: one for
// small pictures, where starting threads costs more than it saves.
int PictureBands(std::size_t Pixels);
