// GIF and bitmap conversion: the image as a bitmap, a bitmap as a new frame, the octree
// palette, the colour lookups, Floyd-Steinberg dithering, transparency and the files the
// batch writes.
#include "GIFTestUtil.h"

#include "gif/GIFConvert.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFFrame.h"
#include "gif/GIFImage.h"
#include "gif/GIFQuantize.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace giftest;

namespace {

// The batch's settings.
void BatchSettings(TGIFImage& Gif)
{
    Gif.ReductionMethod = 7;
    Gif.DitherMethod = 1;
}

std::uint32_t Rgb(int r, int g, int b) { return static_cast<std::uint32_t>((r << 16) | (g << 8) | b); }

Bytes Table(std::initializer_list<std::uint32_t> Colours, int Entries)
{
    Bytes out;
    for (std::uint32_t c : Colours)
        Append(out, {static_cast<int>(c >> 16), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF)});
    out.resize(static_cast<std::size_t>(Entries) * 3, 0);
    return out;
}

// The ditherer modelled from its definition, over a palette, with its own lookup.
Bytes ModelDither(const std::vector<std::uint32_t>& Pixels, int Width, int Height, const TGIFPalette& Palette)
{
    std::map<int, int> cache;
    const auto key = [](int r, int g, int b) { return (r >> 3) | ((g >> 3) << 5) | ((b >> 3) << 10); };
    for (std::size_t i = 0; i < Palette.size(); ++i)
        cache.emplace(key(Palette[i].Red, Palette[i].Green, Palette[i].Blue), static_cast<int>(i));
    const auto lookup = [&](int r, int g, int b) {
        const auto it = cache.find(key(r, g, b));
        if (it != cache.end())
            return it->second;
        int best = 0, bestD = 1 << 30;
        for (std::size_t i = 0; i < Palette.size(); ++i) {
            const int d = std::abs(r - Palette[i].Red) + std::abs(g - Palette[i].Green) + std::abs(b - Palette[i].Blue);
            if (d < bestD) {
                bestD = d;
                best = static_cast<int>(i);
            }
        }
        cache[key(r, g, b)] = best;
        return best;
    };

    struct Ch {
        std::vector<int> cells;
        int cur = 0, below = 0, belowPrev = 0;
    } ch[3];
    for (auto& c : ch)
        c.cells.assign(static_cast<std::size_t>(Width) + 2, 0);
    Bytes out(static_cast<std::size_t>(Width) * Height);
    int cursor = 0;
    int dir = 1;
    for (int y = 0; y < Height; ++y) {
        for (int n = 0; n < Width; ++n) {
            const int x = dir > 0 ? n : Width - 1 - n;
            const std::uint32_t p = Pixels[static_cast<std::size_t>(y) * Width + x];
            const int in[3] = {static_cast<int>(p >> 16), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF)};
            int v[3];
            for (int k = 0; k < 3; ++k)
                v[k] = std::clamp(in[k] + (ch[k].cells[static_cast<std::size_t>(cursor)] + ch[k].cur + 8) / 16, 0, 255);
            const int index = lookup(v[0], v[1], v[2]);
            const int pal[3] = {Palette[static_cast<std::size_t>(index)].Red, Palette[static_cast<std::size_t>(index)].Green,
                                Palette[static_cast<std::size_t>(index)].Blue};
            for (int k = 0; k < 3; ++k) {
                const int e = v[k] - pal[k];
                if (e != 0) {
                    ch[k].cells[static_cast<std::size_t>(cursor)] = ch[k].belowPrev + 3 * e;
                    ch[k].belowPrev = ch[k].below + 5 * e;
                    ch[k].below = e;
                    ch[k].cur = 7 * e;
                } else {
                    ch[k].cur = 0;
                }
            }
            out[static_cast<std::size_t>(y) * Width + x] = static_cast<std::uint8_t>(index);
            cursor += dir;
        }
        for (auto& c : ch) {
            c.cells[static_cast<std::size_t>(cursor)] = c.belowPrev;
            c.cur = c.below = c.belowPrev = 0;
        }
        dir = -dir;
        cursor = dir > 0 ? 0 : Width + 1;
    }
    return out;
}

Bytes Indices(const TBitmap& Bitmap)
{
    Bytes out;
    for (int y = 0; y < Bitmap.Height(); ++y)
        out.insert(out.end(), Bitmap.ScanLine(y), Bitmap.ScanLine(y) + Bitmap.Width());
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Lookups and the octree

TEST(FastColorLookup, FirstEntryOfAKeyWinsAndMissesTakeTheNearest)
{
    // (8, 8, 8) and (9, 9, 9) differ only in their low 3 bits: one cache entry.
    TFastColorLookup lookup({{8, 8, 8}, {9, 9, 9}, {200, 10, 10}, {10, 200, 10}});
    TGIFColor found;
    EXPECT_EQ(lookup.Lookup(9, 9, 9, found), 0);
    EXPECT_EQ(found, (TGIFColor{8, 8, 8}));
    EXPECT_EQ(lookup.Lookup(190, 30, 20, found), 2);
    EXPECT_EQ(found, (TGIFColor{200, 10, 10}));
    // Equal distances: the first entry.
    TFastColorLookup tie({{0, 0, 100}, {0, 0, 200}});
    EXPECT_EQ(tie.Lookup(0, 0, 150, found), 0);
    // A miss is remembered for its key, right or not for the next colour of that key.
    TFastColorLookup remembered({{0, 0, 0}, {0, 0, 40}});
    EXPECT_EQ(remembered.Lookup(0, 0, 17, found), 0);
    EXPECT_EQ(remembered.Lookup(0, 0, 23, found), 0);
}

TEST(ColorLookups, FixedPalettes)
{
    TGIFColor found;
    TMonochromeLookup mono;
    EXPECT_EQ(mono.Lookup(255, 0, 255, found), 0);  // 77*255 + 29*255 = 27030
    EXPECT_EQ(mono.Lookup(0, 217, 0, found), 1);    // 150*217 = 32550
    EXPECT_EQ(found, (TGIFColor{255, 255, 255}));
    TGrayScaleLookup grey;
    EXPECT_EQ(grey.Lookup(100, 150, 200, found), (77 * 100 + 150 * 150 + 29 * 200) >> 8);
    EXPECT_EQ(grey.Palette().size(), 256u);
    TNetscapeColorLookup cube;
    EXPECT_EQ(cube.Lookup(48, 102, 255, found), 36 * 1 + 6 * 2 + 5);
    EXPECT_EQ(found, (TGIFColor{51, 102, 255}));
}

TEST(Octree, ThreeColoursAreThreeExactLeavesInWalkOrderThenBlack)
{
    const std::vector<std::uint8_t> row = {10, 200, 30, /* bgr */ 250, 5, 5, 7, 7, 200};
    const TGIFPalette palette = BuildOctreePalette([&](int) { return row.data(); }, 3, 1, 256, 8, false);
    ASSERT_EQ(palette.size(), 256u);
    // Children by the top bits (R, G, B): (30,200,10) -> 010, (5,5,250) -> 001, (200,7,7) -> 100.
    EXPECT_EQ(palette[0], (TGIFColor{5, 5, 250}));
    EXPECT_EQ(palette[1], (TGIFColor{30, 200, 10}));
    EXPECT_EQ(palette[2], (TGIFColor{200, 7, 7}));
    for (std::size_t i = 3; i < 256; ++i)
        ASSERT_EQ(palette[i], (TGIFColor{0, 0, 0}));
}

TEST(Octree, ReductionFoldsTheMostRecentNodeOfTheDeepestLevel)
{
    TColorQuantizer quantizer(2, 8);
    quantizer.AddColor(0, 0, 0);
    quantizer.AddColor(1, 0, 0);  // a sibling leaf under the same level-7 node
    quantizer.AddColor(255, 255, 255);
    // White's level-7 node came last and is folded first (one child: still 3 leaves), then
    // the black pair's.
    EXPECT_EQ(quantizer.LeafCount(), 2);
    const TGIFPalette table = quantizer.ColorTable();
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0], (TGIFColor{0, 0, 0}));  // (0 + 1) div 2
    EXPECT_EQ(table[1], (TGIFColor{255, 255, 255}));

    TColorQuantizer big(256, 8);
    std::mt19937 random(1);
    for (int i = 0; i < 20000; ++i)
        big.AddColor(random() & 0xFF, random() & 0xFF, random() & 0xFF);
    EXPECT_LE(big.LeafCount(), 256);
    EXPECT_EQ(static_cast<int>(big.ColorTable().size()), big.LeafCount());
}

TEST(Octree, RunsOfOneColourCountAsTheirPixels)
{
    // Rows with long runs, reduced hard: taking a run at once gives the palette that
    // adding its pixels one by one gives.
    std::mt19937 random(3);
    std::vector<std::uint8_t> rows(3 * 200 * 50);
    for (std::size_t i = 0; i < rows.size(); i += 3) {
        if (i == 0 || random() % 6 == 0) {
            rows[i] = static_cast<std::uint8_t>(random());
            rows[i + 1] = static_cast<std::uint8_t>(random());
            rows[i + 2] = static_cast<std::uint8_t>(random());
        } else {
            std::copy_n(&rows[i - 3], 3, &rows[i]);
        }
    }
    for (int colours : {256, 16, 3}) {
        TColorQuantizer byRuns(colours, 8);
        byRuns.ProcessImage([&](int y) { return rows.data() + 3 * 200 * y; }, 200, 50);
        TColorQuantizer byPixels(colours, 8);
        for (std::size_t i = 0; i < rows.size(); i += 3)
            byPixels.AddColor(rows[i + 2], rows[i + 1], rows[i]);
        EXPECT_EQ(byRuns.ColorTable(), byPixels.ColorTable()) << colours;
    }
}

TEST(Octree, StaticColoursAreNotAvailable)
{
    const std::uint8_t row[3] = {1, 2, 3};
    EXPECT_THROW(BuildOctreePalette([&](int) { return row; }, 1, 1, 236, 8, true), GIFException);
}

// ---------------------------------------------------------------------------------------------
// Reduction and dithering

TEST(ReduceToPalette, ThreeColoursNeedNoErrorDiffusion)
{
    TBitmap bitmap;
    NewBitmap32(bitmap, 7, 5, [](int x, int y) { return (x + y) % 3 == 0 ? Rgb(200, 7, 7) : (x % 2 ? Rgb(30, 200, 10) : Rgb(5, 5, 250)); });
    const auto reduced = ReduceToPalette(bitmap, 7, 1, 8, nullptr);
    ASSERT_EQ(reduced->PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(reduced->Palette().size(), 256u);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const int index = reduced->ScanLine(y)[x];
            ASSERT_LT(index, 3);
            EXPECT_EQ(reduced->Pixel(x, y), bitmap.Pixel(x, y));
        }
}

TEST(ReduceToPalette, ThreeHundredColoursAreDitheredInSerpentineOrder)
{
    const int width = 20, height = 15;
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(Rgb(x * 13, y * 17, (x * y * 7) & 0xFF));
    TBitmap bitmap;
    NewBitmap32(bitmap, width, height, [&](int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; });
    const auto reduced = ReduceToPalette(bitmap, 7, 1, 8, nullptr);
    const TGIFPalette& palette = reduced->Palette();
    ASSERT_EQ(palette.size(), 256u);

    const Bytes expected = ModelDither(pixels, width, height, palette);
    EXPECT_EQ(Indices(*reduced), expected);

    // The diffusion matters: nearest-colour mapping alone gives other indices.
    const auto nearest = ReduceToPalette(bitmap, 9, 0, 8, &palette);
    EXPECT_NE(Indices(*nearest), expected);
}

TEST(ReduceToPalette, OtherMethodsAndRefusals)
{
    TBitmap bitmap;
    NewBitmap32(bitmap, 4, 2, [](int x, int y) { return Rgb(x * 60, y * 200, 100); });
    const auto grey = ReduceToPalette(bitmap, 5, 0, 8, nullptr);
    EXPECT_EQ(grey->ScanLine(1)[3], (77 * 180 + 150 * 200 + 29 * 100) >> 8);
    const auto cube = ReduceToPalette(bitmap, 6, 0, 8, nullptr);
    EXPECT_EQ(cube->Palette().size(), 216u);
    EXPECT_EQ(cube->ScanLine(0)[1], 36 * 1 + 0 + 2);
    const auto fourGreys = ReduceToPalette(bitmap, 3, 0, 8, nullptr);
    EXPECT_EQ(fourGreys->Palette().size(), 4u);
    const auto mono = ReduceToPalette(bitmap, 4, 1, 8, nullptr);
    EXPECT_EQ(mono->Palette().size(), 2u);
    const auto copy = ReduceToPalette(bitmap, 0, 0, 8, nullptr);
    EXPECT_EQ(copy->PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(copy->Pixel(3, 1), bitmap.Pixel(3, 1));
    const auto fewer = ReduceToPalette(bitmap, 7, 1, 2, nullptr);
    EXPECT_EQ(fewer->Palette().size(), 4u);

    for (int method : {1, 2, 8, 10})
        EXPECT_THROW(ReduceToPalette(bitmap, method, 0, 8, nullptr), GIFException) << method;
    for (int dither : {2, 3, 4, 5, 6})
        EXPECT_THROW(ReduceToPalette(bitmap, 7, dither, 8, nullptr), GIFException) << dither;
    EXPECT_THROW(ReduceToPalette(bitmap, 9, 0, 8, nullptr), GIFException);
}

// ---------------------------------------------------------------------------------------------
// GIF to bitmap

TEST(GIFToBitmap, FrameOfScreenSizeIsAnIndexedCopy)
{
    Bytes data = Header(2, 2, 2);
    Append(data, Descriptor(0, 0, 2, 2));
    Append(data, ImageData(2, ReferenceCodes({0, 1, 3, 2}, 2)));
    data.push_back(0x3B);
    TGIFImage gif;
    LoadBytes(gif, data);
    TBitmap bitmap;
    bitmap.Assign(&gif);
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(bitmap.Palette().size(), 4u);
    EXPECT_EQ(Indices(bitmap), (Bytes{0, 1, 3, 2}));
    EXPECT_EQ(bitmap.Pixel(0, 1), RGBColor(3, 252, 1));
    EXPECT_FALSE(bitmap.Transparent());
}

TEST(GIFToBitmap, SmallerFrameIsPlacedOnAScreenSizedBitmap)
{
    Bytes data = Header(4, 3, 2, 2);
    Append(data, Descriptor(1, 1, 2, 2, 0x80));  // a local table of 2
    Append(data, {0, 255, 0, 3, 252, 1});
    Append(data, ImageData(2, ReferenceCodes({0, 1, 1, 0}, 2)));
    data.push_back(0x3B);
    TGIFImage gif;
    LoadBytes(gif, data);
    TBitmap bitmap;
    bitmap.Assign(&gif);
    ASSERT_EQ(bitmap.Width(), 4);
    ASSERT_EQ(bitmap.Height(), 3);
    EXPECT_EQ(bitmap.Palette().size(), 4u);  // the global colours
    // The frame's colours by nearest global entry: (0,255,0) -> entry 0, (3,252,1) -> 3;
    // elsewhere the background index 2.
    EXPECT_EQ(Indices(bitmap), (Bytes{2, 2, 2, 2, 2, 0, 3, 2, 2, 3, 0, 2}));
}

TEST(GIFToBitmap, FrameWithoutAnyColourTableFails)
{
    Bytes data = Header(2, 2, 0);
    Append(data, Descriptor(0, 0, 2, 2));
    Append(data, ImageData(2, ReferenceCodes({0, 1, 1, 0}, 2)));
    TGIFImage gif;
    LoadBytes(gif, data);
    TBitmap bitmap;
    try {
        bitmap.Assign(&gif);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "No global or local color table defined");
    }
}

// ---------------------------------------------------------------------------------------------
// Bitmap to GIF

TEST(BitmapToGIF, OpaqueResultIsWrittenByteForByte)
{
    // Screen 3 x 2 with background index 5 and aspect 49, loaded first.
    TGIFImage gif;
    BatchSettings(gif);
    Bytes loaded = Header(3, 2, 1, 5, 49);
    Append(loaded, Descriptor(0, 0, 1, 1));
    Append(loaded, ImageData(2, ReferenceCodes({0}, 2)));
    LoadBytes(gif, loaded);

    const std::uint32_t blue = Rgb(5, 5, 250), green = Rgb(30, 200, 10), red = Rgb(200, 7, 7);
    TBitmap bitmap;
    NewBitmap32(bitmap, 3, 2, [&](int x, int y) { return y == 0 ? (x == 0 ? red : green) : (x == 2 ? red : blue); });
    gif.Assign(&bitmap);
    ASSERT_EQ(gif.Count(), 1);

    Bytes expected;
    Append(expected, std::string("GIF87a"));
    Append(expected, {3, 0, 2, 0, 0x77, 5, 49});
    Append(expected, Descriptor(0, 0, 3, 2, 0x87));
    Append(expected, Table({blue, green, red}, 256));
    // Walk order: blue 0, green 1, red 2.
    Append(expected, ImageData(8, ExpectedCodes({2, 1, 1, 0, 0, 2}, 8)));
    expected.push_back(0x3B);
    EXPECT_EQ(SaveBytes(gif), expected);
}

TEST(BitmapToGIF, TransparentResultIsWrittenByteForByte)
{
    // 4 x 3: corners C (the bottom-left pixel's colour), five A, three B.
    const std::uint32_t A = Rgb(200, 7, 7), B = Rgb(5, 5, 250), C = Rgb(30, 200, 10);
    const char* layout[] = {"CAAC", "ABBA", "CBAC"};
    TBitmap bitmap;
    NewBitmap32(bitmap, 4, 3, [&](int x, int y) {
        const char k = layout[y][x];
        return k == 'A' ? A : k == 'B' ? B : C;
    });
    bitmap.SetTransparent(true);
    TGIFImage gif;
    BatchSettings(gif);
    gif.Assign(&bitmap);

    Bytes expected;
    Append(expected, std::string("GIF89a"));
    Append(expected, {4, 0, 3, 0, 0x11, 0, 0});
    Append(expected, {0x21, 0xF9, 4, 0x01, 0, 0, 3, 0});
    Append(expected, Descriptor(0, 0, 4, 3, 0x81));
    // In order of use (A 5, C 4, B 3), then the black transparent entry.
    Append(expected, Table({A, C, B, 0}, 4));
    Append(expected, ImageData(2, ExpectedCodes({3, 0, 0, 3, 0, 2, 2, 0, 3, 2, 0, 3}, 2)));
    expected.push_back(0x3B);
    EXPECT_EQ(SaveBytes(gif), expected);
    EXPECT_TRUE(gif.HasTransparentFrame());
}

TEST(BitmapToGIF, TransparencyNeedsRoomAndAMarkedPixel)
{
    // 256 colours in use: sorted by use, no room for the transparent entry.
    TBitmap full;
    NewBitmap32(full, 16, 16, [](int x, int y) { return Rgb(x * 16, y * 16, 128); });
    full.SetTransparent(true);
    TGIFImage gif;
    BatchSettings(gif);
    gif.Assign(&full);
    ASSERT_EQ(gif.Image(0).ColorMap().Count(), 256);
    EXPECT_TRUE(gif.Image(0).ColorMap().Sorted());
    EXPECT_EQ(gif.Image(0).Extensions().Count(), 0);
    EXPECT_FALSE(gif.HasTransparentFrame());
    Bytes saved = SaveBytes(gif);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 6), "GIF89a");
    EXPECT_EQ(saved[13 + 9], 0xA7);  // local table of 256, sorted

    // A transparent colour no pixel has.
    TBitmap none;
    NewBitmap32(none, 3, 3, [](int x, int) { return Rgb(x * 100, 50, 50); });
    none.SetTransparent(true);
    none.SetTransparentColor(RGBColor(1, 2, 3));
    gif.Assign(&none);
    EXPECT_EQ(gif.Image(0).Extensions().Count(), 0);
    EXPECT_EQ(gif.Image(0).ColorMap().Count(), 3);
    saved = SaveBytes(gif);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 6), "GIF87a");
}

TEST(BitmapToGIF, IndexedBitmapsAreTakenAsTheyAre)
{
    for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
        TBitmap bitmap;
        bitmap.SetPixelFormat(format);
        bitmap.SetSize(9, 2);
        const int colours = format == TPixelFormat::pf1bit ? 2 : format == TPixelFormat::pf4bit ? 16 : 256;
        TPalette palette;
        for (int i = 0; i < colours; ++i)
            palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 9});
        bitmap.SetPalette(palette);
        for (int x = 0; x < 9; ++x)
            bitmap.SetPixel(x, 1, RGBColor(x % colours, 255 - x % colours, 9));
        TGIFImage gif;
        gif.Assign(&bitmap);
        ASSERT_EQ(gif.Count(), 1);
        TGIFSubImage& frame = gif.Image(0);
        EXPECT_EQ(frame.ColorMap().Count(), colours);
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(frame.Pixels()[9 + x], x % colours);
            EXPECT_EQ(frame.Pixels()[x], 0);
        }
    }
}

TEST(BitmapToGIF, TrueColourImportFailsBeyond256Colours)
{
    TGIFImage gif;
    gif.ReductionMethod = 0;
    TBitmap few;
    NewBitmap32(few, 5, 5, [](int x, int y) { return Rgb(x, y, 0); });
    gif.Assign(&few);
    EXPECT_EQ(gif.Image(0).ColorMap().Count(), 25);
    EXPECT_EQ(FrameColour(gif.Image(0), 3, 4), Rgb(3, 4, 0));
    TBitmap many;
    NewBitmap32(many, 20, 20, [](int x, int y) { return Rgb(x, y, 1); });
    try {
        gif.Assign(&many);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Color table overflow");
    }
    EXPECT_EQ(gif.Count(), 0);
}

TEST(BitmapToGIF, FrameGrowingAScreenWarns)
{
    WarningLog log;
    TGIFImage gif;
    log.Attach(gif);
    TBitmap small;
    NewBitmap32(small, 2, 2, [](int, int) { return Rgb(1, 2, 3); });
    gif.Assign(&small);
    EXPECT_TRUE(log.Messages.empty());  // a cleared image has a 0 x 0 screen
    TBitmap wide;
    NewBitmap32(wide, 5, 2, [](int, int) { return Rgb(1, 2, 3); });
    gif.Add(wide);
    EXPECT_EQ(gif.Width(), 5);
    EXPECT_EQ(log.Messages, (std::vector<std::string>{"Image width too small for contained frames",
                                                      "Image exceeds Logical Screen size"}));
}

// ---------------------------------------------------------------------------------------------
// Sorting by use

TEST(SortColorsByUse, QuicksortOrderCountsAndTrimming)
{
    TGIFImage gif;
    TGIFSubImage& frame = gif.Add(std::make_unique<TGIFSubImage>(&gif));
    frame.SetWidth(14);
    frame.SetHeight(1);
    for (int i = 0; i < 5; ++i)
        frame.ColorMap().Add({static_cast<std::uint8_t>(i), 0, 0});
    // Uses: entry 0 twice, 1 five times, 2 twice, 3 five times, 4 never.
    const Bytes pixels = {0, 1, 1, 2, 3, 3, 1, 3, 0, 2, 1, 3, 1, 3};
    std::copy(pixels.begin(), pixels.end(), frame.Data());
    auto gce = std::make_unique<TGIFGraphicControlExtension>(&frame);
    gce->SetTransparent(true);
    gce->SetTransparentColorIndex(0);
    frame.Extensions().Add(std::move(gce));

    frame.ColorMap().SortColorsByUse();
    // The partition leaves the equal counts as 1, 3 and 2, 0 (a stable sort would give
    // 1, 3, 0, 2); the unused entry 4 is cut.
    ASSERT_EQ(frame.ColorMap().Count(), 4);
    EXPECT_TRUE(frame.ColorMap().Sorted());
    EXPECT_EQ(frame.ColorMap().Data()[0].Red, 1);
    EXPECT_EQ(frame.ColorMap().Data()[1].Red, 3);
    EXPECT_EQ(frame.ColorMap().Data()[2].Red, 2);
    EXPECT_EQ(frame.ColorMap().Data()[3].Red, 0);
    EXPECT_EQ(frame.Pixels(), (Bytes{3, 0, 0, 2, 1, 1, 0, 1, 3, 2, 0, 1, 0, 1}));
    EXPECT_EQ(frame.GraphicControlExtension()->TransparentColorIndex(), 3);
}

TEST(SortColorsByUse, UnchangedOrderKeepsUnusedEntries)
{
    TGIFImage gif;
    TGIFSubImage& frame = gif.Add(std::make_unique<TGIFSubImage>(&gif));
    frame.SetWidth(3);
    frame.SetHeight(1);
    for (int i = 0; i < 3; ++i)
        frame.ColorMap().Add({static_cast<std::uint8_t>(i), 0, 0});
    const Bytes pixels = {0, 0, 1};
    std::copy(pixels.begin(), pixels.end(), frame.Data());
    frame.ColorMap().SortColorsByUse();
    EXPECT_EQ(frame.ColorMap().Count(), 3);
    EXPECT_TRUE(frame.ColorMap().Sorted());
    EXPECT_EQ(frame.Pixels(), pixels);
}

TEST(BitmapToGIF, BitmapWiderThanAGIFCanHoldIsRefused)
{
    // Sizes are 16-bit in the file: a wider bitmap would be cut short silently.
    TBitmap wide;
    NewBitmap32(wide, 70000, 1, [](int x, int) { return Rgb(x & 0xFF, 0, 0); });
    TGIFImage gif;
    BatchSettings(gif);
    try {
        gif.Assign(&wide);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Image too large");
    }
    EXPECT_EQ(gif.Count(), 0);
}

TEST(BitmapToGIF, AnImageTakesItsOwnBitmapBack)
{
    Bytes data = Header(2, 2, 2);
    Append(data, Descriptor(0, 0, 2, 2));
    Append(data, ImageData(2, ReferenceCodes({0, 1, 3, 2}, 2)));
    TGIFImage gif;
    LoadBytes(gif, data);
    gif.Assign(gif.Bitmap());
    ASSERT_EQ(gif.Count(), 1);
    EXPECT_EQ(gif.Image(0).Pixels(), (Bytes{0, 1, 3, 2}));
    TGIFSubImage& frame = gif.Image(0);
    frame.Assign(&frame.Bitmap());
    EXPECT_EQ(frame.Pixels(), (Bytes{0, 1, 3, 2}));
}

TEST(FloydSteinberg, PixelByPixelAndWholeRowsAgree)
{
    const int width = 31, height = 9;
    std::mt19937 random(11);
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(width) * height * 3);
    for (auto& b : rows)
        b = static_cast<std::uint8_t>(random());
    const TGIFPalette palette = {{0, 0, 0}, {255, 255, 255}, {200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {128, 128, 128}};
    TFastColorLookup rowLookup(palette);
    TFastColorLookup pixelLookup(palette);
    TFloydSteinbergDitherer byRows(width, rowLookup);
    TFloydSteinbergDitherer byPixels(width, pixelLookup);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = rows.data() + static_cast<std::size_t>(y) * width * 3;
        std::vector<std::uint8_t> a(width), b(width);
        byRows.DitherRow(source, a.data());
        EXPECT_EQ(byPixels.Direction(), y % 2 == 0 ? 1 : -1);
        for (int n = 0; n < width; ++n) {
            const int x = byPixels.Column();
            b[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(
                byPixels.Dither(source[3 * x + 2], source[3 * x + 1], source[3 * x]));
        }
        byPixels.NextLine();
        EXPECT_EQ(a, b) << "row " << y;
    }
}
