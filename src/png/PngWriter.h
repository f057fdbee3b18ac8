#pragma once
// The PNG encoder: colour type from the bitmap's format, ancillary chunks kept from a
// loaded file, fixed or adaptive row filters, deflate into IDAT chunks of a fixed size.

#include "png/PngInterlace.h"
#include "png/CustomWriteStream.h"
#include "png/PngRecords.h"

#include <array>
#include <cstdint>
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
    std::uint8_t FilterMode = 1;  // 0 adaptive, 1 None, 2 Sub, 3 Up, 4 Average, 5 Paeth
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
    void WriteBackgroundAndTransparency();
    void WriteImage();
    std::vector<Pass> Passes() const;
    void BuildGreyMap();
    void ConvertRow(int y, const Pass& pass, std::uint8_t* out);
    const std::uint8_t* FilterRow(std::size_t bytes);
    void FilterWith(int type, std::size_t bytes, std::uint8_t* out) const;
    int Score(const std::uint8_t* row, std::size_t n);
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
    std::array<std::uint32_t, 256> FHistogram{};
    int FChunksWritten = 0;
    int FLastPercent = -1;
};
