// Adjuster conversions per second for random colours under three kinds of settings.
#include "colour/ConversionSettings.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {

double ConversionsPerSecond(const TColourAdjuster& adjuster, const std::vector<TRGBColor>& colours)
{
    using Clock = std::chrono::steady_clock;
    std::uint64_t sink = 0;
    int rounds = 0;
    const auto start = Clock::now();
    auto now = start;
    do {
        for (const TRGBColor& c : colours) {
            const TRGBColor out = adjuster.Convert(c);
            sink += static_cast<std::uint64_t>(out.R + out.G + out.B);
        }
        ++rounds;
        now = Clock::now();
    } while (now - start < std::chrono::milliseconds(500));
    const double seconds = std::chrono::duration<double>(now - start).count();
    if (sink == 42) std::puts("");  // keeps the loop from being optimised away
    return static_cast<double>(colours.size()) * rounds / seconds;
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
    return 0;
}
