#pragma once
// Converting every picture of a WebP file, still or animated, in its own kind: a lossless
// picture stays lossless and exact (alpha and the colours under transparent pixels kept), a
// lossy one is encoded again lossy at the quality its quantiser points to (webp/VP8Header.h),
// its alpha plane losslessly. The chunks that are no picture (ICC profile, EXIF, XMP, others)
// stay byte for byte; an animation keeps its canvas, loop count, and each frame its place,
// duration, blending and disposal. Each frame is converted from its own bitstream, so an
// animation keeps the structure it had.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class TColourAdjuster;

// Converts Height rows of Width pixels (blue, green, red, alpha; rows Stride bytes apart) in
// place, leaving alpha alone; returns whether any pixel changed.
using TWebPPixelConverter = std::function<bool(std::uint8_t* Bits, std::size_t Stride, int Width, int Height)>;

// The most pixels libwebp decodes in one picture (16383 x 16383): a frame or canvas asking for
// more is refused as invalid, whatever limit is set.
inline constexpr std::uint64_t WebPMaxPixels = std::uint64_t{16383} * 16383;
// The largest canvas the container allows (an animation's frames are each at most the above).
inline constexpr std::uint64_t WebPMaxCanvasPixels = 0xFFFFFFFFu;

// The file with every picture converted, or nothing when Convert changes no pixel and the
// animation's background colour stays: such a file is not written again. A frame whose pixels
// stay keeps its bitstream as it was. Raises EWebPError for a file libwebp refuses or a frame
// that cannot be decoded or encoded, EPictureTooLarge for a frame of more than MaxPixels.
std::optional<std::string> RecolourWebP(std::string_view File, const TWebPPixelConverter& Convert,
                                        std::uint64_t MaxPixels);

// Converts every pixel with the adjuster as the batch converts a PNG with alpha (no
// transparent colour), unless every colour shown stays as it is.
bool RecolourBgraPixels(std::uint8_t* Bits, std::size_t Stride, int Width, int Height, const TColourAdjuster& Adjuster);
