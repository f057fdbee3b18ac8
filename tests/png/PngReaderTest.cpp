#include "png/PngError.h"
#include "png/PngImage.h"
#include "png/PngReader.h"
#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace pngtest;

namespace {

// Raw rows (filter byte 0 each) for an image whose rows are given as sample bytes.
Bytes RawRows(const std::vector<Bytes>& rows)
{
    Bytes raw;
    for (const Bytes& r : rows) {
        raw.push_back(0);
        raw.insert(raw.end(), r.begin(), r.end());
    }
    return raw;
}

struct PngBuilder {
    Bytes ihdr;
    std::vector<std::pair<std::string, Bytes>> beforeImage;
    std::vector<std::pair<std::string, Bytes>> afterImage;
    Bytes raw;
    std::size_t idatPieces = 1;
    bool badCrc = false;
    bool iend = true;

    Bytes Build() const
    {
        Bytes png = Signature();
        Chunk(png, "IHDR", ihdr, badCrc);
        for (const auto& [type, data] : beforeImage) Chunk(png, type, data, badCrc);
        const Bytes z = Deflate(raw);
        const std::size_t piece = (z.size() + idatPieces - 1) / idatPieces;
        for (std::size_t at = 0; at < z.size(); at += piece) {
            Chunk(png, "IDAT", Bytes(z.begin() + static_cast<std::ptrdiff_t>(at),
                                     z.begin() + static_cast<std::ptrdiff_t>(std::min(z.size(), at + piece))), badCrc);
        }
        for (const auto& [type, data] : afterImage) Chunk(png, type, data, badCrc);
        if (iend) Chunk(png, "IEND", {}, badCrc);
        return png;
    }
};

// An 8-bit palette image 4x2 with indices 0..3 on each row and a 4-entry palette.
PngBuilder PaletteImage()
{
    PngBuilder b;
    b.ihdr = Ihdr(4, 2, 8, 3);
    b.beforeImage.push_back({"PLTE", {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}});
    b.raw = RawRows({{0, 1, 2, 3}, {3, 2, 1, 0}});
    return b;
}

struct Loaded {
    std::unique_ptr<PngImage> png = std::make_unique<PngImage>();
    std::string error;
};

Loaded Load(const Bytes& bytes, bool skipMac = true)
{
    Loaded l;
    l.png->SkipMacHeader = skipMac;
    TMemoryStream m;
    ToStream(bytes, m);
    try {
        l.png->LoadFromStream(m);
    } catch (const PngError& e) {
        l.error = e.what();
    }
    return l;
}

std::string ErrorOf(const Bytes& bytes) { return Load(bytes).error; }

// A stream that is not in memory and hands out a few bytes per read.
class TrickleStream : public TStream {
public:
    explicit TrickleStream(Bytes data) : data_(std::move(data)) {}
    std::int64_t Read(void* buffer, std::int64_t count) override
    {
        const std::int64_t n = std::min<std::int64_t>({count, 7, static_cast<std::int64_t>(data_.size()) - pos_});
        if (n <= 0) return 0;
        std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
        pos_ += n;
        return n;
    }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override
    {
        pos_ = (origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? pos_ : static_cast<std::int64_t>(data_.size())) + offset;
        return pos_;
    }
    void SetSize(std::int64_t) override {}

private:
    Bytes data_;
    std::int64_t pos_ = 0;
};

// ---------------------------------------------------------------- header and chunk rules

TEST(PngReader, HeaderFaultsRaiseTheirMessages)
{
    struct Case {
        Bytes ihdr;
        const char* message;
    } cases[] = {
        {Ihdr(1, 1, 8, 1), PngMessage::ColorType},
        {Ihdr(1, 1, 8, 5), PngMessage::ColorType},
        {Ihdr(1, 1, 8, 15), PngMessage::ColorType},  // only the low three bits count
        {Ihdr(1, 1, 8, 2, 0, 2), PngMessage::Compression},
        {Ihdr(1, 1, 8, 2, 0, 0, 2), PngMessage::Filter},
        {Ihdr(1, 1, 8, 2, 2), PngMessage::Interlace},
        {Ihdr(1, 1, 3, 0), PngMessage::GreyBitdepth},
        {Ihdr(1, 1, 4, 4), PngMessage::GreyAlphaDepth},
        {Ihdr(1, 1, 4, 2), PngMessage::ColourBitDepth},
        {Ihdr(1, 1, 16, 3), PngMessage::ColourBitDepth},
        {Ihdr(1, 1, 3, 3), PngMessage::ColourBitDepth},
        {Ihdr(1, 1, 4, 6), PngMessage::ColourBitDepth},
    };
    for (const Case& c : cases) {
        PngBuilder b;
        b.ihdr = c.ihdr;
        b.raw = RawRows({{0, 0, 0, 0, 0, 0, 0, 0}});
        EXPECT_EQ(ErrorOf(b.Build()), c.message);
    }
    Bytes png = Signature();
    Chunk(png, "IHDR", Ihdr(1, 1, 8, 0));
    Chunk(png, "IHDR", Ihdr(1, 1, 8, 0));
    EXPECT_EQ(ErrorOf(png), PngMessage::TwoIhdr);
    Bytes notPng = png;
    notPng[1] = 'p';
    EXPECT_EQ(ErrorOf(notPng), PngMessage::NotPng);
}

TEST(PngReader, HostileSizesAreRefusedBeforeAllocation)
{
    for (const Bytes& ihdr : {Ihdr(0x40000000, 0x40000000, 8, 6), Ihdr(16385, 16384, 8, 0), Ihdr(0x7FFFFFFF, 1, 16, 6),
                              Ihdr(0xFFFFFFFF, 0, 8, 0)}) {
        PngBuilder b;
        b.ihdr = ihdr;
        b.raw = RawRows({{0}});
        EXPECT_EQ(ErrorOf(b.Build()), PngMessage::TooLarge);
    }
    // 2^28 pixels is still allowed (it fails later, for want of data).
    PngBuilder b;
    b.ihdr = Ihdr(16384, 16384, 1, 0);
    b.raw = RawRows({Bytes(2048, 0)});
    EXPECT_EQ(ErrorOf(b.Build()), PngMessage::ReadError);
}

TEST(PngReader, MacBinaryHeaderIsSkippedUnlessSwitchedOff)
{
    Bytes file(128, 0x41);
    file[0] = 0;
    file[74] = 0;
    const Bytes png = PaletteImage().Build();
    file.insert(file.end(), png.begin(), png.end());
    const Loaded l = Load(file);
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(l.png->Width(), 4);
    EXPECT_EQ(Load(file, false).error, PngMessage::NotPng);
    file[74] = 1;
    EXPECT_EQ(Load(file).error, PngMessage::NotPng);
}

TEST(PngReader, ChecksumsAndUnknownChunksAreIgnored)
{
    PngBuilder b = PaletteImage();
    b.badCrc = true;
    b.beforeImage.push_back({"ZZZZ", {1, 2, 3}});  // unknown critical chunk
    b.afterImage.push_back({"QQQQ", {}});
    const Loaded l = Load(b.Build());
    ASSERT_EQ(l.error, "");
    EXPECT_EQ(l.png->ImageBitmap().Pixel(1, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(l.png->ImageBitmap().Pixel(3, 0), RGBColor(0, 0, 255));
}

TEST(PngReader, AncillaryValuesAreCollected)
{
    PngBuilder b;
    b.ihdr = Ihdr(2, 1, 8, 6);
    Bytes gama, phys, time, chrm, gifg;
    Put32(gama, 45000);
    Put32(phys, 2835);
    Put32(phys, 1417);
    phys.push_back(1);
    Put16(time, 2024);
    time.insert(time.end(), {2, 29, 23, 59, 60});
    for (std::uint32_t v = 1; v <= 8; ++v) Put32(chrm, v * 1000);
    gifg = {1, 0, 0, 10};
    b.beforeImage = {{"gAMA", gama}, {"sBIT", {5, 6, 7, 8}}, {"cHRM", chrm}, {"gIFg", gifg}, {"pHYs", phys},
                     {"tIME", time},  {"bKGD", {0, 1, 0, 2, 0, 3}}};
    b.raw = RawRows({{1, 2, 3, 255, 4, 5, 6, 0}});
    const Loaded l = Load(b.Build());
    ASSERT_EQ(l.error, "");
    const PngImage& p = *l.png;
    EXPECT_DOUBLE_EQ(p.Gamma, 0.45);
    EXPECT_EQ(p.SignificantBits, 0x08070605u);
    EXPECT_EQ(p.PhysUnit, 1);
    EXPECT_EQ(p.PhysX, 2835u);
    EXPECT_EQ(p.PhysY, 1417u);
    EXPECT_EQ(p.Time, (TPngTime{2024, 2, 29, 23, 59, 60}));
    EXPECT_EQ(p.Chromaticities.Values[7], 8000u);
    EXPECT_EQ(p.GifControl.Bytes[3], 10);
    EXPECT_EQ(p.BackgroundColor(), RGBColor(1, 2, 3));
    EXPECT_EQ(p.BitDepth(), 24);
    EXPECT_TRUE(p.HasAlpha());
    TBitmap alpha;
    ASSERT_TRUE(p.CopyAlphaTo(&alpha));
    EXPECT_EQ(alpha.ScanLine(0)[0], 0);
    EXPECT_EQ(alpha.ScanLine(0)[1], 255);
    EXPECT_EQ(alpha.Palette(), GreyPalette(8));

    // gAMA, cHRM, sBIT and gIFg count only before PLTE.
    PngBuilder late;
    late.ihdr = Ihdr(1, 1, 8, 2);
    late.beforeImage = {{"PLTE", {1, 1, 1}}, {"gAMA", gama}, {"sBIT", {5, 5, 5}}, {"gIFg", gifg}};
    late.raw = RawRows({{1, 2, 3}});
    const Loaded m = Load(late.Build());
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.png->Gamma, 0.0);
    EXPECT_EQ(m.png->SignificantBits, 0u);
    EXPECT_EQ(m.png->GifControl, TPngGifControl{});
}

TEST(PngReader, CommentChunksAreJoined)
{
    PngBuilder b = PaletteImage();
    auto text = [](const std::string& keyword, const std::string& value) {
        Bytes d(keyword.begin(), keyword.end());
        d.push_back(0);
        d.insert(d.end(), value.begin(), value.end());
        return d;
    };
    b.beforeImage.push_back({"tEXt", text("Comment", "one")});
    b.beforeImage.push_back({"tEXt", text("comment", "ignored")});
    b.beforeImage.push_back({"tEXt", text("Title", "ignored")});
    b.afterImage.push_back({"tEXt", text("Comment", "two")});
    b.afterImage.push_back({"tEXt", text("Comment", "")});
    EXPECT_EQ(Load(b.Build()).png->Comment, "one\r\n\r\ntwo\r\n");
}

// ---------------------------------------------------------------- transparency

TEST(PngReader, SingleTransparentPaletteEntryIsATransparentColour)
{
    PngBuilder b = PaletteImage();
    b.beforeImage.push_back({"tRNS", {255, 255, 0, 255}});
    const Loaded l = Load(b.Build());
    ASSERT_EQ(l.error, "");
    EXPECT_FALSE(l.png->HasAlpha());
    EXPECT_EQ(l.png->TransparentColor(), PaletteIndex(2));
    EXPECT_FALSE(l.png->CopyAlphaTo(nullptr));
    const TBitmap& bmp = l.png->ImageBitmap();
    EXPECT_TRUE(bmp.Transparent());
    EXPECT_EQ(bmp.FixedTransparentColor(), PaletteIndex(2));
    // Compared by colour, the entry's own colour.
    EXPECT_EQ(bmp.TransparentColor(), RGBColor(0, 255, 0));
    EXPECT_EQ(l.png->LoadedPalette().size(), 4u);
}

TEST(PngReader, PartialPaletteAlphaBecomesAnAlphaBitmap)
{
    PngBuilder b = PaletteImage();
    b.beforeImage.push_back({"tRNS", {255, 128}});
    const Loaded l = Load(b.Build());
    ASSERT_EQ(l.error, "");
    EXPECT_TRUE(l.png->HasAlpha());
    EXPECT_EQ(l.png->TransparentColor(), clNone);
    TBitmap alpha;
    ASSERT_TRUE(l.png->CopyAlphaTo(&alpha));
    EXPECT_EQ(alpha.ScanLine(0)[0], 0);
    EXPECT_EQ(alpha.ScanLine(0)[1], 127);
    EXPECT_EQ(alpha.ScanLine(1)[2], 127);
    EXPECT_EQ(alpha.ScanLine(1)[3], 0);

    PngBuilder opaque = PaletteImage();
    opaque.beforeImage.push_back({"tRNS", {255, 255, 255, 255}});
    const Loaded o = Load(opaque.Build());
    EXPECT_TRUE(o.png->HasAlpha());
    ASSERT_TRUE(o.png->CopyAlphaTo(&alpha));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(alpha.ScanLine(y)[x], 0);

    PngBuilder two = PaletteImage();
    two.beforeImage.push_back({"tRNS", {0, 0}});
    EXPECT_TRUE(Load(two.Build()).png->HasAlpha());
}

TEST(PngReader, GreyAndTrueColourTransparencySamples)
{
    PngBuilder grey;
    grey.ihdr = Ihdr(8, 1, 1, 0);
    grey.beforeImage.push_back({"tRNS", {0, 1}});
    grey.raw = RawRows({{0x0F}});
    const Loaded g = Load(grey.Build());
    ASSERT_EQ(g.error, "");
    EXPECT_EQ(g.png->TransparentColor(), clWhite);
    EXPECT_TRUE(g.png->ImageBitmap().Transparent());
    EXPECT_EQ(g.png->ImageBitmap().PixelFormat(), TPixelFormat::pf1bit);

    PngBuilder grey2;
    grey2.ihdr = Ihdr(4, 1, 2, 0);
    grey2.beforeImage.push_back({"tRNS", {0, 2}});
    grey2.raw = RawRows({{0x1B}});  // samples 0 1 2 3
    const Loaded g2 = Load(grey2.Build());
    EXPECT_EQ(g2.png->TransparentColor(), RGBColor(170, 170, 170));
    EXPECT_EQ(g2.png->ImageBitmap().PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(g2.png->ImageBitmap().ScanLine(0)[0], 0x01);
    EXPECT_EQ(g2.png->ImageBitmap().ScanLine(0)[1], 0x23);
    EXPECT_EQ(g2.png->ImageBitmap().Pixel(2, 0), RGBColor(170, 170, 170));

    PngBuilder rgb;
    rgb.ihdr = Ihdr(1, 1, 16, 2);
    rgb.beforeImage.push_back({"tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}});
    rgb.raw = RawRows({{1, 2, 3, 4, 5, 6}});
    const Loaded r = Load(rgb.Build());
    EXPECT_EQ(r.png->TransparentColor(), RGBColor(0x12, 0x56, 0x9A));
    EXPECT_EQ(r.png->ImageBitmap().Pixel(0, 0), RGBColor(1, 3, 5));
}

// ---------------------------------------------------------------- image data

TEST(PngReader, InterlacedSmallImagesUseOnlyTheirPasses)
{
    // 1x1: the first pass alone.
    PngBuilder one;
    one.ihdr = Ihdr(1, 1, 8, 0, 1);
    one.raw = RawRows({{200}});
    const Loaded a = Load(one.Build());
    ASSERT_EQ(a.error, "");
    EXPECT_EQ(a.png->ImageBitmap().Pixel(0, 0), RGBColor(200, 200, 200));
    EXPECT_EQ(a.png->Interlaced, 1);

    // 3x3: passes 1, 4, 5, 6, 7 (2 and 3 hold no pixels).
    PngBuilder three;
    three.ihdr = Ihdr(3, 3, 8, 0, 1);
    three.raw = RawRows({{1}, {2}, {3, 4}, {5}, {6}, {7, 8, 9}});
    const Loaded b = Load(three.Build());
    ASSERT_EQ(b.error, "");
    const TBitmap& bmp = b.png->ImageBitmap();
    const int want[3][3] = {{1, 5, 2}, {7, 8, 9}, {3, 6, 4}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(bmp.ScanLine(y)[x], want[y][x]) << x << "," << y;
}

TEST(PngReader, ImageDataSplitOverManyChunksDecodesTheSame)
{
    PngBuilder b;
    b.ihdr = Ihdr(64, 64, 8, 2);
    std::vector<Bytes> rows;
    std::mt19937 rng(7);
    for (int y = 0; y < 64; ++y) {
        Bytes r(192);
        for (auto& v : r) v = static_cast<std::uint8_t>(rng());
        rows.push_back(r);
    }
    b.raw = RawRows(rows);
    const Loaded whole = Load(b.Build());
    b.idatPieces = 300;
    const Loaded split = Load(b.Build());
    ASSERT_EQ(whole.error, "");
    ASSERT_EQ(split.error, "");
    for (int y = 0; y < 64; ++y) {
        ASSERT_EQ(std::memcmp(whole.png->ImageBitmap().ScanLine(y), split.png->ImageBitmap().ScanLine(y), 192), 0);
        EXPECT_EQ(split.png->ImageBitmap().Pixel(1, y), RGBColor(rows[y][3], rows[y][4], rows[y][5]));
    }
}

TEST(PngReader, EveryFilterTypeIsUndone)
{
    // One 3x5 RGB image, each row with another filter, built by filtering known pixels.
    const int w = 3;
    std::vector<Bytes> pixels;
    for (int y = 0; y < 5; ++y) {
        Bytes r;
        for (int i = 0; i < w * 3; ++i) r.push_back(static_cast<std::uint8_t>(37 * y + 91 * i + 13));
        pixels.push_back(r);
    }
    Bytes raw;
    Bytes prior(w * 3, 0);
    for (int y = 0; y < 5; ++y) {
        const Bytes& x = pixels[y];
        raw.push_back(static_cast<std::uint8_t>(y));
        for (int i = 0; i < w * 3; ++i) {
            const int a = i >= 3 ? x[i - 3] : 0, b = prior[i], c = i >= 3 ? prior[i - 3] : 0;
            int pred = 0;
            switch (y) {
            case 1: pred = a; break;
            case 2: pred = b; break;
            case 3: pred = (a + b) / 2; break;
            case 4: {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                pred = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
                break;
            }
            }
            raw.push_back(static_cast<std::uint8_t>(x[i] - pred));
        }
        prior = x;
    }
    PngBuilder b;
    b.ihdr = Ihdr(w, 5, 8, 2);
    b.raw = raw;
    const Loaded l = Load(b.Build());
    ASSERT_EQ(l.error, "");
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(l.png->ImageBitmap().Pixel(x, y), RGBColor(pixels[y][3 * x], pixels[y][3 * x + 1], pixels[y][3 * x + 2]))
                << "filter " << y;

    b.raw[0] = 5;
    EXPECT_EQ(ErrorOf(b.Build()), PngMessage::ReadError);
}

TEST(PngReader, MissingOrBrokenImageDataFails)
{
    // IEND where more image data is needed.
    PngBuilder b = PaletteImage();
    Bytes png = b.Build();
    const Bytes z = Deflate(b.raw);
    Bytes shortPng = Signature();
    Chunk(shortPng, "IHDR", b.ihdr);
    Chunk(shortPng, "PLTE", b.beforeImage[0].second);
    Chunk(shortPng, "IDAT", Bytes(z.begin(), z.begin() + 4));
    Chunk(shortPng, "IEND", {});
    EXPECT_EQ(ErrorOf(shortPng), PngMessage::ReadError);

    // Corrupt compressed data.
    Bytes bad = Signature();
    Chunk(bad, "IHDR", b.ihdr);
    Chunk(bad, "IDAT", {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF});
    Chunk(bad, "IEND", {});
    EXPECT_EQ(ErrorOf(bad), PngMessage::ReadError);

    // A compressed stream that ends before the last row.
    PngBuilder shortRows = PaletteImage();
    shortRows.raw.resize(5);
    EXPECT_EQ(ErrorOf(shortRows.Build()), PngMessage::ReadError);
}

TEST(PngReader, FileCutAfterTheImageDataStillLoadsButIsNotTransparent)
{
    PngBuilder b = PaletteImage();
    b.beforeImage.push_back({"tRNS", {255, 0}});
    b.iend = false;
    const Loaded l = Load(b.Build());
    ASSERT_EQ(l.error, "");
    EXPECT_EQ(l.png->ImageBitmap().Pixel(3, 1), RGBColor(0, 0, 0));
    EXPECT_EQ(l.png->TransparentColor(), PaletteIndex(1));
    EXPECT_FALSE(l.png->ImageBitmap().Transparent());
}

TEST(PngReader, StreamIsLeftBehindTheDataUsed)
{
    const Bytes png = PaletteImage().Build();
    Bytes withTail = png;
    withTail.insert(withTail.end(), {'t', 'a', 'i', 'l'});
    TMemoryStream m;
    ToStream(withTail, m);
    PngImage image;
    image.LoadFromStream(m);
    EXPECT_EQ(m.Position(), static_cast<std::int64_t>(png.size()));

    // The buffered path (a stream that is not in memory, delivering a few bytes a time).
    TrickleStream t(withTail);
    PngImage fromTrickle;
    fromTrickle.LoadFromStream(t);
    EXPECT_EQ(t.Position(), static_cast<std::int64_t>(png.size()));
    EXPECT_EQ(fromTrickle.ImageBitmap().Pixel(2, 1), RGBColor(255, 0, 0));
}

TEST(PngReader, LargeImagesReadThroughTheBufferMatchInPlaceReading)
{
    PngBuilder b;
    b.ihdr = Ihdr(300, 300, 8, 6);
    std::mt19937 rng(3);
    std::vector<Bytes> rows;
    for (int y = 0; y < 300; ++y) {
        Bytes r(1200);
        for (auto& v : r) v = static_cast<std::uint8_t>(rng() % 7);  // compressible, but not too much
        rows.push_back(r);
    }
    b.raw = RawRows(rows);
    b.idatPieces = 3;
    const Bytes png = b.Build();
    ASSERT_GT(png.size(), 65536u * 2);
    TrickleStream t(png);
    PngImage a;
    a.LoadFromStream(t);
    const Loaded c = Load(png);
    ASSERT_EQ(c.error, "");
    for (int y = 0; y < 300; y += 37)
        ASSERT_EQ(std::memcmp(a.ImageBitmap().ScanLine(y), c.png->ImageBitmap().ScanLine(y), 900), 0);
}

TEST(PngReader, ProgressRunsFromStartToEndInRisingSteps)
{
    PngBuilder b;
    b.ihdr = Ihdr(16, 40, 8, 0);
    b.raw = RawRows(std::vector<Bytes>(40, Bytes(16, 9)));
    TMemoryStream m;
    ToStream(b.Build(), m);
    PngImage png;
    std::vector<std::pair<TProgressStage, int>> seen;
    png.OnProgress = [&](TGraphic&, TProgressStage s, std::uint8_t p, bool, const TRect&, const std::string&) {
        seen.push_back({s, p});
    };
    png.LoadFromStream(m);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), std::make_pair(TProgressStage::psStarting, 0));
    EXPECT_EQ(seen.back(), std::make_pair(TProgressStage::psEnding, 100));
    for (std::size_t i = 2; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, TProgressStage::psRunning);
        EXPECT_GT(seen[i].second, seen[i - 1].second);
    }
    EXPECT_LE(seen[seen.size() - 2].second, 99);
    EXPECT_FALSE(png.ImageBitmap().OnProgress);  // the bitmap's own handler is back
}

TEST(PngReader, HeaderOnlyReadsLeaveTheImageAlone)
{
    PngBuilder b = PaletteImage();
    b.afterImage.push_back({"tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'}});
    TMemoryStream m;
    ToStream(b.Build(), m);
    PngReader reader;
    reader.ReadBitmap(nullptr, m, 0);
    EXPECT_EQ(reader.Width(), 4);
    EXPECT_EQ(reader.Height(), 2);
    EXPECT_EQ(reader.Comment(), "x\r\n");
}

TEST(PngReader, MutatedFilesNeverReadOutOfBounds)
{
    PngBuilder b = PaletteImage();
    b.beforeImage.push_back({"tRNS", {255, 128}});
    b.beforeImage.push_back({"tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'}});
    b.ihdr = Ihdr(4, 2, 8, 3, 1);
    const Bytes good = b.Build();
    std::mt19937 rng(11);
    int failures = 0;
    for (int i = 0; i < 3000; ++i) {
        Bytes png = good;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            png[8 + rng() % (png.size() - 8)] = static_cast<std::uint8_t>(rng());
        }
        if (rng() % 5 == 0) png.resize(rng() % png.size());
        TMemoryStream m;
        ToStream(png, m);
        PngImage image;
        try {
            image.LoadFromStream(m);
        } catch (const PngError&) {
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);
}

}  // namespace
