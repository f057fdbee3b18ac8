// Animated PNGs taken apart and put together by TApngFile: which files are animations, the
// checks that refuse broken ones, each image handed out as a still PNG the reader decodes,
// and files written again with a new palette or new image data, read back by PIL.

#include "graphics/Stream.h"
#include "png/ApngFile.h"
#include "png/PngImage.h"

#include "support/ApngTools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

#define REQUIRE_PIL() \
    if (!HavePil()) FAIL() << "Debian's python3-pil (/usr/bin/python3) is not installed"

void LoadPng(PngImage& Png, const std::string& Data)
{
    TMemoryStream stream;
    stream.WriteBuffer(Data.data(), static_cast<std::int64_t>(Data.size()));
    stream.SetPosition(0);
    Png.LoadFromStream(stream);
}

std::string SavePng(PngImage& Png)
{
    TMemoryStream stream;
    Png.SaveToStream(stream);
    return {reinterpret_cast<const char*>(stream.Memory()), static_cast<std::size_t>(stream.Size())};
}

// Red, green and blue of a pixel of a bitmap the reader made (24 or 32 bits).
std::string Rgb(const TBitmap& Bitmap, int X, int Y)
{
    const int bytes = Bitmap.PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
    const std::uint8_t* p = Bitmap.ScanLine(Y) + X * bytes;
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", p[2], p[1], p[0]);
    return text;
}

// The file of a sound animation of three frames on a 4 x 3 canvas (red, green, blue frames,
// the second 2 x 2 at 1,1), written by the Python tools with Extra arguments.
std::string Animation(const TTempDir& Dir, const std::string& Extra = "", const std::string& Name = "a.png")
{
    const std::string out = ApngPython(Dir.Path(), "R, G, B = (255, 0, 0), (0, 255, 0), (0, 0, 255)\n"
                                                   "apng('" + Name + "', 4, 3, 2, 8, [frame(4, 3, [R] * 12), frame(2, 2, [G] * 4, x=1, y=1, delay=(2, 10)),\n"
                                                   "                     frame(4, 1, [B, G, B, G], y=2, dispose=1, blend=1)]" + Extra + ")\n");
    EXPECT_EQ(out, "");
    return ReadFile(Dir / Name);
}

TEST(ApngFile, AnimationsAreThoseWithAnAnimationControlBeforeTheImageData)
{
    REQUIRE_PIL();
    TTempDir dir;
    const std::string animation = Animation(dir);
    ASSERT_EQ(ApngPython(dir.Path(), R"(
R = (255, 0, 0)
cs = apng_chunks(2, 1, 2, 8, [frame(2, 1, [R, R])])
write_png('late.png', [cs[0]] + cs[2:-1] + [cs[1], cs[-1]])
write_png('early.png', [cs[1], cs[0]] + cs[2:])
write_png('still.png', [c for c in cs if c[0] not in (b'acTL', b'fcTL')])
open('macbinary.png', 'wb').write(bytes(128) + open('still.png', 'rb').read())
)"),
              "");
    EXPECT_TRUE(IsAnimatedPng(animation));
    EXPECT_TRUE(IsAnimatedPng(std::string(128, '\0') + animation));  // after a MacBinary header
    EXPECT_FALSE(IsAnimatedPng(ReadFile(dir / "late.png")));
    EXPECT_FALSE(IsAnimatedPng(ReadFile(dir / "early.png")));  // before IHDR the reader skips it
    EXPECT_FALSE(IsAnimatedPng(ReadFile(dir / "still.png")));
    EXPECT_FALSE(IsAnimatedPng(ReadFile(dir / "macbinary.png")));
    EXPECT_FALSE(IsAnimatedPng(animation.substr(0, 40)));  // cut inside acTL's length
    EXPECT_FALSE(IsAnimatedPng("GIF89a"));
}

TEST(ApngFile, BrokenAnimationsAreRefusedWithTheirReason)
{
    REQUIRE_PIL();
    TTempDir dir;
    ASSERT_EQ(ApngPython(dir.Path(), R"(
R, B = (255, 0, 0), (0, 0, 255)
def good(**kw):
    return apng_chunks(4, 4, 2, 8, [frame(4, 4, [R] * 16), frame(2, 2, [B] * 4, x=1, y=1), frame(4, 1, [B] * 4, y=3)], **kw)
def index(cs, t, k=0):
    return [i for i, c in enumerate(cs) if c[0] == t][k]
def patch(cs, t, k, at, data):
    i = index(cs, t, k)
    cs[i] = (cs[i][0], cs[i][1][:at] + data + cs[i][1][at + len(data):])
    return cs
write_png('gap.png', patch(good(), b'fdAT', 1, 0, struct.pack('>I', 5)))
write_png('repeat.png', patch(good(), b'fcTL', 2, 0, struct.pack('>I', 2)))
write_png('outside.png', patch(good(), b'fcTL', 1, 12, struct.pack('>I', 3)))
write_png('no-area.png', patch(good(), b'fcTL', 2, 8, struct.pack('>I', 0)))
write_png('default-smaller.png', patch(good(), b'fcTL', 0, 4, struct.pack('>I', 3)))
write_png('default-moved.png', patch(good(), b'fcTL', 0, 12, struct.pack('>I', 1)))
write_png('dispose.png', patch(good(), b'fcTL', 2, 24, b'\x03'))
write_png('blend.png', patch(good(), b'fcTL', 2, 25, b'\x02'))
write_png('more.png', good(count=4))
write_png('fewer.png', good(count=2))
write_png('none.png', good(count=0))
cs = good(); cs.insert(index(cs, b'IDAT'), cs.pop(index(cs, b'fdAT'))); write_png('fdat-first.png', cs)
cs = good(); del cs[index(cs, b'fdAT', 1)]; write_png('no-data.png', cs)
cs = good(); cs.insert(index(cs, b'IDAT') + 1, cs[index(cs, b'IDAT')]); cs.insert(index(cs, b'IDAT') + 1, (b'tEXt', b'a\0b'))
write_png('idat-apart.png', cs)
cs = good(); cs.insert(2, cs[1]); write_png('two-actl.png', cs)
cs = good(); cs.insert(1, cs.pop(index(cs, b'fcTL'))); write_png('fctl-first.png', cs)
cs = good(); i = index(cs, b'fcTL'); cs.insert(i + 1, (b'fcTL', struct.pack('>I', 1) + cs[i][1][4:])); write_png('two-before.png', cs)
cs = good(); cs.insert(index(cs, b'IDAT') + 1, (b'fdAT', struct.pack('>I', 1) + b'x')); write_png('orphan.png', cs)
cs = good(); cs.insert(2, (b'CRIT', b'')); write_png('critical.png', cs)
cs = good(); del cs[index(cs, b'IDAT')]; write_png('no-idat.png', cs)
write_png('short-fdat.png', [c if c[0] != b'fdAT' else (c[0], c[1][:3]) for c in good()])
write_png('crc.png', good()); d = bytearray(open('crc.png', 'rb').read()); d[d.find(b'fcTL') + 8] ^= 1; open('crc.png', 'wb').write(d)
write_png('cut.png', good()); d = open('cut.png', 'rb').read(); open('cut.png', 'wb').write(d[:d.rfind(b'fdAT') + 10])
write_png('no-iend.png', good()); d = open('no-iend.png', 'rb').read(); open('no-iend.png', 'wb').write(d[:-12])
)"),
              "");
    struct TCase {
        const char* File;
        const char* Reason;
    };
    const TCase cases[] = {
        {"gap.png", "APNG: sequence number 5 where 4 was due"},
        {"repeat.png", "APNG: sequence number 2 where 3 was due"},
        {"outside.png", "APNG: frame 1 lies outside the canvas"},
        {"no-area.png", "APNG: frame 2 has no area"},
        {"default-smaller.png", "APNG: the default image's frame is not the whole canvas"},
        {"default-moved.png", "APNG: frame 0 lies outside the canvas"},
        {"dispose.png", "APNG: frame 2 has an unknown dispose or blend operation"},
        {"blend.png", "APNG: frame 2 has an unknown dispose or blend operation"},
        {"more.png", "APNG: acTL announces 4 frames, the file holds 3"},
        {"fewer.png", "APNG: acTL announces 2 frames, the file holds 3"},
        {"none.png", "APNG: acTL announces no frame"},
        {"fdat-first.png", "APNG: fdAT before the image data"},
        {"no-data.png", "APNG: frame 2 has no data"},
        {"idat-apart.png", "APNG: IDAT chunks apart"},
        {"two-actl.png", "APNG: a second acTL"},
        {"fctl-first.png", "APNG: fcTL before acTL"},
        {"two-before.png", "APNG: two fcTL before the image data"},
        {"orphan.png", "APNG: fdAT without its fcTL"},
        {"critical.png", "APNG: unknown critical chunk CRIT"},
        {"no-idat.png", "APNG: two fcTL before the image data"},
        {"short-fdat.png", "APNG: fdAT without a sequence number"},
        {"crc.png", "APNG: CRC of fcTL chunk is wrong"},
        {"cut.png", "APNG: a chunk runs past the end of the file"},
        {"no-iend.png", "APNG: the file ends before IEND"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        const std::string data = ReadFile(dir / c.File);
        try {
            const TApngFile animation(data);
            ADD_FAILURE() << "accepted";
        } catch (const ApngError& e) {
            EXPECT_EQ(e.Message(), c.Reason);
        }
    }
}

TEST(ApngFile, EachImageIsAStillPngOfItsOwn)
{
    REQUIRE_PIL();
    TTempDir dir;
    const std::string data = Animation(dir, ", default=[(9, 9, 9)] * 12, pieces=3");
    const TApngFile animation(data);
    EXPECT_EQ(animation.Width(), 4u);
    EXPECT_EQ(animation.Height(), 3u);
    EXPECT_EQ(animation.FrameCount(), 3u);
    EXPECT_FALSE(animation.DefaultImageAnimated());
    ASSERT_EQ(animation.ImageCount(), 4u);
    // What the reader decodes from each: the default image, then red, green and blue frames.
    const struct {
        int Width, Height;
        const char* First;
        const char* Last;
    } expected[] = {{4, 3, "090909", "090909"}, {4, 3, "FF0000", "FF0000"}, {2, 2, "00FF00", "00FF00"}, {4, 1, "0000FF", "00FF00"}};
    for (std::size_t i = 0; i < animation.ImageCount(); ++i) {
        SCOPED_TRACE(i);
        const std::string still = animation.StillImage(i);
        EXPECT_FALSE(IsAnimatedPng(still));
        PngImage png;
        LoadPng(png, still);
        EXPECT_FALSE(png.Animated());
        ASSERT_EQ(png.Width(), expected[i].Width);
        ASSERT_EQ(png.Height(), expected[i].Height);
        EXPECT_EQ(Rgb(png.ImageBitmap(), 0, 0), expected[i].First);
        EXPECT_EQ(Rgb(png.ImageBitmap(), png.Width() - 1, png.Height() - 1), expected[i].Last);
        WriteFile(dir / ("still" + std::to_string(i) + ".png"), still);
    }
    EXPECT_EQ(ApngPython(dir.Path(), "print(' '.join('%dx%d' % Image.open('still%d.png' % i).size for i in range(4)), end='')"),
              "4x3 4x3 2x2 4x1");
}

TEST(ApngFile, TheSamePaletteGivesTheSameFileAndANewOneOnlyANewPlte)
{
    REQUIRE_PIL();
    TTempDir dir;
    ASSERT_EQ(ApngPython(dir.Path(), R"(
apng('p.png', 3, 2, 3, 4, [frame(3, 2, [0, 1, 2, 2, 1, 0]), frame(1, 2, [2, 2], x=2, blend=1), frame(3, 1, [1, 1, 1], y=1)],
     plte=[(255, 0, 0), (0, 0, 255), (0, 255, 0)], trns=b'\x00\x80', bkgd=b'\x01', pieces=2,
     before=[(b'gAMA', struct.pack('>I', 45455))], after=[(b'tEXt', b'Comment\0animated')])
)"),
              "");
    const std::string data = ReadFile(dir / "p.png");
    const TApngFile animation(data);
    EXPECT_EQ(animation.ColourType(), 3);
    EXPECT_EQ(animation.PaletteData(), std::string("\xFF\0\0\0\0\xFF\0\xFF\0", 9));
    EXPECT_EQ(animation.WithPalette(animation.PaletteData()), data);
    WriteFile(dir / "q.png", animation.WithPalette(std::string("\0\xFF\0\xFF\0\0\0\0\xFF", 9)));
    EXPECT_EQ(ApngPython(dir.Path(), R"(
a, b = read_chunks('p.png'), read_chunks('q.png')
assert [t for t, d in a] == [t for t, d in b]
print(' '.join(t.decode() for (t, d), (u, e) in zip(a, b) if d != e), end=' ')
print(composed('q.png')[0][1][0][:3], end='')
)"),
              "PLTE [(0, 255, 0, 0), (255, 0, 0, 128), (0, 0, 255, 255)]");
    // Images written anew as palette pictures would each bring a palette of their own: refused.
    std::vector<std::string> stills;
    for (std::size_t i = 0; i < animation.ImageCount(); ++i) {
        PngImage png;
        LoadPng(png, animation.StillImage(i));
        stills.push_back(SavePng(png));
        ASSERT_EQ(stills.back()[25], 3);
    }
    EXPECT_THROW(animation.WithImages(stills), PngError);
}

TEST(ApngFile, NewImageDataTakesThePlaceOfTheOldWithSequenceNumbersRunning)
{
    REQUIRE_PIL();
    TTempDir dir;
    // Three data chunks per frame, chunks around them, the stills written anew by the codec as
    // they are: one data chunk each, so the sequence numbers must be counted anew.
    Animation(dir,
              ", pieces=3, bkgd=struct.pack('>HHH', 1, 2, 3), before=[(b'sBIT', b'\\x08\\x08\\x08'), (b'sPLT', b'p\\0\\x08\\0\\0\\0\\0\\0'),"
              " (b'prVt', b'safe'), (b'prVT', b'unsafe')], after=[(b'tEXt', b'Title\\0Banner')]");
    const std::string data = ReadFile(dir / "a.png");
    const TApngFile animation(data);
    std::vector<std::string> stills;
    for (std::size_t i = 0; i < animation.ImageCount(); ++i) {
        PngImage png;
        LoadPng(png, animation.StillImage(i));
        stills.push_back(SavePng(png));
    }
    ASSERT_TRUE(TApngFile::SameForm(stills));
    WriteFile(dir / "b.png", animation.WithImages(stills));
    EXPECT_EQ(ApngPython(dir.Path(), R"(
a, b = composed('a.png'), composed('b.png')
assert a == b, (a, b)
assert sequence_ok('b.png')
print(layout('b.png'), end='')
)"),
              "IHDR prVt acTL 3 0 bKGD fcTL 4x3+0+0 1/10 0 0 IDAT* fcTL 2x2+1+1 2/10 0 0 fdAT* fcTL 4x1+0+2 1/10 1 1 fdAT* tEXt IEND");
    // Stills that do not fit together are refused.
    std::vector<std::string> wrong = stills;
    std::swap(wrong[1], wrong[2]);
    EXPECT_THROW(animation.WithImages(wrong), PngError);
    wrong = stills;
    wrong.pop_back();
    EXPECT_THROW(animation.WithImages(wrong), PngError);
    wrong = stills;
    wrong[2][25] = 0;  // colour type grey
    EXPECT_FALSE(TApngFile::SameForm(wrong));
}

}  // namespace
