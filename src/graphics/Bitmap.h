#pragma once
// A device-independent bitmap: rows stored top-down, each padded to a multiple of 4 bytes.

#include "graphics/Graphic.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

enum class TPixelFormat { pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// Where the transparent colour comes from: the bottom-left pixel, or a colour set explicitly.
enum class TTransparentMode { tmAuto, tmFixed };

struct TPaletteEntry {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};
using TPalette = std::vector<TPaletteEntry>;

// Pixel layouts (leftmost pixel first):
//   pf1bit   8 pixels per byte, leftmost in the most significant bit; palette index
//   pf4bit   2 pixels per byte, leftmost in the high nibble; palette index
//   pf8bit   1 palette index per byte
//   pf15bit  16-bit little-endian word: blue bits 0-4, green 5-9, red 10-14
//   pf16bit  16-bit little-endian word: blue bits 0-4, green 5-10, red 11-15
//   pf24bit  blue, green, red
//   pf32bit  blue, green, red, one unused byte (kept 0 by this class)
class TBitmap : public TGraphic {
public:
    TBitmap();
    ~TBitmap() override;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    std::string ClassName() const override { return "TBitmap"; }

    // A bitmap (every setting), null (clears the picture; format and transparency
    // settings stay), or any graphic that knows how to assign itself to a bitmap.
    void Assign(const TPersistent* source) override;
    // Exchanges the picture and every setting Assign would copy with another bitmap, without
    // copying pixels; both bitmaps report the change. Event handlers stay where they are.
    void Exchange(TBitmap& other);

    bool Empty() const override { return FWidth == 0 || FHeight == 0; }
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    // Resizing keeps the pixels of the common area; new pixels are 0.
    void SetWidth(int value) override { SetSize(value, FHeight); }
    void SetHeight(int value) override { SetSize(FWidth, value); }
    void SetSize(int width, int height);

    TPixelFormat PixelFormat() const { return FFormat; }
    // Converts the pixels to the new format. A format with a palette keeps the present
    // palette when every index fits, otherwise it takes the format's default palette and
    // each pixel the nearest of its colours.
    void SetPixelFormat(TPixelFormat value);
    static int BitsPerPixel(TPixelFormat format);
    int BitsPerPixel() const { return BitsPerPixel(FFormat); }
    bool HasPaletteFormat() const { return FFormat == TPixelFormat::pf1bit || FFormat == TPixelFormat::pf4bit ||
                                           FFormat == TPixelFormat::pf8bit; }

    // Bytes per row, a multiple of 4.
    std::size_t RowBytes() const { return FStride; }
    static std::size_t RowBytes(int width, TPixelFormat format);
    // Row 0 is the top row. Raises EInvalidGraphic for a row outside the picture.
    std::uint8_t* ScanLine(int row)
    {
        CheckRow(row);
        return FBits.get() + static_cast<std::size_t>(row) * FStride;
    }
    const std::uint8_t* ScanLine(int row) const
    {
        CheckRow(row);
        return FBits.get() + static_cast<std::size_t>(row) * FStride;
    }

    // Up to 256 entries. Setting it does not touch the pixels.
    const TPalette& Palette() const { return FPalette; }
    void SetPalette(const TPalette& palette);
    // Index of the entry nearest to the colour (sum of absolute differences, first wins).
    int NearestPaletteIndex(TColor color) const;

    // The colour at (x, y) as red | green << 8 | blue << 16; clNone outside the picture.
    TColor Pixel(int x, int y) const;
    // Sets the pixel; a palette format takes the nearest palette entry. Ignored outside
    // the picture.
    void SetPixel(int x, int y, TColor color);

    // The colour that is transparent when Transparent is set: the one set explicitly,
    // else that of the bottom-left pixel at the moment it is asked for. A palette-entry
    // colour is given as that entry's colour while the palette holds it.
    TColor TransparentColor() const;
    // clNone returns to the automatic mode.
    void SetTransparentColor(TColor color);
    TTransparentMode TransparentMode() const { return FTransparentMode; }
    void SetTransparentMode(TTransparentMode mode);
    // The colour exactly as it was set (may name a palette entry); clNone in automatic mode.
    TColor FixedTransparentColor() const { return FTransparentMode == TTransparentMode::tmFixed ? FTransparentColor : clNone; }

    // A new 1-bit bitmap of the same size (palette black, white) whose pixels are 1 where
    // this bitmap's pixel has the transparent colour.
    std::unique_ptr<TBitmap> CreateMask() const;

    // Windows BMP streams: uncompressed 1, 4, 8, 16, 24 and 32 bits (BI_RGB and the
    // standard BI_BITFIELDS masks), bottom-up or top-down.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;

private:
    void CheckRow(int row) const;
    void Reallocate(int width, int height, TPixelFormat format, bool keepPixels);
    // From 24 to 32 bits per pixel within the picture's own block; sets the new stride.
    void WidenToQuadsInPlace(std::size_t newStride);

    int FWidth = 0;
    int FHeight = 0;
    TPixelFormat FFormat = TPixelFormat::pf24bit;
    std::size_t FStride = 0;
    struct FreeBits {
        void operator()(std::uint8_t* p) const noexcept;
    };
    using Bits = std::unique_ptr<std::uint8_t[], FreeBits>;
    // Zero-filled; large blocks come from the system's zero pages, so pixels cost memory
    // only once they are written.
    static Bits Allocate(std::size_t bytes);

    Bits FBits;
    TPalette FPalette;
    TTransparentMode FTransparentMode = TTransparentMode::tmAuto;
    TColor FTransparentColor = clNone;
};

// The default palettes of the palette formats: black and white; the 16 standard colours;
// the 6x6x6 colour cube (entry 36r + 6g + b) followed by 40 greys.
TPalette DefaultPalette(TPixelFormat format);
// Greys from black to white in 2^bits steps.
TPalette GreyPalette(int bits);
