// Adjuster conversions per second for random colours under three kinds of settings.
#include "colour/ColorConvert.h"
#include "colour/ConversionSettings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {

double ConversionsPerSecond(const TColourAdjuster& adjuster, const std::vector<TRGBColor>& colours,
                            bool Exactly = false)
{
    using Clock = std::chrono::steady_clock;
    std::uint64_t sink = 0;
    int rounds = 0;
    const auto start = Clock::now();
    auto now = start;
    do {
        for (const TRGBColor& c : colours) {
            const TRGBColor out = Exactly ? adjuster.ConvertExactly(c) : adjuster.Convert(c);
            sink += static_cast<std::uint64_t>(out.R + out.G + out.B);
        }
        ++rounds;
        now = Clock::now();
    } while (now - start < std::chrono::milliseconds(500));
    const double seconds = std::chrono::duration<double>(now - start).count();
    if (sink == 42) std::puts("");  // keeps the loop from being optimised away
    return static_cast<double>(colours.size()) * rounds / seconds;
}

// The share of Colours whose shifted channels the double arithmetic settles on its own.
double QuickShare(const TConversionSettings& Settings, const std::vector<TRGBColor>& Colours)
{
    std::size_t quick = 0;
    TRGBColor out;
    for (const TRGBColor& c : Colours)
        quick += TColorConvert::ShiftQuickly(c.R, c.G, c.B, Settings.HueOffset, Settings.SatOffset,
                                             Settings.BrightOffset, out);
    return static_cast<double>(quick) / static_cast<double>(Colours.size());
}

} // namespace

int main()
{
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> channel(0, 255);
    std::vector<TRGBColor> colours(1 << 20);
    for (TRGBColor& c : colours) c = {channel(random), channel(random), channel(random)};

    TConversionSettings zero;
    TConversionSettings typical;
    typical.HueOffset = 120;
    typical.SatOffset = -30;
    typical.BrightOffset = 20;
    TConversionSettings pairs = typical;
    for (int i = 0; i < 50; ++i)
        pairs.AddPair({channel(random), channel(random), channel(random)},
                      {channel(random), channel(random), channel(random)}, i % 2 == 0);

    std::printf("adjuster, random colours (million conversions per second)\n");
    std::printf("  zero settings           %8.2f\n", ConversionsPerSecond(*zero.MakeAdjuster(), colours) / 1e6);
    std::printf("  hue 120, sat -30, br 20 %8.2f\n", ConversionsPerSecond(*typical.MakeAdjuster(), colours) / 1e6);
    std::printf("  the same with 50 pairs  %8.2f\n", ConversionsPerSecond(*pairs.MakeAdjuster(), colours) / 1e6);
    // Best of five, taking turns: the machine's speed drifts more than the two ways differ.
    double quick = 0, exact = 0;
    for (int round = 0; round < 5; ++round) {
        quick = std::max(quick, ConversionsPerSecond(*typical.MakeAdjuster(), colours));
        exact = std::max(exact, ConversionsPerSecond(*typical.MakeAdjuster(), colours, true));
    }
    std::printf("hue 120, sat -30, br 20, best of five (million conversions per second)\n");
    std::printf("  double arithmetic first %8.2f  (settles %.2f%% of the colours)\n", quick / 1e6,
                100 * QuickShare(typical, colours));
    std::printf("  extended arithmetic     %8.2f\n", exact / 1e6);
    return 0;
}
