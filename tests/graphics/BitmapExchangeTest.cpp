// Widening a bitmap to 32 bits a row at a time, and exchanging pictures between bitmaps.

#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "png/PngImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<TColor> AllPixels(const TBitmap& b)
{
    std::vector<TColor> out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) out.push_back(b.Pixel(x, y));
    return out;
}

// Widths that leave every kind of row padding, indices past the palette's end, noise.
TEST(BitmapWidening, EveryPixelKeepsItsColourAndTheSpareByteIsZero)
{
    std::mt19937 rng(7);
    const TPixelFormat from[] = {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                 TPixelFormat::pf24bit};
    for (TPixelFormat format : from) {
        for (int width : {1, 2, 3, 5, 7, 9, 17, 33}) {
            TBitmap b;
            b.SetPixelFormat(format);
            b.SetSize(width, 3);
            if (b.HasPaletteFormat()) {
                // A palette shorter than the indices can reach: the rest read as black.
                const int bits = TBitmap::BitsPerPixel(format);
                TPalette palette((1u << bits) / 2 + 1);
                for (TPaletteEntry& e : palette)
                    e = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())};
                b.SetPalette(palette);
            }
            for (int y = 0; y < 3; ++y) {
                std::uint8_t* row = b.ScanLine(y);
                for (std::size_t i = 0; i < b.RowBytes(); ++i) row[i] = static_cast<std::uint8_t>(rng());
            }
            const std::vector<TColor> before = AllPixels(b);
            b.SetPixelFormat(TPixelFormat::pf32bit);
            ASSERT_EQ(AllPixels(b), before) << "from " << static_cast<int>(format) << ", width " << width;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < width; ++x) ASSERT_EQ(b.ScanLine(y)[4 * x + 3], 0);
            EXPECT_TRUE(b.Palette().empty());
        }
    }
}

TEST(BitmapWidening, PaletteEntryTransparentColourBecomesItsColour)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf8bit);
    b.SetSize(2, 1);
    b.SetPalette({{10, 20, 30}, {40, 50, 60}});
    b.SetTransparentColor(0x01000001);  // entry 1
    b.SetPixelFormat(TPixelFormat::pf32bit);
    EXPECT_EQ(b.TransparentColor(), RGBColor(40, 50, 60));
}

TEST(BitmapExchange, PicturesAndSettingsChangePlacesAndBothReportIt)
{
    TBitmap a, b;
    a.SetPixelFormat(TPixelFormat::pf8bit);
    a.SetSize(3, 2);
    a.SetPalette({{1, 2, 3}, {4, 5, 6}});
    a.ScanLine(1)[2] = 1;
    a.SetTransparent(true);
    a.SetTransparentColor(RGBColor(1, 2, 3));
    b.SetPixelFormat(TPixelFormat::pf32bit);
    b.SetSize(5, 1);
    b.SetPixel(4, 0, RGBColor(200, 100, 50));

    int changedA = 0, changedB = 0;
    a.OnChange = [&](TGraphic&) { ++changedA; };
    b.OnChange = [&](TGraphic&) { ++changedB; };
    a.Exchange(b);

    EXPECT_EQ(a.Width(), 5);
    EXPECT_EQ(a.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(a.Pixel(4, 0), RGBColor(200, 100, 50));
    EXPECT_FALSE(a.Transparent());
    EXPECT_EQ(a.TransparentMode(), TTransparentMode::tmAuto);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Height(), 2);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(b.Pixel(2, 1), RGBColor(4, 5, 6));
    EXPECT_TRUE(b.Transparent());
    EXPECT_EQ(b.TransparentColor(), RGBColor(1, 2, 3));
    EXPECT_EQ(changedA, 1);
    EXPECT_EQ(changedB, 1);
    // The handlers stayed with their bitmaps.
    b.SetSize(1, 1);
    EXPECT_EQ(changedB, 2);
    EXPECT_EQ(changedA, 1);
}

TEST(BitmapExchange, PngImageSavesTheSameAsAfterAssign)
{
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf32bit);
    picture.SetSize(7, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 7; ++x) picture.SetPixel(x, y, RGBColor(x * 30, y * 60, (x * y * 11) & 0xFF));

    PngImage assigned, exchanged;
    assigned.AutoTime = exchanged.AutoTime = false;
    assigned.Assign(&picture);
    TBitmap given;
    given.Assign(&picture);
    exchanged.ExchangeBitmap(given);
    EXPECT_TRUE(given.Empty());

    TMemoryStream one, two;
    assigned.SaveToStream(one);
    exchanged.SaveToStream(two);
    ASSERT_GT(one.Size(), 0);
    ASSERT_EQ(one.Size(), two.Size());
    EXPECT_EQ(0, std::memcmp(one.Memory(), two.Memory(), static_cast<std::size_t>(one.Size())));
}

}  // namespace
