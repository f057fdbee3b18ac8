#include "colour/PictureColours.h"

#include "colour/ColourAdjuster.h"

#include <algorithm>
#include <thread>
#include <vector>

TRGBColor ConvertPictureColour(const TColourAdjuster& Adjuster, const TTransparencyRule& Rule, const TRGBColor& In)
{
    if (Rule.Enabled && In == Rule.Color) return In;
    const TRGBColor c = Adjuster.Convert(In);
    TRGBColor out{c.R & 0xFF, c.G & 0xFF, c.B & 0xFF};
    if (Rule.Enabled && out.R <= 5 && out.G <= 5 && out.B <= 5) out = {5, 5, 5};
    return out;
}

namespace {

// Pictures repeat colours a lot (pages are drawn in few, photographs in many near ones): a
// direct-mapped memo of the conversions already made spares most calls of the adjuster.
class TColourMemo {
public:
    TColourMemo(const TColourAdjuster& Adjuster, const TTransparencyRule& Rule)
        : FAdjuster(Adjuster), FRule(Rule), FSlots(Size) {}

    // Pixel: red << 16 | green << 8 | blue; the answer in the same form.
    std::uint32_t Convert(std::uint32_t Pixel)
    {
        TSlot& slot = FSlots[(Pixel * 2654435761u) >> (32 - SizeBits)];
        if (slot.Key != Pixel + 1) {
            const TRGBColor out = ConvertPictureColour(
                FAdjuster, FRule,
                {static_cast<int>(Pixel >> 16), static_cast<int>((Pixel >> 8) & 0xFF), static_cast<int>(Pixel & 0xFF)});
            slot.Key = Pixel + 1;
            slot.Value = static_cast<std::uint32_t>(out.R) << 16 | static_cast<std::uint32_t>(out.G) << 8 |
                         static_cast<std::uint32_t>(out.B);
        }
        return slot.Value;
    }

private:
    static constexpr int SizeBits = 14;
    static constexpr std::size_t Size = std::size_t(1) << SizeBits;
    struct TSlot {
        std::uint32_t Key = 0;  // colour + 1, 0 while empty
        std::uint32_t Value = 0;
    };
    const TColourAdjuster& FAdjuster;
    const TTransparencyRule& FRule;
    std::vector<TSlot> FSlots;
};

// Converts rows First to Last; Changed is set when any pixel changed.
void ConvertRows(std::uint8_t* Bits, std::size_t Stride, int Width, int First, int Last,
                 const TColourAdjuster& Adjuster, const TTransparencyRule& Rule, char& Changed)
{
    TColourMemo memo(Adjuster, Rule);
    std::uint32_t differs = 0;
    for (int y = First; y < Last; ++y) {
        std::uint8_t* p = Bits + static_cast<std::size_t>(y) * Stride;
        for (int x = 0; x < Width; ++x, p += 4) {
            const std::uint32_t in = p[0] | p[1] << 8 | static_cast<std::uint32_t>(p[2]) << 16;
            const std::uint32_t out = memo.Convert(in);
            differs |= in ^ out;
            p[0] = static_cast<std::uint8_t>(out);
            p[1] = static_cast<std::uint8_t>(out >> 8);
            p[2] = static_cast<std::uint8_t>(out >> 16);
        }
    }
    Changed = differs != 0;
}

}  // namespace

bool ConvertPictureColours(std::uint8_t* Bits, std::size_t Stride, int Width, int Height,
                           const TColourAdjuster& Adjuster, const TTransparencyRule& Rule, int Bands)
{
    Bands = std::clamp(Bands, 1, std::max(1, Height));
    std::vector<char> changed(static_cast<std::size_t>(Bands), 0);
    if (Bands == 1) {
        ConvertRows(Bits, Stride, Width, 0, Height, Adjuster, Rule, changed[0]);
        return changed[0] != 0;
    }
    const int step = (Height + Bands - 1) / Bands;
    std::vector<std::thread> helpers;
    for (int b = 1; b < Bands; ++b) {
        const int first = std::min(Height, b * step), last = std::min(Height, (b + 1) * step);
        helpers.emplace_back(ConvertRows, Bits, Stride, Width, first, last, std::cref(Adjuster), std::cref(Rule),
                             std::ref(changed[static_cast<std::size_t>(b)]));
    }
    ConvertRows(Bits, Stride, Width, 0, std::min(Height, step), Adjuster, Rule, changed[0]);
    for (std::thread& t : helpers) t.join();
    return std::find(changed.begin(), changed.end(), 1) != changed.end();
}

int PictureBands(std::size_t Pixels)
{
    if (Pixels < 256 * 1024) return 1;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}
