#include "graphics/Picture.h"
#include "png/PngError.h"
#include "png/PngImage.h"
#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using namespace pngtest;

namespace {

const char* const kPngcheck = "/usr/bin/pngcheck";

Bytes Png(const Bytes& ihdr, const std::vector<std::pair<std::string, Bytes>>& before, const Bytes& raw)
{
    Bytes png = Signature();
    Chunk(png, "IHDR", ihdr);
    for (const auto& [type, data] : before) Chunk(png, type, data);
    Chunk(png, "IDAT", Deflate(raw));
    Chunk(png, "IEND", {});
    return png;
}

// 2x2 truecolour, no transparency.
Bytes OpaqueRgb() { return Png(Ihdr(2, 2, 8, 2), {}, {0, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12}); }
// 2x2 truecolour with alpha.
Bytes Rgba() { return Png(Ihdr(2, 2, 8, 6), {}, {0, 1, 2, 3, 0, 4, 5, 6, 100, 0, 7, 8, 9, 200, 10, 11, 12, 255}); }
// 2x1 palette image whose entry 1 is the single transparent one.
Bytes PaletteWithTransparentEntry()
{
    return Png(Ihdr(2, 1, 8, 3), {{"PLTE", {10, 20, 30, 40, 50, 60}}, {"tRNS", {255, 0}}}, {0, 0, 1});
}

// The texts of the Comment tEXt chunks, in file order.
std::vector<std::string> CommentTexts(const std::vector<ChunkView>& chunks)
{
    const std::string keyword("Comment\0", 8);
    std::vector<std::string> texts;
    for (const ChunkView& c : chunks) {
        const std::string data(c.data.begin(), c.data.end());
        if (c.type == "tEXt" && data.compare(0, 8, keyword) == 0) texts.push_back(data.substr(8));
    }
    return texts;
}

void Load(PngImage& png, const Bytes& bytes)
{
    TMemoryStream m;
    ToStream(bytes, m);
    png.LoadFromStream(m);
}

Bytes Save(PngImage& png)
{
    TMemoryStream m;
    png.SaveToStream(m);
    return FromStream(m);
}

TEST(PngImage, DefaultsAndRegistration)
{
    PngImage png;
    EXPECT_EQ(png.IdatSize, 32768);
    // Adaptive row filters at zlib level 4: output about the size a careful encoder gives,
    // faster than unfiltered rows at zlib's default level.
    EXPECT_EQ(png.CompressionLevel, 4);
    EXPECT_EQ(png.FilterMode, 0);
    EXPECT_EQ(png.Interlaced, 0);
    EXPECT_FALSE(png.Grayscale);
    EXPECT_FALSE(png.HasAlpha());
    EXPECT_EQ(png.BackgroundColor(), clNone);
    EXPECT_EQ(png.TransparentColor(), clNone);
    EXPECT_DOUBLE_EQ(png.Gamma, 0.45455);
    EXPECT_TRUE(png.SkipMacHeader);
    EXPECT_TRUE(png.AutoTime);
    EXPECT_GT(png.Time.Year, 2000);
    EXPECT_TRUE(png.Empty());

    const auto format = TPicture::FindFileFormat("png");
    ASSERT_TRUE(format.has_value());
    EXPECT_EQ(format->Description, "PNG Format");
    const std::string path = ProgramTempDir() + "/registered.PNG";
    WriteFile(path, OpaqueRgb());
    TPicture picture;
    picture.LoadFromFile(path);
    ASSERT_NE(dynamic_cast<PngImage*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 2);
}

TEST(PngImage, OpaqueFileHasNoAlpha)
{
    PngImage png;
    Load(png, OpaqueRgb());
    EXPECT_FALSE(png.HasAlpha());
    EXPECT_EQ(png.TransparentColor(), clNone);
    TBitmap untouched;
    untouched.SetSize(3, 3);
    EXPECT_FALSE(png.CopyAlphaTo(&untouched));
    EXPECT_EQ(untouched.Width(), 3);
    EXPECT_EQ(png.ImageBitmap().Pixel(1, 1), RGBColor(10, 11, 12));
}

TEST(PngImage, AlphaFollowsTheLastLoad)
{
    PngImage png;
    Load(png, OpaqueRgb());
    Load(png, Rgba());
    EXPECT_TRUE(png.HasAlpha());
    TBitmap alpha;
    ASSERT_TRUE(png.CopyAlphaTo(&alpha));
    EXPECT_EQ(alpha.ScanLine(0)[1], 155);
    Load(png, OpaqueRgb());
    EXPECT_FALSE(png.HasAlpha());
    EXPECT_FALSE(png.CopyAlphaTo(nullptr));
    EXPECT_TRUE(png.AlphaBitmap().Empty());
}

TEST(PngImage, AttachedAlphaReceivesTheLoad)
{
    PngImage png;
    TBitmap attached;
    png.AttachAlpha(&attached);
    Load(png, Rgba());
    EXPECT_TRUE(png.HasAlpha());
    EXPECT_FALSE(png.CopyAlphaTo(nullptr));
    ASSERT_EQ(attached.Width(), 2);
    EXPECT_EQ(attached.ScanLine(1)[0], 55);
    EXPECT_EQ(&png.AlphaBitmap(), &attached);
    png.AttachAlpha(nullptr);
    EXPECT_NE(&png.AlphaBitmap(), &attached);
}

TEST(PngImage, AssigningABitmapKeepsTheLoadedValues)
{
    Bytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'};
    const Bytes file = Png(Ihdr(2, 1, 8, 2, 1), {{"tRNS", {0, 1, 0, 2, 0, 3}}, {"tEXt", text}}, {0, 1, 2, 3, 0, 4, 5, 6});
    PngImage png;
    Load(png, file);
    EXPECT_EQ(png.Comment, "hi\r\n");
    EXPECT_EQ(png.TransparentColor(), RGBColor(1, 2, 3));
    EXPECT_TRUE(png.Transparent());
    EXPECT_EQ(png.Gamma, 0.0);

    TBitmap work;
    work.Assign(&png);
    EXPECT_TRUE(work.Transparent());
    EXPECT_EQ(work.TransparentColor(), RGBColor(1, 2, 3));
    work.SetPixelFormat(TPixelFormat::pf32bit);
    work.SetPixel(1, 0, RGBColor(90, 91, 92));
    png.Assign(&work);
    EXPECT_EQ(png.TransparentColor(), RGBColor(1, 2, 3));
    EXPECT_EQ(png.Comment, "hi\r\n");
    EXPECT_EQ(png.Interlaced, 1);

    const Bytes saved = Save(png);
    const auto chunks = Chunks(saved);
    EXPECT_EQ(Get32(Find(chunks, "IHDR")->data.data()), 2u);
    EXPECT_EQ(Find(chunks, "IHDR")->data[12], 1);
    EXPECT_EQ(Find(chunks, "tRNS")->data, (Bytes{0, 1, 0, 2, 0, 3}));
    EXPECT_EQ(Find(chunks, "gAMA"), nullptr);  // the file had none
    // The comment left as loaded is written back as it was read, once.
    EXPECT_EQ(CommentTexts(chunks), (std::vector<std::string>{"hi"}));

    PngImage again;
    Load(again, saved);
    EXPECT_EQ(again.Comment, "hi\r\n");
    EXPECT_EQ(again.ImageBitmap().Pixel(1, 0), RGBColor(90, 91, 92));
    // A changed comment replaces the one read.
    again.Comment = "new";
    EXPECT_EQ(CommentTexts(Chunks(Save(again))), (std::vector<std::string>{"new"}));

    PngImage fresh;
    fresh.Assign(&work);
    const auto freshChunks = Chunks(Save(fresh));
    ASSERT_NE(Find(freshChunks, "gAMA"), nullptr);
    EXPECT_EQ(Get32(Find(freshChunks, "gAMA")->data.data()), 45455u);
}

TEST(PngImage, SinglePaletteEntryTransparencySurvivesTrueColourConversion)
{
    PngImage png;
    Load(png, PaletteWithTransparentEntry());
    EXPECT_EQ(png.TransparentColor(), PaletteIndex(1));
    TBitmap work;
    work.Assign(&png);
    work.SetPixelFormat(TPixelFormat::pf32bit);
    // The comparison colour is the entry's, not the index read as red.
    EXPECT_EQ(work.TransparentColor(), RGBColor(40, 50, 60));
    png.Assign(&work);
    const Bytes saved = Save(png);
    const auto chunks = Chunks(saved);
    // A palette file stays one: the transparent colour is the single entry without alpha.
    EXPECT_EQ(Find(chunks, "IHDR")->data[9], 3);
    ASSERT_NE(Find(chunks, "tRNS"), nullptr);
    ASSERT_NE(Find(chunks, "PLTE"), nullptr);
    const Bytes& trns = Find(chunks, "tRNS")->data;
    const Bytes& plte = Find(chunks, "PLTE")->data;
    ASSERT_EQ(std::count(trns.begin(), trns.end(), 0), 1);
    const std::size_t entry = static_cast<std::size_t>(std::find(trns.begin(), trns.end(), 0) - trns.begin());
    ASSERT_LE(3 * entry + 3, plte.size());
    EXPECT_EQ(Bytes(plte.begin() + static_cast<std::ptrdiff_t>(3 * entry), plte.begin() + static_cast<std::ptrdiff_t>(3 * entry + 3)),
              (Bytes{40, 50, 60}));
    PngImage back;
    Load(back, saved);
    EXPECT_EQ(back.ImageBitmap().TransparentColor(), RGBColor(40, 50, 60));
    EXPECT_EQ(back.ImageBitmap().Pixel(0, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(back.ImageBitmap().Pixel(1, 0), RGBColor(40, 50, 60));
}

TEST(PngImage, SizeChangesReachOnlyNonEmptyBitmaps)
{
    PngImage png;
    Load(png, OpaqueRgb());
    png.SetWidth(5);
    EXPECT_EQ(png.Width(), 5);
    EXPECT_TRUE(png.AlphaBitmap().Empty());
    Load(png, Rgba());
    png.SetHeight(7);
    EXPECT_EQ(png.Height(), 7);
    EXPECT_EQ(png.AlphaBitmap().Height(), 7);
    PngImage empty;
    empty.SetWidth(3);
    EXPECT_TRUE(empty.Empty());
}

TEST(PngImage, FailedLoadKeepsThePreviousValues)
{
    PngImage png;
    const Bytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'k'};
    Load(png, Png(Ihdr(2, 2, 8, 6), {{"tEXt", text}}, {0, 1, 2, 3, 0, 4, 5, 6, 100, 0, 7, 8, 9, 200, 10, 11, 12, 255}));
    ASSERT_TRUE(png.HasAlpha());
    TMemoryStream m;
    ToStream(Png(Ihdr(2, 2, 8, 2), {}, {9, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12}), m);  // filter type 9
    EXPECT_THROW(png.LoadFromStream(m), PngError);
    EXPECT_EQ(png.Comment, "k\r\n");
    EXPECT_TRUE(png.HasAlpha());
    EXPECT_FALSE(png.CopyAlphaTo(nullptr));  // cleared by the failed load
}

TEST(PngImage, AssignBetweenImagesAndToBitmaps)
{
    PngImage a;
    Load(a, Rgba());
    a.Comment = "c";
    a.FilterMode = 0;
    PngImage b;
    b.Assign(&a);
    EXPECT_TRUE(b.HasAlpha());
    EXPECT_EQ(b.Comment, "c");
    EXPECT_EQ(b.FilterMode, 0);
    EXPECT_TRUE(b.CopyAlphaTo(nullptr));
    EXPECT_EQ(b.ImageBitmap().Pixel(0, 1), RGBColor(7, 8, 9));

    TBitmap bmp;
    bmp.Assign(&b);
    EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(bmp.Pixel(1, 0), RGBColor(4, 5, 6));

    EXPECT_THROW(b.Assign(nullptr), EConvertError);
}

TEST(PngImage, BadIdatSizeRaisesBeforeAnythingIsWritten)
{
    PngImage png;
    Load(png, OpaqueRgb());
    png.IdatSize = 255;
    TMemoryStream m;
    EXPECT_THROW(png.SaveToStream(m), PngError);
    EXPECT_EQ(m.Size(), 0);
}

TEST(PngImage, PersistentFormWritesNothingForAnEmptyImage)
{
    PngImage png;
    TMemoryStream m;
    png.WriteData(m);
    EXPECT_EQ(m.Size(), 0);
    Load(png, Rgba());
    png.WriteData(m);
    m.SetPosition(0);
    PngImage back;
    back.ReadData(m);
    EXPECT_TRUE(back.HasAlpha());
    EXPECT_TRUE(back.CopyAlphaTo(nullptr));
}

// Load, hand the picture to a 32-bit bitmap and back, save, load again: the same pixels and
// alpha, for every colour type and depth the reader accepts.
TEST(PngImage, RoundTripThroughA32BitBitmap)
{
    const fs::path suite = fs::path(TESSIVAL_TESTDATA_DIR) / "pngsuite";
    ASSERT_TRUE(fs::is_directory(suite)) << "no conformance images at " << suite;
    std::string written;
    int files = 0;
    for (const auto& e : fs::directory_iterator(suite)) {
        const std::string name = e.path().filename().string();
        if (e.path().extension() != ".png" || name[0] == 'x') continue;
        SCOPED_TRACE(name);
        PngImage png;
        TBitmap alphaMask, work;
        png.AttachAlpha(nullptr);
        png.LoadFromFile(e.path().string());
        const bool hasAlpha = png.HasAlpha();
        if (hasAlpha) {
            ASSERT_TRUE(png.CopyAlphaTo(&alphaMask));
        }
        work.Assign(&png);
        const bool transparent = work.Transparent();
        const TColor transparentColor = work.TransparentColor();
        work.SetPixelFormat(TPixelFormat::pf32bit);
        TBitmap original;
        original.Assign(&work);
        png.Assign(&work);
        if (hasAlpha) png.AttachAlpha(&alphaMask);
        const std::string path = ProgramTempDir() + "/roundtrip-" + name;
        png.SaveToFile(path);
        written += " " + path;
        ++files;

        PngImage back;
        back.LoadFromFile(path);
        ASSERT_EQ(back.Width(), original.Width());
        ASSERT_EQ(back.Height(), original.Height());
        EXPECT_EQ(back.HasAlpha(), hasAlpha);
        EXPECT_EQ(back.ImageBitmap().Transparent(), transparent);
        if (transparent) {
            EXPECT_EQ(back.ImageBitmap().TransparentColor(), transparentColor);
        }
        TBitmap backAlpha;
        back.CopyAlphaTo(&backAlpha);
        for (int y = 0; y < original.Height(); ++y) {
            for (int x = 0; x < original.Width(); ++x) {
                ASSERT_EQ(back.ImageBitmap().Pixel(x, y), original.Pixel(x, y)) << x << "," << y;
                if (hasAlpha) {
                    ASSERT_EQ(backAlpha.ScanLine(y)[x], alphaMask.ScanLine(y)[x]) << x << "," << y;
                }
            }
        }
    }
    EXPECT_GT(files, 150);
    ASSERT_TRUE(ToolExists(kPngcheck)) << "pngcheck (Debian package pngcheck) is not installed";
    std::string output;
    EXPECT_EQ(RunCommand(std::string(kPngcheck) + " -q" + written + " 2>&1", &output), 0) << output;
}

}  // namespace
