#include "colour/ColourAdjuster.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

TRGBColor Rgb(int r, int g, int b) { return {r, g, b}; }

TColourAdjuster Offsets(int h, int s, int b) { return TColourAdjuster(h, s, b, {}, {}, {}); }

TEST(Adjuster, ZeroSettingsLeaveEveryColourAlone)
{
    const TColourAdjuster none = Offsets(0, 0, 0);
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; ++b)
                ASSERT_EQ(none.Convert(Rgb(r, g, b)), Rgb(r, g, b));
}

TEST(Adjuster, OffsetsShiftHueSaturationAndBrightness)
{
    EXPECT_EQ(Offsets(120, 0, 0).Convert(Rgb(255, 0, 0)), Rgb(0, 255, 0));
    EXPECT_EQ(Offsets(180, 0, 0).Convert(Rgb(0, 0, 255)), Rgb(255, 255, 0));
    EXPECT_EQ(Offsets(-180, 0, 0).Convert(Rgb(0, 0, 255)), Rgb(255, 255, 0));
    EXPECT_EQ(Offsets(0, 0, -55).Convert(Rgb(255, 0, 0)), Rgb(200, 0, 0));
    EXPECT_EQ(Offsets(0, 0, -55).Convert(Rgb(255, 255, 255)), Rgb(200, 200, 200));
    EXPECT_EQ(Offsets(0, 0, 100).Convert(Rgb(0, 0, 0)), Rgb(100, 100, 100));
    EXPECT_EQ(Offsets(0, -50, 0).Convert(Rgb(255, 0, 0)), Rgb(255, 128, 128));
    // Greys have hue 0: more saturation tints them red.
    EXPECT_EQ(Offsets(0, 50, 0).Convert(Rgb(128, 128, 128)), Rgb(128, 64, 64));
    EXPECT_EQ(Offsets(0, 100, 0).Convert(Rgb(128, 128, 128)), Rgb(128, 0, 0));
    EXPECT_EQ(Offsets(0, 100, 0).Convert(Rgb(200, 100, 50)), Rgb(200, 0, 0));
}

TEST(Adjuster, SpecificPairsFirstMatchWinsAndDoNotChain)
{
    const std::vector<TRGBColor> before{Rgb(10, 20, 30), Rgb(10, 20, 30), Rgb(1, 2, 3)};
    const std::vector<TRGBColor> after{Rgb(1, 2, 3), Rgb(4, 5, 6), Rgb(9, 9, 9)};
    const bool flags[] = {false, true, false};
    const TColourAdjuster adj(120, 0, 0, before, after, flags);
    EXPECT_EQ(adj.Convert(Rgb(10, 20, 30)), Rgb(1, 2, 3));  // not chained on to (9, 9, 9)
    EXPECT_EQ(adj.Convert(Rgb(1, 2, 3)), Rgb(9, 9, 9));

    const std::vector<TRGBColor> b1{Rgb(10, 20, 30)};
    const std::vector<TRGBColor> a1{Rgb(255, 0, 0)};
    const bool shifted[] = {true};
    const bool exact[] = {false};
    EXPECT_EQ(TColourAdjuster(120, 0, 0, b1, a1, shifted).Convert(Rgb(10, 20, 30)), Rgb(0, 255, 0));
    EXPECT_EQ(TColourAdjuster(120, 0, 0, b1, a1, exact).Convert(Rgb(10, 20, 30)), Rgb(255, 0, 0));
    EXPECT_EQ(TColourAdjuster(120, 0, 0, b1, a1, exact).Convert(Rgb(255, 0, 0)), Rgb(0, 255, 0));
}

TEST(Adjuster, TakesTheFirstNPairsAndRefusesShortArrays)
{
    const std::vector<TRGBColor> before{Rgb(1, 1, 1), Rgb(2, 2, 2)};
    const std::vector<TRGBColor> after{Rgb(7, 7, 7), Rgb(8, 8, 8)};
    const bool one[] = {false};
    const TColourAdjuster adj(0, 0, 0, before, after, one);
    EXPECT_EQ(adj.PairCount(), 1u);
    EXPECT_EQ(adj.Convert(Rgb(1, 1, 1)), Rgb(7, 7, 7));
    EXPECT_EQ(adj.Convert(Rgb(2, 2, 2)), Rgb(2, 2, 2));  // the second pair was not copied

    const bool three[] = {false, false, false};
    EXPECT_THROW(TColourAdjuster(0, 0, 0, before, after, three), std::invalid_argument);
}

} // namespace
