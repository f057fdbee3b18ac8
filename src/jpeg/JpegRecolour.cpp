#include "jpeg/JpegRecolour.h"

#include "colour/PictureColours.h"


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
    const bool changed = ConvertPictureColours(Picture.Pixels.get(), Picture.Stride(), Picture.Width, Picture.Height,
                                               Adjuster, TTransparencyRule{});
    if (changed && Picture.Coding.ColourSpace == TJpegColourSpace::Grey && !AllGrey(Picture))
        Picture.Coding.ColourSpace = AdobeSaysRgb(Picture.Coding) ? TJpegColourSpace::Rgb : TJpegColourSpace::YCbCr;
    return changed;
}
