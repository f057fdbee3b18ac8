#include "png/PngError.h"
#include "png/PngImage.h"
#include "png/PngWriter.h"
#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace pngtest;

namespace {

const char* const kPngcheck = "/usr/bin/pngcheck";

std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat format, int w, int h, unsigned seed = 1)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(format);
    b->SetSize(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (b->HasPaletteFormat()) {
                b->SetPixel(x, y, PaletteIndex(static_cast<int>(rng() % b->Palette().size())));
            } else {
                b->SetPixel(x, y, static_cast<TColor>(rng() & 0xFFFFFF));
            }
        }
    return b;
}

std::unique_ptr<TBitmap> MakeAlpha(int w, int h, unsigned seed = 2)
{
    auto a = std::make_unique<TBitmap>();
    a->SetPixelFormat(TPixelFormat::pf8bit);
    a->SetSize(w, h);
    a->SetPalette(GreyPalette(8));
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) a->ScanLine(y)[x] = static_cast<std::uint8_t>(rng());
    return a;
}

Bytes Encode(PngWriter& writer, TBitmap& bitmap)
{
    TMemoryStream m;
    writer.WriteBitmap(bitmap, m);
    return FromStream(m);
}

struct Header {
    std::uint32_t width, height;
    int depth, colorType, interlace;
};

Header HeaderOf(const Bytes& png)
{
    const auto chunks = Chunks(png);
    const ChunkView* ihdr = Find(chunks, "IHDR");
    if (ihdr == nullptr || ihdr->data.size() != 13) return {};
    return {Get32(ihdr->data.data()), Get32(ihdr->data.data() + 4), ihdr->data[8], ihdr->data[9], ihdr->data[12]};
}

std::vector<std::string> Types(const Bytes& png)
{
    std::vector<std::string> t;
    for (const ChunkView& c : Chunks(png)) t.push_back(c.type);
    return t;
}

TEST(PngWriter, ColourTypeFollowsTheBitmapAndTheAlphaBitmap)
{
    auto rgb = MakeBitmap(TPixelFormat::pf32bit, 5, 4);
    auto alpha = MakeAlpha(5, 4);
    {
        PngWriter w;
        const Header h = HeaderOf(Encode(w, *rgb));
        EXPECT_EQ(h.colorType, 2);
        EXPECT_EQ(h.depth, 8);
    }
    {
        PngWriter w;
        w.AlphaBitmap = alpha.get();
        const Bytes png = Encode(w, *rgb);
        EXPECT_EQ(HeaderOf(png).colorType, 6);
        const Bytes raw = ImageData(png, 4 * (1 + 5 * 4));
        ASSERT_EQ(raw.size(), 4u * 21);
        EXPECT_EQ(raw[1 + 3], 255 - alpha->ScanLine(0)[0]);
        EXPECT_EQ(raw[21 + 1 + 4 * 2 + 3], 255 - alpha->ScanLine(1)[2]);
        EXPECT_EQ(raw[21 + 1 + 4 * 2], GetRValue(rgb->Pixel(2, 1)));
    }
    // An alpha bitmap of another size or format is ignored.
    auto small = MakeAlpha(4, 4);
    auto wide = MakeBitmap(TPixelFormat::pf24bit, 5, 4);
    for (TBitmap* a : {small.get(), wide.get(), rgb.get()}) {
        PngWriter w;
        w.AlphaBitmap = a;
        EXPECT_EQ(HeaderOf(Encode(w, *rgb)).colorType, 2);
    }
    // A palette bitmap is written as a palette image whatever alpha is given.
    auto indexed = MakeBitmap(TPixelFormat::pf8bit, 5, 4);
    indexed->SetPalette(TPalette(7, TPaletteEntry{1, 2, 3}));
    {
        PngWriter w;
        w.AlphaBitmap = alpha.get();
        const Bytes png = Encode(w, *indexed);
        EXPECT_EQ(HeaderOf(png).colorType, 3);
        EXPECT_EQ(HeaderOf(png).depth, 8);
        const auto chunks = Chunks(png);
        const ChunkView* plte = Find(chunks, "PLTE");
        ASSERT_NE(plte, nullptr);
        EXPECT_EQ(plte->data.size(), 21u);
    }
    // Greyscale output.
    {
        PngWriter w;
        w.Grayscale = true;
        const Bytes png = Encode(w, *rgb);
        EXPECT_EQ(HeaderOf(png).colorType, 0);
        EXPECT_EQ(HeaderOf(png).depth, 8);
        EXPECT_EQ(Find(Chunks(png), "PLTE"), nullptr);
        const Bytes raw = ImageData(png, 4 * 6);
        const TColor c = rgb->Pixel(3, 2);
        EXPECT_EQ(raw[2 * 6 + 1 + 3], (77 * GetRValue(c) + 150 * GetGValue(c) + 29 * GetBValue(c)) / 256);
        w.AlphaBitmap = alpha.get();
        EXPECT_EQ(HeaderOf(Encode(w, *rgb)).colorType, 4);
    }
    {
        PngWriter w;
        w.Grayscale = true;
        auto four = MakeBitmap(TPixelFormat::pf4bit, 5, 4);
        const Header h = HeaderOf(Encode(w, *four));
        EXPECT_EQ(h.colorType, 0);
        EXPECT_EQ(h.depth, 4);
    }
}

TEST(PngWriter, FifteenAndSixteenBitSourcesAreWidened)
{
    TBitmap b15;
    b15.SetPixelFormat(TPixelFormat::pf15bit);
    b15.SetSize(1, 1);
    b15.ScanLine(0)[0] = 0x21;  // red 31, green 1, blue 1
    b15.ScanLine(0)[1] = 0x7C;
    PngWriter w;
    const Bytes png = Encode(w, b15);
    const Bytes raw = ImageData(png, 4);
    ASSERT_EQ(raw.size(), 4u);
    EXPECT_EQ(raw[1], 255);
    EXPECT_EQ(raw[2], 8);
    EXPECT_EQ(raw[3], 8);
    const auto chunks = Chunks(png);
    const ChunkView* sbit = Find(chunks, "sBIT");
    ASSERT_NE(sbit, nullptr);
    EXPECT_EQ(sbit->data, (Bytes{5, 5, 5}));

    TBitmap b16;
    b16.SetPixelFormat(TPixelFormat::pf16bit);
    b16.SetSize(1, 1);
    b16.ScanLine(0)[0] = 0x20;  // green 1
    b16.ScanLine(0)[1] = 0x00;
    PngWriter w16;
    const Bytes png16 = Encode(w16, b16);
    EXPECT_EQ(ImageData(png16, 4)[2], 4);
    const auto chunks16 = Chunks(png16);
    ASSERT_NE(Find(chunks16, "sBIT"), nullptr);
    EXPECT_EQ(Find(chunks16, "sBIT")->data, (Bytes{5, 6, 5}));
}

TEST(PngWriter, FilterModes)
{
    auto rgb = MakeBitmap(TPixelFormat::pf24bit, 40, 12);
    for (std::uint8_t mode : {1, 2, 3, 4, 5, 9}) {
        PngWriter w;
        w.FilterMode = mode;
        const Bytes raw = ImageData(Encode(w, *rgb), 12 * 121);
        ASSERT_EQ(raw.size(), 12u * 121);
        const int expected = mode >= 2 && mode <= 5 ? mode - 1 : 0;
        for (int y = 0; y < 12; ++y) EXPECT_EQ(raw[static_cast<std::size_t>(y) * 121], expected) << int{mode};
    }
    // Adaptive: a row of one repeated value stays unfiltered; a 4-bit source is never filtered.
    TBitmap flat;
    flat.SetPixelFormat(TPixelFormat::pf32bit);
    flat.SetSize(30, 3);
    for (int x = 0; x < 30; ++x) flat.SetPixel(x, 1, RGBColor(x * 8, 255 - x * 8, x));
    PngWriter adaptive;
    adaptive.FilterMode = 0;
    const Bytes raw = ImageData(Encode(adaptive, flat), 3 * 91);
    EXPECT_EQ(raw[0], 0);
    EXPECT_EQ(raw[2 * 91], 0);
    auto four = MakeBitmap(TPixelFormat::pf4bit, 64, 16);
    PngWriter adaptive4;
    adaptive4.FilterMode = 0;
    const Bytes raw4 = ImageData(Encode(adaptive4, *four), 16 * 33);
    for (int y = 0; y < 16; ++y) EXPECT_EQ(raw4[static_cast<std::size_t>(y) * 33], 0);
    // A smooth gradient is worth filtering.
    TBitmap gradient;
    gradient.SetPixelFormat(TPixelFormat::pf24bit);
    gradient.SetSize(64, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 64; ++x) gradient.SetPixel(x, y, RGBColor(x * 3 + y, x * 2, 255 - x * 3));
    PngWriter smooth;
    smooth.FilterMode = 0;
    const Bytes rawSmooth = ImageData(Encode(smooth, gradient), 4 * 193);
    int filtered = 0;
    for (int y = 0; y < 4; ++y) filtered += rawSmooth[static_cast<std::size_t>(y) * 193] != 0;
    EXPECT_GT(filtered, 0);
}

TEST(PngWriter, IdatChunksHaveTheChosenSize)
{
    auto noise = MakeBitmap(TPixelFormat::pf24bit, 200, 167, 5);  // about 100,000 bytes, incompressible
    PngWriter w;
    const Bytes png = Encode(w, *noise);
    std::vector<std::size_t> sizes;
    for (const ChunkView& c : Chunks(png))
        if (c.type == "IDAT") sizes.push_back(c.data.size());
    ASSERT_EQ(sizes.size(), 4u);
    EXPECT_EQ(sizes[0], 32768u);
    EXPECT_EQ(sizes[1], 32768u);
    EXPECT_EQ(sizes[2], 32768u);
    EXPECT_LT(sizes[3], 32768u);

    PngWriter p;
    EXPECT_THROW(p.SetIdatSize(255), PngError);
    try {
        p.SetIdatSize(100001);
    } catch (const PngError& e) {
        EXPECT_STREQ(e.what(), "Write PNG Param: Err IDAT Size(min:256  max:100000)");
    }
    p.SetIdatSize(256);
    p.SetIdatSize(100000);
    EXPECT_EQ(p.IdatSize(), 100000);
    PngWriter small;
    small.SetIdatSize(256);
    for (const ChunkView& c : Chunks(Encode(small, *noise)))
        if (c.type == "IDAT") {
            EXPECT_LE(c.data.size(), 256u);
        }
}

TEST(PngWriter, ChunkOrderAndContents)
{
    auto rgb = MakeBitmap(TPixelFormat::pf24bit, 3, 2);
    PngWriter w;
    w.AutoTime = false;
    w.Time = {2020, 5, 17, 8, 30, 60};
    w.Comment = "abc";
    w.GifControl.Bytes = {0, 0, 0, 5};
    w.Gamma = 0.45455;
    w.Chromaticities.Values = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
    w.SignificantBits = 0x0D0705;  // 13 bits of red, as kept from a 16-bit file
    w.BackgroundColor = RGBColor(1, 2, 3);
    w.TransparentColor = RGBColor(4, 5, 6);
    w.PhysUnit = 2;
    w.PhysX = 72;
    w.PhysY = 300;
    const Bytes png = Encode(w, *rgb);
    EXPECT_EQ(Types(png), (std::vector<std::string>{"IHDR", "tIME", "tEXt", "tEXt", "tpNG", "gIFg", "gAMA", "cHRM", "sBIT",
                                                    "bKGD", "tRNS", "pHYs", "IDAT", "IEND"}));
    const auto chunks = Chunks(png);
    EXPECT_EQ(Find(chunks, "tIME")->data, (Bytes{0x07, 0xE4, 5, 17, 8, 30, 60}));
    EXPECT_EQ(Find(chunks, "tEXt")->data, (Bytes{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'a', 'b', 'c'}));
    EXPECT_EQ(chunks[3].data.size() > 9 && std::string(chunks[3].data.begin(), chunks[3].data.begin() + 9) == std::string("Software\0", 9), true);
    EXPECT_EQ(Find(chunks, "tpNG")->data, (Bytes{'M', 'R', 'V', '3', 0, 0, 0, 0}));
    EXPECT_EQ(Get32(Find(chunks, "gAMA")->data.data()), 45455u);
    EXPECT_EQ(Find(chunks, "sBIT")->data, (Bytes{5, 7, 8}));
    EXPECT_EQ(Find(chunks, "bKGD")->data, (Bytes{0, 1, 0, 2, 0, 3}));
    EXPECT_EQ(Find(chunks, "tRNS")->data, (Bytes{0, 4, 0, 5, 0, 6}));
    const ChunkView* phys = Find(chunks, "pHYs");
    EXPECT_EQ(Get32(phys->data.data()), 2834u);
    EXPECT_EQ(Get32(phys->data.data() + 4), 11811u);
    EXPECT_EQ(phys->data[8], 1);

    // Invalid times, no comment, no gamma: the chunks are left out.
    for (TPngTime t : {TPngTime{2020, 0, 1, 0, 0, 0}, TPngTime{2020, 1, 1, 0, 0, 61}, TPngTime{0, 1, 1, 0, 0, 0}}) {
        PngWriter plain;
        plain.AutoTime = false;
        plain.Time = t;
        EXPECT_EQ(Types(Encode(plain, *rgb)), (std::vector<std::string>{"IHDR", "tEXt", "tpNG", "IDAT", "IEND"}));
    }
    PngWriter now;
    EXPECT_NE(Find(Chunks(Encode(now, *rgb)), "tIME"), nullptr);
}

TEST(PngWriter, BackgroundAndTransparencyForPaletteAndGreyOutput)
{
    auto indexed = MakeBitmap(TPixelFormat::pf8bit, 4, 4);
    indexed->SetPalette({{0, 0, 0}, {250, 0, 0}, {0, 250, 0}, {250, 0, 0}});
    PngWriter w;
    w.BackgroundColor = RGBColor(240, 10, 5);  // nearest: entry 1 (lower index on a tie with 3)
    w.TransparentColor = PaletteIndex(2);
    auto chunks = Chunks(Encode(w, *indexed));
    EXPECT_EQ(Find(chunks, "bKGD")->data, (Bytes{1}));
    EXPECT_EQ(Find(chunks, "tRNS")->data, (Bytes{255, 255, 0}));

    // An entry the palette does not have, or no palette at all: no chunk.
    PngWriter beyond;
    beyond.TransparentColor = PaletteIndex(9);
    EXPECT_EQ(Find(Chunks(Encode(beyond, *indexed)), "tRNS"), nullptr);
    indexed->SetPalette({});
    PngWriter none;
    none.TransparentColor = RGBColor(1, 1, 1);
    EXPECT_EQ(Find(Chunks(Encode(none, *indexed)), "tRNS"), nullptr);

    // A palette longer than the bit depth can index is cut to fit.
    TBitmap oneBit;
    oneBit.SetPixelFormat(TPixelFormat::pf1bit);
    oneBit.SetSize(3, 1);
    oneBit.SetPalette(TPalette(5, TPaletteEntry{7, 7, 7}));
    PngWriter cut;
    cut.TransparentColor = PaletteIndex(3);
    chunks = Chunks(Encode(cut, oneBit));
    ASSERT_NE(Find(chunks, "PLTE"), nullptr);
    EXPECT_EQ(Find(chunks, "PLTE")->data.size(), 6u);
    EXPECT_EQ(Find(chunks, "tRNS"), nullptr);

    // Greyscale samples.
    TBitmap one;
    one.SetPixelFormat(TPixelFormat::pf1bit);
    one.SetSize(8, 1);
    PngWriter g1;
    g1.Grayscale = true;
    g1.TransparentColor = RGBColor(200, 200, 200);
    g1.BackgroundColor = PaletteIndex(0);
    chunks = Chunks(Encode(g1, one));
    EXPECT_EQ(Find(chunks, "tRNS")->data, (Bytes{0, 1}));
    EXPECT_EQ(Find(chunks, "bKGD")->data, (Bytes{0, 0}));
    auto four = MakeBitmap(TPixelFormat::pf4bit, 4, 1);
    PngWriter g4;
    g4.Grayscale = true;
    g4.TransparentColor = RGBColor(100, 100, 100);
    chunks = Chunks(Encode(g4, *four));
    ASSERT_NE(Find(chunks, "tRNS"), nullptr);
    EXPECT_EQ(Find(chunks, "tRNS")->data, (Bytes{0, 6}));

    // A palette-entry colour on a true-colour picture resolves through the kept palette.
    auto rgb = MakeBitmap(TPixelFormat::pf32bit, 2, 2);
    PngWriter kept;
    kept.TransparentColor = PaletteIndex(1);
    kept.BackgroundColor = PaletteIndex(5);
    kept.SourcePalette = {{9, 9, 9}, {10, 20, 30}};
    chunks = Chunks(Encode(kept, *rgb));
    EXPECT_EQ(Find(chunks, "tRNS")->data, (Bytes{0, 10, 0, 20, 0, 30}));
    EXPECT_EQ(Find(chunks, "bKGD"), nullptr);

    // No tRNS beside an alpha channel.
    auto alpha = MakeAlpha(2, 2);
    PngWriter withAlpha;
    withAlpha.AlphaBitmap = alpha.get();
    withAlpha.TransparentColor = RGBColor(1, 2, 3);
    EXPECT_EQ(Find(Chunks(Encode(withAlpha, *rgb)), "tRNS"), nullptr);
}

TEST(PngWriter, EmptyPictureIsRefused)
{
    TBitmap empty;
    PngWriter w;
    TMemoryStream m;
    EXPECT_THROW(w.WriteBitmap(empty, m), PngError);
}

TEST(PngWriter, WrittenFilesPassPngcheckAndReadBack)
{
    ASSERT_TRUE(ToolExists(kPngcheck)) << "pngcheck (Debian package pngcheck) is not installed";
    const TPixelFormat formats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit, TPixelFormat::pf15bit,
                                    TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit};
    std::string files;
    int n = 0;
    for (TPixelFormat f : formats) {
        for (int interlaced = 0; interlaced < 2; ++interlaced) {
            for (int grey = 0; grey < 2; ++grey) {
                for (int alpha = 0; alpha < 2; ++alpha) {
                    const std::uint8_t filter = static_cast<std::uint8_t>(n % 6);
                    auto bmp = MakeBitmap(f, 13, 11, static_cast<unsigned>(n));
                    auto a = MakeAlpha(13, 11, static_cast<unsigned>(n));
                    PngWriter w;
                    w.Interlaced = interlaced != 0;
                    w.Grayscale = grey != 0;
                    w.FilterMode = filter;
                    w.AlphaBitmap = alpha ? a.get() : nullptr;
                    w.Comment = "written by a test";
                    w.BackgroundColor = RGBColor(10, 20, 30);
                    w.TransparentColor = alpha ? clNone : RGBColor(40, 50, 60);
                    w.SignificantBits = 0x08101010;
                    w.PhysUnit = 2;
                    w.PhysX = w.PhysY = 96;
                    w.Chromaticities.Values = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
                    w.Gamma = 0.45455;
                    const Bytes png = Encode(w, *bmp);
                    const std::string path = ProgramTempDir() + "/written" + std::to_string(n++) + ".png";
                    WriteFile(path, png);
                    files += " " + path;

                    // Read back: the picture written is the picture read.
                    TMemoryStream m;
                    ToStream(png, m);
                    PngImage back;
                    back.LoadFromStream(m);
                    SCOPED_TRACE(path);
                    ASSERT_EQ(back.Width(), 13);
                    for (int y = 0; y < 11; ++y)
                        for (int x = 0; x < 13; ++x) {
                            const TColor c = bmp->Pixel(x, y);
                            const int g = (77 * GetRValue(c) + 150 * GetGValue(c) + 29 * GetBValue(c)) / 256;
                            const TColor want = !grey ? c : f == TPixelFormat::pf1bit ? c
                                                : f == TPixelFormat::pf4bit          ? RGBColor(g / 16 * 17, g / 16 * 17, g / 16 * 17)
                                                                                     : RGBColor(g, g, g);
                            ASSERT_EQ(back.ImageBitmap().Pixel(x, y), want) << x << "," << y;
                        }
                }
            }
        }
    }
    std::string output;
    EXPECT_EQ(RunCommand(std::string(kPngcheck) + " -q" + files + " 2>&1", &output), 0) << output;
}

}  // namespace

namespace {

// The filter type of each row of a non-interlaced image.
std::vector<int> RowFilters(const Bytes& png, std::size_t rows, std::size_t rowBytes)
{
    const Bytes raw = ImageData(png, rows * (rowBytes + 1));
    std::vector<int> types;
    for (std::size_t y = 0; y < rows && y * (rowBytes + 1) < raw.size(); ++y) types.push_back(raw[y * (rowBytes + 1)]);
    return types;
}

// For each row, the filter type whose output bytes, read as signed, have the least absolute
// sum (the lowest type on a tie), worked out here from the rows and the PNG predictors.
std::vector<int> LeastSumFilters(const std::vector<Bytes>& rows, std::size_t bpp)
{
    std::vector<int> types;
    Bytes previous(rows.front().size(), 0);
    for (const Bytes& row : rows) {
        long best = -1;
        int bestType = 0;
        for (int type = 0; type <= 4; ++type) {
            long sum = 0;
            for (std::size_t i = 0; i < row.size(); ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, b = previous[i], c = i >= bpp ? previous[i - bpp] : 0;
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                const int predictor[5] = {0, a, b, (a + b) / 2, (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c};
                const auto r = static_cast<std::int8_t>(static_cast<std::uint8_t>(row[i] - predictor[type]));
                sum += std::abs(static_cast<int>(r));
            }
            if (best < 0 || sum < best) {
                best = sum;
                bestType = type;
            }
        }
        types.push_back(bestType);
        previous = row;
    }
    return types;
}

TEST(PngWriter, AdaptiveFiltersTakeTheRowWithTheLeastSum)
{
    // Ramps across and down, a flat picture, and a photograph-like one with noise.
    struct TCase {
        const char* Name;
        int Across, Down, Noise;
    };
    const TCase cases[] = {{"across", 3, 7, 0}, {"down", 0, 9, 0}, {"flat", 0, 0, 0}, {"noisy", 2, 1, 15}, {"noise", 0, 0, 255}};
    std::mt19937 rng(3);
    for (const TCase& c : cases) {
        TBitmap b;
        b.SetPixelFormat(TPixelFormat::pf32bit);
        b.SetSize(40, 12);
        std::vector<Bytes> rows;
        for (int y = 0; y < 12; ++y) {
            Bytes row;
            for (int x = 0; x < 40; ++x) {
                const int r = (x * c.Across + y * c.Down + static_cast<int>(rng() % (c.Noise + 1))) & 0xFF;
                const int g = (r * 3 + 10) & 0xFF, bl = (255 - r) & 0xFF;
                b.SetPixel(x, y, RGBColor(r, g, bl));
                row.insert(row.end(), {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(bl)});
            }
            rows.push_back(row);
        }
        PngWriter w;
        w.FilterMode = 0;
        EXPECT_EQ(RowFilters(Encode(w, b), 12, 120), LeastSumFilters(rows, 3)) << c.Name;
    }
}

TEST(PngWriter, PaletteAndGreyFilesKeepTheirForm)
{
    if (!ToolExists(kPngcheck)) GTEST_SKIP() << "pngcheck (Debian package pngcheck) is not installed";
    // A 32-bit picture of few colours, loaded from a palette file: a palette image again, of
    // the file's depth, with the alpha of each colour in tRNS; read back pixel for pixel.
    TBitmap few;
    few.SetPixelFormat(TPixelFormat::pf32bit);
    few.SetSize(9, 5);
    const TColor colours[] = {RGBColor(200, 10, 10), RGBColor(10, 200, 10), RGBColor(1, 2, 3)};
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) few.SetPixel(x, y, colours[(x + y) % 3]);
    TBitmap alpha;
    alpha.SetPixelFormat(TPixelFormat::pf8bit);
    alpha.SetSize(9, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) alpha.ScanLine(y)[x] = (x + y) % 3 == 2 ? 255 : (x + y) % 3 == 1 ? 127 : 0;
    std::string files;
    struct TCase {
        int SourceType, SourceDepth;
        bool WithAlpha;
        int ColourType, Depth;
    };
    const TCase cases[] = {
        {3, 4, false, 3, 4}, {3, 8, true, 3, 8}, {3, 1, false, 3, 2},  // depth 1 cannot index 3 colours
        {2, 8, false, 2, 8}, {-1, 0, true, 6, 8},
    };
    int n = 0;
    for (const TCase& c : cases) {
        PngWriter w;
        w.SourceColorType = c.SourceType;
        w.SourceBitDepth = c.SourceDepth;
        w.AlphaBitmap = c.WithAlpha ? &alpha : nullptr;
        const Bytes png = Encode(w, few);
        const Header h = HeaderOf(png);
        EXPECT_EQ(h.colorType, c.ColourType) << n;
        EXPECT_EQ(h.depth, c.Depth) << n;
        if (c.ColourType == 3 && c.WithAlpha) {
            EXPECT_EQ(Find(Chunks(png), "tRNS")->data, (Bytes{128, 0}));  // the entries with alpha first
        }
        TMemoryStream m;
        ToStream(png, m);
        PngImage back;
        TBitmap backAlpha;
        back.AttachAlpha(&backAlpha);
        back.LoadFromStream(m);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x) {
                ASSERT_EQ(back.ImageBitmap().Pixel(x, y), few.Pixel(x, y)) << n << ": " << x << "," << y;
                if (c.WithAlpha) {
                    ASSERT_EQ(backAlpha.ScanLine(y)[x], alpha.ScanLine(y)[x]) << n << ": " << x << "," << y;
                }
            }
        const std::string path = ProgramTempDir() + "/form" + std::to_string(n++) + ".png";
        WriteFile(path, png);
        files += " " + path;
    }
    // Greys on the levels of a 2-bit file keep 2 bits; one grey off them makes it 8.
    TBitmap grey;
    grey.SetPixelFormat(TPixelFormat::pf32bit);
    grey.SetSize(6, 2);
    for (int x = 0; x < 6; ++x) grey.SetPixel(x, 0, RGBColor(85 * (x % 4), 85 * (x % 4), 85 * (x % 4)));
    for (int x = 0; x < 6; ++x) grey.SetPixel(x, 1, RGBColor(170, 170, 170));
    for (int offLevel = 0; offLevel < 2; ++offLevel) {
        if (offLevel) grey.SetPixel(5, 1, RGBColor(100, 100, 100));
        PngWriter w;
        w.Grayscale = true;
        w.SourceColorType = 0;
        w.SourceBitDepth = 2;
        w.TransparentColor = RGBColor(85, 85, 85);
        const Bytes png = Encode(w, grey);
        EXPECT_EQ(HeaderOf(png).depth, offLevel ? 8 : 2);
        EXPECT_EQ(Find(Chunks(png), "tRNS")->data, offLevel ? (Bytes{0, 85}) : (Bytes{0, 1}));
        TMemoryStream m;
        ToStream(png, m);
        PngImage back;
        back.LoadFromStream(m);
        for (int x = 0; x < 6; ++x) EXPECT_EQ(back.ImageBitmap().Pixel(x, 0), grey.Pixel(x, 0));
        EXPECT_EQ(back.ImageBitmap().Pixel(5, 1), grey.Pixel(5, 1));
        const std::string path = ProgramTempDir() + "/form" + std::to_string(n++) + ".png";
        WriteFile(path, png);
        files += " " + path;
    }
    std::string output;
    EXPECT_EQ(RunCommand(std::string(kPngcheck) + " -q" + files, &output), 0) << output;
}

TEST(PngWriter, KeptChunksGoToTheirPlaces)
{
    TBitmap indexed;
    indexed.SetPixelFormat(TPixelFormat::pf8bit);
    indexed.SetSize(2, 2);
    indexed.SetPalette({{1, 2, 3}, {4, 5, 6}});
    PngWriter w;
    w.AutoTime = false;
    w.Gamma = 0;
    w.KeptChunks = {{"tEXt", std::string("Title\0a", 7), TPngChunkPlace::AfterImage},
                    {"iCCP", std::string("p\0\0x", 4), TPngChunkPlace::BeforePalette},
                    {"zTXt", std::string("Note\0\0z", 7), TPngChunkPlace::BeforeImage},
                    {"tEXt", std::string("Software\0Other", 14), TPngChunkPlace::BeforePalette},
                    {"iTXt", std::string("Title\0\0\0\0\0b", 11), TPngChunkPlace::BeforePalette}};
    const Bytes png = Encode(w, indexed);
    EXPECT_EQ(Types(png), (std::vector<std::string>{"IHDR", "tEXt", "tpNG", "iCCP", "iTXt", "PLTE", "zTXt", "IDAT",
                                                    "tEXt", "IEND"}));
    const auto chunks = Chunks(png);
    EXPECT_EQ(std::string(chunks[8].data.begin(), chunks[8].data.end()), std::string("Title\0a", 7));
    EXPECT_EQ(std::string(chunks[1].data.begin(), chunks[1].data.begin() + 9), std::string("Software\0", 9));
    EXPECT_NE(std::string(chunks[1].data.begin(), chunks[1].data.end()), std::string("Software\0Other", 14));
}

}  // namespace
