// The GIF and PNG converters and the pixel rule, on real files made and read back by an
// independent codec (Debian's PIL).

#include "batch/BatchErrors.h"
#include "batch/BatchLog.h"
#include "batch/BatchRun.h"
#include "graphics/Bitmap.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <sstream>

using namespace batchtest;

namespace {

#define REQUIRE_PIL() \
    if (!HavePil()) FAIL() << "Debian's python3-pil (/usr/bin/python3) is not installed"

// Runs Script in Folder (as the current directory); fails the test when it fails.
std::string Python(const std::string& Folder, const std::string& Script)
{
    const TPython run = RunPython("import os\nos.chdir(" + testing::PrintToString(Folder) +
                                  ")\nfrom PIL import Image\n" + Script);
    EXPECT_TRUE(run.Ok) << Script;
    return run.Out;
}

// Every pixel of an image as PIL reads it: "RRGGBBAA" in row order, separated by spaces.
std::string Pixels(const std::string& Path)
{
    return Python("/", "im = Image.open(" + testing::PrintToString(Path) +
                           ").convert('RGBA')\n"
                           "print(' '.join('%02X%02X%02X%02X' % p for p in im.getdata()), end='')\n");
}

TBatchInput Input(int Hue, const std::vector<std::string>& Paths = {})
{
    TBatchInput input;
    input.Settings.HueOffset = Hue;
    for (const std::string& p : Paths) input.Items.push_back({true, p});
    return input;
}

std::vector<std::string> RunBatch(const TBatchInput& In)
{
    TBatchRun op(In);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    return op.Log();
}

const std::string End(BatchLog::EndLine);

TEST(ConvertPixel, TransparencyRule)
{
    TBatchInput input;
    input.Settings.BrightOffset = -255;  // everything turns black
    input.Settings.AddPair({7, 7, 7}, {5, 5, 3}, false);
    input.Settings.AddPair({8, 8, 8}, {6, 0, 0}, false);
    TBatchRun op(input);
    TBitmap& work = op.WorkBitmapRef();
    work.SetSize(2, 2);

    work.SetTransparent(false);
    EXPECT_EQ(op.ConvertPixel({10, 20, 30}), (TRGBColor{0, 0, 0}));
    EXPECT_EQ(op.ConvertPixel({7, 7, 7}), (TRGBColor{5, 5, 3}));

    work.SetTransparent(true);
    work.SetTransparentColor(RGBColor(1, 2, 3));
    EXPECT_EQ(op.ConvertPixel({1, 2, 3}), (TRGBColor{1, 2, 3}));  // the transparent colour itself
    EXPECT_EQ(op.ConvertPixel({10, 20, 30}), (TRGBColor{5, 5, 5}));
    EXPECT_EQ(op.ConvertPixel({7, 7, 7}), (TRGBColor{5, 5, 5}));
    EXPECT_EQ(op.ConvertPixel({8, 8, 8}), (TRGBColor{6, 0, 0}));
}

TEST(ConvertBitmap, AutomaticTransparentColourIsTheBottomLeftPixel)
{
    TBatchRun op(Input(120));
    TBitmap& work = op.WorkBitmapRef();
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetSize(2, 2);
    work.SetPixel(0, 0, RGBColor(255, 0, 0));
    work.SetPixel(1, 0, RGBColor(0, 0, 255));
    work.SetPixel(0, 1, RGBColor(0, 0, 255));  // bottom left
    work.SetPixel(1, 1, RGBColor(0, 0, 0));
    work.SetTransparent(true);
    op.ConvertBitmap();
    EXPECT_EQ(work.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(work.Pixel(0, 0), RGBColor(0, 255, 0));
    EXPECT_EQ(work.Pixel(1, 0), RGBColor(0, 0, 255));
    EXPECT_EQ(work.Pixel(0, 1), RGBColor(0, 0, 255));
    EXPECT_EQ(work.Pixel(1, 1), RGBColor(5, 5, 5));

    work.SetTransparent(false);
    op.ConvertBitmap();
    EXPECT_EQ(work.Pixel(0, 0), RGBColor(0, 0, 255));
    EXPECT_EQ(work.Pixel(0, 1), RGBColor(255, 0, 0));
    EXPECT_EQ(work.Pixel(1, 1), RGBColor(5, 5, 5));  // a grey stays a grey
}

// A 4x2 GIF: palette red, blue, green; green declared transparent; bottom-left red.
const char* const TransparentGif = R"(
im = Image.new('P', (4, 2))
im.putpalette([255, 0, 0, 0, 0, 255, 0, 255, 0] + [0] * 759)
im.putdata([0, 1, 2, 1,
            0, 2, 1, 0])
im.save('t.gif', transparency=2)
)";

TEST(ConvertGif, WithoutTheOptionEveryPixelIsConverted)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), TransparentGif);
    const std::string original = ReadFile(dir / "t.gif");
    EXPECT_EQ(RunBatch(Input(120, {dir / "t.gif"})),
              (std::vector<std::string>{"成功> " + LinePrefix(dir / "t.gif"), End, "1/1個のファイルを変換成功"}));
    EXPECT_EQ(Python(dir.Path(), "im = Image.open('t.gif')\nprint(im.n_frames, 'transparency' in im.info, end='')"),
              "1 False");
    EXPECT_EQ(Pixels(dir / "t.gif"), "00FF00FF FF0000FF 0000FFFF FF0000FF "
                                     "00FF00FF 0000FFFF FF0000FF 00FF00FF");
    EXPECT_EQ(ReadFile(dir / "t.gif.bak"), original);
}

TEST(ConvertGif, WithTheOptionTheBottomLeftColourStays)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), TransparentGif);
    TBatchInput input = Input(60, {dir / "t.gif"});
    input.GifTransparent = true;
    EXPECT_EQ(RunBatch(input).front(), "成功> " + LinePrefix(dir / "t.gif"));
    // The red of the bottom-left pixel is kept out of the conversion and becomes the file's
    // transparent entry; the declared green is converted like any colour (to cyan), blue to
    // magenta.
    EXPECT_EQ(Python(dir.Path(), "im = Image.open('t.gif')\n"
                                 "t = im.info['transparency']\n"
                                 "pal = im.getpalette()\n"
                                 "print(' '.join('T' if i == t else '%02X%02X%02X' % tuple(pal[3 * i:3 * i + 3])\n"
                                 "               for i in im.getdata()), end='')"),
              "T FF00FF 00FFFF FF00FF T 00FFFF FF00FF T");
}

TEST(ConvertGif, ImagesOtherThanOneAreRefusedAndTheFileKept)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
a = Image.new('P', (2, 2), 0); a.putpalette([255, 0, 0, 0, 0, 255] + [0] * 762)
b = Image.new('P', (2, 2), 1); b.putpalette([255, 0, 0, 0, 0, 255] + [0] * 762)
a.save('anim.gif', save_all=True, append_images=[b], duration=100, loop=0)
a.save('one.gif')
data = open('one.gif', 'rb').read()
assert data[-1:] == b';'
open('comment.gif', 'wb').write(data[:-1] + b'\x21\xfe\x03abc\x00;')
)");
    const std::string anim = ReadFile(dir / "anim.gif");
    const std::string comment = ReadFile(dir / "comment.gif");
    EXPECT_EQ(RunBatch(Input(120, {dir / "anim.gif", dir / "comment.gif"})),
              (std::vector<std::string>{
                  "失敗> " + LinePrefix(dir / "anim.gif") + "（アニメGIFは処理しません）",
                  "失敗> " + LinePrefix(dir / "comment.gif") + "（アニメGIFは処理しません）",
                  End,
                  "0/2個のファイルを変換成功",
              }));
    EXPECT_EQ(ReadFile(dir / "anim.gif"), anim);
    EXPECT_EQ(ReadFile(dir / "comment.gif"), comment);
    EXPECT_FALSE(Exists(dir / "anim.gif.bak"));
}

TEST(ConvertGif, ScreenWithoutAreaIsRefusedAndTheFileKept)
{
    // A logical screen of width or height 0 around a real frame would come back as an empty
    // picture; the frame lives only in the file, so the file must stay as it is.
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
a = Image.new('P', (3, 2), 1); a.putpalette([255, 0, 0, 0, 0, 255] + [0] * 762)
a.save('one.gif')
data = bytearray(open('one.gif', 'rb').read())
narrow = bytearray(data); narrow[6:8] = b'\x00\x00'
flat = bytearray(data); flat[8:10] = b'\x00\x00'
open('narrow.gif', 'wb').write(narrow)
open('flat.gif', 'wb').write(flat)
)");
    const std::string narrow = ReadFile(dir / "narrow.gif");
    const std::string flat = ReadFile(dir / "flat.gif");
    EXPECT_EQ(RunBatch(Input(120, {dir / "narrow.gif", dir / "flat.gif"})),
              (std::vector<std::string>{
                  "失敗> " + LinePrefix(dir / "flat.gif") + "（画像形式が変）",
                  "失敗> " + LinePrefix(dir / "narrow.gif") + "（画像形式が変）",
                  End,
                  "0/2個のファイルを変換成功",
              }));
    EXPECT_EQ(ReadFile(dir / "narrow.gif"), narrow);
    EXPECT_EQ(ReadFile(dir / "flat.gif"), flat);
    EXPECT_FALSE(Exists(dir / "narrow.gif.bak"));
    EXPECT_FALSE(Exists(dir / "flat.gif.bak"));
}

TEST(ConvertPng, AlphaValuesAreKeptExactly)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
im = Image.new('RGBA', (3, 2))
im.putdata([(255, 0, 0, 0), (255, 0, 0, 1), (0, 0, 255, 127),
            (0, 255, 0, 128), (10, 20, 30, 254), (255, 255, 255, 255)])
im.save('a.png')
)");
    EXPECT_EQ(RunBatch(Input(120, {dir / "a.png"})).front(), "成功> " + LinePrefix(dir / "a.png"));
    const std::string converted = Python(dir.Path(), "im = Image.open('a.png')\nprint(im.mode, end='')");
    EXPECT_EQ(converted, "RGBA");
    // (10, 20, 30) turned by 120 degrees is (30, 10, 20).
    EXPECT_EQ(Pixels(dir / "a.png"), "00FF0000 00FF0001 FF00007F 0000FF80 1E0A14FE FFFFFFFF");
}

TEST(ConvertPng, SingleTransparentColourIsKeptAndNoted)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
im = Image.new('RGB', (3, 1))
im.putdata([(0, 0, 255), (255, 0, 0), (0, 0, 0)])
im.save('t.png', transparency=(0, 0, 255))
)");
    EXPECT_EQ(RunBatch(Input(120, {dir / "t.png"})),
              (std::vector<std::string>{"add", "成功> " + LinePrefix(dir / "t.png"), End, "1/1個のファイルを変換成功"}));
    // The transparent blue stays blue; black is lifted to (5, 5, 5).
    EXPECT_EQ(Python(dir.Path(), "im = Image.open('t.png')\n"
                                 "print(im.mode, im.info.get('transparency'), list(im.getdata()), end='')"),
              "RGB (0, 0, 255) [(0, 0, 255), (0, 255, 0), (5, 5, 5)]");
}

TEST(ConvertPng, IndexedTransparentEntryIsComparedByItsColour)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
im = Image.new('P', (3, 1))
im.putpalette([10, 200, 30, 255, 0, 0, 0, 0, 0] + [0] * 759)
im.putdata([0, 1, 0])
im.save('p.png', transparency=0)
)");
    const std::vector<std::string> log = RunBatch(Input(120, {dir / "p.png"}));
    EXPECT_EQ(log, (std::vector<std::string>{"add", "成功> " + LinePrefix(dir / "p.png"), End,
                                             "1/1個のファイルを変換成功"}));
    EXPECT_EQ(Python(dir.Path(), "print(list(Image.open('p.png').convert('RGB').getdata()), end='')"),
              "[(10, 200, 30), (0, 255, 0), (10, 200, 30)]");
}

TEST(ConvertPng, UndecodableImageKeepsTheFile)
{
    TTempDir dir;
    const std::string broken = std::string("\x89PNG\r\n\x1a\n", 8) + std::string("\0\0\0\x0dIHDR", 8) + "garbage";
    WriteFile(dir / "broken.png", broken);
    WriteFile(dir / "notpng.png", "GIF89a not a png");
    const std::vector<std::string> log = RunBatch(Input(120, {dir / "broken.png", dir / "notpng.png"}));
    EXPECT_EQ(log, (std::vector<std::string>{
                       "失敗> " + LinePrefix(dir / "broken.png") + "（画像形式が変）",
                       "失敗> " + LinePrefix(dir / "notpng.png") + "（画像形式が変）",
                       End,
                       "0/2個のファイルを変換成功",
                   }));
    EXPECT_EQ(ReadFile(dir / "broken.png"), broken);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"broken.png", "notpng.png"}));
}

TEST(ConvertPng, OneBatchServesImagesOfEveryKindInTurn)
{
    // The shared objects carry nothing from one file to the next: an alpha PNG, then an
    // opaque one, then a transparent GIF, then the alpha PNG's twin.
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
a = Image.new('RGBA', (2, 1)); a.putdata([(255, 0, 0, 10), (0, 0, 255, 200)]); a.save('1.png'); a.save('4.png')
b = Image.new('RGB', (2, 1)); b.putdata([(255, 0, 0), (0, 0, 255)]); b.save('2.png')
g = Image.new('P', (2, 1)); g.putpalette([255, 0, 0, 0, 0, 255] + [0] * 762); g.putdata([1, 0]); g.save('3.gif', transparency=0)
)");
    const std::vector<std::string> log =
        RunBatch(Input(120, {dir / "1.png", dir / "2.png", dir / "3.gif", dir / "4.png"}));
    EXPECT_EQ(log.size(), 6u);
    EXPECT_EQ(Pixels(dir / "1.png"), "00FF000A FF0000C8");
    EXPECT_EQ(Python(dir.Path(), "print(Image.open('2.png').mode, end='')"), "RGB");
    EXPECT_EQ(Pixels(dir / "2.png"), "00FF00FF FF0000FF");
    EXPECT_EQ(Python(dir.Path(), "print(list(Image.open('3.gif').convert('RGB').getdata()), end='')"),
              "[(255, 0, 0), (0, 255, 0)]");
    EXPECT_EQ(Pixels(dir / "4.png"), "00FF000A FF0000C8");
}

TEST(ConvertImage, BackupIsTheFileAsReadAndWithoutItTheFileStays)
{
    // The backup of a picture is written before the new picture is made; when it cannot be
    // made (a folder has its name), the picture is left as it was and no new file appears.
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
im = Image.new('RGBA', (40, 30))
im.putdata([(x * 6, y * 8, (x * y) % 256, 200 + x % 50) for y in range(30) for x in range(40)])
im.save('kept.png')
im.save('fails.png')
im.convert('RGB').quantize(16).save('kept.gif')
im.convert('RGB').quantize(16).save('fails.gif')
)");
    ASSERT_EQ(mkdir((dir / "fails.png.bak").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir / "fails.gif.bak").c_str(), 0755), 0);
    std::map<std::string, std::string> before;
    for (const char* name : {"kept.png", "fails.png", "kept.gif", "fails.gif"}) before[name] = ReadFile(dir / name);

    const std::vector<std::string> log =
        RunBatch(Input(120, {dir / "fails.gif", dir / "fails.png", dir / "kept.gif", dir / "kept.png"}));
    EXPECT_EQ(log, (std::vector<std::string>{
                       "失敗> " + LinePrefix(dir / "fails.gif") + "（バックアップ失敗）",
                       "失敗> " + LinePrefix(dir / "fails.png") + "（バックアップ失敗）",
                       "成功> " + LinePrefix(dir / "kept.gif"),
                       "成功> " + LinePrefix(dir / "kept.png"),
                       End,
                       "2/4個のファイルを変換成功",
                   }));
    EXPECT_EQ(ReadFile(dir / "fails.png"), before["fails.png"]);
    EXPECT_EQ(ReadFile(dir / "fails.gif"), before["fails.gif"]);
    EXPECT_EQ(ReadFile(dir / "kept.png.bak"), before["kept.png"]);
    EXPECT_EQ(ReadFile(dir / "kept.gif.bak"), before["kept.gif"]);
    EXPECT_NE(ReadFile(dir / "kept.png"), before["kept.png"]);
    EXPECT_NE(ReadFile(dir / "kept.gif"), before["kept.gif"]);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"fails.gif", "fails.gif.bak", "fails.png", "fails.png.bak",
                                                             "kept.gif", "kept.gif.bak", "kept.png", "kept.png.bak"}));
}

}  // namespace
