#include "graphics/Bitmap.h"
#include "base/Exceptions.h"
#include "graphics/Picture.h"
#include "graphics/Stream.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const TPixelFormat kAllFormats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,
                                    TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                    TPixelFormat::pf32bit};

TEST(Bitmap, RowsArePaddedToFourBytes)
{
    struct Case {
        TPixelFormat format;
        int width;
        std::size_t bytes;
    } cases[] = {{TPixelFormat::pf1bit, 1, 4},   {TPixelFormat::pf1bit, 33, 8},  {TPixelFormat::pf4bit, 9, 8},
                 {TPixelFormat::pf8bit, 5, 8},   {TPixelFormat::pf15bit, 3, 8},  {TPixelFormat::pf16bit, 2, 4},
                 {TPixelFormat::pf24bit, 5, 16}, {TPixelFormat::pf32bit, 3, 12}};
    for (const Case& c : cases) {
        TBitmap b;
        b.SetPixelFormat(c.format);
        b.SetSize(c.width, 2);
        EXPECT_EQ(b.RowBytes(), c.bytes) << static_cast<int>(c.format) << " x " << c.width;
        EXPECT_EQ(b.ScanLine(1) - b.ScanLine(0), static_cast<std::ptrdiff_t>(c.bytes));
    }
}

TEST(Bitmap, ScanLineOutsideThePictureRaises)
{
    TBitmap b;
    b.SetSize(4, 3);
    EXPECT_THROW(b.ScanLine(3), EInvalidGraphic);
    EXPECT_THROW(b.ScanLine(-1), EInvalidGraphic);
    TBitmap empty;
    EXPECT_TRUE(empty.Empty());
    EXPECT_THROW(empty.ScanLine(0), EInvalidGraphic);
}

TEST(Bitmap, PixelLayoutsFollowTheRowFormats)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(2, 2);
    b.SetPixel(1, 0, RGBColor(10, 20, 30));
    EXPECT_EQ(b.ScanLine(0)[3], 30);  // blue
    EXPECT_EQ(b.ScanLine(0)[4], 20);
    EXPECT_EQ(b.ScanLine(0)[5], 10);  // red
    EXPECT_EQ(b.Pixel(1, 0), 0x1E140A);

    b.SetPixelFormat(TPixelFormat::pf32bit);
    EXPECT_EQ(b.Pixel(1, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(b.ScanLine(0)[4], 30);
    EXPECT_EQ(b.ScanLine(0)[7], 0);

    TBitmap one;
    one.SetPixelFormat(TPixelFormat::pf1bit);
    one.SetSize(10, 1);
    one.SetPixel(0, 0, clWhite);
    one.SetPixel(9, 0, clWhite);
    EXPECT_EQ(one.ScanLine(0)[0], 0x80);
    EXPECT_EQ(one.ScanLine(0)[1], 0x40);

    TBitmap four;
    four.SetPixelFormat(TPixelFormat::pf4bit);
    four.SetSize(3, 1);
    four.SetPixel(0, 0, PaletteIndex(0xC));
    four.SetPixel(1, 0, PaletteIndex(0x3));
    EXPECT_EQ(four.ScanLine(0)[0], 0xC3);

    TBitmap f15;
    f15.SetPixelFormat(TPixelFormat::pf15bit);
    f15.SetSize(1, 1);
    f15.SetPixel(0, 0, RGBColor(255, 0, 8));
    EXPECT_EQ(f15.ScanLine(0)[0] | (f15.ScanLine(0)[1] << 8), 0x7C01);
    EXPECT_EQ(f15.Pixel(0, 0), RGBColor(255, 0, 8));
    TBitmap f16;
    f16.SetPixelFormat(TPixelFormat::pf16bit);
    f16.SetSize(1, 1);
    f16.SetPixel(0, 0, RGBColor(0, 255, 0));
    EXPECT_EQ(f16.ScanLine(0)[0] | (f16.ScanLine(0)[1] << 8), 0x07E0);
    EXPECT_EQ(f16.Pixel(1, 0), clNone);
}

TEST(Bitmap, ConversionBetweenFormatsKeepsRepresentableColours)
{
    // Colours every format can hold exactly: black, white and the 6x6x6 cube corners.
    const TColor colours[] = {clBlack, clWhite, RGBColor(255, 0, 0), RGBColor(0, 0, 255)};
    for (TPixelFormat from : kAllFormats) {
        for (TPixelFormat to : kAllFormats) {
            TBitmap b;
            b.SetPixelFormat(from);
            b.SetSize(5, 3);
            const int n = from == TPixelFormat::pf1bit ? 2 : 4;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x) b.SetPixel(x, y, colours[(x + y) % n]);
            b.SetPixelFormat(to);
            const int m = to == TPixelFormat::pf1bit ? 2 : n;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x) {
                    if ((x + y) % n >= m) continue;
                    ASSERT_EQ(b.Pixel(x, y), colours[(x + y) % n])
                        << static_cast<int>(from) << "->" << static_cast<int>(to) << " at " << x << "," << y;
                }
        }
    }
}

TEST(Bitmap, PaletteFormatsKeepTheirPaletteWhenIndicesFit)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf8bit);
    b.SetSize(2, 1);
    b.SetPalette({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    b.ScanLine(0)[0] = 2;
    b.ScanLine(0)[1] = 1;
    b.SetPixelFormat(TPixelFormat::pf4bit);
    ASSERT_EQ(b.Palette().size(), 3u);
    EXPECT_EQ(b.ScanLine(0)[0], 0x21);
    b.SetPixelFormat(TPixelFormat::pf32bit);
    EXPECT_TRUE(b.Palette().empty());
    EXPECT_EQ(b.Pixel(0, 0), RGBColor(7, 8, 9));
}

TEST(Bitmap, TransparentColourIsTheBottomLeftPixelUnlessSet)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf32bit);
    b.SetSize(3, 2);
    b.SetPixel(0, 1, RGBColor(9, 8, 7));
    EXPECT_EQ(b.TransparentMode(), TTransparentMode::tmAuto);
    EXPECT_EQ(b.TransparentColor(), RGBColor(9, 8, 7));
    b.SetPixel(0, 1, RGBColor(1, 1, 1));  // read when asked, not remembered
    EXPECT_EQ(b.TransparentColor(), RGBColor(1, 1, 1));
    b.SetTransparentColor(RGBColor(200, 0, 0));
    EXPECT_EQ(b.TransparentMode(), TTransparentMode::tmFixed);
    EXPECT_EQ(b.TransparentColor(), RGBColor(200, 0, 0));
    b.SetTransparentColor(clNone);
    EXPECT_EQ(b.TransparentColor(), RGBColor(1, 1, 1));
}

TEST(Bitmap, PaletteEntryTransparentColourResolvesToTheEntryAndSurvivesTrueColour)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf8bit);
    b.SetSize(2, 2);
    b.SetPalette({{0, 0, 0}, {10, 200, 30}, {255, 255, 255}});
    b.SetTransparentColor(PaletteIndex(1));
    EXPECT_EQ(b.FixedTransparentColor(), PaletteIndex(1));
    EXPECT_EQ(b.TransparentColor(), RGBColor(10, 200, 30));
    b.SetPixelFormat(TPixelFormat::pf32bit);
    EXPECT_EQ(b.TransparentColor(), RGBColor(10, 200, 30));
    EXPECT_EQ(b.FixedTransparentColor(), RGBColor(10, 200, 30));
}

TEST(Bitmap, MaskMarksThePixelsOfTheTransparentColour)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(9, 2);
    b.SetPixel(0, 1, RGBColor(5, 5, 5));  // bottom-left: the automatic colour
    b.SetPixel(8, 0, RGBColor(5, 5, 5));
    auto mask = b.CreateMask();
    ASSERT_EQ(mask->PixelFormat(), TPixelFormat::pf1bit);
    ASSERT_EQ(mask->Width(), 9);
    EXPECT_EQ(mask->ScanLine(0)[0], 0x00);
    EXPECT_EQ(mask->ScanLine(0)[1], 0x80);
    EXPECT_EQ(mask->ScanLine(1)[0], 0x80);
    EXPECT_EQ(mask->ScanLine(1)[1], 0x00);
}

TEST(Bitmap, AssignCarriesPixelsPaletteAndTransparency)
{
    TBitmap a;
    a.SetPixelFormat(TPixelFormat::pf4bit);
    a.SetSize(3, 3);
    a.SetPalette(GreyPalette(2));
    a.SetPixel(1, 1, PaletteIndex(2));
    a.SetTransparent(true);
    a.SetTransparentColor(PaletteIndex(2));

    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf32bit);
    b.SetSize(10, 10);
    b.Assign(&a);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Palette(), GreyPalette(2));
    EXPECT_EQ(b.Pixel(1, 1), RGBColor(170, 170, 170));
    EXPECT_TRUE(b.Transparent());
    EXPECT_EQ(b.TransparentColor(), RGBColor(170, 170, 170));

    // Assigning an opaque bitmap replaces the transparency settings too.
    TBitmap c;
    c.SetSize(1, 1);
    b.Assign(&c);
    EXPECT_FALSE(b.Transparent());
    EXPECT_EQ(b.TransparentMode(), TTransparentMode::tmAuto);

    b.Assign(nullptr);
    EXPECT_TRUE(b.Empty());

    int changes = 0;
    b.OnChange = [&](TGraphic&) { ++changes; };
    b.Assign(&a);
    EXPECT_EQ(changes, 1);
}

TEST(Bitmap, ResizingKeepsTheCommonArea)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf1bit);
    b.SetSize(12, 2);
    for (int x = 0; x < 12; ++x) b.SetPixel(x, 0, clWhite);
    b.SetWidth(5);
    b.SetWidth(12);
    for (int x = 0; x < 12; ++x) EXPECT_EQ(b.Pixel(x, 0), x < 5 ? clWhite : clBlack) << x;
    EXPECT_THROW(b.SetSize(-1, 2), EInvalidGraphic);
}

TEST(Bitmap, HugeSizesAreRefusedBeforeAllocation)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf32bit);
    EXPECT_THROW(b.SetSize(0x7FFFFFFF, 0x7FFFFFFF), EOutOfMemory);
    EXPECT_TRUE(b.Empty());
}

TEST(Bitmap, BmpStreamsRoundTripEveryFormat)
{
    for (TPixelFormat f : kAllFormats) {
        TBitmap b;
        b.SetPixelFormat(f);
        b.SetSize(7, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x) b.SetPixel(x, y, (x + y) % 2 ? clWhite : RGBColor(255, 0, 0));
        TMemoryStream m;
        b.SaveToStream(m);
        m.SetPosition(0);
        TBitmap back;
        back.LoadFromStream(m);
        EXPECT_EQ(back.PixelFormat(), f);
        ASSERT_EQ(back.Width(), 7);
        ASSERT_EQ(back.Height(), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x) EXPECT_EQ(back.Pixel(x, y), b.Pixel(x, y)) << static_cast<int>(f);
    }
}

TEST(Bitmap, BadBmpStreamsAreRefused)
{
    TMemoryStream m;
    m.WriteBuffer("BMnot a bitmap at all, sorry", 28);
    m.SetPosition(0);
    TBitmap b;
    EXPECT_THROW(b.LoadFromStream(m), Exception);
    TMemoryStream shortStream;
    shortStream.WriteBuffer("BM", 2);
    shortStream.SetPosition(0);
    EXPECT_THROW(b.LoadFromStream(shortStream), EReadError);
}

std::unique_ptr<TGraphic> NewTestBitmap() { return std::make_unique<TBitmap>(); }

TEST(Picture, RegistryFindsClassesByExtensionWithoutCase)
{
    ASSERT_TRUE(TPicture::FindFileFormat("BMP").has_value());
    TPicture::RegisterFileFormat("tst", "Test Format", &NewTestBitmap);
    const auto f = TPicture::FindFileFormat(".TsT");
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->Description, "Test Format");
    TPicture::UnregisterGraphicClass(&NewTestBitmap);
    EXPECT_FALSE(TPicture::FindFileFormat("tst").has_value());

    TPicture p;
    EXPECT_THROW(p.LoadFromFile("/tmp/picture.unknownext"), EInvalidGraphic);
}

}  // namespace
