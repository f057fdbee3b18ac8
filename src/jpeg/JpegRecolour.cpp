#include "jpeg/JpegRecolour.h"

#include "colour/PictureColours.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

bool AllGrey(const TJpegPicture& Picture)
{
    for (int y = 0; y < Picture.Height; ++y) {
        const std::uint8_t* p = Picture.Pixels.get() + Picture.Stride() * static_cast<std::size_t>(y);
        for (int x = 0; x < Picture.Width; ++x, p += 4)
            if (p[0] != p[1] || p[1] != p[2]) return false;
    }
    return true;
}

// An Adobe APP14 marker with transform 0: three components are RGB, not YCbCr.
bool AdobeSaysRgb(const TJpegCoding& Coding)
{
    for (const TJpegMarker& m : Coding.Markers)
        if (m.Code == 0xEE && m.Data.size() >= 12 && m.Data.compare(0, 5, "Adobe") == 0) return m.Data[11] == 0;
    return false;
}

}  // namespace

bool RecolourJpeg(TJpegPicture& Picture, const TColourAdjuster& Adjuster)
{
    // Converted in bands, each compared with a copy of itself, so that a picture nothing
    // changes in is known without holding it twice.
    constexpr int BandRows = 64;
    const std::size_t stride = Picture.Stride();
    std::vector<std::uint8_t> before(stride * static_cast<std::size_t>(std::min(BandRows, Picture.Height)));
    bool changed = false;
    for (int y = 0; y < Picture.Height; y += BandRows) {
        const int rows = std::min(BandRows, Picture.Height - y);
        std::uint8_t* band = Picture.Pixels.get() + stride * static_cast<std::size_t>(y);
        const std::size_t size = stride * static_cast<std::size_t>(rows);
        if (!changed) std::memcpy(before.data(), band, size);
        ConvertPictureColours(band, stride, Picture.Width, rows, Adjuster, TTransparencyRule{});
        if (!changed) changed = std::memcmp(before.data(), band, size) != 0;
    }
    if (changed && Picture.Coding.ColourSpace == TJpegColourSpace::Grey && !AllGrey(Picture))
        Picture.Coding.ColourSpace = AdobeSaysRgb(Picture.Coding) ? TJpegColourSpace::Rgb : TJpegColourSpace::YCbCr;
    return changed;
}
