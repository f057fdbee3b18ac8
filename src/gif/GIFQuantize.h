#pragma once
// Colour reduction for GIF frames: the octree palette, the colour lookups that map a true
// colour to a palette index, and the ditherers that walk a row through a lookup.

#include "graphics/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// One palette entry as the GIF format stores it (red, green, blue).
using TGIFColor = TPaletteEntry;
using TGIFPalette = TPalette;

// Hands out row y (0 at the top) of a 24-bit image, bytes blue, green, red per pixel.
using TRowSource = std::function<const std::uint8_t*(int y)>;

// ---------------------------------------------------------------------------------------------
// Lookups: a true colour to a palette index (and the colour of that entry).

class TColorLookup {
public:
    virtual ~TColorLookup() = default;
    virtual int Lookup(int Red, int Green, int Blue, TGIFColor& Found) = 0;
    // The palette the indices refer to.
    const TGIFPalette& Palette() const noexcept { return FPalette; }

protected:
    TGIFPalette FPalette;
};

// Nearest palette entry by the sum of absolute component differences, remembered per
// 15-bit colour key. The first entry to claim a key keeps it, even where a later entry
// would match a colour of that key exactly.
class TFastColorLookup final : public TColorLookup {
public:
    explicit TFastColorLookup(const TGIFPalette& Palette);
    int Lookup(int Red, int Green, int Blue, TGIFColor& Found) override { return FastLookup(Red, Green, Blue, Found); }

    static int Key(int Red, int Green, int Blue) noexcept
    {
        return (Red >> 3) | ((Green >> 3) << 5) | ((Blue >> 3) << 10);
    }

    inline int FastLookup(int Red, int Green, int Blue, TGIFColor& Found)
    {
        const int key = Key(Red, Green, Blue);
        int index = FCache[key];
        if (index < 0) {
            index = Search(Red, Green, Blue);
            FCache[key] = static_cast<std::int16_t>(index);
        }
        Found = FPalette[index];
        return index;
    }

private:
    int Search(int Red, int Green, int Blue) const noexcept;
    std::vector<std::int16_t> FCache;  // 32768 entries, -1 while empty
    // The palette again as three 16-bit columns, padded to 256 entries with a value no
    // colour comes near, so that the search runs over fixed-length arrays.
    alignas(16) std::int16_t FReds[256];
    alignas(16) std::int16_t FGreens[256];
    alignas(16) std::int16_t FBlues[256];
};

// Black and white by luminance.
class TMonochromeLookup final : public TColorLookup {
public:
    TMonochromeLookup();
    int Lookup(int Red, int Green, int Blue, TGIFColor& Found) override;
};

// 256 greys; the index is the luminance.
class TGrayScaleLookup final : public TColorLookup {
public:
    TGrayScaleLookup();
    int Lookup(int Red, int Green, int Blue, TGIFColor& Found) override;
};

// The 6x6x6 cube of the levels 0, 51, ..., 255.
class TNetscapeColorLookup final : public TColorLookup {
public:
    TNetscapeColorLookup();
    int Lookup(int Red, int Green, int Blue, TGIFColor& Found) override;
};

// ---------------------------------------------------------------------------------------------
// Octree quantizer.

struct TOctreeNode {
    bool Leaf = false;
    std::uint32_t PixelCount = 0;
    std::uint64_t RedSum = 0;
    std::uint64_t GreenSum = 0;
    std::uint64_t BlueSum = 0;
    std::int32_t NextReducible = -1;
    std::int32_t Children[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

class TColorQuantizer final {
public:
    // MaxColors is the most leaves the tree may hold (at least 1); ColorBits the depth of
    // the leaves (1..8).
    TColorQuantizer(int MaxColors, int ColorBits);

    // Count pixels of one colour (a run of equal pixels reaches the same leaf, as no leaf
    // is added after the first).
    void AddColor(int Red, int Green, int Blue, std::uint32_t Count = 1);
    // Every pixel of the rows, from the top and from the left.
    void ProcessImage(const TRowSource& Rows, int Width, int Height);
    int LeafCount() const noexcept { return FLeafCount; }
    // The leaves' colours in depth-first order, children 0 to 7.
    TGIFPalette ColorTable() const;

private:
    std::int32_t NewNode(int Level);
    void FreeNode(std::int32_t Index);
    void ReduceTree();
    void Walk(std::int32_t Index, TGIFPalette& Out) const;

    std::vector<TOctreeNode> FNodes;
    std::vector<std::int32_t> FFreeNodes;
    std::int32_t FRoot = -1;
    int FLeafCount = 0;
    int FMaxColors;
    int FColorBits;
    std::int32_t FReducible[8];
};

// A palette of ColorCount entries: the octree's leaves in walk order, then black. The
// desktop's static colours are not available here; asking for them fails.
TGIFPalette BuildOctreePalette(const TRowSource& Rows, int Width, int Height, int ColorCount,
                               int ColorBits, bool AddStaticColors);

// ---------------------------------------------------------------------------------------------
// Ditherers. The caller visits the columns of each row in the ditherer's scan order,
// starting at Column() and stepping by Direction(), and calls NextLine at the end of a row.

class TDitherEngine {
public:
    TDitherEngine(int Width, TColorLookup& Lookup);
    virtual ~TDitherEngine() = default;

    // The palette index for the pixel at the current column; advances the column.
    virtual int Dither(int Red, int Green, int Blue);
    virtual void NextLine();

    int Column() const noexcept { return FColumn; }
    int Direction() const noexcept { return FDirection; }
    int Width() const noexcept { return FWidth; }

protected:
    int FWidth;
    int FColumn = 0;
    int FDirection = 1;
    TColorLookup& FLookup;
};

// Serpentine Floyd-Steinberg error diffusion with weights 7, 3, 5 and 1 sixteenths.
class TFloydSteinbergDitherer final : public TDitherEngine {
public:
    TFloydSteinbergDitherer(int Width, TColorLookup& Lookup);

    int Dither(int Red, int Green, int Blue) override;
    void NextLine() override;

    // One whole row: Source is the row's 24-bit pixels (blue, green, red), Target its
    // indices; columns are visited in scan order. Ends with NextLine.
    void DitherRow(const std::uint8_t* Source, std::uint8_t* Target);

private:
    struct Channel {
        std::vector<int> Errors;  // width + 2 cells
        int Cursor = 0;
        int Current = 0;
        int Below = 0;
        int BelowPrev = 0;
    };

    template <class LookupFn>
    int DitherPixel(int Red, int Green, int Blue, LookupFn&& Find);

    Channel FRed;
    Channel FGreen;
    Channel FBlue;
    TFastColorLookup* FFast;  // the lookup when it is the fast one, for the inner loop
};
