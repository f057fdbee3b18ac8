// The GIF and PNG converters and the pixel rule, on real files made and read back by an
// independent codec (Debian's PIL).

#include "batch/BatchErrors.h"
#include "batch/BatchLog.h"
#include "batch/BatchRun.h"
#include "batch/FileConverter.h"
#include "batch/FileSearch.h"
#include "graphics/Bitmap.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <map>
#include <set>
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

// Python that writes GIFs block by block, as the web's many encoders lay them out, and
// lists the blocks of a GIF (its structure without the image data). The image data is
// written with literal codes only, clearing before the codes would grow wider.
const char* const GifTools = R"(
import struct

def lzw(pixels, code_size):
    clear = 1 << code_size
    codes, run = [clear], 0
    for p in pixels:
        if run == clear - 2:
            codes.append(clear)
            run = 0
        codes.append(p)
        run += 1
    codes.append(clear + 1)
    acc = bits = 0
    out = bytearray()
    for c in codes:
        acc |= c << bits
        bits += code_size + 1
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)

def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        out += bytes([len(data[i:i + 255])]) + data[i:i + 255]
    return bytes(out) + b'\0'

def table(colours, entries):
    return b''.join(bytes(c) for c in colours) + b'\0' * (3 * (entries - len(colours)))

def gce(transparent=None, delay=0, disposal=0):
    return (b'\x21\xf9\x04' + bytes([disposal << 2 | (1 if transparent is not None else 0)]) + struct.pack('<H', delay) +
            bytes([transparent or 0]) + b'\0')

def comment(text):
    return b'\x21\xfe' + sub_blocks(text.encode())

def application(ident, data):
    return b'\x21\xff\x0b' + ident + sub_blocks(data)

def loop(count=0):
    return b'\x21\xff\x0bNETSCAPE2.0\x03\x01' + struct.pack('<H', count) + b'\0'

def plain_text(text):
    return b'\x21\x01\x0c' + struct.pack('<HHHHBBBB', 0, 0, 8, 8, 8, 8, 1, 0) + sub_blocks(text.encode())

def image(width, height, colours, entries, pixels, interlace=False, local=False, left=0, top=0):
    bits = max(1, (entries - 1).bit_length())
    rows = [pixels[y * width:(y + 1) * width] for y in range(height)]
    if interlace:
        order = (list(range(0, height, 8)) + list(range(4, height, 8)) + list(range(2, height, 4)) +
                 list(range(1, height, 2)))
        rows = [rows[y] for y in order]
    flags = (0x40 if interlace else 0) | ((0x80 | (bits - 1)) if local else 0)
    out = b'\x2c' + struct.pack('<HHHHB', left, top, width, height, flags)
    if local:
        out += table(colours, entries)
    code_size = max(2, bits, max(pixels).bit_length())
    return out + bytes([code_size]) + sub_blocks(lzw([p for r in rows for p in r], code_size))

def raw_gif(path, width, height, colours, entries, pixels, before=b'', after=b'', interlace=False,
            local=False, version=b'GIF89a', resolution=7, more=b''):
    bits = max(1, (entries - 1).bit_length())
    head = version + struct.pack('<HH', width, height)
    if local:
        head += bytes([resolution << 4, 0, 0])
    else:
        head += bytes([0x80 | resolution << 4 | (bits - 1), 0, 0]) + table(colours, entries)
    body = image(width, height, colours, entries, pixels, interlace, local)
    open(path, 'wb').write(head + before + body + after + more + b';')

def blocks(path):
    d = open(path, 'rb').read()
    w, h, flags, bg, aspect = struct.unpack('<HHBBB', d[6:13])
    p = 13
    screen = '%s %dx%d res=%d bg=%d' % (d[:6].decode(), w, h, (flags >> 4) & 7, bg)
    if flags & 0x80:
        screen += ' global=%d' % (2 << (flags & 7))
        p += 3 * (2 << (flags & 7))
    out = [screen]
    def data():
        nonlocal p
        got = bytearray()
        while d[p]:
            got += d[p + 1:p + 1 + d[p]]
            p += 1 + d[p]
        p += 1
        return bytes(got)
    while d[p] != 0x3b:
        if d[p] == 0x21:
            label = d[p + 1]
            p += 2
            if label == 0xf9:
                out.append('gce transparent=%d' % d[p + 4] if d[p + 1] & 1 else 'gce')
                p += 6
            elif label == 0xfe:
                out.append('comment ' + data().decode())
            elif label == 0xff:
                ident = d[p + 1:p + 1 + d[p]]
                p += 1 + d[p]
                out.append('application %s %s' % (ident.decode(), data().hex()))
            else:
                p += 1 + d[p]
                out.append('extension %02x %s' % (label, data().decode()))
        else:
            left, top, iw, ih, f = struct.unpack('<HHHHB', d[p + 1:p + 10])
            p += 10
            words = 'image %dx%d at %d,%d' % (iw, ih, left, top)
            if f & 0x80:
                words += ' local=%d' % (2 << (f & 7))
                p += 3 * (2 << (f & 7))
            if f & 0x40:
                words += ' interlaced'
            out.append(words)
            p += 1
            data()
    return out
)";

// Runs Script after the GIF tools.
std::string GifPython(const std::string& Folder, const std::string& Script)
{
    return Python(Folder, std::string(GifTools) + Script);
}

// The blocks of a GIF, one per line.
std::string Blocks(const std::string& Folder, const std::string& Name)
{
    return GifPython(Folder, "print('\\n'.join(blocks('" + Name + "')), end='')");
}

// Every pixel of an image as PIL shows it: "T" where it is transparent, RRGGBB where it is
// opaque ("?" for anything in between), separated by spaces.
std::string Looks(const std::string& Path)
{
    return Python("/", "im = Image.open(" + testing::PrintToString(Path) +
                           ").convert('RGBA')\n"
                           "print(' '.join('T' if p[3] == 0 else '%02X%02X%02X' % p[:3] if p[3] == 255 else '?'\n"
                           "               for p in im.getdata()), end='')\n");
}

TEST(ConvertGif, TransparentPixelsStayTransparentAndNoOthersBecomeSo)
{
    // Each picture 4x2; at 120 degrees red turns green, blue red, green blue. The transparency
    // option changes nothing: it used to keep the bottom-left pixel's colour out of the
    // conversion and make it the transparent one.
    REQUIRE_PIL();
    struct TCase {
        const char* Name;
        const char* Gif;  // raw_gif arguments after the path
        const char* Expected;
    };
    const TCase cases[] = {
        {"index inside the table, bottom-left pixel opaque",
         "4, 2, [(255, 0, 0), (0, 0, 255), (0, 255, 0)], 4, [0, 1, 2, 1, 0, 2, 1, 0], before=gce(2)",
         "00FF00 FF0000 T FF0000 00FF00 T FF0000 00FF00"},
        {"bottom-left pixel transparent",
         "4, 2, [(255, 0, 0), (0, 0, 255), (0, 255, 0)], 4, [0, 1, 2, 1, 2, 0, 1, 0], before=gce(2)",
         "00FF00 FF0000 T FF0000 T 00FF00 FF0000 00FF00"},
        {"index beyond the table", "4, 2, [(255, 0, 0), (0, 0, 255)], 2, [0, 6, 1, 6, 6, 1, 0, 0], before=gce(6)",
         "00FF00 T FF0000 T T FF0000 00FF00 00FF00"},
        {"index beyond a table of 256",
         "4, 2, [(255, 0, 0), (0, 0, 255)], 2, [0, 255, 1, 255, 255, 1, 0, 0], before=gce(255)",
         "00FF00 T FF0000 T T FF0000 00FF00 00FF00"},
        {"transparent entry of an opaque entry's colour",
         "4, 2, [(255, 0, 0), (0, 0, 255), (255, 0, 0)], 4, [0, 2, 1, 2, 2, 0, 1, 0], before=gce(2)",
         "00FF00 T FF0000 T T 00FF00 FF0000 00FF00"},
        {"transparent index no pixel has",
         "4, 2, [(255, 0, 0), (0, 0, 255), (0, 255, 0)], 4, [0, 1, 2, 0, 1, 2, 0, 1], before=gce(3)",
         "00FF00 FF0000 0000FF 00FF00 FF0000 0000FF 00FF00 FF0000"},
        {"graphic control without transparency",
         "4, 2, [(255, 0, 0), (0, 0, 255)], 2, [0, 1, 0, 1, 1, 0, 1, 0], before=gce(None, 10)",
         "00FF00 FF0000 00FF00 FF0000 FF0000 00FF00 FF0000 00FF00"},
        {"local table, interlaced",
         "4, 2, [(0, 0, 255), (255, 0, 0)], 2, [0, 1, 1, 1, 1, 1, 1, 0], before=gce(1), local=True, interlace=True",
         "FF0000 T T T T T T FF0000"},
    };
    for (const TCase& c : cases) {
        std::string written;  // without the option
        for (const bool option : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (option ? ", with the option" : ", without the option"));
            TTempDir dir;
            GifPython(dir.Path(), std::string("raw_gif('t.gif', ") + c.Gif + ")\n");
            const std::string original = ReadFile(dir / "t.gif");
            TBatchInput input = Input(120, {dir / "t.gif"});
            input.GifTransparent = option;
            EXPECT_EQ(RunBatch(input),
                      (std::vector<std::string>{"成功> " + LinePrefix(dir / "t.gif"), End, "1/1個のファイルを変換成功"}));
            EXPECT_EQ(Looks(dir / "t.gif"), c.Expected);
            EXPECT_EQ(ReadFile(dir / "t.gif.bak"), original);
            if (option) {
                EXPECT_EQ(ReadFile(dir / "t.gif"), written);
            } else {
                written = ReadFile(dir / "t.gif");
            }
        }
    }
}

TEST(ConvertGif, PictureWrittenByAnotherEncoderKeepsItsTransparency)
{
    // A logo on a transparent background as PIL writes it (table of 4, LZW at 8 bits); the
    // transparent entry, white, is left as it is.
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
im = Image.new('P', (6, 3))
im.putpalette([255, 255, 255, 255, 0, 0, 0, 0, 255])
im.putdata([0, 1, 1, 2, 2, 0,
            0, 1, 0, 0, 2, 0,
            0, 0, 0, 0, 0, 0])
im.save('logo.gif', transparency=0)
)");
    EXPECT_EQ(RunBatch(Input(120, {dir / "logo.gif"})).front(), "成功> " + LinePrefix(dir / "logo.gif"));
    EXPECT_EQ(Looks(dir / "logo.gif"), "T 00FF00 00FF00 FF0000 FF0000 T "
                                       "T 00FF00 T T FF0000 T "
                                       "T T T T T T");
    EXPECT_EQ(Python(dir.Path(), "im = Image.open('logo.gif')\nt = im.info['transparency']\n"
                                 "print(im.getpalette()[3 * t:3 * t + 3], end='')"),
              "[255, 255, 255]");
}

// What gifsicle says of a GIF's structure: frames, tables, delays, disposal, loop count,
// transparent indices, comments, interlacing, positions (the file name left out).
std::string GifsicleInfo(const std::string& Path)
{
    std::string out;
    EXPECT_EQ(RunCommand("gifsicle --info '" + Path + "' 2>&1", &out), 0) << out;
    return out.substr(std::min(out.size(), out.find('\n')));
}

TEST(ConvertGif, AnimationsHaveEveryFrameConvertedInItsOwnTable)
{
    // At 120 degrees red turns green, green blue, blue red; yellow cyan; greys stay. Each
    // frame of the converted file must show, composed as a viewer composes it, what the
    // original frame showed with the channels turned so; everything else stays as it was.
    REQUIRE_PIL();
    struct TCase {
        const char* Name;
        const char* Script;  // writes a.gif
        const char* Frames;
    };
    const TCase cases[] = {
        {"global table only, disposal 0 to 3, loop for ever",
         "raw_gif('a.gif', 4, 2, [(255, 0, 0), (0, 0, 255), (255, 255, 0), (128, 128, 128)], 4, [0, 1, 2, 3, 3, 2, 1, 0],\n"
         "        before=loop(0) + gce(None, 10, 1), more=gce(None, 20, 2) + image(2, 2, [], 4, [1, 1, 2, 2], left=1)\n"
         "        + gce(None, 30, 3) + image(4, 1, [], 4, [3, 0, 0, 3], top=1) + gce(None, 40, 0) + image(4, 2, [], 4, [2] * 8))\n",
         "4"},
        {"a local table in each frame, five loops",
         "raw_gif('a.gif', 3, 2, [(255, 0, 0), (0, 0, 255)], 2, [0, 1, 0, 1, 1, 0], local=True, before=loop(5) + gce(None, 7, 2),\n"
         "        more=gce(None, 9, 1) + image(3, 2, [(0, 255, 0), (255, 255, 255)], 2, [1, 0, 1, 0, 1, 0], local=True)\n"
         "        + gce(None, 11, 0) + image(3, 2, [(255, 255, 0), (0, 0, 0), (0, 0, 255), (255, 0, 255)], 4,\n"
         "                                   [0, 1, 2, 3, 2, 1], local=True))\n",
         "3"},
        {"its own transparent index in each frame",
         "raw_gif('a.gif', 4, 1, [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)], 4, [0, 1, 2, 3],\n"
         "        before=loop(0) + gce(0, 5, 1), more=gce(2, 5, 1) + image(4, 1, [], 4, [2, 2, 0, 1])\n"
         "        + gce(3, 5, 1) + image(4, 1, [(0, 0, 255), (0, 255, 255), (255, 0, 0), (0, 0, 0)], 4, [3, 0, 1, 2], local=True))\n",
         "3"},
        {"interlaced frames at offsets, a comment between them",
         "pixels = [(x + y) % 4 for y in range(9) for x in range(5)]\n"
         "raw_gif('a.gif', 8, 12, [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)], 4, [(x * y) % 4 for y in range(12) for x in range(8)],\n"
         "        interlace=True, before=loop(0) + gce(None, 25, 1), more=comment('second frame') + gce(1, 25, 1)\n"
         "        + image(5, 9, [], 4, pixels, interlace=True, left=3, top=2) + gce(None, 25, 2)\n"
         "        + image(2, 9, [(0, 0, 255), (255, 255, 255)], 2, [0, 1] * 9, interlace=True, local=True, left=6, top=3))\n",
         "3"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        GifPython(dir.Path(), std::string(c.Script) + "import shutil; shutil.copy('a.gif', 'b.gif')\n");
        const std::string original = ReadFile(dir / "a.gif");
        const std::string blocks = Blocks(dir.Path(), "a.gif");
        const std::string info = GifsicleInfo(dir / "a.gif");
        EXPECT_EQ(RunBatch(Input(120, {dir / "a.gif"})).front(), "成功> " + LinePrefix(dir / "a.gif"));
        EXPECT_EQ(ReadFile(dir / "a.gif.bak"), original);
        EXPECT_EQ(Blocks(dir.Path(), "a.gif"), blocks);
        EXPECT_EQ(GifsicleInfo(dir / "a.gif"), info);
        EXPECT_EQ(Python(dir.Path(), R"(
from PIL import ImageSequence
def frames(name):
    im = Image.open(name)
    return [(f.convert('RGBA').getdata(), f.info.get('duration'), f.disposal_method, f.info.get('transparency'))
            for f in ImageSequence.Iterator(im)], im.info.get('loop'), im.n_frames
turn = lambda p: (p[2], p[0], p[1], p[3])
before, loop, n = frames('b.gif')
after, loop2, n2 = frames('a.gif')
assert n == n2 and loop == loop2, (n, n2, loop, loop2)
for i, (b, a) in enumerate(zip(before, after)):
    assert [turn(p) for p in b[0]] == list(a[0]), (i, list(b[0]), list(a[0]))
    assert b[1:] == a[1:], (i, b[1:], a[1:])
print(n, end='')
)"),
                  c.Frames);
    }
}

TEST(ConvertGif, AnimationColoursThatMeetStayTwoEntries)
{
    // Red is swapped for blue: both entries then hold blue, and every pixel keeps its index.
    REQUIRE_PIL();
    TTempDir dir;
    GifPython(dir.Path(), "raw_gif('m.gif', 2, 2, [(255, 0, 0), (0, 0, 255)], 2, [0, 1, 1, 0], before=loop(0),\n"
                          "        more=gce(None, 10, 1) + image(2, 2, [(0, 0, 255), (255, 0, 0)], 2, [1, 1, 0, 0], local=True))\n");
    TBatchInput input;
    input.Items.push_back({true, dir / "m.gif"});
    input.Settings.AddPair({255, 0, 0}, {0, 0, 255}, false);
    EXPECT_EQ(RunBatch(input).front(), "成功> " + LinePrefix(dir / "m.gif"));
    EXPECT_EQ(GifPython(dir.Path(), R"(
d = open('m.gif', 'rb').read()
print(d[13:19].hex(), d.count(bytes.fromhex('0000ff0000ff')), end=' ')
im = Image.open('m.gif')
print(list(im.getdata()), end=' ')
im.seek(1)
print(im.tile[0][1], end='')
)"), "0000ff0000ff 2 [0, 1, 1, 0] (0, 0, 2, 2)");
}

TEST(ConvertGif, AnimationsConvertedByTheSettingsThatChangeNothingStayUntouched)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
a = Image.new('P', (2, 2), 0); a.putpalette([255, 0, 0, 0, 0, 255] + [0] * 762)
b = Image.new('P', (2, 2), 1); b.putpalette([255, 0, 0, 0, 0, 255] + [0] * 762)
a.save('anim.gif', save_all=True, append_images=[b], duration=100, loop=0)
)");
    // Two images without any extension are no less an animation.
    GifPython(dir.Path(), "raw_gif('two.gif', 2, 1, [(255, 0, 0), (0, 0, 255)], 2, [0, 1],\n"
                          "        more=image(2, 1, [], 2, [1, 0]))\n");
    const std::string anim = ReadFile(dir / "anim.gif");
    const std::string two = ReadFile(dir / "two.gif");
    const std::string unchanged(BatchLog::UnchangedTail);
    EXPECT_EQ(RunBatch(Input(0, {dir / "anim.gif", dir / "two.gif"})),
              (std::vector<std::string>{
                  "成功> " + LinePrefix(dir / "anim.gif") + unchanged,
                  "成功> " + LinePrefix(dir / "two.gif") + unchanged,
                  End,
                  "2/2個のファイルを変換成功",
              }));
    EXPECT_EQ(ReadFile(dir / "anim.gif"), anim);
    EXPECT_EQ(ReadFile(dir / "two.gif"), two);
    EXPECT_FALSE(Exists(dir / "anim.gif.bak"));
    EXPECT_FALSE(Exists(dir / "two.gif.bak"));
    // Turned, both are written, with their backups.
    EXPECT_EQ(RunBatch(Input(120, {dir / "anim.gif", dir / "two.gif"})),
              (std::vector<std::string>{
                  "成功> " + LinePrefix(dir / "anim.gif"),
                  "成功> " + LinePrefix(dir / "two.gif"),
                  End,
                  "2/2個のファイルを変換成功",
              }));
    EXPECT_EQ(ReadFile(dir / "anim.gif.bak"), anim);
    EXPECT_EQ(ReadFile(dir / "two.gif.bak"), two);
    EXPECT_EQ(GifPython(dir.Path(), "im = Image.open('two.gif'); im.seek(1); print(list(im.convert('RGB').getdata()), end='')"),
              "[(255, 0, 0), (0, 255, 0)]");
}

TEST(ConvertGif, OneImageWithBlocksAroundItIsConvertedAndTheBlocksKeptInPlace)
{
    // Such blocks used to make the image count as an animation.
    REQUIRE_PIL();
    struct TCase {
        const char* Name;
        const char* Before;
        const char* After;
    };
    const TCase cases[] = {
        {"comment after", "b''", "comment('made with a paint program')"},
        {"application block after", "b''", "application(b'XMP DataXMP', b'<x:xmpmeta/>')"},
        {"loop before, comment after", "loop(0)", "comment('logo')"},
        {"loop after", "b''", "loop(3)"},
        {"plain text after", "b''", "plain_text('hi')"},
        {"graphic control after", "gce(1)", "gce(None, 50)"},
        {"comments before and after", "comment('a') + gce(1) + comment('b')",
         "comment('c') + application(b'ImageMagick', b'gamma=0.45455')"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        GifPython(dir.Path(), std::string("raw_gif('b.gif', 3, 1, [(255, 0, 0), (0, 0, 255)], 2, [0, 1, 0], before=") +
                                  c.Before + ", after=" + c.After + ")\n");
        const std::string before = Blocks(dir.Path(), "b.gif");
        EXPECT_EQ(RunBatch(Input(120, {dir / "b.gif"})).front(), "成功> " + LinePrefix(dir / "b.gif"));
        EXPECT_EQ(Blocks(dir.Path(), "b.gif"), before);
        const std::string transparentMiddle = std::string(c.Before).find("gce(1)") != std::string::npos ? "T" : "FF0000";
        EXPECT_EQ(Looks(dir / "b.gif"), "00FF00 " + transparentMiddle + " 00FF00");
    }
}

TEST(ConvertGif, ColourTableIsAsLargeAsTheColoursUsed)
{
    // Tables of 256 entries, of which some are used; the written table holds the smallest
    // power of two of entries (at least 2) that takes the used ones. Each pixel keeps its
    // colour turned by 120 degrees.
    REQUIRE_PIL();
    struct TCase {
        const char* Name;
        const char* Used;  // Python list of the indices the pixels use, in turn
        const char* Extra; // more raw_gif arguments
        const char* Table; // the table written
    };
    const TCase cases[] = {
        {"1 colour", "[7]", "", "global=2"},
        {"2 colours", "[0, 1]", "", "global=2"},
        {"3 colours", "[0, 1, 2]", "", "global=4"},
        {"3 colours far apart", "[0, 100, 255]", "", "global=4"},
        {"16 colours", "list(range(16))", "", "global=16"},
        {"16 colours, every seventh", "list(range(0, 112, 7))", "", "global=16"},
        {"200 colours", "list(range(200))", "", "global=256"},
        {"3 colours and a transparent one", "[0, 1, 2, 9]", ", before=gce(9)", "global=4"},
        {"3 colours in a local table", "[0, 1, 2]", ", local=True", "local=4"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        GifPython(dir.Path(), std::string("used = ") + c.Used + R"(
colours = [((i * 37) % 256, (i * 91) % 256, (255 - i * 5) % 256) for i in range(256)]
pixels = [used[(y * 24 + x) % len(used)] for y in range(10) for x in range(24)]
raw_gif('c.gif', 24, 10, colours, 256, pixels)" + c.Extra + R"()
im = Image.open('c.gif').convert('RGBA')
open('expected.txt', 'w').write(' '.join('T' if p[3] == 0 else '%02X%02X%02X' % (p[2], p[0], p[1])
                                         for p in im.getdata()))
)");
        EXPECT_EQ(RunBatch(Input(120, {dir / "c.gif"})).front(), "成功> " + LinePrefix(dir / "c.gif"));
        const std::string blocks = Blocks(dir.Path(), "c.gif");
        EXPECT_NE(blocks.find(c.Table), std::string::npos) << blocks;
        EXPECT_EQ(Looks(dir / "c.gif"), ReadFile(dir / "expected.txt"));
    }
}

TEST(ConvertGif, InterlacingAndTheScreenAreKept)
{
    REQUIRE_PIL();
    TTempDir dir;
    // PIL interlaces pictures of 16 rows or more.
    Python(dir.Path(), R"(
im = Image.new('P', (20, 20))
im.putpalette([255, 0, 0, 0, 0, 255, 255, 255, 255])
im.putdata([(x // 4 + y // 3) % 3 for y in range(20) for x in range(20)])
im.save('pil.gif', transparency=2)
)");
    GifPython(dir.Path(), "raw_gif('raw.gif', 9, 17, [(255, 0, 0), (0, 0, 255)], 2, [(x * y) % 2 for y in range(17) "
                          "for x in range(9)], interlace=True, resolution=0)\n"
                          "raw_gif('plain.gif', 9, 17, [(255, 0, 0), (0, 0, 255)], 2, [(x + y) % 2 for y in range(17) "
                          "for x in range(9)], version=b'GIF87a')\n");
    for (const char* name : {"pil.gif", "raw.gif", "plain.gif"}) {
        SCOPED_TRACE(name);
        const std::string before = Blocks(dir.Path(), name);
        const std::string looks = Looks(dir / name);
        EXPECT_EQ(RunBatch(Input(120, {dir / name})).front(), "成功> " + LinePrefix(dir / name));
        EXPECT_EQ(Blocks(dir.Path(), name), before);
        // Red and blue swap to green and red; white and the transparent pixels stay.
        std::string expected = looks;
        for (std::size_t at = 0; (at = expected.find_first_of("F0", at)) != std::string::npos; at += 6) {
            if (expected.compare(at, 6, "FF0000") == 0) expected.replace(at, 6, "00FF00");
            else if (expected.compare(at, 6, "0000FF") == 0) expected.replace(at, 6, "FF0000");
        }
        EXPECT_EQ(Looks(dir / name), expected);
    }
    EXPECT_NE(Blocks(dir.Path(), "pil.gif").find("interlaced"), std::string::npos);
    EXPECT_NE(Blocks(dir.Path(), "raw.gif").find("interlaced"), std::string::npos);
    EXPECT_EQ(Blocks(dir.Path(), "plain.gif").find("interlaced"), std::string::npos);
}

TEST(ConvertGif, UnchangedPictureIsToldAndItsBytesStay)
{
    REQUIRE_PIL();
    TTempDir dir;
    Python(dir.Path(), R"(
im = Image.new('P', (6, 3))
im.putpalette([255, 0, 255, 0, 0, 0, 255, 255, 255, 128, 128, 128, 200, 30, 30])
im.putdata([0, 1, 2, 3, 1, 0, 0, 2, 2, 3, 3, 0, 0, 0, 1, 1, 0, 0])
im.save('grey.gif', transparency=0)
im.putdata([0, 1, 2, 3, 4, 0, 0, 2, 2, 3, 3, 0, 0, 0, 1, 1, 0, 0])
im.save('red.gif', transparency=0)
)");
    GifPython(dir.Path(), "raw_gif('raw.gif', 5, 20, [(9, 99, 199), (200, 100, 0), (0, 0, 0)], 4, "
                          "[(x * y) % 3 for y in range(20) for x in range(5)], before=loop() + gce(3), "
                          "after=comment('x'), interlace=True)\n");
    // A grey picture on a magenta background that is transparent: turning the hue changes
    // no colour it shows. Without any setting, nothing changes at all.
    struct TCase {
        const char* Name;
        int Hue;
        bool Unchanged;
    };
    const TCase cases[] = {{"grey.gif", 0, true},  {"red.gif", 0, true},  {"raw.gif", 0, true},
                           {"grey.gif", 120, true}, {"red.gif", 120, false}, {"raw.gif", 120, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " at " + std::to_string(c.Hue));
        TTempDir work;
        WriteFile(work / c.Name, ReadFile(dir / c.Name));
        TConversionSettings settings;
        settings.HueOffset = c.Hue;
        TFileConverter converter(settings, false, false);
        EXPECT_EQ(converter.ConvertGif(work / c.Name).Unchanged, c.Unchanged);
        if (c.Unchanged) {
            EXPECT_EQ(ReadFile(work / c.Name), ReadFile(dir / c.Name));
        } else {
            EXPECT_NE(ReadFile(work / c.Name), ReadFile(dir / c.Name));
            EXPECT_EQ(Blocks(work.Path(), c.Name), Blocks(dir.Path(), c.Name));
        }
    }

    // An unchanged file is neither written nor backed up.
    TTempDir work;
    WriteFile(work / "grey.gif", ReadFile(dir / "grey.gif"));
    TFileConverter converter(TConversionSettings{}, true, false);
    EXPECT_TRUE(converter.ConvertGif(work / "grey.gif").Unchanged);
    EXPECT_EQ(ReadFile(work / "grey.gif"), ReadFile(dir / "grey.gif"));
    EXPECT_FALSE(Exists(work / "grey.gif.bak"));
}

TEST(ConvertGif, PictureWithoutImageIsBroken)
{
    // A screen and a colour table with extensions only: there is no picture to convert.
    REQUIRE_PIL();
    TTempDir dir;
    GifPython(dir.Path(), R"(
d = b'GIF89a' + struct.pack('<HH', 4, 4) + bytes([0x80, 0, 0]) + table([(1, 2, 3), (4, 5, 6)], 2)
open('none.gif', 'wb').write(d + b';')
open('comment.gif', 'wb').write(d + comment('no picture') + b';')
)");
    EXPECT_EQ(RunBatch(Input(120, {dir / "comment.gif", dir / "none.gif"})),
              (std::vector<std::string>{
                  "失敗> " + LinePrefix(dir / "comment.gif") + "（画像形式が変）",
                  "失敗> " + LinePrefix(dir / "none.gif") + "（画像形式が変）",
                  End,
                  "0/2個のファイルを変換成功",
              }));
}

TEST(ConvertGif, EveryPublicTestGifKeepsExactlyItsTransparentPixels)
{
    // Every GIF of the public test images at 120 degrees, compared with PIL before and after,
    // every frame of an animation as a viewer composes it: a pixel is transparent afterwards
    // exactly when it was before, and each opaque pixel has its colour turned (red to green,
    // green to blue, blue to red); frames, delays, disposal and loop count stay. Files that
    // fail stay as they were.
    const std::string source = std::string(TESSIVAL_TESTDATA_DIR) + "/gif";
    if (!std::filesystem::is_directory(source)) GTEST_SKIP() << "the public test images are not at " << source;
    REQUIRE_PIL();
    TTempDir dir;
    std::filesystem::copy(source, dir.Path(), std::filesystem::copy_options::recursive);
    std::vector<std::string> paths;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path()))
        if (e.is_regular_file() && AsciiLower(e.path().extension().string()) == ".gif") paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    ASSERT_GT(paths.size(), 100u);

    const std::vector<std::string> log = RunBatch(Input(120, paths));
    std::string list;
    int converted = 0;
    int unchanged = 0;
    for (const std::string& p : paths) {
        const std::string original = source + p.substr(dir.Path().size());
        if (std::find(log.begin(), log.end(), "成功> " + LinePrefix(p)) != log.end()) {
            list += original + "\t" + p + "\n";
            ++converted;
        } else if (std::find(log.begin(), log.end(), "成功> " + LinePrefix(p) + std::string(BatchLog::UnchangedTail)) !=
                   log.end()) {
            ++unchanged;  // every colour it shows converts to itself (greys): left as it was
            EXPECT_EQ(ReadFile(p), ReadFile(original)) << p << " was said unchanged but was written";
        } else {
            EXPECT_EQ(ReadFile(p), ReadFile(original)) << p << " failed and was changed";
        }
    }
    EXPECT_GT(converted, 30);
    EXPECT_GT(converted + unchanged, 80);
    WriteFile(dir / "pairs.txt", list);
    const std::string report = Python(dir.Path(), R"(
from PIL import ImageSequence
def frames(name):
    im = Image.open(name)
    return im, [(f.convert('RGBA'), f.info.get('duration'), f.disposal_method) for f in ImageSequence.Iterator(im)]
compared = 0
animations = 0
for line in open('pairs.txt').read().splitlines():
    before, after = line.split('\t')
    try:
        a, fa = frames(before)
    except Exception:
        continue  # PIL cannot read the original either
    try:
        b, fb = frames(after)
    except Exception as e:
        print('unreadable', after, e)
        continue
    if a.size != b.size or len(fa) != len(fb) or a.info.get('loop') != b.info.get('loop'):
        print('size, frames or loop', after, a.size, b.size, len(fa), len(fb), a.info.get('loop'), b.info.get('loop'))
        continue
    for i, ((p0, d0, m0), (q0, d1, m1)) in enumerate(zip(fa, fb)):
        if (d0, m0) != (d1, m1):
            print(after, 'frame', i, 'timing', d0, m0, d1, m1)
        lost = gained = recoloured = 0
        for p, q in zip(p0.getdata(), q0.getdata()):
            if (p[3] == 0) != (q[3] == 0):
                if p[3] == 0:
                    lost += 1
                else:
                    gained += 1
            elif p[3] != 0 and q[:3] != (p[2], p[0], p[1]):
                recoloured += 1
        if lost or gained or recoloured:
            print(after, 'frame', i, 'lost', lost, 'gained', gained, 'wrong colours', recoloured)
    animations += len(fa) > 1
    compared += 1
print('animations', animations)
print('compared', compared, end='')
)");
    EXPECT_EQ(report.substr(0, 11), "animations ") << report;
    EXPECT_GT(std::atoi(report.substr(11).c_str()), 25) << report;
    EXPECT_GT(std::atoi(report.substr(report.rfind(' ') + 1).c_str()), 30) << report;
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
    // The GIF's transparent entry stays transparent, and keeps its colour.
    EXPECT_EQ(Python(dir.Path(), "print(list(Image.open('3.gif').convert('RGBA').getdata()), end='')"),
              "[(255, 0, 0, 255), (255, 0, 0, 0)]");
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
        EXPECT_EQ(outcome.Unchanged, names[i][0] == 'l') << names[i];
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

TEST(ConvertPng, AnimatedPngIsConvertedFrameByFrame)
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
                  "成功> " + LinePrefix(dir / "anim.png"),
                  "成功> " + LinePrefix(dir / "still.png"),
                  End,
                  "2/2個のファイルを変換成功",
              }));
    EXPECT_EQ(ReadFile(dir / "anim.png.bak"), anim);
    EXPECT_EQ(Python(dir.Path(), R"(
im = Image.open('anim.png')
print(im.n_frames, im.getpixel((0, 0)), end=' ')
im.seek(1)
print(im.convert('RGB').getpixel((3, 2)), im.info['duration'], im.info['loop'], end='')
)"),
              "2 (0, 255, 0) (255, 0, 0) 100.0 0");
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
# A transparent colour and a dark pixel: with no shift nothing changes; with one, the dark
# pixel is lifted to (5, 5, 5) like every dark pixel of a picture that changes.
t = Image.new('RGB', (2, 1)); t.putdata([(0, 0, 255), (0, 0, 0)]); t.save('dark.png', transparency=(0, 0, 255))
t3 = Image.new('RGB', (3, 1)); t3.putdata([(0, 0, 255), (0, 0, 0), (200, 0, 0)]); t3.save('mixed.png', transparency=(0, 0, 255))
t2 = Image.new('RGB', (2, 1)); t2.putdata([(0, 0, 255), (90, 0, 0)]); t2.save('light.png', transparency=(0, 0, 255))
)");
    struct TCase {
        const char* Name;
        int Hue;
        bool Unchanged;
    };
    const TCase cases[] = {
        {"rgb.png", 0, true},   {"p.png", 0, true},      {"l.png", 0, true},   {"light.png", 0, true},
        {"dark.png", 0, true},  {"rgb.png", 120, false}, {"p.png", 120, false}, {"grey.png", 120, true},
        {"mixed.png", 120, false},
    };
    for (const TCase& c : cases) {
        TBatchRun op(Input(c.Hue));
        EXPECT_EQ(op.ConvertPng(dir / c.Name).Unchanged, c.Unchanged) << c.Name << " at hue " << c.Hue;
    }
    // The picture that changed has its dark pixel lifted, as every converted picture with a
    // transparent colour does.
    const std::string lifted = Python(dir.Path(), "print(Image.open('mixed.png').convert('RGB').getpixel((1, 0)), end='')");
    EXPECT_EQ(lifted, "(5, 5, 5)");
}

}  // namespace
