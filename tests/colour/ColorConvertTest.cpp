#include "colour/ColorConvert.h"

#include <gtest/gtest.h>

namespace {

TRGBColor Rgb(int r, int g, int b) { return {r, g, b}; }

TEST(RGBtoHSB, GreysBlackAndTheWorkedExamples)
{
    THSBColor grey = TColorConvert::RGBtoHSB(128, 128, 128);
    EXPECT_EQ(grey.H, 0.0);
    EXPECT_EQ(grey.S, 0.0);
    EXPECT_EQ(grey.B, 128.0);

    THSBColor black = TColorConvert::RGBtoHSB(0, 0, 0);
    EXPECT_EQ(black.H, 0.0);
    EXPECT_EQ(black.S, 0.0);
    EXPECT_EQ(black.B, 0.0);

    THSBColor orange = TColorConvert::RGBtoHSB(200, 100, 50);
    EXPECT_EQ(orange.H, 20.0);
    EXPECT_EQ(orange.S, 75.0);
    EXPECT_EQ(orange.B, 200.0);

    THSBColor azure = TColorConvert::RGBtoHSB(0, 128, 255);
    EXPECT_EQ(azure.H, 209.88235294117646);
    EXPECT_EQ(azure.S, 100.0);
    EXPECT_EQ(azure.B, 255.0);

    // A shared maximum takes the green branch first.
    EXPECT_EQ(TColorConvert::RGBtoHSB(255, 255, 0).H, 60.0);
    EXPECT_EQ(TColorConvert::RGBtoHSB(255, 0, 255).H, 300.0);
}

TEST(RGBtoHSB, RedBranchStoresTheNegativeHueBeforeAdding360)
{
    // (255, 0, 1): (G - B) / delta * 60 = -60/255 is rounded to a double, then 360 is added
    // and the sum rounded again. Evaluated as one extended expression the result differs in
    // the last bit.
    const double stored = static_cast<double>(static_cast<long double>(-1) / 255 * 60);
    const double expected = static_cast<double>(static_cast<long double>(stored) + 360);
    EXPECT_EQ(TColorConvert::RGBtoHSB(255, 0, 1).H, expected);
    // Find a colour where the two readings disagree, to show the test has teeth.
    bool differs = false;
    for (int b = 1; b < 255 && !differs; ++b) {
        for (int max = b + 1; max < 256 && !differs; ++max) {
            const double s = static_cast<double>(static_cast<long double>(0 - b) / max * 60);
            const double two = static_cast<double>(static_cast<long double>(s) + 360);
            const double one = static_cast<double>(static_cast<long double>(0 - b) / max * 60 + 360);
            if (two != one) {
                differs = true;
                EXPECT_EQ(TColorConvert::RGBtoHSB(max, 0, b).H, two);
            }
        }
    }
    EXPECT_TRUE(differs);
}

TEST(HSBtoRGB, SectorsAndTiesToEven)
{
    EXPECT_EQ(TColorConvert::HSBtoRGB(0, 50, 128), Rgb(128, 64, 64));
    EXPECT_EQ(TColorConvert::HSBtoRGB(120, 100, 255), Rgb(0, 255, 0));
    EXPECT_EQ(TColorConvert::HSBtoRGB(330, 100, 255), Rgb(255, 0, 128));  // 127.5 -> 128
    EXPECT_EQ(TColorConvert::HSBtoRGB(30, 100, 153), Rgb(153, 76, 0));    // 76.5 -> 76
    EXPECT_EQ(TColorConvert::HSBtoRGB(0, 50, 255), Rgb(255, 128, 128));   // Lo = 127.5
    for (double h : {0.0, 45.0, 200.0, 359.0})
        for (double s : {0.0, 50.0, 100.0})
            EXPECT_EQ(TColorConvert::HSBtoRGB(h, s, 0), Rgb(0, 0, 0));
}

TEST(HSBtoRGB, HueWrapsOnceAndRangesAreClamped)
{
    EXPECT_EQ(TColorConvert::HSBtoRGB(-30, 100, 255), TColorConvert::HSBtoRGB(330, 100, 255));
    EXPECT_EQ(TColorConvert::HSBtoRGB(400, 80, 200), TColorConvert::HSBtoRGB(40, 80, 200));
    EXPECT_EQ(TColorConvert::HSBtoRGB(720, 100, 255), TColorConvert::HSBtoRGB(0, 100, 255));
    EXPECT_EQ(TColorConvert::HSBtoRGB(360, 100, 255), Rgb(255, 0, 0));
    // Wrapped once only: -400 becomes -40, which is not brought into range again and falls
    // into the first sector.
    EXPECT_EQ(TColorConvert::HSBtoRGB(-400, 100, 255), TColorConvert::HSBtoRGB(0, 100, 255));

    // Oversaturation: Lo = -150, D = 350, G = -33 and B = -150 both clamp to 0.
    EXPECT_EQ(TColorConvert::HSBtoRGB(20, 175, 200), Rgb(200, 0, 0));
    EXPECT_EQ(TColorConvert::HSBtoRGB(77, -40, 90), Rgb(90, 90, 90));
    EXPECT_EQ(TColorConvert::HSBtoRGB(0, 0, 300), Rgb(255, 255, 255));
    EXPECT_EQ(TColorConvert::HSBtoRGB(0, 0, -10), Rgb(0, 0, 0));

    EXPECT_EQ(TColorConvert::ClampChannel(-1), 0);
    EXPECT_EQ(TColorConvert::ClampChannel(256), 255);
    EXPECT_EQ(TColorConvert::ClampChannel(17), 17);
    EXPECT_EQ(TColorConvert::ClampLevel(-0.5), 0.0);
    EXPECT_EQ(TColorConvert::ClampLevel(255.5), 255.0);
    EXPECT_EQ(TColorConvert::ClampLevel(12.25), 12.25);
}

TEST(HSBtoRGB, RoundTripsEveryColour)
{
    long failures = 0;
    TRGBColor first{};
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const THSBColor hsb = TColorConvert::RGBtoHSB(r, g, b);
                const TRGBColor back = TColorConvert::HSBtoRGB(hsb.H, hsb.S, hsb.B);
                if (back != Rgb(r, g, b) && failures++ == 0) first = Rgb(r, g, b);
            }
    EXPECT_EQ(failures, 0) << "first failing colour " << first.R << "," << first.G << "," << first.B;
}

} // namespace
