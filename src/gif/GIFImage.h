#pragma once
// The GIF graphic: the object model of a GIF file (header, colour maps, frames with their
// extensions, trailer), read and written block by block, and its exchange with bitmaps.

#include "gif/GIFException.h"
#include "gif/GIFQuantize.h"
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TStream;
class TGIFImage;
class TGIFSubImage;
class TGIFExtension;
class TGIFGraphicControlExtension;

enum class TGIFVersion { gvUnknown, gv87a, gv89a };
enum class TGIFSeverity { gsInfo, gsWarning, gsError };

// Soft problems: the image, the object that met the problem, a severity and the message.
using TGIFWarning = std::function<void(TGIFImage& Sender, TPersistent* Item, TGIFSeverity Severity,
                                       const std::string& Message)>;

// The largest pixel count of a logical screen or a frame that is accepted (2^28).
constexpr std::int64_t GIFMaxPixels = std::int64_t{1} << 28;

// ---------------------------------------------------------------------------------------------
// Process-wide defaults, copied by every TGIFImage at construction.

extern int GIFDefaultReductionMethod;   // 6
extern int GIFDefaultReductionDepth;    // 8
extern int GIFDefaultDitherMethod;      // 0
extern int GIFDefaultCompressionMethod; // 0
extern unsigned GIFDefaultDrawFlags;    // 0x060F

// ---------------------------------------------------------------------------------------------
// Items

class TGIFItem : public TPersistent {
public:
    explicit TGIFItem(TGIFImage* Image) : FImage(Image) {}

    std::string ClassName() const override { return "TGIFItem"; }
    virtual TGIFVersion Version() const { return TGIFVersion::gv87a; }
    virtual void Warning(TGIFSeverity Severity, const std::string& Message);

    virtual void SaveToStream(TStream& Stream) = 0;
    virtual void LoadFromStream(TStream& Stream) = 0;
    virtual void SaveToFile(const std::string& FileName);
    virtual void LoadFromFile(const std::string& FileName);

    TGIFImage* Image() const noexcept { return FImage; }

protected:
    TGIFImage* FImage;
};

// An ordered list that owns its items.
template <class T>
class TGIFList {
public:
    explicit TGIFList(TGIFImage* Image) : FImage(Image) {}

    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    T& operator[](int Index) const { return *FItems.at(static_cast<std::size_t>(Index)); }
    T& Add(std::unique_ptr<T> Item)
    {
        FItems.push_back(std::move(Item));
        return *FItems.back();
    }
    void Delete(int Index) { FItems.erase(FItems.begin() + Index); }
    // Removes the item without deleting it (null when it is not in the list).
    std::unique_ptr<T> Extract(const T* Item)
    {
        for (auto it = FItems.begin(); it != FItems.end(); ++it) {
            if (it->get() == Item) {
                std::unique_ptr<T> out = std::move(*it);
                FItems.erase(it);
                return out;
            }
        }
        return nullptr;
    }
    void Clear() { FItems.clear(); }
    TGIFImage* Image() const noexcept { return FImage; }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    TGIFImage* FImage;
    std::vector<std::unique_ptr<T>> FItems;
};

using TGIFImageList = TGIFList<TGIFSubImage>;
using TGIFExtensionList = TGIFList<TGIFExtension>;

// ---------------------------------------------------------------------------------------------
// Colour maps

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

    void LoadFromStream(TStream& Stream, int Count);
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

// ---------------------------------------------------------------------------------------------
// Header

class TGIFHeader final : public TGIFItem {
public:
    explicit TGIFHeader(TGIFImage* Image);
    std::string ClassName() const override { return "TGIFHeader"; }
    void Assign(const TPersistent* Source) override;

    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;
    void Clear();
    // Recomputes the flags from the colour maps of the image.
    void Prepare();

    int Width() const noexcept { return FWidth; }
    int Height() const noexcept { return FHeight; }
    void SetWidth(int Value) { FWidth = static_cast<std::uint16_t>(Value); }
    void SetHeight(int Value) { FHeight = static_cast<std::uint16_t>(Value); }
    std::uint8_t Flags() const noexcept { return FFlags; }
    std::uint8_t BackgroundColorIndex() const noexcept { return FBackgroundColorIndex; }
    void SetBackgroundColorIndex(std::uint8_t Value) { FBackgroundColorIndex = Value; }
    std::uint8_t AspectRatio() const noexcept { return FAspectRatio; }
    void SetAspectRatio(std::uint8_t Value) { FAspectRatio = Value; }
    TGIFGlobalColorMap& ColorMap() noexcept { return FColorMap; }
    const TGIFGlobalColorMap& ColorMap() const noexcept { return FColorMap; }

private:
    std::uint16_t FWidth = 0;
    std::uint16_t FHeight = 0;
    std::uint8_t FFlags = 0;
    std::uint8_t FBackgroundColorIndex = 0;
    std::uint8_t FAspectRatio = 0;
    TGIFGlobalColorMap FColorMap;
};

// ---------------------------------------------------------------------------------------------
// Frames

class TGIFSubImage final : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFImage* Image);
    ~TGIFSubImage() override;
    std::string ClassName() const override { return "TGIFSubImage"; }

    // A TGIFSubImage (a deep copy), a bitmap (converted, see the bitmap import), another
    // graphic through a bitmap, or null (clears).
    void Assign(const TPersistent* Source) override;
    TGIFVersion Version() const override;

    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;
    void Clear();
    bool Empty() const noexcept { return FData.empty() || FWidth == 0 || FHeight == 0; }

    int Left() const noexcept { return FLeft; }
    int Top() const noexcept { return FTop; }
    int Width() const noexcept { return FWidth; }
    int Height() const noexcept { return FHeight; }
    void SetLeft(int Value);
    void SetTop(int Value);
    // Reallocate the pixels (all 0) and grow the logical screen to hold the frame.
    void SetWidth(int Value);
    void SetHeight(int Value);
    TRect BoundsRect() const noexcept { return {FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }

    bool Interlaced() const noexcept { return (FFlags & 0x40) != 0; }
    void SetInterlaced(bool Value);
    std::uint8_t Flags() const noexcept { return FFlags; }

    // width x height colour indices, rows from the top; "Image is empty" for a frame of size 0.
    std::uint8_t* Data();
    const std::vector<std::uint8_t>& Pixels() const noexcept { return FData; }
    std::uint8_t Pixel(int X, int Y) const;
    void SetPixel(int X, int Y, std::uint8_t Index);

    TGIFLocalColorMap& ColorMap() noexcept { return FColorMap; }
    const TGIFLocalColorMap& ColorMap() const noexcept { return FColorMap; }
    // The local map if it has colours, else the global map if it has colours, else the
    // (empty) local map.
    TGIFColorMap& ActiveColorMap();

    TGIFExtensionList& Extensions() noexcept { return FExtensions; }
    const TGIFExtensionList& Extensions() const noexcept { return FExtensions; }
    bool Transparent() const noexcept { return FTransparent; }
    void SetTransparentFlag(bool Value) { FTransparent = Value; }
    TGIFGraphicControlExtension* GraphicControlExtension() const noexcept { return FGCE; }
    void SetGraphicControlExtension(TGIFGraphicControlExtension* Value) { FGCE = Value; }
    // Called by an extension that is going away.
    void ExtensionDestroyed(TGIFExtension* Extension);

    // The frame as an 8-bit bitmap whose palette is the active colour map (kept until the
    // frame changes).
    const TBitmap& Bitmap();
    void FreeBitmap();

    // Bitmap import: the frame takes the bitmap's size and pixels; a bitmap of more than
    // 8 bits per pixel is reduced with the image's settings first.
    void AssignFromBitmap(const TBitmap& Source);
    // Pixels where the mask is set (not 0) get a new black transparent entry; see the
    // definition.
    void ImportTransparencyMask(const TBitmap& Mask);

private:
    void Reallocate();
    void ImportRows(const TBitmap& Source);
    void CopyFrom(const TGIFSubImage& Source);

    std::uint8_t FSeparator = 0x2C;
    std::uint16_t FLeft = 0;
    std::uint16_t FTop = 0;
    std::uint16_t FWidth = 0;
    std::uint16_t FHeight = 0;
    std::uint8_t FFlags = 0;
    TGIFLocalColorMap FColorMap;
    TGIFExtensionList FExtensions;
    std::vector<std::uint8_t> FData;
    bool FTransparent = false;
    TGIFGraphicControlExtension* FGCE = nullptr;
    std::unique_ptr<TBitmap> FBitmap;
};

class TGIFTrailer final : public TGIFItem {
public:
    using TGIFItem::TGIFItem;
    std::string ClassName() const override { return "TGIFTrailer"; }
    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;
};

// ---------------------------------------------------------------------------------------------
// The image

class TGIFImage : public TGraphic {
public:
    TGIFImage();
    ~TGIFImage() override;
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;

    std::string ClassName() const override { return "TGIFImage"; }

    // A bitmap (one new frame made from it), another TGIFImage (a copy), or null (clears).
    void Assign(const TPersistent* Source) override;

    bool Empty() const override { return FImages.Count() == 0; }
    int Width() const override { return FHeader.Width(); }
    int Height() const override { return FHeader.Height(); }
    // "Image width too small for contained frames" when a frame reaches beyond.
    void SetWidth(int Value) override;
    void SetHeight(int Value) override;

    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;
    // The whole file is read into memory first, and a file is only written once all of it
    // has been encoded, so a failed save leaves the file as it was.
    void LoadFromFile(const std::string& FileName) override;
    void SaveToFile(const std::string& FileName) override;
    void Clear();

    int Count() const noexcept { return FImages.Count(); }
    TGIFImageList& Images() noexcept { return FImages; }
    TGIFSubImage& Image(int Index) const { return FImages[Index]; }
    TGIFHeader& Header() noexcept { return FHeader; }
    const TGIFHeader& Header() const noexcept { return FHeader; }
    TGIFColorMap& GlobalColorMap() noexcept { return FHeader.ColorMap(); }

    // A frame is taken as it is; another TGIFSubImage is copied; any other graphic is
    // converted into a new frame; anything else fails.
    TGIFSubImage& Add(std::unique_ptr<TGIFSubImage> Frame);
    TGIFSubImage& Add(const TPersistent& Source);

    // The highest version any frame needs; "Unsupported GIF version" without frames.
    TGIFVersion Version() const;
    // The largest bits per pixel and colour resolution over the global and local maps.
    int BitsPerPixel() const;
    int ColorResolution() const;
    // Some frame's graphic control extension has its transparent bit set.
    bool HasTransparentFrame() const;

    // The image as a bitmap (null without frames); kept until the image changes.
    const TBitmap* Bitmap();
    void FreeBitmap();
    // Drops cached renderings after a change of frames or colours.
    void Changed() override;

    virtual void Warning(TPersistent* Item, TGIFSeverity Severity, const std::string& Message);
    TGIFWarning WarningHandler;

    // Counts the pixels of a frame about to be read; "Image too large" when the frames of
    // one load would hold more than GIFMaxPixels together.
    void ReserveFramePixels(std::int64_t Pixels);

    int ReductionMethod = 6;
    int ReductionDepth = 8;
    int DitherMethod = 0;
    int CompressionMethod = 0;
    unsigned DrawFlags = 0x060F;

protected:
    void AssignTo(TPersistent& Dest) const override;

private:
    void CopyFrom(const TGIFImage& Source);
    std::unique_ptr<TBitmap> MakeBitmap();

    TGIFHeader FHeader;
    TGIFImageList FImages;
    std::unique_ptr<TBitmap> FBitmap;
    std::int64_t FLoadedPixels = 0;
};

// ---------------------------------------------------------------------------------------------
// Colour reduction of a whole bitmap.

// A new bitmap of the same size: for method 0 a 24-bit copy, otherwise an 8-bit bitmap
// whose colour table is the chosen palette. Methods 0, 3, 4, 5, 6, 7 and 9 (with
// CustomPalette); dither methods 0 (nearest colour) and 1 (Floyd-Steinberg).
std::unique_ptr<TBitmap> ReduceToPalette(const TBitmap& Source, int ReductionMethod, int DitherMethod,
                                         int ReductionDepth, const TGIFPalette* CustomPalette);

// Row y of any bitmap as 24-bit pixels (blue, green, red).
void ReadRow24(const TBitmap& Source, int Y, std::uint8_t* Target);
