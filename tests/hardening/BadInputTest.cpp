// Bad input, case by case: what the batch makes of files that are empty, misnamed, broken,
// cut short, absurdly large, not files at all or gone, and of awkward names. Each case has one
// clear outcome in the log, and a file that fails is left exactly as it was, with no backup
// and no temporary file beside it.

#include "HardeningSupport.h"
#include "support/PictureBombs.h"

#include "batch/TextLines.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "png/PngImage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>

using namespace hardening;
using namespace std::string_literals;

namespace {

using picturebombs::Chunk;
using picturebombs::DeflatedZeros;
using picturebombs::LzwZeros;

// A 13x7 picture with a run of colours, red in the top-left corner.
void PaintSample(TBitmap& Bitmap)
{
    Bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    Bitmap.SetSize(13, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            Bitmap.SetPixel(x, y, RGBColor(x * 19, y * 36, (x + y) * 12));
    Bitmap.SetPixel(0, 0, RGBColor(255, 0, 0));
}

std::string Bytes(TMemoryStream& Stream)
{
    return std::string(reinterpret_cast<const char*>(Stream.Memory()), static_cast<std::size_t>(Stream.Size()));
}

std::string SamplePng()
{
    TBitmap bitmap;
    PaintSample(bitmap);
    PngImage png;
    png.Assign(&bitmap);
    TMemoryStream out;
    png.SaveToStream(out);
    return Bytes(out);
}

std::string SampleGif()
{
    TBitmap bitmap;
    PaintSample(bitmap);
    TGIFImage gif;
    gif.Assign(&bitmap);
    TMemoryStream out;
    gif.SaveToStream(out);
    return Bytes(out);
}


// A well-formed PNG whose header asks for Width x Height truecolour pixels, with a little
// compressed data that runs out long before.
std::string HugePng(std::uint32_t Width, std::uint32_t Height)
{
    std::string ihdr;
    for (std::uint32_t v : {Width, Height})
        for (int s = 24; s >= 0; s -= 8)
            ihdr.push_back(static_cast<char>((v >> s) & 0xFF));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    std::string raw(4096, '\0');
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    packed.resize(size);
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + Chunk("IDAT", packed) + Chunk("IEND", "");
}

// A GIF of Frames frames, each Width x Height, with a two-colour table and image data that
// ends at once: a few hundred bytes that would need Frames * Width * Height bytes of pixels.
std::string HugeGif(int Width, int Height, int Frames)
{
    const auto word = [](int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    std::string out = "GIF89a" + word(Width) + word(Height) + std::string("\x80\x00\x00", 3) +
                      std::string("\x00\x00\x00\xff\xff\xff", 6);
    for (int i = 0; i < Frames; ++i)
        out += "\x2c" + word(0) + word(0) + word(Width) + word(Height) + std::string("\x00\x02\x02\x44\x01\x00", 6);
    return out + "\x3b";
}


constexpr std::uint32_t BombSide = 10240;  // 104.9 million pixels: beyond the default limit

const std::string& ZlibBombData()
{
    static const std::string data = DeflatedZeros(std::uint64_t{BombSide} * (BombSide + 1));
    return data;
}

// A grey PNG declaring Width x Height whose one IDAT inflates to a BombSide x BombSide picture.
std::string ZlibBombPng(std::uint32_t Width, std::uint32_t Height)
{
    std::string ihdr;
    for (std::uint32_t v : {Width, Height})
        for (int s = 24; s >= 0; s -= 8)
            ihdr.push_back(static_cast<char>((v >> s) & 0xFF));
    ihdr += std::string("\x08\x00\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + Chunk("IDAT", ZlibBombData()) +
           Chunk("IEND", "");
}


// A GIF with a Screen x Screen logical screen and one Frame x Frame frame whose LZW data
// decodes to Pixels zeros.
std::string LzwBombGif(int Screen, int Frame, std::uint64_t Pixels)
{
    const auto word = [](int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    return "GIF89a" + word(Screen) + word(Screen) + std::string("\x80\x00\x00", 3) +
           std::string("\x00\x00\x00\xff\xff\xff", 6) + "\x2c" + word(0) + word(0) + word(Frame) + word(Frame) +
           std::string(1, '\0') + LzwZeros(Pixels) + "\x3b";
}

// A PNG whose first IHDR is too short to be read (the reader skips it) and whose second asks
// for 2^28 pixels.
std::string HiddenHugePng()
{
    std::string ihdr;
    for (std::uint32_t v : {16384u, 16384u})
        for (int s = 24; s >= 0; s -= 8)
            ihdr.push_back(static_cast<char>((v >> s) & 0xFF));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", "\x00\x01") + Chunk("IHDR", ihdr) +
           Chunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + Chunk("IEND", "");
}

// What a case expects: success (with the new content, when it is known), or failure with
// this reason.
struct TExpect {
    bool Success = false;
    std::string_view Reason;
    std::optional<std::string> NewContent;
    bool Unchanged = false;  // converts to itself, so it is neither written nor backed up
};

TExpect Succeeds(std::optional<std::string> Content = std::nullopt) { return {true, {}, std::move(Content)}; }
TExpect StaysAsItIs() { return {true, {}, std::nullopt, true}; }
TExpect Fails(std::string_view Reason) { return {false, Reason, std::nullopt}; }

struct TCase {
    const char* What;
    std::string Name;
    std::function<std::string()> Content;
    TExpect Expect;
};

// Red turned 120 degrees is green.
constexpr int Hue = 120;

std::vector<TCase> Cases()
{
    return {
        {"empty .html", "empty.html", [] { return std::string(); }, StaysAsItIs()},
        {"empty .htm", "empty.htm", [] { return std::string(); }, StaysAsItIs()},
        {"empty .css", "empty.css", [] { return std::string(); }, StaysAsItIs()},
        {"empty .gif", "empty.gif", [] { return std::string(); }, Fails(BatchLog::ReasonBadImage)},
        {"empty .png", "empty.png", [] { return std::string(); }, Fails(BatchLog::ReasonBadImage)},
        {"PNG named .gif", "really-png.gif", SamplePng, Fails(BatchLog::ReasonBadImage)},
        {"GIF named .png", "really-gif.png", SampleGif, Fails(BatchLog::ReasonBadImage)},
        {"text as .png", "text.png", [] { return std::string("<p style=\"color:red\">"); },
         Fails(BatchLog::ReasonBadImage)},
        {"invalid UTF-8 around a colour", "bad-utf8.html",
         [] { return std::string("\xe6\x97\xa5\xff\xfe<font color=\"#ff0000\">\xc3\x28\xed\xa0\x80"); },
         Succeeds(std::string("\xe6\x97\xa5\xff\xfe<font color=\"#00FF00\">\xc3\x28\xed\xa0\x80"))},
        {"invalid Shift-JIS around a colour", "bad-sjis.css",
         [] { return std::string("\x82\xa0\x81{h1{color:#F00;}\x85\x20\xfd\xfe\x81"); },
         Succeeds(std::string("\x82\xa0\x81{h1{color:#00FF00;}\x85\x20\xfd\xfe\x81"))},
        {"NUL bytes in a page", "nul.html", [] { return "a\0b<font color=red>\0"s; },
         Succeeds("a\0b<font color=#00FF00>\0"s)},
        {"PNG asking for 10^10 pixels", "huge.png", [] { return HugePng(100000, 100000); },
         Fails(BatchLog::ReasonBadImage)},
        {"PNG asking for 2^31-1 columns", "wide.png", [] { return HugePng(0x7FFFFFFF, 1); },
         Fails(BatchLog::ReasonBadImage)},
        {"GIF larger than any screen", "huge.gif", [] { return HugeGif(65535, 65535, 1); },
         Fails(BatchLog::ReasonBadImage)},
        // Refused while loading, long before eight times 256 MB of pixels are made.
        {"GIF of eight 2^28-pixel frames", "frames.gif", [] { return HugeGif(16384, 16384, 8); },
         Fails(BatchLog::ReasonBadImage)},
        // Decompression bombs: a few bytes or kilobytes asking for gigabytes, refused by their
        // declared size before anything is decoded.
        {"GIF of 35 bytes asking for 2^28 pixels", "screen.gif", [] { return HugeGif(65535, 4096, 1); },
         Fails(BatchLog::ReasonTooLarge)},
        {"PNG with a 2^28-pixel IHDR and tiny IDAT", "tiny-idat.png", [] { return HugePng(16384, 16384); },
         Fails(BatchLog::ReasonTooLarge)},
        {"PNG just over the limit, tiny IDAT", "over.png", [] { return HugePng(10001, 10000); },
         Fails(BatchLog::ReasonTooLarge)},
        {"PNG zlib bomb of 10^8 pixels", "zlib-bomb.png", [] { return ZlibBombPng(BombSide, BombSide); },
         Fails(BatchLog::ReasonTooLarge)},
        {"GIF LZW bomb of 10^8 pixels", "lzw-bomb.gif",
         [] { return LzwBombGif(BombSide, BombSide, std::uint64_t{BombSide} * BombSide); },
         Fails(BatchLog::ReasonTooLarge)},
        {"GIF LZW bomb in a frame beyond a small screen", "lzw-frame.gif",
         [] { return LzwBombGif(16, BombSide, std::uint64_t{BombSide} * BombSide); },
         Fails(BatchLog::ReasonTooLarge)},
        {"PNG asking for 2^28 pixels in its second IHDR", "second-ihdr.png", HiddenHugePng,
         Fails(BatchLog::ReasonTooLarge)},
        // Bombs in small pictures: the data stops at the size declared, whatever it would give.
        {"PNG of 64x64 with 10^8 pixels of data", "zlib-overflow.png", [] { return ZlibBombPng(64, 64); },
         StaysAsItIs()},
        {"GIF of 64x64 with 10^8 pixels of data", "lzw-overflow.gif",
         [] { return LzwBombGif(64, 64, std::uint64_t{BombSide} * BombSide); }, StaysAsItIs()},
        // An animation is converted frame by frame; black and white stay what they are.
        {"GIF of two small frames", "two.gif", [] { return HugeGif(4, 4, 2); }, StaysAsItIs()},
        {"name with spaces", "a name with  spaces.html", [] { return std::string("<body bgcolor=red>"); },
         Succeeds("<body bgcolor=#00FF00>")},
        {"name with quotes", "say \"hi\" 'there'.css", [] { return std::string("p{color:red}"); },
         Succeeds("p{color:#00FF00}")},
        {"name with < > and &", "<b>&amp;.htm", [] { return std::string("p{color:red}"); },
         Succeeds("p{color:#00FF00}")},
        {"name with a newline", "two\nlines.css", [] { return std::string("p{color:red}"); },
         Succeeds("p{color:#00FF00}")},
        {"Japanese name", "色見本・テスト.png", SamplePng, Succeeds()},
        {"JPEG named .html", "photo.html", [] { return "\xFF\xD8\xFF\xE0\0\x10JFIF\0<font color=red>"s; },
         Fails(BatchLog::ReasonNotText)},
        {"gzip named .css", "style.css", [] { return "\x1F\x8B\x08\0\0\0\0\0\0\x03p{color:red}"s; },
         Fails(BatchLog::ReasonNotText)},
        {"PDF named .htm", "doc.htm", [] { return "%PDF-1.7\n<font color=red>"s; }, Fails(BatchLog::ReasonNotText)},
        {"control bytes throughout", "data.html",
         [] {
             std::string s;
             for (int i = 0; i < 64; ++i) s += "\x01\x02<font color=red>"s;
             return s;
         },
         Fails(BatchLog::ReasonNotText)},
        {"ten NUL bytes in a long page", "nuls.html",
         [] { return std::string(300, ' ') + std::string(10, '\0') + "<font color=red>" + std::string(300, ' '); },
         Succeeds(std::string(300, ' ') + std::string(10, '\0') + "<font color=#00FF00>" + std::string(300, ' '))},
        {"UTF-16 page with its mark", "utf16.html", [] { return "\xFF\xFE<\0b\0 \0b\0g\0c\0o\0l\0o\0r\0=\0r\0e\0d\0>\0"s; },
         Succeeds("\xFF\xFE<\0b\0 \0b\0g\0c\0o\0l\0o\0r\0=\0#\0\x30\0\x30\0F\0F\0\x30\0\x30\0>\0"s)},
        {"UTF-16 with a lone surrogate", "lone16.css", [] { return "\xFE\xFF\0p\0{\0}\xDC\0"s; },
         Fails(BatchLog::ReasonEncoding)},
        {"EUC-JP kana before a brace", "euc.css", [] { return "@charset \"EUC-JP\";\xA4\xE0{color:red}"s; },
         Succeeds("@charset \"EUC-JP\";\xA4\xE0{color:#00FF00}"s)},
        {"ISO-2022-JP kanji that read as a colour", "jis.css",
         [] { return "p{margin:\x1B$B!!red!\x1B(B;color:red}"s; },
         Succeeds("p{margin:\x1B$B!!red!\x1B(B;color:#00FF00}"s)},
        {"Japanese name, GIF", "いろ.gif", SampleGif, Succeeds()},
        {"gzip named .svg", "icons.svg", [] { return "\x1F\x8B\x08\0\0\0\0\0\0\x03<svg fill=\"red\"/>"s; },
         Fails(BatchLog::ReasonNotText)},
        {"SVG whose comment does not close", "open.svg", [] { return "<svg><!-- <rect fill=\"red\"/></svg>"s; },
         Fails(BatchLog::ReasonSvg)},
        {"plain SVG named .svgz", "plain.svgz", [] { return "<svg><rect fill=\"red\"/></svg>"s; },
         Fails(BatchLog::ReasonGzip)},
        {"Shift-JIS SVG whose text ends in a trail byte like \"]\"", "sjis.svg",
         [] { return "<svg><style><![CDATA[/* \x83\x5D]> */ .a{fill:red} ]]></style><text>\x83\x5D</text></svg>"s; },
         Succeeds("<svg><style><![CDATA[/* \x83\x5D]> */ .a{fill:#00FF00} ]]></style><text>\x83\x5D</text></svg>"s)},
    };
}

// The outcome of one listed file: the log line, and the folder afterwards.
void CheckOutcome(const TBatchResult& Run, const std::string& Path, const std::string& Before, const TExpect& Expect,
                  const std::string& What)
{
    SCOPED_TRACE(What);
    if (!Expect.Success) {
        EXPECT_TRUE(HasLine(Run, FailureFor(Path, Expect.Reason))) << "no failure line for " << Path;
        EXPECT_EQ(ReadFile(Path), Before) << "a failed file was changed";
        EXPECT_FALSE(fs::exists(Path + ".bak")) << "a failed file got a backup";
        return;
    }
    if (Expect.Unchanged) {
        EXPECT_TRUE(HasLine(Run, SuccessFor(Path) + std::string(BatchLog::UnchangedTail))) << Path;
        EXPECT_EQ(ReadFile(Path), Before);
        EXPECT_FALSE(fs::exists(Path + ".bak")) << "an unchanged file got a backup";
        return;
    }
    EXPECT_TRUE(HasLine(Run, SuccessFor(Path))) << "no success line for " << Path;
    EXPECT_EQ(ReadFile(Path + ".bak"), Before) << "the backup is not the old content";
    if (Expect.NewContent) {
        EXPECT_EQ(ReadFile(Path), *Expect.NewContent);
    }
}

}  // namespace

TEST(BadInput, EachCaseHasItsOutcomeAndLosesNothing)
{
    TTempDir dir;
    std::vector<std::string> paths;
    std::vector<std::string> before;
    const std::vector<TCase> cases = Cases();
    for (const TCase& c : cases) {
        paths.push_back(dir / c.Name);
        before.push_back(c.Content());
        WriteFile(paths.back(), before.back());
    }

    const TBatchResult run = RunBatch(paths, HueSettings(Hue));
    int successes = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        CheckOutcome(run, paths[i], before[i], cases[i].Expect, cases[i].What);
        successes += cases[i].Expect.Success ? 1 : 0;
    }
    EXPECT_EQ(run.Successes, successes);
    EXPECT_EQ(run.Total, static_cast<int>(cases.size()));
    EXPECT_EQ(run.Log.back(), SummaryLine(successes, static_cast<int>(cases.size())));
    EXPECT_TRUE(StrayFiles(dir.Path()).empty());

    // The images that converted are images still, of the same size.
    PngImage png;
    png.LoadFromFile(dir / "色見本・テスト.png");
    EXPECT_EQ(png.Width(), 13);
    EXPECT_EQ(GetGValue(png.ImageBitmap().Pixel(0, 0)), 255);
    TGIFImage gif;
    gif.LoadFromFile(dir / "いろ.gif");
    EXPECT_EQ(gif.Width(), 13);
    EXPECT_EQ(gif.Height(), 7);
}

TEST(BadInput, AFolderAndAVanishedPathFailWithoutTouchingAnything)
{
    TTempDir dir;
    fs::create_directory(dir / "folder.html");
    WriteFile(dir / "folder.html/inside.css", "p{color:red}");
    const std::string gone = dir / "gone.css";
    WriteFile(gone, "p{color:red}");
    const std::string goneImage = dir / "gone.png";
    WriteFile(goneImage, SamplePng());
    // Listed, then removed before the batch reaches it.
    TBatchInput input;
    input.Items = {{true, dir / "folder.html"}, {true, gone}, {true, goneImage}};
    input.Settings = HueSettings(Hue);
    TBatchRun operation(input);
    fs::remove(gone);
    fs::remove(goneImage);
    const auto before = Listing(dir.Path());
    TSilentObserver observer;
    operation.ExecuteConversion(observer);

    TBatchResult run{operation.Log(), operation.Successes(), operation.Total()};
    // A file that cannot be opened is no read or write failure of an open file.
    EXPECT_TRUE(HasLine(run, FailureFor(dir / "folder.html", BatchLog::ReasonUnknown)));
    EXPECT_TRUE(HasLine(run, FailureFor(gone, BatchLog::ReasonNoFile)));
    EXPECT_TRUE(HasLine(run, FailureFor(goneImage, BatchLog::ReasonNoFile)));
    EXPECT_EQ(run.Successes, 0);
    // Nothing made, nothing changed: no file where the vanished ones were, no backups.
    EXPECT_EQ(Listing(dir.Path()), before);
}

TEST(BadInput, EveryTruncationOfAPngAndAGifEitherConvertsOrFailsCleanly)
{
    struct TSample {
        std::string Name;
        std::string Bytes;
    };
    std::vector<TSample> samples = {{"png", SamplePng()}, {"gif", SampleGif()}};
    const std::string data = TESSIVAL_TESTDATA_DIR;
    for (const char* extra : {"/pngsuite/basi3p04.png", "/gif/gif-test-suite/transparent.gif"})
        samples.push_back({fs::path(extra).extension().string().substr(1), ReadFile(data + extra)});

    for (const TSample& sample : samples) {
        SCOPED_TRACE(sample.Name + " of " + std::to_string(sample.Bytes.size()) + " bytes");
        TTempDir dir;
        std::vector<std::string> paths;
        for (std::size_t n = 0; n < sample.Bytes.size(); ++n) {
            paths.push_back(dir / ("cut" + std::to_string(n) + "." + sample.Name));
            WriteFile(paths.back(), sample.Bytes.substr(0, n));
        }
        const TBatchResult run = RunBatch(paths, HueSettings(Hue));
        ASSERT_EQ(run.Total, static_cast<int>(paths.size()));
        int failures = 0;
        for (std::size_t n = 0; n < paths.size(); ++n) {
            const std::string& p = paths[n];
            const bool ok = HasLine(run, SuccessFor(p));
            // A cut that leaves only colours converting to themselves (the transparent one) is
            // a picture that stays as it is.
            const bool unchanged = HasLine(run, SuccessFor(p) + std::string(BatchLog::UnchangedTail));
            const bool failed = HasLine(run, FailureFor(p, BatchLog::ReasonBadImage));
            ASSERT_EQ(int(ok) + int(unchanged) + int(failed), 1) << "cut at " << n << ": no single clear outcome";
            if (failed || unchanged) {
                failures += failed ? 1 : 0;
                ASSERT_EQ(ReadFile(p), sample.Bytes.substr(0, n)) << "cut at " << n << " was changed";
                ASSERT_FALSE(fs::exists(p + ".bak")) << "cut at " << n;
            } else {
                ASSERT_EQ(ReadFile(p + ".bak"), sample.Bytes.substr(0, n)) << "cut at " << n;
            }
        }
        // The very short cuts cannot be images.
        EXPECT_GE(failures, 20);
        EXPECT_TRUE(StrayFiles(dir.Path()).empty());
    }
}

TEST(BadInput, TheBatchsPixelLimitRefusesWhatIsAboveItAndConvertsWhatIsNot)
{
    const auto picture = [](int Width, int Height, bool Gif) {
        TBitmap bitmap;
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        bitmap.SetSize(Width, Height);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                bitmap.SetPixel(x, y, RGBColor(255, x * 10, y * 10));
        TMemoryStream out;
        if (Gif) {
            TGIFImage gif;
            gif.Assign(&bitmap);
            gif.SaveToStream(out);
        } else {
            PngImage png;
            png.Assign(&bitmap);
            png.SaveToStream(out);
        }
        return Bytes(out);
    };
    TTempDir dir;
    struct TFile {
        std::string Name;
        std::string Before;
        bool Refused;
    };
    const std::vector<TFile> files = {{"at.png", picture(20, 20, false), false},
                                      {"above.png", picture(21, 20, false), true},
                                      {"at.gif", picture(20, 20, true), false},
                                      {"above.gif", picture(20, 21, true), true}};
    TBatchInput input;
    for (const TFile& f : files) {
        WriteFile(dir / f.Name, f.Before);
        input.Items.push_back({true, dir / f.Name});
    }
    input.Settings = HueSettings(Hue);
    input.MaxPixels = 400;
    TBatchRun operation(input);
    TSilentObserver observer;
    operation.ExecuteConversion(observer);
    const TBatchResult run{operation.Log(), operation.Successes(), operation.Total()};
    for (const TFile& f : files) {
        const std::string path = dir / f.Name;
        CheckOutcome(run, path, f.Before, f.Refused ? Fails(BatchLog::ReasonTooLarge) : Succeeds(), f.Name);
    }
    EXPECT_EQ(run.Successes, 2);
}
