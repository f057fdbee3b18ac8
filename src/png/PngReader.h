#pragma once
// The PNG decoder: chunk parser, inflate, unfiltering and conversion into bitmaps.

#include "png/PngInterlace.h"
#include "png/CustomReadStream.h"
#include "png/PngRecords.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class PngReader : public GraphicReadStream {
public:
    PngReader();
    ~PngReader() override;

    // Settings made before ReadBitmap. The alpha target receives 255 - alpha per pixel
    // (0 is opaque) when the image has per-pixel transparency. The records are cleared
    // and filled by each load; without them the reader keeps its own.
    TBitmap* AlphaBitmap = nullptr;
    TPngTime* TimeRecord = nullptr;
    TPngChromaticities* ChromaticitiesRecord = nullptr;
    TPngGifControl* GifControlRecord = nullptr;
    TPngChunks* KeptChunksRecord = nullptr;
    // A header asking for more pixels is refused ("Image too large") before anything is
    // allocated; PngMaxPixels is the most it can be.
    std::uint64_t MaxPixels = PngMaxPixels;

    // Results of the last load.
    bool AlphaChannel() const { return FAlphaChannel; }
    bool Grayscale() const { return FGrayscale; }
    TColor BackgroundColor() const { return FBackgroundColor; }
    TColor TransparentColor() const { return FTransparentColor; }
    std::uint8_t InterlaceMethod() const { return FInterlace; }
    double Gamma() const { return FGamma; }
    std::uint32_t SignificantBits() const { return FSignificantBits; }
    int BitDepth() const { return FBitsPerSample; }
    int ColorType() const { return FColorType; }
    bool ImageRead() const { return FImageRead; }
    // An acTL chunk came before the image data: the file is an animation, of which only the
    // default image was read.
    bool Animated() const { return FAnimated; }
    // The PLTE entries of the last load (empty without PLTE).
    const TPalette& LoadedPalette() const { return FLoadedPalette; }

protected:
    void Decode() override;
    void SetupBitmap() override;

private:
    using Pass = TPngPass;

    void ResetState();
    void ReadChunkHeader(std::uint32_t& length, std::uint32_t& type);
    bool ChunkHas(std::uint32_t bytes) const { return FChunkLeft >= bytes; }
    std::uint8_t ChunkByte();
    std::uint16_t ChunkWord();
    std::uint32_t ChunkDWord();

    void ReadIHDR();
    void ReadPLTE();
    void ReadtRNS();
    void ReadbKGD();
    void ReadsBIT();
    void ReadtEXt(TPngChunkPlace place);
    // Keeps the chunk's data; false (nothing kept) when the data runs past the end.
    bool KeepChunk(const char* type, TPngChunkPlace place);
    void ReadImage();

    void SetupFormat();
    void SetupAlphaTarget();
    std::vector<Pass> Passes() const;
    bool InflateRow(std::uint8_t* row, std::size_t bytes);
    void Unfilter(std::uint8_t* row, const std::uint8_t* prior, std::size_t bytes);
    void ConvertRow(const std::uint8_t* raw, int pixels, std::uint8_t* out, std::uint8_t* alphaOut);
    void StoreRow(const Pass& pass, int y, const std::uint8_t* converted, const std::uint8_t* alpha);
    void ApplyPaletteAlpha();
    TColor SampleColor(std::uint16_t r, std::uint16_t g, std::uint16_t b) const;
    TColor GreySampleColor(std::uint16_t grey) const;
    // A grey (colour type 0) or red, green, blue (type 2) sample at the chunk's start; Color
    // stays as it was when the chunk is too short for it.
    void ReadSampleColor(TColor& Color);
    void ChunkProgress();
    void RowProgress(int rowNumber, int passHeight);

    // IHDR
    std::uint32_t FIhdrWidth = 0;
    std::uint32_t FIhdrHeight = 0;
    int FColorType = 0;  // without the alpha bit
    std::uint8_t FInterlace = 0;
    bool FAlphaChannel = false;
    bool FGrayscale = false;
    int FPngBitsPerPixel = 0;

    // Chunk flags
    bool FIhdrSeen = false;
    bool FImageRead = false;
    bool FPlteRead = false;
    bool FIendReached = false;
    bool FPrivateSeen = false;
    bool FAnimated = false;
    bool FProfileKept = false;
    bool FStandardRgbKept = false;
    std::uint32_t FChunkLeft = 0;

    std::array<std::uint8_t, 256> FPaletteAlpha{};
    bool FPaletteAlphaPending = false;
    TColor FTransparentColor = clNone;
    TColor FBackgroundColor = clNone;
    double FGamma = 0;
    std::uint32_t FSignificantBits = 0;
    TPngTime FOwnTime;
    TPngChromaticities FOwnChromaticities;
    TPngGifControl FOwnGifControl;
    TPngChunks FOwnKeptChunks;
    TBitmap* FAlphaTarget = nullptr;
    TPalette FLoadedPalette;

    // Inflate
    struct Inflater;
    std::unique_ptr<Inflater> FInflater;
    std::unique_ptr<std::uint8_t[]> FInflateInput;
    bool FStreamEnded = false;

    // Progress
    int FLastPercent = -1;
    int FTotalRows = 0;
    int FRowsDone = 0;
};
