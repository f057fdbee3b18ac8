// The JPEG codec alone: the quality read from the tables, the coding kept (sampling, process,
// restart interval, markers byte for byte), the converted pixels, greyscale, and damaged or
// refused files failing with the codec's error instead of ending the program.

#include "JpegTestSupport.h"

#include "colour/ConversionSettings.h"
#include "colour/PictureColours.h"
#include "jpeg/JpegError.h"
#include "jpeg/JpegQuality.h"
#include "jpeg/JpegReader.h"
#include "jpeg/JpegRecolour.h"
#include "jpeg/JpegWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace jpegtest;

namespace {

constexpr std::uint64_t NoLimit = std::uint64_t{1} << 40;

// The quality estimate: within this many steps of the quality a file was made with.
constexpr int QualityTolerance = 2;

struct TSubsampling {
    const char* Name;
    int H, V;
    bool Grey;
};
constexpr TSubsampling Subsamplings[] = {
    {"4:4:4", 1, 1, false}, {"4:2:2", 2, 1, false}, {"4:2:0", 2, 2, false}, {"grey", 1, 1, true}};

TJpegPicture ReadAll(const std::string& Bytes)
{
    TJpegReader reader(Bytes, NoLimit);
    return reader.Read();
}

// Per channel: the mean and the 99th percentile of the absolute difference between the
// expected conversion of the original (decoded, every pixel through the adjuster) and the
// converted file decoded.
struct TError {
    double Mean[3] = {};
    int P99[3] = {};
};

TError Compare(const TRgbImage& Expected, const TRgbImage& Actual)
{
    TError e;
    for (int c = 0; c < 3; ++c) {
        std::vector<int> diffs;
        diffs.reserve(Expected.Rgb.size() / 3);
        double sum = 0;
        for (std::size_t i = static_cast<std::size_t>(c); i < Expected.Rgb.size(); i += 3) {
            const int d = std::abs(Expected.Rgb[i] - Actual.Rgb[i]);
            diffs.push_back(d);
            sum += d;
        }
        std::sort(diffs.begin(), diffs.end());
        e.Mean[c] = sum / static_cast<double>(diffs.size());
        e.P99[c] = diffs[diffs.size() * 99 / 100];
    }
    return e;
}

TRgbImage ExpectedConversion(const TRgbImage& Original, const TColourAdjuster& Adjuster)
{
    TRgbImage out = Original;
    for (std::size_t i = 0; i + 2 < out.Rgb.size(); i += 3) {
        const TRGBColor c = ConvertPictureColour(Adjuster, TTransparencyRule{},
                                                 {Original.Rgb[i], Original.Rgb[i + 1], Original.Rgb[i + 2]});
        out.Rgb[i] = static_cast<std::uint8_t>(c.R);
        out.Rgb[i + 1] = static_cast<std::uint8_t>(c.G);
        out.Rgb[i + 2] = static_cast<std::uint8_t>(c.B);
    }
    return out;
}

std::string Convert(const std::string& Bytes, const TColourAdjuster& Adjuster, bool* Changed = nullptr)
{
    TJpegPicture picture = ReadAll(Bytes);
    const bool changed = RecolourJpeg(picture, Adjuster);
    if (Changed) *Changed = changed;
    return WriteJpeg(picture);
}

TConversionSettings Shift(int Hue, int Sat, int Bright)
{
    TConversionSettings s;
    s.HueOffset = Hue;
    s.SatOffset = Sat;
    s.BrightOffset = Bright;
    return s;
}

}  // namespace

TEST(JpegQuality, EstimatedWithinTwoOfTheQualityMadeWith)
{
    const TRgbImage photo = PhotoLike(160, 120, 1);
    const TRgbImage logo = LogoLike(160, 120);
    for (const TRgbImage* image : {&photo, &logo}) {
        for (int quality : {10, 30, 50, 60, 75, 85, 90, 95, 98, 100}) {
            for (const TSubsampling& s : Subsamplings) {
                SCOPED_TRACE(std::string(image == &photo ? "photo " : "logo ") + s.Name + " q" + std::to_string(quality));
                TMakeOptions options;
                options.Quality = quality;
                options.LumaH = s.H;
                options.LumaV = s.V;
                options.Grey = s.Grey;
                const TJpegReader reader(MakeJpeg(*image, options), NoLimit);
                EXPECT_NEAR(reader.Coding().Quality, quality, QualityTolerance);
                EXPECT_TRUE(reader.Coding().Baseline);
            }
        }
    }
}

TEST(JpegQuality, SixteenBitTablesAreNotBaseline)
{
    TMakeOptions options;
    options.Quality = 5;  // entries past 255 without the baseline limit
    options.ForceBaseline = false;
    const std::string file = MakeJpeg(PhotoLike(64, 48, 2), options);
    const TJpegReader reader(file, NoLimit);
    EXPECT_NEAR(reader.Coding().Quality, 5, QualityTolerance);
    EXPECT_FALSE(reader.Coding().Baseline);
    // Written again, the tables still hold their 16-bit entries.
    TJpegPicture picture = ReadAll(file);
    const TFrameInfo frame = FrameInfo(WriteJpeg(picture));
    EXPECT_GT(*std::max_element(frame.Tables[0].begin(), frame.Tables[0].end()), 255);
}

TEST(JpegQuality, TablesOfAnotherEncoderGetTheNearestQuality)
{
    // libjpeg's tables with every entry moved by one, up or down at random: no quality gives
    // them exactly, the one they were made from is nearest.
    std::mt19937 random(7);
    for (int quality : {40, 70, 80, 92}) {
        SCOPED_TRACE(quality);
        std::uint16_t luminance[64], chrominance[64];
        const std::vector<int> l = LibjpegTable(0, quality), c = LibjpegTable(1, quality);
        for (int i = 0; i < 64; ++i) {
            luminance[i] = static_cast<std::uint16_t>(std::max(1, l[static_cast<std::size_t>(i)] + static_cast<int>(random() % 3) - 1));
            chrominance[i] = static_cast<std::uint16_t>(std::max(1, c[static_cast<std::size_t>(i)] + static_cast<int>(random() % 3) - 1));
        }
        EXPECT_NEAR(EstimateJpegQuality(luminance, chrominance).Quality, quality, QualityTolerance);
        EXPECT_NEAR(EstimateJpegQuality(luminance, nullptr).Quality, quality, QualityTolerance);
    }
    // A flat table (every entry 1) is what quality 100 gives.
    std::uint16_t ones[64];
    std::fill(std::begin(ones), std::end(ones), 1);
    EXPECT_EQ(EstimateJpegQuality(ones, ones).Quality, 100);
}

TEST(JpegCodec, CodingAndMarkersKept)
{
    const std::unique_ptr<TColourAdjuster> adjuster = Shift(40, 0, 10).MakeAdjuster();
    struct TCase {
        const char* Name;
        TMakeOptions Options;
    };
    std::vector<TCase> cases;
    for (int quality : {50, 75, 90, 95}) {
        for (const TSubsampling& s : Subsamplings) {
            for (bool progressive : {false, true}) {
                TMakeOptions o;
                o.Quality = quality;
                o.LumaH = s.H;
                o.LumaV = s.V;
                o.Grey = s.Grey;
                o.Progressive = progressive;
                o.Markers = SiteMarkers();
                cases.push_back({s.Name, o});
            }
        }
    }
    {
        TMakeOptions o;
        o.RestartInterval = 7;
        o.Markers = SiteMarkers();
        cases.push_back({"restart interval", o});
        o.Arithmetic = true;
        cases.push_back({"arithmetic coding", o});
        o.Progressive = true;
        cases.push_back({"arithmetic progressive", o});
        TMakeOptions rgb;
        rgb.Rgb = true;
        rgb.Jfif = false;  // JFIF would say YCbCr
        rgb.LumaH = rgb.LumaV = 1;
        rgb.Markers = SiteMarkers();
        cases.push_back({"RGB with an Adobe marker", rgb});
        TMakeOptions bare;
        bare.Jfif = false;
        cases.push_back({"no markers at all", bare});
        TMakeOptions commentFirst;
        commentFirst.Jfif = false;
        commentFirst.Markers = {{0xFE, "first"}, {0xE0, std::string("JFIF\0\1\2\1\0\x48\0\x48\0\0", 14)}, {0xFE, "second"}};
        cases.push_back({"comment before JFIF", commentFirst});
    }
    const TRgbImage photo = PhotoLike(96, 80, 3);
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + " q" + std::to_string(c.Options.Quality) +
                     (c.Options.Progressive ? " progressive" : " baseline"));
        const std::string before = MakeJpeg(photo, c.Options);
        bool changed = false;
        const std::string after = Convert(before, *adjuster, &changed);
        EXPECT_TRUE(changed);
        // Every APPn and COM segment, byte for byte and in order; libjpeg adds none of its own.
        EXPECT_EQ(AppAndComSegments(after), AppAndComSegments(before));
        const TFrameInfo a = FrameInfo(before), b = FrameInfo(after);
        EXPECT_EQ(b.Sampling, a.Sampling);
        EXPECT_EQ(b.Marker, a.Marker);  // baseline/extended, progressive, arithmetic
        EXPECT_EQ(b.RestartInterval, a.RestartInterval);
        // The tables are libjpeg's for a quality near the one the file was made with.
        bool near = false;
        for (int q = c.Options.Quality - QualityTolerance; q <= c.Options.Quality + QualityTolerance; ++q)
            near = near || b.Tables[static_cast<std::size_t>(b.TableOfComponent[0])] == LibjpegTable(0, std::min(q, 100));
        EXPECT_TRUE(near);
        // And the picture is the converted one, in the colours the file says it holds.
        const TError e = Compare(ExpectedConversion(DecodeJpeg(before), *adjuster), DecodeJpeg(after));
        for (int ch = 0; ch < 3; ++ch) EXPECT_LT(e.Mean[ch], 6.0) << "channel " << ch;
    }
}

TEST(JpegCodec, ConvertedPixelsCloseToTheExactConversion)
{
    // The exact conversion: the original decoded, every pixel through the adjuster. The file
    // written may differ from it by what one more coding at the original's quality and
    // sampling costs: per channel, its mean and 99th-percentile absolute difference stay
    // within 0.05 and 1 of libjpeg coding the exact conversion itself with those settings.
    // A shift of hue or brightness at quality 90 and up also stays under fixed bounds: for
    // photographs a mean under 2 and a 99th percentile of at most 10 (chroma subsampling
    // makes the most of it), for flat logo colours without subsampling under 1 and at most 6.
    const TRgbImage photo = PhotoLike(200, 150, 4);
    const TRgbImage logo = LogoLike(200, 150);
    struct TSetting {
        TConversionSettings Settings;
        bool HueOrBrightness;
    };
    const TSetting settings[] = {{Shift(120, 0, 0), true}, {Shift(0, 0, -60), true}, {Shift(-30, 40, 20), false}};
    for (const TSetting& setting : settings) {
        const std::unique_ptr<TColourAdjuster> adjuster = setting.Settings.MakeAdjuster();
        for (const TRgbImage* image : {&photo, &logo}) {
            for (int quality : {50, 75, 90, 95}) {
                for (const TSubsampling& s : Subsamplings) {
                    SCOPED_TRACE(std::string(image == &photo ? "photo " : "logo ") + s.Name + " q" +
                                 std::to_string(quality) + " hue " + std::to_string(setting.Settings.HueOffset) +
                                 " brightness " + std::to_string(setting.Settings.BrightOffset));
                    TMakeOptions o;
                    o.Quality = quality;
                    o.LumaH = s.H;
                    o.LumaV = s.V;
                    o.Grey = s.Grey;
                    const std::string before = MakeJpeg(*image, o);
                    const TRgbImage expected = ExpectedConversion(DecodeJpeg(before), *adjuster);
                    const TError e = Compare(expected, DecodeJpeg(Convert(before, *adjuster)));
                    o.Grey = false;  // libjpeg codes the exact conversion as it is, in colour
                    const TError reference = Compare(expected, DecodeJpeg(MakeJpeg(expected, o)));
                    const bool fixed = setting.HueOrBrightness && quality >= 90 &&
                                       (image == &photo || s.Grey || s.H * s.V == 1);
                    for (int ch = 0; ch < 3; ++ch) {
                        SCOPED_TRACE("channel " + std::to_string(ch));
                        EXPECT_LE(e.Mean[ch], reference.Mean[ch] + 0.05);
                        EXPECT_LE(e.P99[ch], reference.P99[ch] + 1);
                        if (fixed) {
                            EXPECT_LT(e.Mean[ch], image == &photo ? 2.0 : 1.0);
                            EXPECT_LE(e.P99[ch], image == &photo ? 10 : 6);
                        }
                    }
                }
            }
        }
    }
}

TEST(JpegCodec, GreyscaleStaysGreyUnlessAPairMakesColour)
{
    TMakeOptions o;
    o.Grey = true;
    o.Markers = SiteMarkers();
    const std::string grey = MakeJpeg(Greyed(LogoLike(120, 90)), o);
    int components = 0;

    // Hue and less saturation change no grey: nothing to write.
    bool changed = true;
    Convert(grey, *Shift(90, -50, 0).MakeAdjuster(), &changed);
    EXPECT_FALSE(changed);

    // More saturation gives grey the hue it is shifted to (as in every picture): colour.
    DecodeJpeg(Convert(grey, *Shift(0, 100, 0).MakeAdjuster(), &changed), &components);
    EXPECT_TRUE(changed);
    EXPECT_EQ(components, 3);

    // Brightness keeps grey grey: one component still.
    const std::string brighter = Convert(grey, *Shift(0, 0, 40).MakeAdjuster(), &changed);
    EXPECT_TRUE(changed);
    DecodeJpeg(brighter, &components);
    EXPECT_EQ(components, 1);

    // A pair that turns the page's white red: three components, and the page red.
    const TRgbImage original = DecodeJpeg(grey);
    const std::uint8_t white = original.Rgb[(static_cast<std::size_t>(80) * 120 + 60) * 3];  // a page pixel
    TConversionSettings pair;
    pair.AddPair({white, white, white}, {0xCC, 0x00, 0x00}, false);
    const std::string red = Convert(grey, *pair.MakeAdjuster(), &changed);
    EXPECT_TRUE(changed);
    const TRgbImage decoded = DecodeJpeg(red, &components);
    EXPECT_EQ(components, 3);
    const std::uint8_t* p = &decoded.Rgb[(static_cast<std::size_t>(80) * 120 + 60) * 3];
    EXPECT_NEAR(p[0], 0xCC, 8);
    EXPECT_LE(p[1], 8);
    EXPECT_LE(p[2], 8);
    EXPECT_EQ(AppAndComSegments(red), AppAndComSegments(grey));
    // Full-resolution colour: there is no original sampling for colour to follow.
    EXPECT_EQ(FrameInfo(red).Sampling, (std::vector<std::pair<int, int>>{{1, 1}, {1, 1}, {1, 1}}));
}

TEST(JpegCodec, IdentitySettingsChangeNoPixel)
{
    const std::unique_ptr<TColourAdjuster> identity = TConversionSettings{}.MakeAdjuster();
    for (const TSubsampling& s : Subsamplings) {
        SCOPED_TRACE(s.Name);
        TMakeOptions o;
        o.LumaH = s.H;
        o.LumaV = s.V;
        o.Grey = s.Grey;
        TJpegPicture picture = ReadAll(MakeJpeg(PhotoLike(100, 70, 5), o));
        EXPECT_FALSE(RecolourJpeg(picture, *identity));
    }
}

TEST(JpegCodec, DamagedFilesRaiseTheCodecError)
{
    TMakeOptions o;
    o.Markers = SiteMarkers();
    const std::string good = MakeJpeg(PhotoLike(160, 120, 6), o);
    TMakeOptions p = o;
    p.Progressive = true;
    const std::string progressive = MakeJpeg(PhotoLike(160, 120, 6), p);
    const std::size_t scan = good.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);

    struct TCase {
        const char* Name;
        std::string Bytes;
    };
    std::vector<TCase> cases = {
        {"empty", ""},
        {"SOI only", good.substr(0, 2)},
        {"cut in the markers", good.substr(0, 300)},
        {"cut before the scan", good.substr(0, scan)},
        {"cut in the scan", good.substr(0, scan + (good.size() - scan) / 2)},
        {"cut before EOI", good.substr(0, good.size() - 2)},
        {"progressive cut between scans", progressive.substr(0, progressive.size() * 2 / 3)},
        {"text named .jpg", "<html><body>not a picture</body></html>"},
    };
    std::string garbled = good;
    for (std::size_t i = scan + 400; i < scan + 440; ++i) garbled[i] = static_cast<char>(0xFF);  // markers inside the data
    cases.push_back({"entropy data garbled", garbled});
    std::string badTable = good;
    badTable[badTable.find("\xFF\xC4") + 4] = 0x7F;  // no such Huffman table class/slot
    cases.push_back({"bad Huffman table", badTable});

    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_THROW(ReadAll(c.Bytes), EJpegError);
    }
}

TEST(JpegCodec, CmykAndLargePicturesKnownBeforeDecoding)
{
    const std::string cmyk = MakeCmykJpeg(LogoLike(40, 30));
    // The reader says how large and in which colours before decoding, and decodes no CMYK.
    const TJpegReader reader(cmyk, NoLimit);
    EXPECT_EQ(reader.Width(), 40);
    EXPECT_EQ(reader.Height(), 30);
    EXPECT_EQ(reader.Coding().ColourSpace, TJpegColourSpace::Cmyk);
    EXPECT_THROW(TJpegReader(cmyk, NoLimit).Read(), EJpegError);

    const std::string rgb = MakeJpeg(LogoLike(40, 30), {});
    EXPECT_THROW(TJpegReader(rgb, 40 * 30 - 1), EPictureTooLarge);
    EXPECT_EQ(TJpegReader(rgb, 40 * 30).Read().Width, 40);
}

TEST(JpegCodec, CommentAfterTheLastScanKept)
{
    // Some tools append a comment after the picture data; it comes back with the others,
    // before the picture (a marker segment cannot follow the scans when libjpeg writes).
    TMakeOptions o;
    o.Markers = SiteMarkers();
    std::string file = MakeJpeg(PhotoLike(64, 48, 8), o);
    const std::string tail = "edited with a site builder";
    file.insert(file.size() - 2, std::string("\xFF\xFE", 2) + static_cast<char>(0) +
                                     static_cast<char>(tail.size() + 2) + tail);
    std::vector<TMarker> expected = AppAndComSegments(file);
    expected.push_back({0xFE, tail});
    const std::string after = Convert(file, *Shift(30, 0, 0).MakeAdjuster());
    EXPECT_EQ(AppAndComSegments(after), expected);
}
