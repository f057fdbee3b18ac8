#include "png/PngInterlace.h"

namespace {

// Adam7: first row, row step, first column, column step.
constexpr int kAdam7[7][4] = {{0, 8, 0, 8}, {0, 8, 4, 8}, {4, 8, 0, 4}, {0, 4, 2, 4},
                              {2, 4, 0, 2}, {0, 2, 1, 2}, {1, 2, 0, 1}};

} // namespace

std::vector<TPngPass> PngPasses(int Width, int Height, bool Interlaced)
{
    std::vector<TPngPass> passes;
    if (!Interlaced) {
        passes.push_back({0, 1, 0, 1, Height, Width});
        return passes;
    }
    for (const auto& p : kAdam7) {
        const int rows = Height > p[0] ? (Height - p[0] + p[1] - 1) / p[1] : 0;
        const int columns = Width > p[2] ? (Width - p[2] + p[3] - 1) / p[3] : 0;
        if (rows > 0 && columns > 0) passes.push_back({p[0], p[1], p[2], p[3], rows, columns});
    }
    return passes;
}
