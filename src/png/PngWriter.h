#pragma once
// The PNG encoder: colour type from the bitmap's format (or the loaded file's, where it holds
// the picture exactly), ancillary chunks kept from a loaded file, fixed or adaptive row
// filters, deflate into IDAT chunks of a fixed size.

#include "png/PngInterlace.h"
#include "png/CustomWriteStream.h"
#include "png/PngRecords.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class PngWriter : public GraphicWriteStream {
public:
    PngWriter();
    ~PngWriter() override;

    // Data bytes per IDAT chunk, 256..100000; anything else raises PngError.
    int IdatSize() const { return FIdatSize; }
    void SetIdatSize(int value);

    int CompressionLevel = -1;  // zlib level; outside 0..9 the zlib default
    // 0 adaptive: for each row the filter whose bytes, read as signed, add up to the least
    // absolute sum; None throughout for palette images and samples under 8 bits, where
    // filters seldom help. 1 None, 2 Sub, 3 Up, 4 Average, 5 Paeth.
    std::uint8_t FilterMode = 1;
    bool Interlaced = false;
    bool Grayscale = false;
    std::string Comment;
    TColor BackgroundColor = clNone;
    TColor TransparentColor = clNone;
    double Gamma = 0;
    std::uint32_t SignificantBits = 0;  // red | green << 8 | blue << 16 | alpha << 24
    std::uint8_t PhysUnit = 0;          // 0 unknown, 1 per metre, 2 per inch
    std::uint32_t PhysX = 0;
    std::uint32_t PhysY = 0;
    bool AutoTime = true;
    TPngTime Time;
    TPngChromaticities Chromaticities;
    TPngGifControl GifControl;
    // 255 - alpha per pixel; used when 8-bit and of the image's size.
    const TBitmap* AlphaBitmap = nullptr;
    // The palette a palette-entry background or transparent colour refers to when the
    // bitmap itself has none (the palette of the file the picture was loaded from).
    TPalette SourcePalette;
    // The colour type (0, 2, 3, 4 or 6) and bit depth of the file the picture was loaded from;
    // -1 and 0 when there was none. A picture of more than 8 bits per pixel is written in that
    // form when it holds every pixel exactly: a palette image when it has at most 256
    // colours (each with its alpha), a grey one of fewer than 8 bits when every grey (and
    // the background and transparent colour) is one of the depth's levels.
    int SourceColorType = -1;
    int SourceBitDepth = 0;
    // Ancillary chunks kept from the loaded file, written at their places. A text chunk whose
    // keyword is Software is left out: the writer writes its own.
    TPngChunks KeptChunks;

protected:
    void Encode() override;

private:
    using Pass = TPngPass;

    void WriteChunk(const char* type, const std::uint8_t* data, std::size_t length);
    void WriteChunk(const char* type, const std::vector<std::uint8_t>& data)
    {
        WriteChunk(type, data.data(), data.size());
    }
    void WriteHeaderChunks();
    void WriteKeptChunks(TPngChunkPlace place);
    bool BuildIndexedPalette();
    bool GreyFitsDepth(int depth) const;
    // Red, green and blue of pixel x of a row of a picture of more than 8 bits per pixel.
    void SourceRgb(const std::uint8_t* row, int x, int& r, int& g, int& b) const;
    // Its colour and alpha as a palette image's entry holds them.
    std::uint32_t PixelKey(const std::uint8_t* row, const std::uint8_t* alpha, int x) const;
    void WriteBackgroundAndTransparency();
    void WriteImage();
    int ChooseStrategy(const Pass& pass, int level);
    std::vector<Pass> Passes() const;
    void BuildGreyMap();
    void ConvertRow(int y, const Pass& pass, std::uint8_t* out);
    const std::uint8_t* FilterRow(std::size_t bytes);
    void FilterWith(int type, std::size_t bytes, std::uint8_t* out) const;
    // The sum FilterWith's output would have, or at least limit once it reaches it.
    std::uint64_t FilterCost(int type, std::size_t bytes, std::uint64_t limit) const;
    bool ResolveColor(TColor color, TColor& plain) const;
    TPalette OutputPalette() const;
    void ChunkProgress();

    int FIdatSize = 32768;

    // Per encoding
    int FSourceBits = 24;
    int FWorkBits = 24;
    const TBitmap* FAlpha = nullptr;
    bool FGreyOutput = false;
    bool FAlphaOutput = false;
    bool FPaletteOutput = false;
    int FBitDepth = 8;
    int FColorType = 2;
    int FPngBitsPerPixel = 24;
    std::array<std::uint8_t, 256> FGreyMap{};
    bool FInvertBits = false;
    std::vector<std::uint8_t> FCurrent, FPrevious, FChosen, FCandidate;
    // A palette image made from a picture of more than 8 bits per pixel: its entries, their
    // alpha, and the entry of each colour (red << 16 | green << 8 | blue, alpha << 24).
    bool FIndexedOutput = false;
    TPalette FIndexPalette;
    std::vector<std::uint8_t> FIndexAlpha;
    std::int64_t FTransparentRgb = -1;  // the transparent colour where no alpha bitmap is given
    struct ColourIndex;
    std::unique_ptr<ColourIndex> FColourIndex;
    int FChunksWritten = 0;
    int FLastPercent = -1;
};
