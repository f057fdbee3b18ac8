#pragma once
// The passes an image is stored in: one for a plain image, the non-empty Adam7 passes for an
// interlaced one.

#include <vector>

struct TPngPass {
    int firstRow, rowStep, firstColumn, columnStep;
    int rows, columns;
};

std::vector<TPngPass> PngPasses(int Width, int Height, bool Interlaced);
