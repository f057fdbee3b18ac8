#pragma once
// One frame of a GIF image (TGIFSubImage): the extensions before it, its image descriptor
// (position, size, flags), its local colour map and its pixels as colour indices. It reads
// and writes those blocks (the image data through the LZW decoder and encoder). Its exchange
// with bitmaps is defined in GIFConvert.cpp.

#include "gif/GIFColorMap.h"
#include "gif/GIFFormat.h"
#include "gif/GIFItem.h"
#include "graphics/Bitmap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TGIFGraphicControlExtension;

class TGIFSubImage final : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFImage* Image);
    ~TGIFSubImage() override;
    std::string ClassName() const override { return "TGIFSubImage"; }

    // A TGIFSubImage (a deep copy), a bitmap (converted, see the bitmap import), another
    // graphic through a bitmap, or null (clears).
    void Assign(const TPersistent* Source) override;
    TGIFVersion Version() const override;

    // The extensions up to the image descriptor, then the frame itself when one follows.
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

    bool Interlaced() const noexcept { return (FFlags & GifFormat::InterlaceFlag) != 0; }
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

    std::uint8_t FSeparator = GifFormat::ImageSeparator;
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
