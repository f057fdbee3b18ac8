// The lossy frame header read for its quantiser, the quality estimated from it, and the size
// a WebP file declares before it is decoded.

#include "batch/PictureSize.h"
#include "webp/VP8Header.h"

#include "WebPTestSupport.h"

#include <gtest/gtest.h>

using namespace webptest;

namespace {

// A busy, even texture (a knitted pattern photographed close up): its flattest blocks are
// close to its average, which the quantiser does not tell apart from a higher quality.
TPicture Texture(int Width, int Height, unsigned Seed)
{
    TPicture p = Blank(Width, Height);
    std::mt19937 rng(Seed);
    std::normal_distribution<double> noise(0, 25);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const auto c = [&](double v) { return static_cast<int>(std::clamp(v + noise(rng), 0.0, 255.0)); };
            Set(p, x, y, c(128 + 60 * std::sin(x * 0.21) * std::cos(y * 0.13)), c(120 + 50 * std::sin((x + y) * 0.09)),
                c(110 + 70 * std::cos(x * 0.05 - y * 0.17)), 255);
        }
    return p;
}

TEST(VP8Header, QualityOfFreshPhotosWithinThree)
{
    struct TCase {
        int Width, Height;
        unsigned Seed;
    };
    const TCase photos[] = {{320, 240, 101}, {640, 360, 102}, {150, 200, 103}, {800, 120, 104}};
    for (const TCase& p : photos) {
        const TPicture photo = Photo(p.Width, p.Height, p.Seed);
        for (const int quality : {0, 5, 20, 35, 50, 62, 75, 80, 87, 90, 95, 100}) {
            const std::string file = Lossy(photo, quality);
            const std::optional<int> estimate = EstimateWebPQuality(file);
            ASSERT_TRUE(estimate) << p.Width << "x" << p.Height;
            EXPECT_NEAR(*estimate, quality, 3) << p.Width << "x" << p.Height << " seed " << p.Seed;
        }
    }
}

TEST(VP8Header, QualityOfBusyTexturesNeverUnderestimated)
{
    for (const unsigned seed : {1u, 2u}) {
        const TPicture texture = Texture(320, 240, seed);
        for (const int quality : {10, 30, 50, 70, 90}) {
            const std::optional<int> estimate = EstimateWebPQuality(Lossy(texture, quality));
            ASSERT_TRUE(estimate);
            EXPECT_GE(*estimate, quality - 3) << "seed " << seed;
        }
    }
}

TEST(VP8Header, SizeAndQuantiserAsLibwebpReadsThem)
{
    const std::string files[] = {Lossy(Photo(333, 77, 5), 75), Lossy(Photo(64, 48, 6, true), 40)};
    for (const std::string& file : files) {
        const std::string_view payload = FindVP8Payload(file);
        ASSERT_FALSE(payload.empty());
        const std::optional<TVP8Header> header = ReadVP8Header(payload);
        ASSERT_TRUE(header);
        int width = 0, height = 0;
        ASSERT_TRUE(WebPGetInfo(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(), &width, &height));
        EXPECT_EQ(header->Width, width);
        EXPECT_EQ(header->Height, height);
        EXPECT_EQ(header->Segments, 4) << "libwebp's default";
        EXPECT_TRUE(header->AbsoluteSegmentQuant);
        EXPECT_EQ(header->SegmentQuant[0], header->BaseQuant) << "the base is the first segment's";
    }
}

TEST(VP8Header, UntrustedBytesRefusedNotOverread)
{
    const std::string file = Lossy(Photo(200, 150, 7), 60);
    const std::string payload(FindVP8Payload(file));
    ASSERT_TRUE(ReadVP8Header(payload));
    // Cut before its first partition, the header is refused; cut inside it, the reader reads
    // its padding at most (the sanitizer build sees any read past the copies of the cut bytes)
    // and gives the width and height, or nothing.
    for (std::size_t n = 0; n < 11; ++n) EXPECT_FALSE(ReadVP8Header(payload.substr(0, n))) << n;
    for (std::size_t n = 11; n < 64 && n < payload.size(); ++n) {
        const std::string cut = payload.substr(0, n);
        const std::optional<TVP8Header> header = ReadVP8Header(cut);
        if (header) {
            EXPECT_EQ(header->Width, 200) << n;
        }
    }
    std::string inter = payload;
    inter[0] = static_cast<char>(inter[0] | 1);  // an inter frame: no key frame header
    EXPECT_FALSE(ReadVP8Header(inter));
    std::string startCode = payload;
    startCode[3] = 0;
    EXPECT_FALSE(ReadVP8Header(startCode));
    // A lossless file has no VP8 chunk, and so no quality.
    const std::string lossless = Lossless(Logo(40, 30));
    EXPECT_TRUE(FindVP8Payload(lossless).empty());
    EXPECT_FALSE(EstimateWebPQuality(lossless));
    // A chunk size beyond the file is cut at the file's end.
    std::string overlong = file;
    overlong[16] = '\xFF', overlong[17] = '\xFF', overlong[18] = '\xFF';
    EXPECT_EQ(FindVP8Payload(overlong).size(), file.size() - 20);
}

TEST(VP8Header, DeclaredSizeFromEachKindOfHeader)
{
    struct TCase {
        const char* Name;
        std::string File;
        std::uint64_t Pixels;
        std::uint64_t PerPixel;  // lossy pictures need less beside them than lossless ones
    };
    const TCase cases[] = {
        {"lossy", Lossy(Photo(321, 123, 1), 70), 321u * 123, 12},
        {"lossless", Lossless(Logo(77, 55)), 77u * 55, 40},
        {"lossy with alpha (VP8X)", Lossy(Photo(90, 60, 2, true), 70), 90u * 60, 40},
        {"animation canvas", Animation(250, 140, {{Lossless(Logo(40, 30)), 10, 20}}, 0, 0), 250u * 140, 40},
    };
    for (const TCase& c : cases) {
        const std::optional<TDeclaredPicture> declared = DeclaredWebPPicture(c.File);
        ASSERT_TRUE(declared) << c.Name;
        EXPECT_EQ(declared->Pixels, c.Pixels) << c.Name;
        EXPECT_EQ(declared->Bytes, c.Pixels * c.PerPixel + 3 * c.File.size()) << c.Name;
    }
    // A canvas of 2^24 x 2^24: counted in full, its one picture at most what libwebp decodes.
    std::string huge = cases[2].File;
    ASSERT_EQ(huge.substr(12, 4), "VP8X");
    huge.replace(24, 6, std::string(6, '\xFF'));
    const std::optional<TDeclaredPicture> declared = DeclaredWebPPicture(huge);
    ASSERT_TRUE(declared);
    EXPECT_EQ(declared->Pixels, (std::uint64_t{1} << 48));
    EXPECT_EQ(declared->Bytes, std::uint64_t{16383} * 16383 * 40 + 3 * huge.size());
    // No header to read.
    for (const std::string& bad : {std::string(), std::string("RIFF\0\0\0\0WEBP", 12), cases[0].File.substr(0, 29),
                                   std::string("RIFF\x20\0\0\0WEBPVP8L\x10\0\0\0\x2E") + std::string(16, '\0')})
        EXPECT_FALSE(DeclaredWebPPicture(bad)) << testing::PrintToString(bad);
}

}  // namespace
