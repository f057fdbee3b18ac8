#pragma once
// The GIF graphic: the object model of a GIF file (the header with the logical screen and
// global colour map, the frames with their extensions, the trailer), read and written block
// by block, and its exchange with bitmaps. The parts live in their own files:
//   GIFItem.h       the base of the blocks, the list that owns them, versions and warnings
//   GIFHeader.h     the header and the trailer
//   GIFColorMap.h   the global and local colour maps
//   GIFFrame.h      one frame (TGIFSubImage): descriptor, local map, pixels
//   GIFExtensions.h the extension blocks of a frame
//   GIFFormat.h     the bytes and flags of the file format
//   GIFException.h  the error kind and the messages
// Reading and writing image data: GIFDecoder.h and GIFEncoder.h; colour reduction:
// GIFQuantize.h and GIFConvert.h.

#include "gif/GIFColorMap.h"
#include "gif/GIFException.h"
#include "gif/GIFFrame.h"
#include "gif/GIFHeader.h"
#include "gif/GIFItem.h"
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"

#include <cstdint>
#include <memory>
#include <string>

// ---------------------------------------------------------------------------------------------
// Process-wide defaults, copied by every TGIFImage at construction.

extern int GIFDefaultReductionMethod;   // 6
extern int GIFDefaultReductionDepth;    // 8
extern int GIFDefaultDitherMethod;      // 0
extern int GIFDefaultCompressionMethod; // 0
extern unsigned GIFDefaultDrawFlags;    // 0x060F

// ---------------------------------------------------------------------------------------------
// The image: a logical screen and its frames.

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
    // The frames that hold an image: extensions after the last image load as a frame of
    // their own, which holds none.
    int ImageCount() const noexcept;
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
    // one load would hold more than MaxPixels together.
    void ReserveFramePixels(std::int64_t Pixels);

    // The most pixels a load accepts for the logical screen, for a frame and for all frames
    // together; GIFMaxPixels is the most it can be.
    std::int64_t MaxPixels = GIFMaxPixels;

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
