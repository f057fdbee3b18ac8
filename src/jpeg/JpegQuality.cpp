#include "jpeg/JpegQuality.h"

#include <algorithm>
#include <cstdlib>

namespace {

// JPEG standard, Annex K.1 and K.2, in natural order.
constexpr int StandardTables[2][64] = {
    {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
     14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
     18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
     49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99},
    {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
     99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
     99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99},
};

long TableDistance(const std::uint16_t* Table, int Index, int Quality, bool Baseline)
{
    long sum = 0;
    for (int i = 0; i < 64; ++i) sum += std::labs(static_cast<long>(Table[i]) - ScaledStandardEntry(Index, Quality, i, Baseline));
    return sum;
}

}  // namespace

int ScaledStandardEntry(int Index, int Quality, int I, bool Baseline)
{
    const long scale = Quality < 50 ? 5000 / Quality : 200 - 2 * Quality;
    const long value = (StandardTables[Index][I] * scale + 50) / 100;
    return static_cast<int>(std::clamp<long>(value, 1, Baseline ? 255 : 32767));
}

TJpegQuality EstimateJpegQuality(const std::uint16_t* Luminance, const std::uint16_t* Chrominance)
{
    TJpegQuality result;
    const auto wide = [](const std::uint16_t* t) { return t && std::any_of(t, t + 64, [](int v) { return v > 255; }); };
    result.Baseline = !wide(Luminance) && !wide(Chrominance);
    long best = -1;
    for (int q = 100; q >= 1; --q) {
        long d = TableDistance(Luminance, 0, q, result.Baseline);
        if (Chrominance) d += TableDistance(Chrominance, 1, q, result.Baseline);
        if (best < 0 || d < best) {
            best = d;
            result.Quality = q;
        }
    }
    return result;
}
