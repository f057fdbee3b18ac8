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

    // Results of the last load.
    bool AlphaChannel() const { return alphaChannel_; }
    bool Grayscale() const { return grayscale_; }
    TColor BackgroundColor() const { return backgroundColor_; }
    TColor TransparentColor() const { return transparentColor_; }
    std::uint8_t InterlaceMethod() const { return interlace_; }
    double Gamma() const { return gamma_; }
    std::uint32_t SignificantBits() const { return significantBits_; }
    int BitDepth() const { return bitsPerSample_; }
    int ColorType() const { return colorType_; }
    bool ImageRead() const { return imageRead_; }
    // The PLTE entries of the last load (empty without PLTE).
    const TPalette& LoadedPalette() const { return loadedPalette_; }

protected:
    void Decode() override;
    void SetupBitmap() override;

private:
    using Pass = TPngPass;

    void ResetState();
    void ReadChunkHeader(std::uint32_t& length, std::uint32_t& type);
    bool ChunkHas(std::uint32_t bytes) const { return chunkLeft_ >= bytes; }
    std::uint8_t ChunkByte();
    std::uint16_t ChunkWord();
    std::uint32_t ChunkDWord();

    void ReadIHDR();
    void ReadPLTE();
    void ReadtRNS();
    void ReadbKGD();
    void ReadsBIT();
    void ReadtEXt();
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
    std::uint32_t ihdrWidth_ = 0;
    std::uint32_t ihdrHeight_ = 0;
    int colorType_ = 0;  // without the alpha bit
    std::uint8_t interlace_ = 0;
    bool alphaChannel_ = false;
    bool grayscale_ = false;
    int pngBitsPerPixel_ = 0;

    // Chunk flags
    bool ihdrSeen_ = false;
    bool imageRead_ = false;
    bool plteRead_ = false;
    bool iendReached_ = false;
    bool privateSeen_ = false;
    std::uint32_t chunkLeft_ = 0;

    std::array<std::uint8_t, 256> paletteAlpha_{};
    bool paletteAlphaPending_ = false;
    TColor transparentColor_ = clNone;
    TColor backgroundColor_ = clNone;
    double gamma_ = 0;
    std::uint32_t significantBits_ = 0;
    TPngTime ownTime_;
    TPngChromaticities ownChromaticities_;
    TPngGifControl ownGifControl_;
    TBitmap* alphaTarget_ = nullptr;
    TPalette loadedPalette_;

    // Inflate
    struct Inflater;
    std::unique_ptr<Inflater> inflater_;
    std::unique_ptr<std::uint8_t[]> inflateInput_;
    bool streamEnded_ = false;

    // Progress
    int lastPercent_ = -1;
    int totalRows_ = 0;
    int rowsDone_ = 0;
};
