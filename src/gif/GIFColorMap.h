#pragma once
// Colour maps (GIF colour tables): the common list of up to 256 colours with its file form,
// and its two kinds: the global map of the logical screen, shared by every frame without a
// map of its own, and the local map of one frame. Each kind knows the frames whose pixels
// index it, so that sorting the map by use can rewrite them.

#include "gif/GIFItem.h"
#include "gif/GIFQuantize.h"

#include <cstdint>
#include <string>
#include <vector>

class TStream;
class TGIFImage;
class TGIFSubImage;

class TGIFColorMap : public TPersistent {
public:
    TGIFColorMap() = default;
    std::string ClassName() const override { return "TGIFColorMap"; }
    void Assign(const TPersistent* Source) override;

    int Count() const noexcept { return static_cast<int>(FColors.size()); }
    int Capacity() const noexcept { return FCapacity; }
    bool Optimized() const noexcept { return FSorted; }
    bool Sorted() const noexcept { return FSorted; }
    void SetSorted(bool Value) { FSorted = Value; }
    const TGIFPalette& Data() const noexcept { return FColors; }

    // Appends (no search); "Color table overflow" for a 257th colour.
    int Add(const TGIFColor& Color);
    // The index of an equal colour, else appends.
    int AddUnique(const TGIFColor& Color);
    // Sorted: the first match from the start; unsorted: the last match; -1 when absent.
    int IndexOf(const TGIFColor& Color) const;
    void Delete(int Index);
    // Colour i; an index out of range warns "Invalid color index" and reads entry 0.
    TGIFColor Colors(int Index);
    void SetColors(int Index, const TGIFColor& Color);
    void Clear();
    // Replaces the colours (at most 256).
    void SetData(const TGIFPalette& Colors);

    int BitsPerPixel() const noexcept;
    int ColorResolution() const noexcept { return BitsPerPixel() - 1; }

    // Count entries of three bytes (red, green, blue).
    void LoadFromStream(TStream& Stream, int Count);
    // The entries, padded with black to the next power of two; nothing for an empty map.
    void SaveToStream(TStream& Stream) const;

    virtual void Warning(TGIFSeverity Severity, const std::string& Message);
    // Pixel count per entry over the frames that use this map.
    virtual std::vector<std::uint32_t> BuildHistogram() = 0;
    // Rewrites the pixels (and transparent indices) of the frames that use this map.
    virtual void MapImages(const std::vector<int>& Map) = 0;
    // Orders the entries by descending use; see the definition for the exact rules.
    virtual void SortColorsByUse();
    virtual void Changed() {}

protected:
    virtual TGIFImage* OwnerImage() const = 0;
    void Grow(int Needed);

    TGIFPalette FColors;
    int FCapacity = 0;
    bool FSorted = false;
};

// The map of the logical screen: it serves every frame of the image without a local map.
class TGIFGlobalColorMap final : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFImage* Image) : FImage(Image) {}
    std::string ClassName() const override { return "TGIFGlobalColorMap"; }
    std::vector<std::uint32_t> BuildHistogram() override;
    void MapImages(const std::vector<int>& Map) override;
    void Changed() override;

protected:
    TGIFImage* OwnerImage() const override { return FImage; }

private:
    TGIFImage* FImage;
};

// The map of one frame.
class TGIFLocalColorMap final : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage* Frame) : FFrame(Frame) {}
    std::string ClassName() const override { return "TGIFLocalColorMap"; }
    std::vector<std::uint32_t> BuildHistogram() override;
    void MapImages(const std::vector<int>& Map) override;
    void Changed() override;

protected:
    TGIFImage* OwnerImage() const override;

private:
    TGIFSubImage* FFrame;
};
