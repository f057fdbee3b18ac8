// Animated PNGs through the batch: every frame converted as a still PNG's pixels are, the
// animation's chunks kept in their order with consecutive sequence numbers, broken animations
// refused with their reason and left as they were. The files are made by hand in Python and
// read back by Debian's PIL and pngcheck.

#include "batch/BatchLog.h"
#include "batch/BatchRun.h"

#include "BatchTestUtil.h"
#include "support/ApngTools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace batchtest;

namespace {

#define REQUIRE_PIL() \
    if (!HavePil()) FAIL() << "Debian's python3-pil (/usr/bin/python3) is not installed"

const char* const Pngcheck = "/usr/bin/pngcheck";

std::vector<std::string> RunBatch(const TBatchInput& In)
{
    TBatchRun op(In);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    return op.Log();
}

TBatchInput Input(int Hue, const std::vector<std::string>& Paths)
{
    TBatchInput input;
    input.Settings.HueOffset = Hue;
    for (const std::string& p : Paths) input.Items.push_back({true, p});
    return input;
}

std::string PngcheckSays(const std::string& Path)
{
    std::string out;
    const int status = RunCommand(std::string(Pngcheck) + " -q '" + Path + "' 2>&1", &out);
    return status == 0 ? out : "exit " + std::to_string(status) + ": " + out;
}

const std::string Unchanged(BatchLog::UnchangedTail);

// What a frame's pixels become, in Python: at 120 degrees red turns green, green blue, blue
// red (yellow cyan, magenta yellow); greys stay.
const char* const Turned = "lambda p: (p[2], p[0], p[1], p[3])";

struct TAnimation {
    const char* Name;
    const char* Make;  // Python writing a.png
    const char* Turn;  // Python: what each RGBA pixel PIL shows becomes
    int Hue;
    std::vector<std::pair<TRGBColor, TRGBColor>> Pairs;
};

TEST(ConvertApng, EveryFrameIsConvertedAndTheAnimationKept)
{
    REQUIRE_PIL();
    ASSERT_TRUE(ToolExists(Pngcheck)) << "pngcheck (Debian package pngcheck) is not installed";
    const TAnimation cases[] = {
        {"RGBA, three frames, offsets, delays, every dispose and blend",
         R"(R, G, B, Y, W = (255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255), (255, 255, 0, 255), (255, 255, 255, 128)
apng('a.png', 6, 4, 6, 8, [frame(6, 4, [R, G, B, Y, W, R] * 4, delay=(1, 10), dispose=1),
                           frame(3, 2, [B, (0, 0, 0, 0), W] * 2, x=2, y=1, delay=(20, 100), dispose=2, blend=1),
                           frame(4, 3, [Y, G, W, B] * 3, x=1, y=1, delay=(3, 0), dispose=0, blend=0),
                           frame(1, 1, [W], x=5, y=3, delay=(7, 1000), blend=1)], plays=3,
     before=[(b'gAMA', struct.pack('>I', 45455)), (b'tEXt', b'Title\0Banner')], after=[(b'tEXt', b'Author\0Web team')])
)",
         Turned, 120, {}},
        {"RGB, a default image outside the animation, data in several chunks",
         R"(R, G, B, K = (255, 0, 0), (0, 255, 0), (0, 0, 255), (0, 0, 0)
apng('a.png', 5, 3, 2, 8, [frame(5, 3, [G] * 15, delay=(1, 2)), frame(2, 2, [R, B, B, R], x=3, y=1, delay=(1, 3)),
                           frame(5, 1, [K, R, G, B, R], y=2, delay=(1, 4))],
     default=[R, G, B, K, R] * 3, pieces=3, plays=0, bkgd=struct.pack('>HHH', 255, 0, 0))
)",
         Turned, 120, {}},
        {"palette of two bits, transparency per entry, a default image outside",
         R"(apng('a.png', 4, 4, 3, 2, [frame(4, 4, [0, 1, 2, 3] * 4, delay=(5, 100)), frame(2, 2, [3, 3, 1, 0], x=1, y=2, delay=(6, 100), blend=1),
                           frame(4, 1, [2, 2, 2, 2], delay=(7, 100), dispose=1)],
     plte=[(255, 0, 0), (0, 0, 255), (0, 255, 0), (255, 255, 0)], trns=b'\x00\x80', default=[1] * 16, bkgd=b'\x02')
)",
         Turned, 120, {}},
        {"palette with one transparent entry",
         R"(apng('a.png', 3, 2, 3, 8, [frame(3, 2, [0, 1, 2, 2, 1, 0]), frame(2, 1, [2, 0], x=1, y=1, blend=1), frame(3, 2, [1] * 6)],
     plte=[(255, 0, 0), (0, 0, 255), (0, 255, 0)], trns=b'\x00')
)",
         Turned, 120, {}},
        {"grey, a default image outside the animation",
         R"(apng('a.png', 4, 2, 0, 8, [frame(4, 2, [0x40, 0x80, 0xC0, 0x40] * 2, delay=(1, 5)), frame(2, 2, [0x40, 0x40, 0x10, 0x80], x=2, delay=(2, 5))],
     default=[0x80] * 8)
)",
         "lambda p: (0xC0, 0xC0, 0xC0, p[3]) if p[:3] == (0x40, 0x40, 0x40) else p", 0, {{{0x40, 0x40, 0x40}, {0xC0, 0xC0, 0xC0}}}},
        {"grey and alpha",
         R"(apng('a.png', 3, 3, 4, 8, [frame(3, 3, [(0x40, 255), (0x80, 128)] * 4 + [(0x40, 0)]), frame(2, 2, [(0x40, 100)] * 4, x=1, y=1),
                           frame(3, 1, [(0x80, 255), (0x40, 255), (0x20, 255)], y=2)])
)",
         "lambda p: (0xC0, 0xC0, 0xC0, p[3]) if p[:3] == (0x40, 0x40, 0x40) else p", 0,
         {{{0x40, 0x40, 0x40}, {0xC0, 0xC0, 0xC0}}}},
        {"grey of two bits, frames needing eight bits and frames not",
         R"(apng('a.png', 4, 1, 0, 2, [frame(4, 1, [0, 1, 2, 3]), frame(2, 1, [3, 3], x=2), frame(4, 1, [1, 1, 2, 2])])
)",
         "lambda p: (0x80, 0x80, 0x80, p[3]) if p[:3] == (0x55, 0x55, 0x55) else p", 0, {{{0x55, 0x55, 0x55}, {0x80, 0x80, 0x80}}}},
    };
    for (const TAnimation& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        ASSERT_EQ(ApngPython(dir.Path(), std::string(c.Make) + "import shutil\nshutil.copy('a.png', 'b.png')\n"), "");
        const std::string original = ReadFile(dir / "a.png");
        TBatchInput input = Input(c.Hue, {dir / "a.png"});
        for (const auto& [before, after] : c.Pairs) input.Settings.AddPair(before, after, false);
        const std::vector<std::string> log = RunBatch(input);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "1/1個のファイルを変換成功") << log.front();
        EXPECT_NE(ReadFile(dir / "a.png"), original);
        EXPECT_EQ(ReadFile(dir / "a.png.bak"), original);
        EXPECT_EQ(PngcheckSays(dir / "a.png"), "");
        EXPECT_EQ(ApngPython(dir.Path(), std::string("turn = ") + c.Turn + R"(
before, n, loop = composed('b.png')
after, n2, loop2 = composed('a.png')
assert (n, loop) == (n2, loop2), (n, loop, n2, loop2)
for i, (b, a) in enumerate(zip(before, after)):
    # A pixel nothing shows (alpha 0) only has to stay so.
    seen = lambda p: p if p[3] else (0, 0, 0, 0)
    assert [seen(turn(p)) for p in b[0]] == [seen(p) for p in a[0]], (i, b[0], a[0])
    assert b[1:] == a[1:], (i, b[1:], a[1:])
assert layout('a.png') == layout('b.png'), (layout('b.png'), layout('a.png'))
assert sequence_ok('a.png')
if read_chunks('b.png')[0][1][9] == 3:
    # A palette file: the indices, their data and transparency stay byte for byte.
    data = lambda name: [d for t, d in read_chunks(name) if t in (b'IDAT', b'fdAT', b'tRNS', b'bKGD')]
    assert data('a.png') == data('b.png')
print('ok' if n >= 2 else n, end='')
)"),
                  "ok");
    }
}

TEST(ConvertApng, SettingsThatChangeNothingLeaveEveryAnimationUntouched)
{
    REQUIRE_PIL();
    TTempDir dir;
    ASSERT_EQ(ApngPython(dir.Path(), R"(
R, G = (255, 0, 0, 255), (0, 255, 0, 128)
apng('rgba.png', 2, 2, 6, 8, [frame(2, 2, [R, G, G, R]), frame(1, 1, [G], x=1)])
apng('grey.png', 2, 1, 0, 8, [frame(2, 1, [0x10, 0x20])], default=[0x30, 0x40])
apng('palette.png', 2, 1, 3, 1, [frame(2, 1, [0, 1]), frame(1, 1, [1])], plte=[(255, 0, 0), (0, 0, 255)])
# Only an entry no pixel shows would change (grey, untouched by the hue).
apng('unused.png', 2, 1, 3, 8, [frame(2, 1, [0, 0]), frame(1, 1, [0])], plte=[(90, 90, 90), (255, 0, 0)])
)"),
              "");
    const std::vector<std::string> names = {"grey.png", "palette.png", "rgba.png"};
    std::vector<std::string> paths, originals;
    for (const std::string& n : names) {
        paths.push_back(dir / n);
        originals.push_back(ReadFile(paths.back()));
    }
    std::vector<std::string> expected;
    for (const std::string& p : paths) expected.push_back("成功> " + LinePrefix(p) + Unchanged);
    expected.push_back(std::string(BatchLog::EndLine));
    expected.push_back("3/3個のファイルを変換成功");
    EXPECT_EQ(RunBatch(Input(0, paths)), expected);
    // At 120 degrees only what no frame shows changes in unused.png.
    EXPECT_EQ(RunBatch(Input(120, {dir / "unused.png"})).front(), "成功> " + LinePrefix(dir / "unused.png") + Unchanged);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(ReadFile(paths[i]), originals[i]) << paths[i];
        EXPECT_FALSE(Exists(paths[i] + ".bak")) << paths[i];
    }
    EXPECT_FALSE(Exists(dir / "unused.png.bak"));
}

TEST(ConvertApng, BrokenAnimationsAreRefusedWithTheirReasonAndKept)
{
    REQUIRE_PIL();
    TTempDir dir;
    // Each a sound animation of three frames, broken in one way.
    ASSERT_EQ(ApngPython(dir.Path(), R"(
R, B = (255, 0, 0), (0, 0, 255)
def good(**kw):
    return apng_chunks(4, 4, 2, 8, [frame(4, 4, [R] * 16), frame(2, 2, [B] * 4, x=1, y=1), frame(4, 1, [B] * 4, y=3)], **kw)
def renumber(cs, at, n):
    t, d = cs[at]
    cs[at] = (t, struct.pack('>I', n) + d[4:])
    return cs
def index(cs, t, k=0):
    return [i for i, c in enumerate(cs) if c[0] == t][k]
cs = good(); write_png('gap.png', renumber(cs, index(cs, b'fdAT', 1), 5))
cs = good(); write_png('repeat.png', renumber(cs, index(cs, b'fcTL', 2), 2))
cs = good(); t, d = cs[index(cs, b'fcTL', 1)]; cs[index(cs, b'fcTL', 1)] = (t, d[:12] + struct.pack('>I', 3) + d[16:])
write_png('outside.png', cs)
cs = good(); t, d = cs[index(cs, b'fcTL', 0)]; cs[index(cs, b'fcTL', 0)] = (t, d[:4] + struct.pack('>I', 3) + d[8:])
write_png('default-smaller.png', cs)
write_png('count.png', good(count=4))
cs = good(); cs.insert(index(cs, b'IDAT'), cs.pop(index(cs, b'fdAT'))); write_png('fdat-first.png', cs)
cs = good(); del cs[index(cs, b'fdAT', 1)]; write_png('no-data.png', cs)
write_png('truncated.png', good())
d = open('truncated.png', 'rb').read()
p = d.rfind(b'fdAT')
open('truncated.png', 'wb').write(d[:p + 10])
cs = good(); write_png('crc.png', cs)
d = bytearray(open('crc.png', 'rb').read()); d[d.find(b'fcTL') + 8] ^= 1; open('crc.png', 'wb').write(d)
cs = good(); t, d = cs[index(cs, b'fcTL', 2)]; cs[index(cs, b'fcTL', 2)] = (t, d[:24] + b'\x03\x00'); write_png('dispose.png', cs)
)"),
              "");
    const std::vector<std::string> names = {"count.png", "crc.png", "default-smaller.png", "dispose.png", "fdat-first.png",
                                            "gap.png", "no-data.png", "outside.png", "repeat.png", "truncated.png"};
    std::vector<std::string> paths, originals;
    std::vector<std::string> expected;
    for (const std::string& n : names) {
        paths.push_back(dir / n);
        originals.push_back(ReadFile(paths.back()));
        expected.push_back("失敗> " + LinePrefix(paths.back()) + "（アニメPNGの構造が変）");
    }
    expected.push_back(std::string(BatchLog::EndLine));
    expected.push_back("0/" + std::to_string(names.size()) + "個のファイルを変換成功");
    EXPECT_EQ(RunBatch(Input(120, paths)), expected);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(ReadFile(paths[i]), originals[i]) << paths[i];
        EXPECT_FALSE(Exists(paths[i] + ".bak")) << paths[i];
    }
}

TEST(ConvertApng, ATransparentColourIsNotedOnceAndStays)
{
    // The first image is grey (unchanged at any hue), the second red: the first is written
    // again once the second changes, and the note of the transparent colour comes once.
    REQUIRE_PIL();
    TTempDir dir;
    ASSERT_EQ(ApngPython(dir.Path(), R"(
K, R, W = (128, 128, 128), (255, 0, 0), (255, 255, 255)
apng('t.png', 3, 1, 2, 8, [frame(3, 1, [K, W, K]), frame(2, 1, [R, W], x=1)], trns=struct.pack('>HHH', 255, 255, 255))
)"),
              "");
    EXPECT_EQ(RunBatch(Input(120, {dir / "t.png"})),
              (std::vector<std::string>{"add", "成功> " + LinePrefix(dir / "t.png"), std::string(BatchLog::EndLine),
                                        "1/1個のファイルを変換成功"}));
    EXPECT_EQ(ApngPython(dir.Path(), "f, n, loop = composed('t.png')\n"
                                     "print(f[0][0], f[1][0], [d for t, d in read_chunks('t.png') if t == b'tRNS'], end='')"),
              "[(128, 128, 128, 255), (255, 255, 255, 0), (128, 128, 128, 255)] "
              "[(128, 128, 128, 255), (0, 255, 0, 255), (255, 255, 255, 0)] [b'\\x00\\xff\\x00\\xff\\x00\\xff']");
}

TEST(ConvertApng, TheCanvasCountsAgainstThePixelLimit)
{
    REQUIRE_PIL();
    TTempDir dir;
    // Frames of 10 x 10 on a canvas of 100 x 100: the canvas is what is held.
    ASSERT_EQ(ApngPython(dir.Path(), R"(
apng('big.png', 100, 100, 2, 8, [frame(10, 10, [(255, 0, 0)] * 100, x=i * 10) for i in range(5)],
     default=[(0, 0, 255)] * 10000)
)"),
              "");
    const std::string original = ReadFile(dir / "big.png");
    TBatchInput input = Input(120, {dir / "big.png"});
    input.MaxPixels = 9999;
    EXPECT_EQ(RunBatch(input).front(), "失敗> " + LinePrefix(dir / "big.png") + "（画像が大きすぎます）");
    EXPECT_EQ(ReadFile(dir / "big.png"), original);
    input.MaxPixels = 10000;
    EXPECT_EQ(RunBatch(input).front(), "成功> " + LinePrefix(dir / "big.png"));
    EXPECT_EQ(ReadFile(dir / "big.png.bak"), original);
}

}  // namespace
