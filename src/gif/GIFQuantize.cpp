#include "gif/GIFQuantize.h"

#include "gif/GIFException.h"
#include "gif/GIFFormat.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------------------------------------
// Lookups

TFastColorLookup::TFastColorLookup(const TGIFPalette& Palette) : FCache(32768, -1)
{
    FPalette = Palette;
    if (FPalette.empty())
        throw GIFException(GifMessage::TableEmpty);
    if (FPalette.size() > static_cast<std::size_t>(GifFormat::MaxColorTableEntries))
        throw GIFException(GifMessage::TableOverflow);
    for (std::size_t i = 0; i < FPalette.size(); ++i) {
        const TGIFColor& c = FPalette[i];
        std::int16_t& slot = FCache[Key(c.Red, c.Green, c.Blue)];
        if (slot < 0)
            slot = static_cast<std::int16_t>(i);
    }
    for (std::size_t i = 0; i < 256; ++i) {
        const bool used = i < FPalette.size();
        FReds[i] = used ? FPalette[i].Red : 2000;
        FGreens[i] = used ? FPalette[i].Green : 2000;
        FBlues[i] = used ? FPalette[i].Blue : 2000;
    }
}

int TFastColorLookup::Search(int Red, int Green, int Blue) const noexcept
{
    // Every entry's distance (eight at a time where the processor allows), then the first
    // entry with the smallest one.
    alignas(16) std::int16_t distance[256];
#if defined(__SSE2__)
    const __m128i r = _mm_set1_epi16(static_cast<short>(Red));
    const __m128i g = _mm_set1_epi16(static_cast<short>(Green));
    const __m128i b = _mm_set1_epi16(static_cast<short>(Blue));
    const __m128i zero = _mm_setzero_si128();
    __m128i smallest = _mm_set1_epi16(0x7FFF);
    const auto absolute = [zero](__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(zero, x)); };
    for (int i = 0; i < 256; i += 8) {
        const __m128i dr = absolute(_mm_sub_epi16(r, _mm_load_si128(reinterpret_cast<const __m128i*>(FReds + i))));
        const __m128i dg = absolute(_mm_sub_epi16(g, _mm_load_si128(reinterpret_cast<const __m128i*>(FGreens + i))));
        const __m128i db = absolute(_mm_sub_epi16(b, _mm_load_si128(reinterpret_cast<const __m128i*>(FBlues + i))));
        const __m128i d = _mm_add_epi16(_mm_add_epi16(dr, dg), db);
        _mm_store_si128(reinterpret_cast<__m128i*>(distance + i), d);
        smallest = _mm_min_epi16(smallest, d);
    }
    smallest = _mm_min_epi16(smallest, _mm_shuffle_epi32(smallest, _MM_SHUFFLE(1, 0, 3, 2)));
    smallest = _mm_min_epi16(smallest, _mm_shuffle_epi32(smallest, _MM_SHUFFLE(2, 3, 0, 1)));
    smallest = _mm_min_epi16(smallest, _mm_shufflelo_epi16(smallest, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128i target = _mm_set1_epi16(static_cast<short>(_mm_extract_epi16(smallest, 0)));
    for (int i = 0; i < 256; i += 8) {
        const int mask = _mm_movemask_epi8(
            _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(distance + i)), target));
        if (mask != 0)
            return i + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
    }
    return 0;
#else
    int smallest = 0x7FFF;
    for (int i = 0; i < 256; ++i) {
        distance[i] = static_cast<std::int16_t>(std::abs(Red - FReds[i]) + std::abs(Green - FGreens[i]) +
                                                std::abs(Blue - FBlues[i]));
        smallest = std::min<int>(smallest, distance[i]);
    }
    for (int i = 0; i < 256; ++i)
        if (distance[i] == smallest)
            return i;
    return 0;
#endif
}

TMonochromeLookup::TMonochromeLookup()
{
    FPalette = {{0, 0, 0}, {255, 255, 255}};
}

int TMonochromeLookup::Lookup(int Red, int Green, int Blue, TGIFColor& Found)
{
    const int index = (77 * Red + 150 * Green + 29 * Blue >= 32513) ? 1 : 0;
    Found = FPalette[index];
    return index;
}

TGrayScaleLookup::TGrayScaleLookup()
{
    FPalette.resize(256);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        FPalette[i] = {v, v, v};
    }
}

int TGrayScaleLookup::Lookup(int Red, int Green, int Blue, TGIFColor& Found)
{
    const int index = std::clamp((77 * Red + 150 * Green + 29 * Blue) >> 8, 0, 255);
    Found = FPalette[index];
    return index;
}

TNetscapeColorLookup::TNetscapeColorLookup()
{
    FPalette.reserve(216);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                FPalette.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                                    static_cast<std::uint8_t>(b * 51)});
}

int TNetscapeColorLookup::Lookup(int Red, int Green, int Blue, TGIFColor& Found)
{
    const auto level = [](int component) { return std::clamp((component + 3) / 51, 0, 5); };
    const int index = 36 * level(Red) + 6 * level(Green) + level(Blue);
    Found = FPalette[index];
    return index;
}

// ---------------------------------------------------------------------------------------------
// Octree

TColorQuantizer::TColorQuantizer(int MaxColors, int ColorBits)
    : FMaxColors(std::max(MaxColors, 1)), FColorBits(std::clamp(ColorBits, 1, 8))
{
    std::fill(std::begin(FReducible), std::end(FReducible), -1);
    FNodes.reserve(4096);
}

std::int32_t TColorQuantizer::NewNode(int Level)
{
    std::int32_t index;
    if (!FFreeNodes.empty()) {
        index = FFreeNodes.back();
        FFreeNodes.pop_back();
        FNodes[index] = TOctreeNode{};
    } else {
        index = static_cast<std::int32_t>(FNodes.size());
        FNodes.emplace_back();
    }
    TOctreeNode& node = FNodes[index];
    if (Level == FColorBits) {
        node.Leaf = true;
        ++FLeafCount;
    } else {
        node.NextReducible = FReducible[Level];
        FReducible[Level] = index;
    }
    return index;
}

void TColorQuantizer::FreeNode(std::int32_t Index)
{
    FFreeNodes.push_back(Index);
}

void TColorQuantizer::AddColor(int Red, int Green, int Blue, std::uint32_t Count)
{
    if (FRoot < 0)
        FRoot = NewNode(0);
    std::int32_t index = FRoot;
    for (int level = 0;; ++level) {
        TOctreeNode& node = FNodes[index];
        if (node.Leaf) {
            node.PixelCount += Count;
            node.RedSum += static_cast<std::uint64_t>(Red) * Count;
            node.GreenSum += static_cast<std::uint64_t>(Green) * Count;
            node.BlueSum += static_cast<std::uint64_t>(Blue) * Count;
            break;
        }
        const int shift = 7 - level;
        const int child = (((Red >> shift) & 1) << 2) | (((Green >> shift) & 1) << 1) | ((Blue >> shift) & 1);
        std::int32_t next = node.Children[child];
        if (next < 0) {
            next = NewNode(level + 1);  // may move FNodes
            FNodes[index].Children[child] = next;
        }
        index = next;
    }
    while (FLeafCount > FMaxColors)
        ReduceTree();
}

void TColorQuantizer::ProcessImage(const TRowSource& Rows, int Width, int Height)
{
    for (int y = 0; y < Height; ++y) {
        const std::uint8_t* p = Rows(y);
        const std::uint8_t* end = p + 3 * static_cast<std::size_t>(Width);
        while (p < end) {
            const std::uint8_t* run = p + 3;
            while (run < end && run[0] == p[0] && run[1] == p[1] && run[2] == p[2])
                run += 3;
            AddColor(p[2], p[1], p[0], static_cast<std::uint32_t>((run - p) / 3));
            p = run;
        }
    }
}

void TColorQuantizer::ReduceTree()
{
    int level = FColorBits - 1;
    while (level > 0 && FReducible[level] < 0)
        --level;
    const std::int32_t index = FReducible[level];
    if (index < 0)
        return;  // nothing left to fold
    TOctreeNode& node = FNodes[index];
    FReducible[level] = node.NextReducible;
    node.NextReducible = -1;
    int children = 0;
    for (std::int32_t& child : node.Children) {
        if (child < 0)
            continue;
        const TOctreeNode& c = FNodes[child];
        node.PixelCount += c.PixelCount;
        node.RedSum += c.RedSum;
        node.GreenSum += c.GreenSum;
        node.BlueSum += c.BlueSum;
        FreeNode(child);
        child = -1;
        ++children;
    }
    node.Leaf = true;
    FLeafCount -= children - 1;
}

void TColorQuantizer::Walk(std::int32_t Index, TGIFPalette& Out) const
{
    const TOctreeNode& node = FNodes[Index];
    if (node.Leaf) {
        if (node.PixelCount == 0) {
            Out.push_back({0, 0, 0});
        } else {
            Out.push_back({static_cast<std::uint8_t>(node.RedSum / node.PixelCount),
                           static_cast<std::uint8_t>(node.GreenSum / node.PixelCount),
                           static_cast<std::uint8_t>(node.BlueSum / node.PixelCount)});
        }
        return;
    }
    for (std::int32_t child : node.Children)
        if (child >= 0)
            Walk(child, Out);
}

TGIFPalette TColorQuantizer::ColorTable() const
{
    TGIFPalette out;
    out.reserve(static_cast<std::size_t>(FLeafCount));
    if (FRoot >= 0)
        Walk(FRoot, out);
    return out;
}

TGIFPalette BuildOctreePalette(const TRowSource& Rows, int Width, int Height, int ColorCount,
                               int ColorBits, bool AddStaticColors)
{
    if (AddStaticColors)
        throw GIFException(GifMessage::ReductionMethod);
    if (ColorCount < 1 || ColorCount > GifFormat::MaxColorTableEntries)
        throw GIFException(GifMessage::ColorCount);
    TColorQuantizer quantizer(ColorCount, ColorBits);
    quantizer.ProcessImage(Rows, Width, Height);
    TGIFPalette palette = quantizer.ColorTable();
    // Entries after the leaves are black.
    palette.resize(static_cast<std::size_t>(ColorCount), TGIFColor{0, 0, 0});
    return palette;
}

// ---------------------------------------------------------------------------------------------
// Ditherers

TDitherEngine::TDitherEngine(int Width, TColorLookup& Lookup) : FWidth(Width), FLookup(Lookup) {}

int TDitherEngine::Dither(int Red, int Green, int Blue)
{
    TGIFColor found;
    const int index = FLookup.Lookup(Red, Green, Blue, found);
    FColumn += FDirection;
    return index;
}

void TDitherEngine::NextLine()
{
    FColumn = 0;
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int Width, TColorLookup& Lookup)
    : TDitherEngine(Width, Lookup), FFast(dynamic_cast<TFastColorLookup*>(&Lookup))
{
    for (Channel* c : {&FRed, &FGreen, &FBlue})
        c->Errors.assign(static_cast<std::size_t>(Width) + 2, 0);
}

namespace {

// Truncating division, as the error terms are signed.
inline int Spread(int Cell, int Current) { return (Cell + Current + 8) / 16; }

inline int Adjust(int Value, int Cell, int Current)
{
    return std::clamp(Value + Spread(Cell, Current), 0, 255);
}

} // namespace

template <class LookupFn>
inline int TFloydSteinbergDitherer::DitherPixel(int Red, int Green, int Blue, LookupFn&& Find)
{
    const int r = Adjust(Red, FRed.Errors[FRed.Cursor], FRed.Current);
    const int g = Adjust(Green, FGreen.Errors[FGreen.Cursor], FGreen.Current);
    const int b = Adjust(Blue, FBlue.Errors[FBlue.Cursor], FBlue.Current);
    TGIFColor found;
    const int index = Find(r, g, b, found);

    const auto diffuse = [this](Channel& c, int e) {
        if (e != 0) {
            c.Errors[c.Cursor] = c.BelowPrev + 3 * e;
            c.BelowPrev = c.Below + 5 * e;
            c.Below = e;
            c.Current = 7 * e;
        } else {
            c.Current = 0;
        }
        c.Cursor += FDirection;
    };
    diffuse(FRed, r - found.Red);
    diffuse(FGreen, g - found.Green);
    diffuse(FBlue, b - found.Blue);
    FColumn += FDirection;
    return index;
}

int TFloydSteinbergDitherer::Dither(int Red, int Green, int Blue)
{
    if (FFast)
        return DitherPixel(Red, Green, Blue, [this](int r, int g, int b, TGIFColor& f) { return FFast->FastLookup(r, g, b, f); });
    return DitherPixel(Red, Green, Blue, [this](int r, int g, int b, TGIFColor& f) { return FLookup.Lookup(r, g, b, f); });
}

void TFloydSteinbergDitherer::NextLine()
{
    for (Channel* c : {&FRed, &FGreen, &FBlue}) {
        c->Errors[c->Cursor] = c->BelowPrev;
        c->Current = 0;
        c->Below = 0;
        c->BelowPrev = 0;
    }
    FDirection = -FDirection;
    const int cursor = FDirection > 0 ? 0 : FWidth + 1;
    FColumn = FDirection > 0 ? 0 : FWidth - 1;
    for (Channel* c : {&FRed, &FGreen, &FBlue})
        c->Cursor = cursor;
}

void TFloydSteinbergDitherer::DitherRow(const std::uint8_t* Source, std::uint8_t* Target)
{
    if (!FFast) {
        for (int n = 0; n < FWidth; ++n) {
            const int x = FColumn;
            const std::uint8_t* p = Source + 3 * x;
            Target[x] = static_cast<std::uint8_t>(Dither(p[2], p[1], p[0]));
        }
        NextLine();
        return;
    }
    // The same steps as Dither, with the state held in locals for the length of the row.
    struct Local {
        int* Cells;
        int Current, Below, BelowPrev;
        // Without branches: an error of 0 leaves the cell and the terms below unchanged.
        void Diffuse(int Cursor, int Error)
        {
            const bool carry = Error != 0;
            const int cell = Cells[Cursor];
            Cells[Cursor] = carry ? BelowPrev + 3 * Error : cell;
            BelowPrev = carry ? Below + 5 * Error : BelowPrev;
            Below = carry ? Error : Below;
            Current = 7 * Error;
        }
    };
    Local red{FRed.Errors.data(), FRed.Current, FRed.Below, FRed.BelowPrev};
    Local green{FGreen.Errors.data(), FGreen.Current, FGreen.Below, FGreen.BelowPrev};
    Local blue{FBlue.Errors.data(), FBlue.Current, FBlue.Below, FBlue.BelowPrev};
    const int direction = FDirection;
    int cursor = FRed.Cursor;
    int x = FColumn;
    for (int n = 0; n < FWidth; ++n, x += direction, cursor += direction) {
        const std::uint8_t* p = Source + 3 * x;
        const int r = Adjust(p[2], red.Cells[cursor], red.Current);
        const int g = Adjust(p[1], green.Cells[cursor], green.Current);
        const int b = Adjust(p[0], blue.Cells[cursor], blue.Current);
        TGIFColor found;
        Target[x] = static_cast<std::uint8_t>(FFast->FastLookup(r, g, b, found));
        red.Diffuse(cursor, r - found.Red);
        green.Diffuse(cursor, g - found.Green);
        blue.Diffuse(cursor, b - found.Blue);
    }
    FColumn = x;
    for (auto [channel, local] : {std::pair{&FRed, &red}, std::pair{&FGreen, &green}, std::pair{&FBlue, &blue}}) {
        channel->Cursor = cursor;
        channel->Current = local->Current;
        channel->Below = local->Below;
        channel->BelowPrev = local->BelowPrev;
    }
    NextLine();
}
