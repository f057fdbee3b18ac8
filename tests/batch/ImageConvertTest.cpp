// The GIF and PNG converters and the pixel rule, on real files made and read back by an
// independent codec (Debian's PIL).

#include "batch/BatchErrors.h"
#include "batch/BatchLog.h"
#include "batch/BatchRun.h"
#include "graphics/Bitmap.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

using namespace batchtest;

namespace {

#define REQUIRE_PIL() \
    if (!HavePil()) GTEST_SKIP() << "Debian's python3-pil (/usr/bin/python3) is not installed"

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
    EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"broken.png", "notpng.png"}));
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
    EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"fails.gif", "fails.gif.bak", "fails.png", "fails.png.bak",
                                                             "kept.gif", "kept.gif.bak", "kept.png", "kept.png.bak"}));
}


// ---- PNG output: chunks, pixels, animations, unchanged pictures ---------------------------

const char* const Pngcheck = "/usr/bin/pngcheck";

// pngcheck -q over Paths: its output, empty when every file is clean.
std::string PngcheckComplaints(const std::vector<std::string>& Paths)
{
    std::string command = std::string(Pngcheck) + " -q";
    for (const std::string& p : Paths) command += " '" + p + "'";
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return "pngcheck could not be run";
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = ::pclose(pipe);
    if (status != 0 && out.empty()) out = "pngcheck failed";
    return out;
}

// The chunks of a PNG file as "TYPE:hexdata" lines, in file order.
std::string ChunkList(const std::string& Folder, const std::string& Name)
{
    return Python(Folder, "import struct\n"
                          "d = open(" + testing::PrintToString(Name) + ", 'rb').read()\n"
                          "p = 8\n"
                          "while p + 12 <= len(d):\n"
                          "    n = struct.unpack('>I', d[p:p + 4])[0]\n"
                          "    print(d[p + 4:p + 8].decode('latin-1') + ':' + d[p + 8:p + 8 + n].hex())\n"
                          "    p += 12 + n\n");
}

std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> lines;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(ConvertPng, AncillaryChunksAreKeptInTheirPlaces)
{
    if (!Exists(Pngcheck)) GTEST_SKIP() << "pngcheck (Debian package pngcheck) is not installed";
    REQUIRE_PIL();
    TTempDir dir;
    // A palette picture with every kind of ancillary chunk, some before PLTE, some between
    // PLTE and the image data, some after it; the chunks are put in place by hand.
    Python(dir.Path(), R"(
import struct, zlib, io
from PIL import ImageCms
def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
im = Image.new('P', (20, 10))
im.putpalette([255, 0, 0, 0, 0, 255, 0, 128, 0, 200, 200, 200] + [0] * 756)
im.putdata([(x // 5 + y) % 4 for y in range(10) for x in range(20)])
buf = io.BytesIO(); im.save(buf, 'PNG'); data = buf.getvalue()
chunks = {}
p = 8
while p < len(data):
    n = struct.unpack('>I', data[p:p + 4])[0]; chunks.setdefault(data[p + 4:p + 8], []).append(data[p + 8:p + 8 + n]); p += 12 + n
profile = ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes()
out = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', chunks[b'IHDR'][0])
out += chunk(b'tEXt', b'Title\x00Before the palette')
out += chunk(b'iCCP', b'sRGB profile\x00\x00' + zlib.compress(profile))
out += chunk(b'gAMA', struct.pack('>I', 45455))
out += chunk(b'cHRM', struct.pack('>8I', 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000))
out += chunk(b'tIME', struct.pack('>HBBBBB', 2001, 2, 3, 4, 5, 6))
out += chunk(b'tEXt', b'Software\x00Some editor 1.0')
out += chunk(b'PLTE', chunks[b'PLTE'][0][:12])
out += chunk(b'bKGD', b'\x01')
out += chunk(b'hIST', struct.pack('>4H', 50, 50, 50, 50))
out += chunk(b'sPLT', b'colours\x00\x08' + bytes([255, 0, 0, 255, 0, 1]))
out += chunk(b'pHYs', struct.pack('>IIB', 2835, 2835, 1))
out += chunk(b'zTXt', b'Description\x00\x00' + zlib.compress(b'Between the palette and the image'))
for d in chunks[b'IDAT']: out += chunk(b'IDAT', d)
out += chunk(b'iTXt', 'Author\x00\x00\x00ja\x00作者\x00デザイン部'.encode('utf-8'))
out += chunk(b'tEXt', b'Comment\x00After the image')
out += chunk(b'IEND', b'')
open('c.png', 'wb').write(out)
)");
    const std::vector<std::string> before = Lines(ChunkList(dir.Path(), "c.png"));
    ASSERT_EQ(before.size(), 17u);
    EXPECT_EQ(RunBatch(Input(120, {dir / "c.png"})).front(), "成功> " + LinePrefix(dir / "c.png"));
    EXPECT_EQ(PngcheckComplaints({dir / "c.png"}), "");

    const std::vector<std::string> after = Lines(ChunkList(dir.Path(), "c.png"));
    const auto position = [&](const std::string& Line) {
        return static_cast<int>(std::find(after.begin(), after.end(), Line) - after.begin());
    };
    const auto positionOfType = [&](const std::string& Type) {
        return static_cast<int>(std::find_if(after.begin(), after.end(), [&](const std::string& l) { return l.compare(0, 5, Type + ":") == 0; }) -
                                after.begin());
    };
    // Every profile and text chunk is there byte for byte, in the same order and on the same
    // side of PLTE and the image data; the editor's Software text and tIME give way to the
    // writer's own; hIST and sPLT are gone.
    const int plte = positionOfType("PLTE"), idat = positionOfType("IDAT"), iend = positionOfType("IEND");
    ASSERT_LT(plte, idat);
    const int title = position(before[1]), iccp = position(before[2]), description = position(before[12]);
    const int author = position(before[14]), comment = position(before[15]);
    EXPECT_LT(title, iccp);
    EXPECT_LT(iccp, plte);
    EXPECT_GT(description, plte);
    EXPECT_LT(description, idat);
    EXPECT_GT(author, idat);
    EXPECT_LT(author, comment);
    EXPECT_LT(comment, iend);
    EXPECT_EQ(position(before[6]), static_cast<int>(after.size()));  // the editor's Software
    EXPECT_EQ(position(before[5]), static_cast<int>(after.size()));  // its tIME
    EXPECT_LT(positionOfType("tIME"), plte);
    EXPECT_EQ(positionOfType("hIST"), static_cast<int>(after.size()));
    EXPECT_EQ(positionOfType("sPLT"), static_cast<int>(after.size()));
    for (int i : {3, 4, 11}) EXPECT_LT(position(before[static_cast<std::size_t>(i)]), idat) << before[static_cast<std::size_t>(i)];
    // Still a palette picture; its background (blue) is converted like a pixel, to red.
    const int bkgd = positionOfType("bKGD");
    ASSERT_LT(bkgd, idat);
    EXPECT_GT(bkgd, plte);
    const std::size_t entry = std::stoul(after[static_cast<std::size_t>(bkgd)].substr(5), nullptr, 16);
    EXPECT_EQ(after[static_cast<std::size_t>(plte)].substr(5 + 6 * entry, 6), "ff0000");
    EXPECT_EQ(Python(dir.Path(), "print(Image.open('c.png').mode, end='')"), "P");
}

// Pictures of every colour type and depth PIL writes, converted at hue 120: PIL reads the
// pixels of the new file as those of the original with each colour converted by the batch's
// own rule, and the alpha as it was.
TEST(ConvertPng, PixelsOfEveryKindOfPictureAreTheConvertedOriginals)
{
    if (!Exists(Pngcheck)) GTEST_SKIP() << "pngcheck (Debian package pngcheck) is not installed";
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
import random
rng = random.Random(5)
w, h = 37, 23
rgba = Image.new('RGBA', (w, h))
rgba.putdata([((x * 7) % 256, (y * 11) % 256, (x * y) % 256, (x * 13 + y) % 256) for y in range(h) for x in range(w)])
rgb = rgba.convert('RGB')
rgb.save('rgb.png')
rgb.save('rgb_interlaced.png', interlace=1)
rgba.save('rgba.png')
noise = Image.frombytes('RGB', (300, 300), rng.randbytes(300 * 300 * 3))
noise.save('noise.png')
rgb.quantize(200).save('p8.png')
rgb.quantize(12).save('p4.png', bits=4)
rgb.quantize(4).save('p2.png', bits=2)
rgb.quantize(2).save('p1.png', bits=1)
pa = rgb.quantize(30); pa.info['transparency'] = bytes(range(0, 250, 9)); pa.save('p_alpha.png', transparency=bytes(range(0, 250, 9)))
rgb.quantize(30).save('p_one.png', transparency=3)
grey = rgb.convert('L')
grey.save('l8.png')
grey.point(lambda v: v // 85 * 85).save('l2.png', bits=2)
grey.point(lambda v: v // 17 * 17).save('l4.png', bits=4)
grey.convert('1').save('l1.png')
rgba.convert('LA').save('la.png')
)");
    const std::vector<std::string> names = {"rgb.png", "rgb_interlaced.png", "rgba.png", "noise.png", "p8.png",
                                            "p4.png",  "p2.png",             "p1.png",   "p_alpha.png", "p_one.png",
                                            "l8.png",  "l2.png",             "l4.png",   "l1.png",   "la.png"};
    std::vector<std::string> paths;
    for (const std::string& n : names) paths.push_back(dir / n);
    const std::string script = "import sys\n"
                               "for p in sys.argv[1:]:\n"
                               "    im = Image.open(p)\n"
                               "    print(' '.join('%02X%02X%02X%02X' % q for q in im.convert('RGBA').getdata()))\n";
    const auto decodeAll = [&] {
        std::string args;
        for (const std::string& p : paths) args += testing::PrintToString(p) + ", ";
        return Lines(Python(dir.Path(), "import sys\nsys.argv = ['x', " + args + "]\n" + script));
    };
    const std::vector<std::string> original = decodeAll();
    ASSERT_EQ(original.size(), names.size());
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // Each file on its own, so that the rule is the one of its own transparency.
        TBatchRun op(Input(120));
        const TFileOutcome outcome = op.ConvertPng(paths[i]);
        // A hue turn leaves greys as they are.
        EXPECT_EQ(outcome.PictureUnchanged, names[i][0] == 'l') << names[i];
        std::istringstream in(original[i]);
        std::string converted;
        for (std::string pixel; in >> pixel;) {
            const unsigned long v = std::stoul(pixel, nullptr, 16);
            const TRGBColor c = op.ConvertPixel({static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF),
                                                 static_cast<int>((v >> 8) & 0xFF)});
            char text[16];
            std::snprintf(text, sizeof text, "%02X%02X%02X%02X", c.R, c.G, c.B, static_cast<unsigned>(v & 0xFF));
            converted += (converted.empty() ? "" : " ") + std::string(text);
        }
        expected.push_back(converted);
    }
    const std::vector<std::string> after = decodeAll();
    ASSERT_EQ(after.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(after[i], expected[i]) << names[i];
    EXPECT_EQ(PngcheckComplaints(paths), "");
    // Palette files stay palette files, grey ones grey; noise stays true colour.
    EXPECT_EQ(Python(dir.Path(), "print(' '.join(Image.open(n).mode for n in ['p8.png', 'p1.png', 'l2.png', 'l8.png', 'la.png', 'noise.png', 'rgba.png']), end='')"),
              "P P L L LA RGB RGBA");
}

TEST(ConvertPng, AnimatedPngIsRefusedAndTheFileKept)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
a = Image.new('RGB', (4, 3), (255, 0, 0)); b = Image.new('RGB', (4, 3), (0, 0, 255))
a.save('anim.png', save_all=True, append_images=[b], duration=100, loop=0)
assert b'acTL' in open('anim.png', 'rb').read()
a.save('still.png')
)");
    const std::string anim = ReadFile(dir / "anim.png");
    EXPECT_EQ(RunBatch(Input(120, {dir / "anim.png", dir / "still.png"})),
              (std::vector<std::string>{
                  "失敗> " + LinePrefix(dir / "anim.png") + "（アニメPNGは処理しません）",
                  "成功> " + LinePrefix(dir / "still.png"),
                  End,
                  "1/2個のファイルを変換成功",
              }));
    EXPECT_EQ(ReadFile(dir / "anim.png"), anim);
    EXPECT_FALSE(Exists(dir / "anim.png.bak"));
}

TEST(ConvertPng, OutcomeTellsWhetherThePixelsChanged)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
im = Image.new('RGB', (3, 2)); im.putdata([(0, 0, 0), (10, 20, 30), (255, 255, 255), (1, 2, 3), (200, 0, 0), (9, 9, 9)])
im.save('rgb.png')
im.quantize(6).save('p.png')
im.convert('L').save('l.png')
g = Image.new('RGB', (2, 1)); g.putdata([(80, 80, 80), (200, 200, 200)]); g.save('grey.png')
# A transparent colour: the other dark pixels are lifted to (5, 5, 5), even with no shift.
t = Image.new('RGB', (2, 1)); t.putdata([(0, 0, 255), (0, 0, 0)]); t.save('dark.png', transparency=(0, 0, 255))
t2 = Image.new('RGB', (2, 1)); t2.putdata([(0, 0, 255), (90, 0, 0)]); t2.save('light.png', transparency=(0, 0, 255))
)");
    struct TCase {
        const char* Name;
        int Hue;
        bool Unchanged;
    };
    const TCase cases[] = {
        {"rgb.png", 0, true},   {"p.png", 0, true},      {"l.png", 0, true},   {"light.png", 0, true},
        {"dark.png", 0, false}, {"rgb.png", 120, false}, {"p.png", 120, false}, {"grey.png", 120, true},
    };
    for (const TCase& c : cases) {
        TBatchRun op(Input(c.Hue));
        EXPECT_EQ(op.ConvertPng(dir / c.Name).PictureUnchanged, c.Unchanged) << c.Name << " at hue " << c.Hue;
    }
}

}  // namespace
