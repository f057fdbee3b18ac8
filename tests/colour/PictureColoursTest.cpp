#include "colour/PictureColours.h"

#include "colour/ColourAdjuster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// A picture of Width x Height 32-bit pixels with Padding spare bytes after each row, colours
// drawn from a small set (so the memo is hit) mixed with random ones (so it is missed and
// overwritten), and the fourth byte of each pixel set to a marker.
struct TPicture {
    int Width, Height;
    std::size_t Stride;
    std::vector<std::uint8_t> Bits;
};

TPicture MakePicture(int Width, int Height, std::size_t Padding, std::uint8_t Fourth)
{
    TPicture p{Width, Height, std::size_t(Width) * 4 + Padding, {}};
    p.Bits.assign(p.Stride * std::size_t(Height), 0xA5);
    std::mt19937 random(7);
    const std::uint8_t common[][3] = {{255, 253, 245}, {0, 0, 0}, {1, 2, 3}, {51, 102, 153}};
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            std::uint8_t* px = &p.Bits[std::size_t(y) * p.Stride + std::size_t(x) * 4];
            if (random() % 3 == 0) {
                px[0] = std::uint8_t(random()), px[1] = std::uint8_t(random()), px[2] = std::uint8_t(random());
            } else {
                const auto& c = common[random() % 4];
                px[0] = c[2], px[1] = c[1], px[2] = c[0];
            }
            px[3] = Fourth;
        }
    return p;
}

}  // namespace

TEST(PictureColours, EveryPixelAsAloneWhateverTheBandsAndPaddingKept)
{
    const TColourAdjuster adjuster(120, 30, -20, {}, {}, {});
    for (const TTransparencyRule rule : {TTransparencyRule{}, TTransparencyRule{true, {1, 2, 3}}}) {
        const TPicture original = MakePicture(97, 61, 12, 0x5C);
        for (int bands : {1, 2, 5, 200}) {
            TPicture p = original;
            ConvertPictureColours(p.Bits.data(), p.Stride, p.Width, p.Height, adjuster, rule, bands);
            for (int y = 0; y < p.Height; ++y) {
                for (int x = 0; x < p.Width; ++x) {
                    const std::size_t at = std::size_t(y) * p.Stride + std::size_t(x) * 4;
                    const TRGBColor in{original.Bits[at + 2], original.Bits[at + 1], original.Bits[at]};
                    const TRGBColor expected = ConvertPictureColour(adjuster, rule, in);
                    ASSERT_EQ((TRGBColor{p.Bits[at + 2], p.Bits[at + 1], p.Bits[at]}), expected)
                        << "pixel " << x << "," << y << " bands " << bands;
                    ASSERT_EQ(p.Bits[at + 3], 0x5C);
                }
                for (std::size_t pad = std::size_t(p.Width) * 4; pad < p.Stride; ++pad)
                    ASSERT_EQ(p.Bits[std::size_t(y) * p.Stride + pad], 0xA5) << "padding of row " << y;
            }
        }
    }
}

TEST(PictureColours, TransparencyRuleKeepsItsColourAndNothingElseBecomesIt)
{
    const TColourAdjuster darken(0, 0, -255, {}, {}, {});
    const TTransparencyRule rule{true, {1, 2, 3}};
    EXPECT_EQ(ConvertPictureColour(darken, rule, {1, 2, 3}), (TRGBColor{1, 2, 3}));
    EXPECT_EQ(ConvertPictureColour(darken, rule, {200, 100, 50}), (TRGBColor{5, 5, 5}));
    EXPECT_EQ(ConvertPictureColour(darken, {}, {200, 100, 50}), (TRGBColor{0, 0, 0}));
}

TEST(PictureColours, EmptyPicturesAndSmallPicturesOneBand)
{
    const TColourAdjuster adjuster(10, 0, 0, {}, {}, {});
    ConvertPictureColours(nullptr, 0, 0, 0, adjuster, {}, 4);
    EXPECT_EQ(PictureBands(16), 1);
    EXPECT_GE(PictureBands(4096 * 4096), 1);
}
