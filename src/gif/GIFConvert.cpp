// Exchange between GIF frames and bitmaps: a frame as an 8-bit bitmap, the image as a
// bitmap, a bitmap as a new frame (with colour reduction and a transparency mask).

#include "gif/GIFConvert.h"

#include "gif/GIFExtensions.h"
#include "gif/GIFFormat.h"
#include "gif/GIFFrame.h"
#include "gif/GIFImage.h"
#include "gif/GIFQuantize.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace {

bool IsPaletteFormat(TPixelFormat Format)
{
    return Format == TPixelFormat::pf1bit || Format == TPixelFormat::pf4bit || Format == TPixelFormat::pf8bit;
}

// The value of pixel x in a row of a palette format.
inline int IndexAt(const std::uint8_t* Row, int X, TPixelFormat Format)
{
    switch (Format) {
    case TPixelFormat::pf1bit:
        return (Row[X >> 3] >> (7 - (X & 7))) & 1;
    case TPixelFormat::pf4bit:
        return (X & 1) ? (Row[X >> 1] & 0x0F) : (Row[X >> 1] >> 4);
    default:
        return Row[X];
    }
}

std::unique_ptr<TBitmap> NewIndexedBitmap(int Width, int Height, const TGIFPalette& Palette)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(TPixelFormat::pf8bit);
    bitmap->SetSize(Width, Height);
    bitmap->SetPalette(Palette);
    return bitmap;
}

} // namespace

void ReadRow24(const TBitmap& Source, int Y, std::uint8_t* Target)
{
    const int width = Source.Width();
    switch (Source.PixelFormat()) {
    case TPixelFormat::pf24bit:
        std::memcpy(Target, Source.ScanLine(Y), static_cast<std::size_t>(width) * 3);
        return;
    case TPixelFormat::pf32bit: {
        const std::uint8_t* p = Source.ScanLine(Y);
        for (int x = 0; x < width; ++x, p += 4, Target += 3) {
            Target[0] = p[0];
            Target[1] = p[1];
            Target[2] = p[2];
        }
        return;
    }
    default:
        for (int x = 0; x < width; ++x, Target += 3) {
            const TColor c = Source.Pixel(x, Y);
            Target[0] = static_cast<std::uint8_t>(GetBValue(c));
            Target[1] = static_cast<std::uint8_t>(GetGValue(c));
            Target[2] = static_cast<std::uint8_t>(GetRValue(c));
        }
        return;
    }
}

// ---------------------------------------------------------------------------------------------
// Colour reduction

std::unique_ptr<TBitmap> ReduceToPalette(const TBitmap& Source, int ReductionMethod, int DitherMethod,
                                         int ReductionDepth, const TGIFPalette* CustomPalette)
{
    const int width = Source.Width();
    const int height = Source.Height();
    if (static_cast<std::int64_t>(width) * height > GIFMaxPixels)
        throw GIFException(GifMessage::TooLarge);
    if (DitherMethod != 0 && DitherMethod != 1)
        throw GIFException(GifMessage::DitherMethod);

    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3 + 3);
    const bool direct24 = Source.PixelFormat() == TPixelFormat::pf24bit;
    const TRowSource rows = [&](int y) -> const std::uint8_t* {
        if (direct24)
            return Source.ScanLine(y);
        ReadRow24(Source, y, row.data());
        return row.data();
    };

    if (ReductionMethod == 0) {
        auto copy = std::make_unique<TBitmap>();
        copy->SetPixelFormat(TPixelFormat::pf24bit);
        copy->SetSize(width, height);
        for (int y = 0; y < height; ++y)
            std::memcpy(copy->ScanLine(y), rows(y), static_cast<std::size_t>(width) * 3);
        return copy;
    }

    std::unique_ptr<TColorLookup> lookup;
    switch (ReductionMethod) {
    case 3:
        lookup = std::make_unique<TFastColorLookup>(
            TGIFPalette{{0x00, 0x00, 0x00}, {0x80, 0x80, 0x80}, {0xC0, 0xC0, 0xC0}, {0xFF, 0xFF, 0xFF}});
        break;
    case 4:
        lookup = std::make_unique<TMonochromeLookup>();
        break;
    case 5:
        lookup = std::make_unique<TGrayScaleLookup>();
        break;
    case 6:
        lookup = std::make_unique<TNetscapeColorLookup>();
        break;
    case 7: {
        if (ReductionDepth < 0 || ReductionDepth > 8)
            throw GIFException(GifMessage::ReductionDepth);
        lookup = std::make_unique<TFastColorLookup>(
            BuildOctreePalette(rows, width, height, 1 << ReductionDepth, 8, false));
        break;
    }
    case 9:
        if (!CustomPalette || CustomPalette->empty())
            throw GIFException(GifMessage::NoCustomPalette);
        lookup = std::make_unique<TFastColorLookup>(*CustomPalette);
        break;
    default:
        // The desktop's system palettes (methods 1, 2 and 8) are not available here.
        throw GIFException(GifMessage::ReductionMethod);
    }

    auto result = NewIndexedBitmap(width, height, lookup->Palette());
    if (width == 0 || height == 0)
        return result;
    if (DitherMethod == 1) {
        TFloydSteinbergDitherer ditherer(width, *lookup);
        for (int y = 0; y < height; ++y)
            ditherer.DitherRow(rows(y), result->ScanLine(y));
    } else {
        TDitherEngine engine(width, *lookup);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* p = rows(y);
            std::uint8_t* target = result->ScanLine(y);
            for (int n = 0; n < width; ++n) {
                const int x = engine.Column();
                target[x] = static_cast<std::uint8_t>(engine.Dither(p[3 * x + 2], p[3 * x + 1], p[3 * x]));
            }
            engine.NextLine();
        }
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Frames and bitmaps

void TGIFSubImage::Assign(const TPersistent* Source)
{
    if (!Source) {
        Clear();
        return;
    }
    if (Source == this)
        return;
    if (const auto* frame = dynamic_cast<const TGIFSubImage*>(Source)) {
        CopyFrom(*frame);
        return;
    }
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(Source)) {
        AssignFromBitmap(*bitmap);
        return;
    }
    if (const auto* graphic = dynamic_cast<const TGraphic*>(Source)) {
        TBitmap bitmap;
        bitmap.Assign(graphic);
        AssignFromBitmap(bitmap);
        return;
    }
    TGIFItem::Assign(Source);
}

const TBitmap& TGIFSubImage::Bitmap()
{
    if (!FBitmap) {
        const TGIFColorMap& map = ActiveColorMap();
        if (map.Count() == 0)
            throw GIFException(GifMessage::NoColorTable);
        auto bitmap = NewIndexedBitmap(FWidth, FHeight, map.Data());
        if (!FData.empty()) {
            for (int y = 0; y < FHeight; ++y)
                std::memcpy(bitmap->ScanLine(y), FData.data() + static_cast<std::size_t>(y) * FWidth, FWidth);
        }
        FBitmap = std::move(bitmap);
    }
    return *FBitmap;
}

void TGIFSubImage::AssignFromBitmap(const TBitmap& Source)
{
    if (&Source == FBitmap.get()) {
        // The frame's own rendering goes away with the clear below.
        TBitmap copy;
        copy.Assign(&Source);
        AssignFromBitmap(copy);
        return;
    }
    Clear();
    if (Source.Empty())
        return;
    SetWidth(Source.Width());
    SetHeight(Source.Height());

    std::unique_ptr<TBitmap> reduced;
    const TBitmap* bitmap = &Source;
    if (!IsPaletteFormat(Source.PixelFormat())) {
        const int method = FImage ? FImage->ReductionMethod : GIFDefaultReductionMethod;
        const int dither = FImage ? FImage->DitherMethod : GIFDefaultDitherMethod;
        const int depth = FImage ? FImage->ReductionDepth : GIFDefaultReductionDepth;
        reduced = ReduceToPalette(Source, method, dither, depth, nullptr);
        bitmap = reduced.get();
    }
    ImportRows(*bitmap);

    if (Source.Transparent()) {
        const std::unique_ptr<TBitmap> mask = Source.CreateMask();
        ImportTransparencyMask(*mask);
    }
}

void TGIFSubImage::ImportRows(const TBitmap& Source)
{
    const TPixelFormat format = Source.PixelFormat();
    const int width = std::min<int>(FWidth, Source.Width());
    const int height = std::min<int>(FHeight, Source.Height());
    if (IsPaletteFormat(format)) {
        FColorMap.SetData(Source.Palette());
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = Source.ScanLine(y);
            std::uint8_t* target = FData.data() + static_cast<std::size_t>(y) * FWidth;
            if (format == TPixelFormat::pf8bit) {
                std::memcpy(target, row, static_cast<std::size_t>(width));
            } else {
                for (int x = 0; x < width; ++x)
                    target[x] = static_cast<std::uint8_t>(IndexAt(row, x, format));
            }
        }
        FreeBitmap();
        return;
    }

    // True colour: each distinct colour in order of first appearance.
    FColorMap.Clear();
    std::unordered_map<std::uint32_t, std::uint8_t> known;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(Source.Width()) * 3 + 3);
    for (int y = 0; y < height; ++y) {
        ReadRow24(Source, y, row.data());
        std::uint8_t* target = FData.data() + static_cast<std::size_t>(y) * FWidth;
        std::uint32_t lastKey = 0xFFFFFFFF;
        std::uint8_t lastIndex = 0;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = row.data() + 3 * x;
            const std::uint32_t key = p[0] | (p[1] << 8) | (p[2] << 16);
            if (key != lastKey) {
                const auto it = known.find(key);
                if (it != known.end()) {
                    lastIndex = it->second;
                } else {
                    lastIndex = static_cast<std::uint8_t>(FColorMap.Add({p[2], p[1], p[0]}));
                    known.emplace(key, lastIndex);
                }
                lastKey = key;
            }
            target[x] = lastIndex;
        }
    }
    FreeBitmap();
}

void TGIFSubImage::ImportTransparencyMask(const TBitmap& Mask)
{
    FColorMap.SortColorsByUse();
    if (FColorMap.Count() == 0 || FColorMap.Count() >= GifFormat::MaxColorTableEntries)
        return;
    const int transparent = FColorMap.Add({0, 0, 0});

    bool marked = false;
    const int width = std::min<int>(FWidth, Mask.Width());
    const int height = std::min<int>(FHeight, Mask.Height());
    const TPixelFormat format = Mask.PixelFormat();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* target = FData.data() + static_cast<std::size_t>(y) * FWidth;
        if (IsPaletteFormat(format)) {
            const std::uint8_t* row = Mask.ScanLine(y);
            for (int x = 0; x < width; ++x) {
                if (IndexAt(row, x, format) != 0) {
                    target[x] = static_cast<std::uint8_t>(transparent);
                    marked = true;
                }
            }
        } else {
            for (int x = 0; x < width; ++x) {
                if ((Mask.Pixel(x, y) & 0xFFFFFF) != 0) {
                    target[x] = static_cast<std::uint8_t>(transparent);
                    marked = true;
                }
            }
        }
    }

    if (marked) {
        auto gce = std::make_unique<TGIFGraphicControlExtension>(this);
        gce->SetTransparent(true);
        gce->SetTransparentColorIndex(transparent);
        FExtensions.Add(std::move(gce));
    } else {
        FColorMap.Delete(transparent);
    }
    FreeBitmap();
}

// ---------------------------------------------------------------------------------------------
// The image as a bitmap

const TBitmap* TGIFImage::Bitmap()
{
    if (!FBitmap)
        FBitmap = MakeBitmap();
    return FBitmap.get();
}

std::unique_ptr<TBitmap> TGIFImage::MakeBitmap()
{
    if (FImages.Count() == 0)
        return nullptr;
    TGIFSubImage& frame = FImages[0];
    if (frame.Width() == Width() && frame.Height() == Height()) {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(&frame.Bitmap());
        return copy;
    }

    // The first frame drawn onto a picture of the logical screen's size.
    if (static_cast<std::int64_t>(Width()) * Height() > GIFMaxPixels)
        throw GIFException(GifMessage::TooLarge);
    TGIFColorMap& frameMap = frame.ActiveColorMap();
    const TGIFColorMap& screenMap = GlobalColorMap().Count() > 0 ? GlobalColorMap() : frameMap;
    if (screenMap.Count() == 0 || frameMap.Count() == 0)
        throw GIFException(GifMessage::NoColorTable);
    const TGIFPalette& palette = screenMap.Data();
    auto bitmap = NewIndexedBitmap(Width(), Height(), palette);
    if (bitmap->Empty())
        return bitmap;  // a screen of width or height 0

    // Outside the frame: the background colour where the palette holds it.
    const std::uint8_t background =
        FHeader.BackgroundColorIndex() < palette.size() ? FHeader.BackgroundColorIndex() : 0;
    if (background != 0)  // a new bitmap is all 0 already
        for (int y = 0; y < Height(); ++y)
            std::memset(bitmap->ScanLine(y), background, static_cast<std::size_t>(Width()));

    // Frame index to picture index: the same index when both use one map, else the
    // nearest colour. Indices beyond the frame's map read its entry 0.
    std::uint8_t table[256];
    const TGIFPalette& colors = frameMap.Data();
    for (int i = 0; i < 256; ++i) {
        if (&frameMap == &screenMap) {
            table[i] = static_cast<std::uint8_t>(i);
            continue;
        }
        const TGIFColor& c = colors[static_cast<std::size_t>(i) < colors.size() ? static_cast<std::size_t>(i) : 0];
        int best = 0;
        int bestDistance = 1 << 30;
        for (std::size_t k = 0; k < palette.size(); ++k) {
            const int d = std::abs(c.Red - palette[k].Red) + std::abs(c.Green - palette[k].Green) +
                          std::abs(c.Blue - palette[k].Blue);
            if (d < bestDistance) {
                bestDistance = d;
                best = static_cast<int>(k);
            }
        }
        table[i] = static_cast<std::uint8_t>(best);
    }

    if (!frame.Empty()) {
        const int right = std::min(Width(), frame.Left() + frame.Width());
        const int bottom = std::min(Height(), frame.Top() + frame.Height());
        const std::vector<std::uint8_t>& pixels = frame.Pixels();
        for (int y = frame.Top(); y < bottom; ++y) {
            std::uint8_t* target = bitmap->ScanLine(y);
            const std::uint8_t* source = pixels.data() + static_cast<std::size_t>(y - frame.Top()) * frame.Width();
            for (int x = frame.Left(); x < right; ++x)
                target[x] = table[source[x - frame.Left()]];
        }
    }
    return bitmap;
}
