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

namespace {

// Colours spread over the whole cube: a step through the 16,777,216 values that is prime to it
// visits each of the Count colours once, in no order that lines up with the hue sectors.
std::vector<TRGBColor> SpreadColours(std::size_t Count)
{
    std::vector<TRGBColor> colours;
    colours.reserve(Count);
    std::uint32_t v = 12345;
    for (std::size_t i = 0; i < Count; ++i) {
        v = (v + 2654435761u) & 0xFFFFFFu;
        colours.push_back(Rgb(static_cast<int>(v >> 16), static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)));
    }
    return colours;
}

}  // namespace

// The quick double arithmetic answers for most colours and must give the extended
// arithmetic's channels every time, the .5 ties (where plain doubles round the other way)
// above all: every grey and every colour of the cube at one setting, and spread colours at
// settings that reach the ends of every range.
TEST(Adjuster, TheQuickWayGivesTheExactChannelsForEveryColour)
{
    const TColourAdjuster hue = Offsets(120, 0, 0);
    for (std::uint32_t v = 0; v < 0x1000000u; ++v) {
        const TRGBColor c = Rgb(static_cast<int>(v >> 16), static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF));
        ASSERT_EQ(hue.Convert(c), hue.ConvertExactly(c)) << c.R << "," << c.G << "," << c.B;
    }
    const int settings[][3] = {{-45, 25, -10}, {30, 0, 0},     {-180, 0, 0},  {180, 255, 255}, {7, -255, 40},
                               {0, 100, 0},    {0, -50, 0},    {0, 0, -55},   {90, 60, -200},  {-120, -30, 20},
                               {1, 1, 1},      {-1, -1, -1},   {59, 17, 3},   {0, 0, 255},     {150, 200, -255}};
    const std::vector<TRGBColor> colours = SpreadColours(400000);
    for (const auto& s : settings) {
        const TColourAdjuster adjuster = Offsets(s[0], s[1], s[2]);
        for (const TRGBColor& c : colours)
            ASSERT_EQ(adjuster.Convert(c), adjuster.ConvertExactly(c))
                << s[0] << " " << s[1] << " " << s[2] << ": " << c.R << "," << c.G << "," << c.B;
        for (int grey = 0; grey < 256; ++grey)
            ASSERT_EQ(adjuster.Convert(Rgb(grey, grey, grey)), adjuster.ConvertExactly(Rgb(grey, grey, grey)));
    }
}
