#pragma once
// The predictors of the PNG row filters, shared by the reader (which adds them back) and the
// writer (which subtracts them). a is the byte to the left, b the one above, c the one above
// and to the left; each is 0 where it falls outside the image.

#include <cstdint>
#include <cstdlib>

inline std::uint8_t PngAveragePredictor(unsigned a, unsigned b) { return static_cast<std::uint8_t>((a + b) >> 1); }

// The one of a, b and c nearest to a + b - c, ties going to a, then b.
inline std::uint8_t PngPaethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}
