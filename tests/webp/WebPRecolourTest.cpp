// The WebP converter alone, on files libwebp makes: lossless pictures exact, lossy ones close
// to the converted picture at their own quality, the other chunks and an animation's
// structure kept, unchanged files left alone, broken files refused.

#include "webp/VP8Header.h"
#include "webp/WebPError.h"
#include "webp/WebPRecolour.h"

#include "WebPTestSupport.h"

#include <gtest/gtest.h>

using namespace webptest;

namespace {

class WebPRecolour : public testing::Test {
protected:
    std::unique_ptr<TColourAdjuster> FAdjuster = SiteSettings().MakeAdjuster();
    std::unique_ptr<TColourAdjuster> FIdentity = TConversionSettings{}.MakeAdjuster();

    std::optional<std::string> Run(const std::string& File, const TColourAdjuster& Adjuster,
                                   std::uint64_t MaxPixels = 100'000'000)
    {
        return RecolourWebP(
            File,
            [&](std::uint8_t* Bits, std::size_t Stride, int Width, int Height) {
                return RecolourBgraPixels(Bits, Stride, Width, Height, Adjuster);
            },
            MaxPixels);
    }
    std::string Convert(const std::string& File)
    {
        const std::optional<std::string> out = Run(File, *FAdjuster);
        if (!out) throw std::runtime_error("the file was left unchanged");
        return *out;
    }
};

// The differences a lossy picture encoded again at its own quality may show, against the
// converted decoded original: the mean (per channel) and the bound 99 % of pixels keep. One
// more generation at 4:2:0 costs photographs like these a mean of about 1.7 at any quality
// and up to 2.6 with soft alpha edges (29 scenes each, measured when these were set), and a
// 99th percentile of 8 to 14; the bounds leave a little room above that. Colours left
// unconverted or a picture encoded far below its quality are tens of levels off.
struct TTolerance {
    int Quality;
    double Mean;
    int P99;
};

constexpr TTolerance Tolerances[] = {{50, 3.0, 16}, {60, 3.0, 14}, {75, 3.0, 13}, {80, 3.0, 13}, {90, 2.5, 10}};

TTolerance ToleranceAt(int Quality)
{
    for (const TTolerance& t : Tolerances)
        if (t.Quality == Quality) return t;
    throw std::logic_error("no tolerance for quality " + std::to_string(Quality));
}

void ExpectClose(const TPicture& Got, const TPicture& Want, const TTolerance& T)
{
    ASSERT_EQ(Got.Width, Want.Width);
    ASSERT_EQ(Got.Height, Want.Height);
    const TError e = Difference(Got, Want);
    for (int c = 0; c < 3; ++c) {
        EXPECT_LE(e.Mean[c], T.Mean) << "channel " << c << " at quality " << T.Quality;
        EXPECT_LE(e.P99[c], T.P99) << "channel " << c << " at quality " << T.Quality;
    }
}

void ExpectSameAlpha(const TPicture& Got, const TPicture& Want)
{
    ASSERT_EQ(Got.Bgra.size(), Want.Bgra.size());
    for (std::size_t i = 3; i < Want.Bgra.size(); i += 4)
        ASSERT_EQ(Got.Bgra[i], Want.Bgra[i]) << "alpha of pixel " << i / 4;
}

TEST_F(WebPRecolour, LosslessLogoComesOutExact)
{
    const TPicture logo = Logo(180, 96);
    const std::string out = Convert(Lossless(logo));
    const TPicture got = Decode(out);
    // Every byte: the converted colours, alpha as it was, the colours under transparent
    // pixels converted and kept.
    EXPECT_EQ(got.Bgra, Converted(logo, *FAdjuster).Bgra);
    // The brand blue turned a third of the way round is a red: a check on the adjuster's side.
    const std::uint8_t* badge = got.At(90, 30);
    EXPECT_GT(badge[2], badge[0]);
    EXPECT_GT(badge[2], badge[1]);
    WebPBitstreamFeatures features;
    ASSERT_EQ(WebPGetFeatures(reinterpret_cast<const std::uint8_t*>(out.data()), out.size(), &features), VP8_STATUS_OK);
    EXPECT_EQ(features.format, 2) << "lossless stays lossless";
    EXPECT_TRUE(features.has_alpha);
}

TEST_F(WebPRecolour, LossyPhotoAtItsOwnQuality)
{
    for (const int quality : {50, 75, 90}) {
        const TTolerance t = ToleranceAt(quality);
        const std::string in = Lossy(Photo(320, 240, 11u + t.Quality), t.Quality);
        const std::string out = Convert(in);
        ExpectClose(Decode(out), Converted(Decode(in), *FAdjuster), t);
        WebPBitstreamFeatures features;
        ASSERT_EQ(WebPGetFeatures(reinterpret_cast<const std::uint8_t*>(out.data()), out.size(), &features), VP8_STATUS_OK);
        EXPECT_EQ(features.format, 1) << "lossy stays lossy";
        EXPECT_FALSE(features.has_alpha);
        const std::optional<int> estimate = EstimateWebPQuality(out);
        ASSERT_TRUE(estimate);
        EXPECT_NEAR(*estimate, t.Quality, 3) << "encoded again at the quality it had";
    }
}

TEST_F(WebPRecolour, LossyWithAlphaKeepsAlphaExact)
{
    const std::string in = Lossy(Photo(240, 160, 5, true), 80);
    ASSERT_NE(in.find("ALPH"), std::string::npos) << "the sample has an alpha plane";
    const std::string out = Convert(in);
    const TPicture before = Decode(in);
    const TPicture after = Decode(out);
    ExpectSameAlpha(after, before);
    ExpectClose(after, Converted(before, *FAdjuster), ToleranceAt(80));
    const WebPData data = Data(out);
    WebPMux* mux = WebPMuxCreate(&data, 0);
    ASSERT_TRUE(mux);
    std::uint32_t flags = 0;
    EXPECT_EQ(WebPMuxGetFeatures(mux, &flags), WEBP_MUX_OK);
    WebPMuxDelete(mux);
    EXPECT_EQ(flags & (ALPHA_FLAG | ANIMATION_FLAG), ALPHA_FLAG);
}

// ICC profile, EXIF and XMP as a camera and an editor write them.
std::vector<std::pair<std::string, std::string>> Metadata()
{
    std::string icc(560, '\0');
    icc.replace(36, 4, "acsp");
    for (std::size_t i = 128; i < icc.size(); ++i) icc[i] = static_cast<char>(i * 31);
    const std::string exif = std::string("MM\0*\0\0\0\x08\0\x01\x01\x0F\0\x02\0\0\0\x06\0\0\0\x1A\0\0\0\0Canon\0", 32);
    const std::string xmp =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description dc:creator=\"Studio Aoi\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"/></rdf:RDF></x:xmpmeta>";
    return {{"ICCP", icc}, {"EXIF", exif}, {"XMP ", xmp}};
}

TEST_F(WebPRecolour, MetadataKeptByteForByte)
{
    const std::vector<std::pair<std::string, std::string>> metadata = Metadata();
    const std::string stills[] = {Lossless(Logo(64, 40)), Lossy(Photo(200, 120, 3), 75), Lossy(Photo(96, 96, 4, true), 75)};
    for (const std::string& image : stills) {
        const std::string in = WithChunks(image, metadata);
        const std::string out = Convert(in);
        for (const auto& [fourcc, payload] : metadata) EXPECT_EQ(Chunk(out, fourcc.c_str()), payload) << fourcc;
        // The flags VP8X states match the chunks the file holds.
        ASSERT_GE(out.size(), 30u);
        ASSERT_EQ(out.substr(12, 4), "VP8X");
        const auto flags = static_cast<std::uint8_t>(out[20]);
        const bool alpha = in.find("ALPH") != std::string::npos || &image == &stills[0];
        EXPECT_EQ(flags, ICCP_FLAG | EXIF_FLAG | XMP_FLAG | (alpha ? ALPHA_FLAG : 0));
    }
}

TEST_F(WebPRecolour, UnknownChunksAndTrailingBytesKept)
{
    const std::string in = WithChunks(Lossless(Logo(48, 32)), {{"ANNO", "made for the spring sale"}}) + std::string("\0\0pad", 5);
    const std::string out = Convert(in);
    ASSERT_GT(out.size(), 5u);
    EXPECT_EQ(out.substr(out.size() - 5), std::string("\0\0pad", 5));
    const std::string riff = out.substr(0, out.size() - 5);
    EXPECT_EQ(Chunk(riff, "ANNO"), "made for the spring sale");
    EXPECT_EQ(Decode(riff).Bgra, Converted(Logo(48, 32), *FAdjuster).Bgra);
}

// A banner animation: a lossy photograph as the ground, a lossless badge sliding over it,
// a lossy frame with alpha, and a lossless one that clears to the background.
std::vector<TFrameSpec> BannerFrames()
{
    return {
        {Lossy(Photo(200, 100, 21), 75), 0, 0, 400, WEBP_MUX_DISPOSE_NONE, WEBP_MUX_NO_BLEND, 75},
        {Lossless(Logo(60, 40)), 20, 30, 80, WEBP_MUX_DISPOSE_NONE, WEBP_MUX_BLEND},
        {Lossy(Photo(80, 50, 22, true), 60), 100, 40, 120, WEBP_MUX_DISPOSE_BACKGROUND, WEBP_MUX_BLEND, 60},
        {Lossless(Logo(50, 30)), 140, 64, 1500, WEBP_MUX_DISPOSE_BACKGROUND, WEBP_MUX_NO_BLEND},
    };
}

TEST_F(WebPRecolour, AnimationFramesConvertedStructureKept)
{
    const std::vector<TFrameSpec> frames = BannerFrames();
    for (const int loops : {0, 3}) {
        const std::uint32_t background = 0x3366CCFFu;  // blue, green, red, alpha from the top byte down
        const std::string in = Animation(200, 100, frames, loops, background);
        const std::string out = Convert(in);
        const TStoredAnimation before = ReadAnimation(in);
        const TStoredAnimation after = ReadAnimation(out);
        EXPECT_EQ(after.Width, 200);
        EXPECT_EQ(after.Height, 100);
        EXPECT_EQ(after.Loops, loops);
        EXPECT_EQ(after.Flags, before.Flags);
        EXPECT_TRUE(after.Flags & ANIMATION_FLAG);
        // The background is a colour of the picture (#CC6633 here): converted like a pixel.
        TPicture bg = Blank(1, 1);
        Set(bg, 0, 0, 0xCC, 0x66, 0x33, 0xFF);
        bg = Converted(bg, *FAdjuster);
        const std::uint32_t want = std::uint32_t{bg.Bgra[0]} << 24 | std::uint32_t{bg.Bgra[1]} << 16 |
                                   std::uint32_t{bg.Bgra[2]} << 8 | 0xFFu;
        EXPECT_EQ(after.Background, want);
        ASSERT_EQ(after.Frames.size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const TStoredFrame& a = after.Frames[i];
            const TStoredFrame& b = before.Frames[i];
            SCOPED_TRACE("frame " + std::to_string(i));
            EXPECT_EQ(a.X, frames[i].X);
            EXPECT_EQ(a.Y, frames[i].Y);
            EXPECT_EQ(a.Duration, frames[i].Duration);
            EXPECT_EQ(a.Dispose, frames[i].Dispose);
            EXPECT_EQ(a.Blend, frames[i].Blend);
            EXPECT_EQ(a.Lossless, b.Lossless);
            const TPicture want = Converted(b.Pixels, *FAdjuster);
            if (b.Lossless) {
                EXPECT_EQ(a.Pixels.Bgra, want.Bgra);
            } else {
                ExpectSameAlpha(a.Pixels, b.Pixels);
                ExpectClose(a.Pixels, want, ToleranceAt(frames[i].Quality));
                const std::optional<int> qa = EstimateWebPQuality(a.Bitstream);
                const std::optional<int> qb = EstimateWebPQuality(b.Bitstream);
                ASSERT_TRUE(qa && qb);
                EXPECT_NEAR(*qa, *qb, 3);
            }
        }
        // libwebp's own animation decoder reads the result through to the end.
        WebPAnimDecoderOptions options;
        WebPAnimDecoderOptionsInit(&options);
        const WebPData data = Data(out);
        WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
        ASSERT_TRUE(decoder);
        int shown = 0;
        while (WebPAnimDecoderHasMoreFrames(decoder)) {
            std::uint8_t* canvas = nullptr;
            int timestamp = 0;
            ASSERT_TRUE(WebPAnimDecoderGetNext(decoder, &canvas, &timestamp));
            ++shown;
        }
        WebPAnimDecoderDelete(decoder);
        EXPECT_EQ(shown, static_cast<int>(frames.size()));
    }
}

TEST_F(WebPRecolour, AnimationFrameThatStaysKeepsItsBitstream)
{
    // A grey frame: turning the hue changes no grey, so its bitstream is kept as it was.
    TPicture grey = Blank(40, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) Set(grey, x, y, 40 + 4 * x, 40 + 4 * x, 40 + 4 * x, 255);
    std::vector<TFrameSpec> frames = BannerFrames();
    frames[1].Bitstream = Lossless(grey);
    const std::string in = Animation(200, 100, frames, 0, 0xFFFFFFFFu);
    TConversionSettings hue;
    hue.HueOffset = 90;
    const auto adjuster = hue.MakeAdjuster();
    const std::optional<std::string> out = Run(in, *adjuster);
    ASSERT_TRUE(out);
    EXPECT_EQ(ReadAnimation(*out).Frames[1].Bitstream, ReadAnimation(in).Frames[1].Bitstream);
    EXPECT_NE(ReadAnimation(*out).Frames[0].Bitstream, ReadAnimation(in).Frames[0].Bitstream);
}

TEST_F(WebPRecolour, IdentityLeavesEveryKindUnchanged)
{
    const std::string files[] = {
        Lossless(Logo(64, 40)),
        Lossy(Photo(160, 120, 8), 50),
        Lossy(Photo(96, 64, 9, true), 90),
        WithChunks(Lossy(Photo(64, 64, 10), 75), Metadata()),
        Animation(200, 100, BannerFrames(), 3, 0x3366CCFFu),
    };
    for (const std::string& f : files) EXPECT_FALSE(Run(f, *FIdentity));
    // Grey pictures under a hue turn: nothing changes either.
    TPicture grey = Blank(32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) Set(grey, x, y, 8 * x, 8 * x, 8 * x, 255 - y);
    TConversionSettings hue;
    hue.HueOffset = -45;
    EXPECT_FALSE(Run(Lossless(grey), *hue.MakeAdjuster()));
}

TEST_F(WebPRecolour, BrokenFilesRefused)
{
    const std::string lossless = Lossless(Logo(64, 40));
    const std::string lossy = Lossy(Photo(160, 120, 12), 75);
    const std::string animation = Animation(200, 100, BannerFrames(), 0, 0xFFFFFFFFu);
    struct TCase {
        const char* Name;
        std::string Bytes;
    };
    std::vector<TCase> cases = {
        {"empty", ""},
        {"RIFF header alone", lossless.substr(0, 12)},
        {"not WebP", "RIFF\x10\0\0\0WAVEfmt \x04\0\0\0abcd"},
    };
    for (const std::string* f : {&lossless, &lossy, &animation})
        for (const double cut : {0.1, 0.5, 0.9}) {
            cases.push_back({"truncated", f->substr(0, static_cast<std::size_t>(f->size() * cut))});
        }
    // Pictures damaged inside a well-formed container: no key frame, a chunk longer than the file.
    std::string damaged = lossy;
    ASSERT_EQ(damaged.substr(23, 3), "\x9D\x01\x2A");
    damaged[24] = 0x02;
    cases.push_back({"VP8 start code", damaged});
    std::string overlong = lossless;
    overlong[17] = 0x7F;
    cases.push_back({"chunk longer than the file", overlong});
    std::string badFrame = animation;
    const std::size_t vp8l = badFrame.find("VP8L");
    ASSERT_NE(vp8l, std::string::npos);
    badFrame[vp8l + 8] = 0x00;  // the lossless signature of the second frame
    cases.push_back({"a frame that fails", badFrame});
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_THROW(Run(c.Bytes, *FAdjuster), EInvalidGraphic);
    }
}

TEST_F(WebPRecolour, PictureBeyondTheLimitRefused)
{
    const std::string file = Lossless(Logo(100, 50));
    EXPECT_THROW(Run(file, *FAdjuster, 4999), EPictureTooLarge);
    EXPECT_TRUE(Run(file, *FAdjuster, 5000));
}

}  // namespace
