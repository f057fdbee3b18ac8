#pragma once
// A decoded JPEG: its pixels, and how it was coded, so that it can be coded again the same way.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TJpegColourSpace { Grey, YCbCr, Rgb, Cmyk, Ycck, Other };

// An APPn or COM marker segment: its marker code (0xE0..0xEF, 0xFE) and its data without the
// length, byte for byte.
struct TJpegMarker {
    int Code = 0;
    std::string Data;
    bool operator==(const TJpegMarker&) const = default;
};

struct TJpegSampling {
    int H = 1;
    int V = 1;
    bool operator==(const TJpegSampling&) const = default;
};

struct TJpegCoding {
    TJpegColourSpace ColourSpace = TJpegColourSpace::YCbCr;
    std::vector<TJpegSampling> Sampling;  // one per component, in order
    int Quality = 75;                     // see jpeg/JpegQuality.h
    bool Baseline = true;                 // quantisation tables with 8-bit entries
    bool Progressive = false;
    bool Arithmetic = false;
    unsigned RestartInterval = 0;         // in MCUs; 0: none
    // Every APPn and COM marker segment, in the file's order.
    std::vector<TJpegMarker> Markers;
};

struct TJpegPicture {
    int Width = 0;
    int Height = 0;
    TJpegCoding Coding;
    // Width x Height pixels of four bytes, blue, green, red and one unused, rows Stride() bytes
    // apart (a greyscale picture has its grey in all three).
    std::unique_ptr<std::uint8_t[]> Pixels;
    std::size_t Stride() const { return static_cast<std::size_t>(Width) * 4; }
};
