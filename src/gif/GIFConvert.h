#pragma once
// Colour reduction of a whole bitmap, as the bitmap import of a GIF frame uses it. The
// exchange between frames and bitmaps itself is part of TGIFSubImage and TGIFImage.

#include "gif/GIFQuantize.h"
#include "graphics/Bitmap.h"

#include <cstdint>
#include <memory>

// A new bitmap of the same size: for method 0 a 24-bit copy, otherwise an 8-bit bitmap
// whose colour table is the chosen palette. Methods 0, 3, 4, 5, 6, 7 and 9 (with
// CustomPalette); dither methods 0 (nearest colour) and 1 (Floyd-Steinberg).
std::unique_ptr<TBitmap> ReduceToPalette(const TBitmap& Source, int ReductionMethod, int DitherMethod,
                                         int ReductionDepth, const TGIFPalette* CustomPalette);

// Row y of any bitmap as 24-bit pixels (blue, green, red).
void ReadRow24(const TBitmap& Source, int Y, std::uint8_t* Target);
