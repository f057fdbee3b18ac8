#pragma once
// JPEG files for the tests, made and taken apart with libjpeg itself (not with the codec under
// test): photo-like and logo-like pictures, coded at a given quality, sampling, process and
// restart interval with given marker segments; decoding to RGB; the marker segments of a file.

#include <cstdint>
#include <string>
#include <vector>

namespace jpegtest {

struct TRgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Rgb;  // three bytes a pixel, row after row
};

// Smooth gradients with sensor-like noise, a sky-to-ground band and a few hard-edged objects,
// as in a photograph.
TRgbImage PhotoLike(int Width, int Height, unsigned Seed);
// Flat colours with hard edges: a background, coloured bars and blocks, strokes like letters.
TRgbImage LogoLike(int Width, int Height);
// The picture's luminance in all three channels.
TRgbImage Greyed(const TRgbImage& Image);

struct TMarker {
    int Code = 0;  // 0xE0..0xEF, 0xFE
    std::string Data;
    bool operator==(const TMarker&) const = default;
};

// Marker segments as a camera or an editor writes them: EXIF (APP1) with an orientation,
// an ICC profile (APP2), XMP (APP1) and a comment (COM).
std::vector<TMarker> SiteMarkers();

struct TMakeOptions {
    int Quality = 90;
    int LumaH = 2;  // sampling of the first component; the others 1x1 (2,2: 4:2:0; 2,1: 4:2:2)
    int LumaV = 2;
    bool Grey = false;  // one component
    bool Rgb = false;   // three components stored as RGB, with libjpeg's Adobe marker saying so
    bool Progressive = false;
    bool Arithmetic = false;
    unsigned RestartInterval = 0;
    bool Jfif = true;  // libjpeg writes its JFIF APP0 first
    bool ForceBaseline = true;
    std::vector<TMarker> Markers;  // written after libjpeg's own
};

std::string MakeJpeg(const TRgbImage& Image, const TMakeOptions& Options);
// A CMYK file (with libjpeg's Adobe marker), as print work saved for a site may be.
std::string MakeCmykJpeg(const TRgbImage& Image);

// Decoded to RGB by libjpeg (a greyscale file gives its grey in all three channels).
// Components: the file's number of components.
TRgbImage DecodeJpeg(const std::string& Bytes, int* Components = nullptr);

// A file's marker segments up to its first scan: the code and the data after the length.
std::vector<TMarker> Segments(const std::string& Bytes);
// Only the APPn and COM ones, in order.
std::vector<TMarker> AppAndComSegments(const std::string& Bytes);

struct TFrameInfo {
    int Marker = 0;  // SOFn code
    std::vector<std::pair<int, int>> Sampling;
    unsigned RestartInterval = 0;
    std::vector<std::vector<int>> Tables;  // the DQT tables by slot, natural order
    std::vector<int> TableOfComponent;
};
TFrameInfo FrameInfo(const std::string& Bytes);

// The quantisation table libjpeg makes for Quality (slot 0 luminance, 1 chrominance), natural order.
std::vector<int> LibjpegTable(int Slot, int Quality, bool ForceBaseline = true);

}  // namespace jpegtest
