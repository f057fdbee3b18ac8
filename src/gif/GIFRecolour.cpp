#include "gif/GIFRecolour.h"

#include "gif/GIFExtensions.h"
#include "gif/GIFFormat.h"
#include "gif/GIFFrame.h"
#include "gif/GIFImage.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// How the frames that share one colour map use its indices.
struct TMapUse {
    TGIFColorMap* Map = nullptr;
    std::vector<TGIFSubImage*> Frames;
    std::array<bool, 256> Shown{};        // some pixel shows the entry's colour
    std::array<bool, 256> Transparent{};  // the transparent index of some frame
};

// The frame's transparent index, or -1.
int TransparentIndex(const TGIFSubImage& Frame)
{
    const TGIFGraphicControlExtension* gce = Frame.GraphicControlExtension();
    return gce && gce->Transparent() ? gce->TransparentColorIndex() : -1;
}

// The entries of the smallest table of 2, 4, ... 256 entries that holds Used entries.
int TableEntries(int Used)
{
    int entries = 2;
    while (entries < Used)
        entries <<= 1;
    return entries;
}

TMapUse& UseOf(std::vector<TMapUse>& Uses, TGIFColorMap& Map)
{
    for (TMapUse& use : Uses)
        if (use.Map == &Map)
            return use;
    Uses.push_back({});
    Uses.back().Map = &Map;
    return Uses.back();
}

}  // namespace

bool RecolourGIF(TGIFImage& Image, const TGIFColorConversion& Convert)
{
    std::vector<TMapUse> uses;
    bool screenUncovered = false;
    for (const auto& frame : Image.Images()) {
        if (frame->Empty())
            continue;
        TGIFColorMap& map = frame->ActiveColorMap();
        if (map.Count() == 0)
            throw GIFException(GifMessage::NoColorTable);
        TMapUse& use = UseOf(uses, map);
        use.Frames.push_back(frame.get());
        std::array<bool, 256> seen{};
        for (const std::uint8_t index : frame->Pixels())
            seen[index] = true;
        const int transparent = TransparentIndex(*frame);
        for (int i = 0; i < 256; ++i)
            if (seen[static_cast<std::size_t>(i)] && i != transparent)
                use.Shown[static_cast<std::size_t>(i)] = true;
        // Kept even when no pixel has it, so that it cannot come to name a shown entry.
        if (transparent >= 0)
            use.Transparent[static_cast<std::size_t>(transparent)] = true;
        if (frame->Left() != 0 || frame->Top() != 0 || frame->Width() < Image.Width() ||
            frame->Height() < Image.Height())
            screenUncovered = true;
    }
    TGIFColorMap& global = Image.GlobalColorMap();
    const int background = Image.Header().BackgroundColorIndex();
    // Decoders fill the uncovered part of the screen with the background entry or with entry
    // 0 of the global map: both keep their colours' places.
    if (screenUncovered && global.Count() > 0) {
        TMapUse& use = UseOf(uses, global);
        use.Shown[static_cast<std::size_t>(background)] = true;
        use.Shown[0] = true;
    }

    bool changed = false;
    for (TMapUse& use : uses) {
        const TGIFPalette old = use.Map->Data();
        const int count = static_cast<int>(old.size());
        int used = 0;
        int highest = 0;
        for (int i = 0; i < 256; ++i) {
            if (use.Shown[static_cast<std::size_t>(i)] || use.Transparent[static_cast<std::size_t>(i)]) {
                ++used;
                highest = i;
            }
        }
        const int entries = TableEntries(used);
        const bool renumber = highest >= entries;

        // Entry i of the old map as it is to be written.
        const auto entry = [&](int i) {
            const TGIFColor colour = i < count ? old[static_cast<std::size_t>(i)] : TGIFColor{0, 0, 0};
            if (use.Transparent[static_cast<std::size_t>(i)] && !use.Shown[static_cast<std::size_t>(i)])
                return colour;
            const TGIFColor converted = Convert(colour);
            if (use.Shown[static_cast<std::size_t>(i)] && !(converted == colour))
                changed = true;
            return converted;
        };
        std::array<std::uint8_t, 256> newIndex{};
        TGIFPalette colours;
        if (renumber) {
            for (int i = 0; i < 256; ++i) {
                if (use.Shown[static_cast<std::size_t>(i)] || use.Transparent[static_cast<std::size_t>(i)]) {
                    newIndex[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(colours.size());
                    colours.push_back(entry(i));
                }
            }
        } else {
            const int size = std::min(entries, std::max(count, highest + 1));
            for (int i = 0; i < size; ++i)
                colours.push_back(entry(i));
        }
        const bool sorted = use.Map->Sorted();
        use.Map->SetData(colours);
        use.Map->SetSorted(sorted);
        if (!renumber)
            continue;
        if (use.Map == &global) {
            const bool kept = use.Shown[static_cast<std::size_t>(background)] ||
                              use.Transparent[static_cast<std::size_t>(background)];
            Image.Header().SetBackgroundColorIndex(kept ? newIndex[static_cast<std::size_t>(background)] : 0);
        }
        for (TGIFSubImage* frame : use.Frames) {
            std::uint8_t* pixels = frame->Data();
            const std::size_t n = frame->Pixels().size();
            for (std::size_t i = 0; i < n; ++i)
                pixels[i] = newIndex[pixels[i]];
            const int transparent = TransparentIndex(*frame);
            if (transparent >= 0)
                frame->GraphicControlExtension()->SetTransparentColorIndex(
                    newIndex[static_cast<std::size_t>(transparent)]);
        }
    }
    Image.Changed();
    return changed;
}
