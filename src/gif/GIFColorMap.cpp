#include "gif/GIFColorMap.h"

#include "gif/GIFBytes.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFFormat.h"
#include "gif/GIFFrame.h"
#include "gif/GIFImage.h"
#include "graphics/Stream.h"

#include <algorithm>

using namespace gifbytes;

namespace {

// The bits per pixel of a map of Count entries: 0 for none, else at least 1.
int MapBitsPerPixel(int Count)
{
    if (Count <= 0)
        return 0;
    int bits = 1;
    while ((1 << bits) < Count)
        ++bits;
    return bits;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TGIFColorMap

void TGIFColorMap::Assign(const TPersistent* Source)
{
    if (!Source) {
        Clear();
        return;
    }
    if (const auto* map = dynamic_cast<const TGIFColorMap*>(Source)) {
        if (map != this) {
            FColors = map->FColors;
            FCapacity = map->FCapacity;
            FSorted = map->FSorted;
        }
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

void TGIFColorMap::Grow(int Needed)
{
    if (Needed <= FCapacity)
        return;
    FCapacity = Needed <= 16 ? 16 : std::min(GifFormat::MaxColorTableEntries, (Needed + 31) / 32 * 32);
    FColors.reserve(static_cast<std::size_t>(FCapacity));
}

int TGIFColorMap::Add(const TGIFColor& Color)
{
    if (Count() >= GifFormat::MaxColorTableEntries)
        throw GIFException(GifMessage::TableOverflow);
    Grow(Count() + 1);
    FColors.push_back(Color);
    FSorted = false;
    Changed();
    return Count() - 1;
}

int TGIFColorMap::AddUnique(const TGIFColor& Color)
{
    const int index = IndexOf(Color);
    return index >= 0 ? index : Add(Color);
}

int TGIFColorMap::IndexOf(const TGIFColor& Color) const
{
    if (FSorted) {
        for (int i = 0; i < Count(); ++i)
            if (FColors[static_cast<std::size_t>(i)] == Color)
                return i;
    } else {
        for (int i = Count() - 1; i >= 0; --i)
            if (FColors[static_cast<std::size_t>(i)] == Color)
                return i;
    }
    return -1;
}

void TGIFColorMap::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        throw GIFException(GifMessage::ColorIndex);
    FColors.erase(FColors.begin() + Index);
    FSorted = false;
    Changed();
}

TGIFColor TGIFColorMap::Colors(int Index)
{
    if (FColors.empty())
        throw GIFException(GifMessage::TableEmpty);
    if (Index < 0 || Index >= Count()) {
        Warning(TGIFSeverity::gsWarning, GifMessage::ColorIndex);
        Index = 0;
    }
    return FColors[static_cast<std::size_t>(Index)];
}

void TGIFColorMap::SetColors(int Index, const TGIFColor& Color)
{
    if (Index < 0 || Index >= Count())
        throw GIFException(GifMessage::ColorIndex);
    FColors[static_cast<std::size_t>(Index)] = Color;
    Changed();
}

void TGIFColorMap::Clear()
{
    FColors.clear();
    FCapacity = 0;
    FSorted = false;
    Changed();
}

void TGIFColorMap::SetData(const TGIFPalette& Colors)
{
    if (Colors.size() > static_cast<std::size_t>(GifFormat::MaxColorTableEntries))
        throw GIFException(GifMessage::TableOverflow);
    Grow(static_cast<int>(Colors.size()));
    FColors = Colors;
    FSorted = false;
    Changed();
}

int TGIFColorMap::BitsPerPixel() const noexcept
{
    return MapBitsPerPixel(Count());
}

void TGIFColorMap::LoadFromStream(TStream& Stream, int Count)
{
    Count = std::clamp(Count, 0, GifFormat::MaxColorTableEntries);
    std::uint8_t raw[GifFormat::MaxColorTableEntries * GifFormat::ColorTableEntrySize];
    ReadExact(Stream, raw, Count * GifFormat::ColorTableEntrySize);
    TGIFPalette colors(static_cast<std::size_t>(Count));
    for (int i = 0; i < Count; ++i) {
        const std::uint8_t* entry = raw + GifFormat::ColorTableEntrySize * i;
        colors[static_cast<std::size_t>(i)] = {entry[0], entry[1], entry[2]};
    }
    FCapacity = 0;
    Grow(Count);
    FColors = std::move(colors);
    FSorted = false;
    Changed();
}

void TGIFColorMap::SaveToStream(TStream& Stream) const
{
    if (FColors.empty())
        return;
    // Padded with black to a power of two.
    const int entries = 1 << BitsPerPixel();
    std::uint8_t raw[GifFormat::MaxColorTableEntries * GifFormat::ColorTableEntrySize] = {};
    for (int i = 0; i < Count(); ++i) {
        std::uint8_t* entry = raw + GifFormat::ColorTableEntrySize * i;
        entry[0] = FColors[static_cast<std::size_t>(i)].Red;
        entry[1] = FColors[static_cast<std::size_t>(i)].Green;
        entry[2] = FColors[static_cast<std::size_t>(i)].Blue;
    }
    Stream.WriteBuffer(raw, entries * GifFormat::ColorTableEntrySize);
}

void TGIFColorMap::Warning(TGIFSeverity Severity, const std::string& Message)
{
    if (TGIFImage* image = OwnerImage())
        image->Warning(this, Severity, Message);
}

namespace {

struct TUsage {
    std::uint32_t Count;
    int Index;
};

// Descending by count. Equal counts end up in whatever order this particular partition
// scheme leaves them; the files written depend on it, so it stays exactly so.
void SortByUse(std::vector<TUsage>& Pairs, int Lo, int Hi)
{
    int i;
    do {
        i = Lo;
        int j = Hi;
        const std::uint32_t pivot = Pairs[static_cast<std::size_t>((Lo + Hi) / 2)].Count;
        do {
            while (Pairs[static_cast<std::size_t>(i)].Count > pivot)
                ++i;
            while (Pairs[static_cast<std::size_t>(j)].Count < pivot)
                --j;
            if (i <= j) {
                std::swap(Pairs[static_cast<std::size_t>(i)], Pairs[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (Lo < j)
            SortByUse(Pairs, Lo, j);
        Lo = i;
    } while (i < Hi);
}

} // namespace

void TGIFColorMap::SortColorsByUse()
{
    if (Count() < 2)
        return;
    FSorted = true;
    const std::vector<std::uint32_t> histogram = BuildHistogram();
    std::vector<TUsage> pairs(static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        pairs[static_cast<std::size_t>(i)] = {histogram[static_cast<std::size_t>(i)], i};
    SortByUse(pairs, 0, Count() - 1);

    bool unchanged = true;
    for (int k = 0; k < Count(); ++k)
        if (pairs[static_cast<std::size_t>(k)].Index != k)
            unchanged = false;
    if (unchanged)
        return;

    std::vector<int> map(static_cast<std::size_t>(Count()));
    TGIFPalette colors(static_cast<std::size_t>(Count()));
    int used = 0;
    for (int k = 0; k < Count(); ++k) {
        const TUsage& pair = pairs[static_cast<std::size_t>(k)];
        map[static_cast<std::size_t>(pair.Index)] = k;
        colors[static_cast<std::size_t>(k)] = FColors[static_cast<std::size_t>(pair.Index)];
        if (pair.Count > 0)
            used = k + 1;
    }
    MapImages(map);
    colors.resize(static_cast<std::size_t>(used));
    FColors = std::move(colors);
    Changed();
}

namespace {

void CountPixels(const TGIFSubImage& Frame, std::vector<std::uint32_t>& Histogram)
{
    std::uint32_t counts[256] = {};
    for (std::uint8_t pixel : Frame.Pixels())
        ++counts[pixel];
    for (std::size_t i = 0; i < Histogram.size(); ++i)
        Histogram[i] += counts[i];
}

void RemapFrame(TGIFSubImage& Frame, const std::vector<int>& Map)
{
    std::uint8_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0; i < Map.size() && i < 256; ++i)
        table[i] = static_cast<std::uint8_t>(Map[i]);
    if (!Frame.Empty()) {
        std::uint8_t* p = Frame.Data();
        const std::size_t count = Frame.Pixels().size();
        for (std::size_t i = 0; i < count; ++i)
            p[i] = table[p[i]];
    }
    if (Frame.Transparent()) {
        if (TGIFGraphicControlExtension* gce = Frame.GraphicControlExtension()) {
            const std::uint8_t index = gce->TransparentColorIndex();
            if (index < Map.size())
                gce->SetTransparentColorIndex(table[index]);
        }
    }
    Frame.FreeBitmap();
}

} // namespace

std::vector<std::uint32_t> TGIFGlobalColorMap::BuildHistogram()
{
    std::vector<std::uint32_t> histogram(static_cast<std::size_t>(Count()), 0);
    if (FImage)
        for (const auto& frame : FImage->Images())
            if (frame->ColorMap().Count() == 0)
                CountPixels(*frame, histogram);
    return histogram;
}

void TGIFGlobalColorMap::MapImages(const std::vector<int>& Map)
{
    if (FImage)
        for (const auto& frame : FImage->Images())
            if (frame->ColorMap().Count() == 0)
                RemapFrame(*frame, Map);
}

void TGIFGlobalColorMap::Changed()
{
    if (FImage)
        FImage->FreeBitmap();
}

std::vector<std::uint32_t> TGIFLocalColorMap::BuildHistogram()
{
    std::vector<std::uint32_t> histogram(static_cast<std::size_t>(Count()), 0);
    CountPixels(*FFrame, histogram);
    return histogram;
}

void TGIFLocalColorMap::MapImages(const std::vector<int>& Map)
{
    RemapFrame(*FFrame, Map);
}

void TGIFLocalColorMap::Changed()
{
    FFrame->FreeBitmap();
}

TGIFImage* TGIFLocalColorMap::OwnerImage() const
{
    return FFrame->Image();
}

