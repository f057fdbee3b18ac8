#pragma once
// The PNG graphic: the decoded picture, its per-pixel transparency (255 - alpha) and every
// value that must survive a load, change and save.

#include "graphics/Bitmap.h"
#include "png/PngRecords.h"

#include <cstdint>
#include <memory>
#include <string>

class PngImage : public TGraphic {
public:
    PngImage();
    ~PngImage() override;
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;

    std::string ClassName() const override { return "PngImage"; }

    // A PngImage: everything. Any other graphic: only the picture; the kept values stay
    // those of the last load.
    void Assign(const TPersistent* source) override;

    bool Empty() const override { return FImageBitmap->Empty(); }
    int Width() const override { return FImageBitmap->Width(); }
    int Height() const override { return FImageBitmap->Height(); }
    // On the picture and on the alpha bitmap, each when not empty.
    void SetWidth(int value) override;
    void SetHeight(int value) override;
    void SetTransparent(bool value) override;
    const TPalette& Palette() const { return FImageBitmap->Palette(); }
    void SetPalette(const TPalette& palette);

    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    // The persistent form: the same as loading and saving, always with the internal alpha
    // bitmap; nothing is written for an empty image.
    void ReadData(TStream& stream);
    void WriteData(TStream& stream);

    TBitmap& ImageBitmap() const { return *FImageBitmap; }
    // The picture changes places with bitmap's, without a copy: afterwards this image holds
    // what Assign(bitmap) would have given it, and bitmap the former picture.
    void ExchangeBitmap(TBitmap& bitmap);
    // The attached alpha bitmap, else the internal one.
    TBitmap& AlphaBitmap() const { return FAttachedAlpha != nullptr ? *FAttachedAlpha : *FInternalAlpha; }
    // bitmap (not owned) receives the alpha of the next load and supplies it to the next
    // save; null detaches.
    void AttachAlpha(TBitmap* bitmap) { FAttachedAlpha = bitmap; }
    // Copies the internal alpha bitmap into bitmap; true when there is one.
    bool CopyAlphaTo(TBitmap* bitmap) const;

    bool HasAlpha() const { return FHasAlpha; }
    TColor TransparentColor() const { return FTransparentColor; }
    TColor BackgroundColor() const { return FBackgroundColor; }
    // The PLTE of the loaded file, kept when the picture is replaced so that a colour given
    // as a palette entry can still be written as a colour.
    const TPalette& LoadedPalette() const { return FLoadedPalette; }

    // Settings and kept values.
    int IdatSize = 32768;
    int CompressionLevel = 4;
    std::uint8_t FilterMode = 0;
    std::uint8_t Interlaced = 0;
    bool Grayscale = false;
    std::string Comment;
    double Gamma = 0.45455;
    std::uint32_t SignificantBits = 0;
    std::uint8_t PhysUnit = 0;
    std::uint32_t PhysX = 0;
    std::uint32_t PhysY = 0;
    bool SkipMacHeader = true;
    // A grey picture loaded with fewer than 8 bits per sample is written in that depth where
    // every grey fits it; off, always in 8 (frames of one animation must share a depth).
    bool NarrowGreyDepth = true;
    // A load refuses a header asking for more pixels (PngMaxPixels at most).
    std::uint64_t MaxPixels = PngMaxPixels;
    bool AutoTime = true;
    TPngTime Time;
    TPngChromaticities Chromaticities;
    TPngGifControl GifControl;
    // The IHDR bit depth of the loaded file, times 3 for truecolour.
    int BitDepth() const { return FBitDepth; }
    // The loaded file is an animation (acTL before the image data); the picture is its
    // default image.
    bool Animated() const { return FAnimated; }
    // The colour profile and text chunks of the loaded file, written again by every save. Its
    // Comment text chunks are written as they were while Comment is left as loaded; a changed
    // Comment replaces them.
    const TPngChunks& KeptChunks() const { return FKeptChunks; }

    void SetBackgroundColor(TColor color) { FBackgroundColor = color; }
    void SetTransparentColor(TColor color) { FTransparentColor = color; }

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void Synchronize();
    void Load(TStream& stream, TBitmap& alphaTarget);
    void Save(TStream& stream, TBitmap* alphaSource);

    std::unique_ptr<TBitmap> FImageBitmap;
    std::unique_ptr<TBitmap> FInternalAlpha;
    TBitmap* FAttachedAlpha = nullptr;
    bool FHasAlpha = false;
    int FBitDepth = 0;
    int FColorType = -1;
    int FSampleDepth = 0;
    bool FAnimated = false;
    TPngChunks FKeptChunks;
    std::string FLoadedComment;
    TColor FBackgroundColor = clNone;
    TColor FTransparentColor = clNone;
    TPalette FLoadedPalette;
    bool FSynchronizing = false;
};
