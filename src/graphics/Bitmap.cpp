#include "graphics/Bitmap.h"

#include "base/Exceptions.h"
#include "graphics/Stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>

namespace {

// Pictures beyond this many bytes are refused before allocation (16 GiB).
constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 34;

const char* const kInvalidBitmap = "Bitmap image is not valid";

inline TColor Bgr(std::uint8_t b, std::uint8_t g, std::uint8_t r) { return RGBColor(r, g, b); }

inline TColor PaletteColor(const TPalette& palette, unsigned index)
{
    if (index < palette.size()) {
        const TPaletteEntry& e = palette[index];
        return RGBColor(e.Red, e.Green, e.Blue);
    }
    return clBlack;
}

inline unsigned IndexAt(const std::uint8_t* row, int x, TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case TPixelFormat::pf4bit: return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4;
    default: return row[x];
    }
}

inline void SetIndexAt(std::uint8_t* row, int x, TPixelFormat format, unsigned index)
{
    switch (format) {
    case TPixelFormat::pf1bit: {
        const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
        row[x >> 3] = static_cast<std::uint8_t>((index & 1u) ? row[x >> 3] | bit : row[x >> 3] & ~bit);
        break;
    }
    case TPixelFormat::pf4bit:
        if (x & 1) {
            row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0u) | (index & 0x0Fu));
        } else {
            row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0Fu) | ((index & 0x0Fu) << 4));
        }
        break;
    default: row[x] = static_cast<std::uint8_t>(index); break;
    }
}

// Widens a 5- or 6-bit component by repeating its top bits below it.
inline int Widen5(unsigned c) { return static_cast<int>((c << 3) | (c >> 2)); }
inline int Widen6(unsigned c) { return static_cast<int>((c << 2) | (c >> 4)); }

inline TColor ColorAt(const std::uint8_t* row, int x, TPixelFormat format, const TPalette& palette)
{
    switch (format) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: return PaletteColor(palette, IndexAt(row, x, format));
    case TPixelFormat::pf15bit: {
        const unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
        return RGBColor(Widen5((w >> 10) & 31), Widen5((w >> 5) & 31), Widen5(w & 31));
    }
    case TPixelFormat::pf16bit: {
        const unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
        return RGBColor(Widen5((w >> 11) & 31), Widen6((w >> 5) & 63), Widen5(w & 31));
    }
    case TPixelFormat::pf24bit: return Bgr(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    case TPixelFormat::pf32bit: return Bgr(row[4 * x], row[4 * x + 1], row[4 * x + 2]);
    }
    return clBlack;
}

// Writes a plain colour into a pixel of a direct-colour format.
inline void SetDirectColor(std::uint8_t* row, int x, TPixelFormat format, TColor c)
{
    const unsigned r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    switch (format) {
    case TPixelFormat::pf15bit: {
        const unsigned w = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        row[2 * x] = static_cast<std::uint8_t>(w);
        row[2 * x + 1] = static_cast<std::uint8_t>(w >> 8);
        break;
    }
    case TPixelFormat::pf16bit: {
        const unsigned w = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        row[2 * x] = static_cast<std::uint8_t>(w);
        row[2 * x + 1] = static_cast<std::uint8_t>(w >> 8);
        break;
    }
    case TPixelFormat::pf24bit:
        row[3 * x] = static_cast<std::uint8_t>(b);
        row[3 * x + 1] = static_cast<std::uint8_t>(g);
        row[3 * x + 2] = static_cast<std::uint8_t>(r);
        break;
    case TPixelFormat::pf32bit:
        row[4 * x] = static_cast<std::uint8_t>(b);
        row[4 * x + 1] = static_cast<std::uint8_t>(g);
        row[4 * x + 2] = static_cast<std::uint8_t>(r);
        row[4 * x + 3] = 0;
        break;
    default: break;
    }
}

int NearestIndex(const TPalette& palette, TColor color)
{
    const int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int d = std::abs(palette[i].Red - r) + std::abs(palette[i].Green - g) + std::abs(palette[i].Blue - b);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
            if (d == 0) {
                break;
            }
        }
    }
    return best;
}

// Little-endian fields of the BMP headers.
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void PutLe16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}

}  // namespace

TPalette GreyPalette(int bits)
{
    const int count = 1 << bits;
    TPalette palette(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / (count - 1));
        palette[static_cast<std::size_t>(i)] = {v, v, v};
    }
    return palette;
}

TPalette DefaultPalette(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit: return {{0, 0, 0}, {255, 255, 255}};
    case TPixelFormat::pf4bit:
        return {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
                {0, 128, 128},   {128, 128, 128}, {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    case TPixelFormat::pf8bit: {
        TPalette palette;
        palette.reserve(256);
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    palette.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                                       static_cast<std::uint8_t>(b * 51)});
        // Greys between the cube's levels.
        for (int v = 0, added = 0; v < 256 && added < 40; ++v) {
            if (v % 51 != 0 && v % 6 == 3) {
                const auto u = static_cast<std::uint8_t>(v);
                palette.push_back({u, u, u});
                ++added;
            }
        }
        while (palette.size() < 256) {
            palette.push_back({0, 0, 0});
        }
        return palette;
    }
    default: return {};
    }
}

void TBitmap::FreeBits::operator()(std::uint8_t* p) const noexcept { std::free(p); }

TBitmap::Bits TBitmap::Allocate(std::size_t bytes)
{
    if (bytes > kMaxImageBytes) {
        throw EOutOfMemory("Out of memory");
    }
    void* p = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (p == nullptr) {
        throw EOutOfMemory("Out of memory");
    }
    return Bits(static_cast<std::uint8_t*>(p));
}

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

int TBitmap::BitsPerPixel(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    }
    return 24;
}

std::size_t TBitmap::RowBytes(int width, TPixelFormat format)
{
    const std::uint64_t bits = static_cast<std::uint64_t>(std::max(width, 0)) * static_cast<unsigned>(BitsPerPixel(format));
    return static_cast<std::size_t>((bits + 31) / 32 * 4);
}

void TBitmap::CheckRow(int row) const
{
    if (row < 0 || row >= FHeight) {
        throw EInvalidGraphic("Scan line index out of range");
    }
}

void TBitmap::Reallocate(int width, int height, TPixelFormat format, bool keepPixels)
{
    if (width < 0 || height < 0) {
        throw EInvalidGraphic("Invalid bitmap size");
    }
    if (width == 0 || height == 0) {
        width = height = 0;
    }
    const std::size_t stride = RowBytes(width, format);
    if (height != 0 && stride > kMaxImageBytes / static_cast<std::size_t>(height)) {
        throw EOutOfMemory("Out of memory");
    }
    auto bits = height != 0 ? Allocate(stride * static_cast<std::size_t>(height)) : nullptr;
    if (keepPixels && FBits && bits) {
        const int rows = std::min(height, FHeight);
        const std::int64_t keptBits = static_cast<std::int64_t>(std::min(width, FWidth)) * BitsPerPixel(format);
        const auto bytes = static_cast<std::size_t>((keptBits + 7) / 8);
        for (int y = 0; y < rows; ++y) {
            std::memcpy(bits.get() + static_cast<std::size_t>(y) * stride, FBits.get() + static_cast<std::size_t>(y) * FStride, bytes);
        }
        // A partial last byte may carry pixels beyond the new width: clear them.
        if (keptBits % 8 != 0) {
            const auto mask = static_cast<std::uint8_t>(0xFF00u >> (keptBits % 8));
            for (int y = 0; y < rows; ++y) {
                bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(keptBits / 8)] &= mask;
            }
        }
    }
    FBits = std::move(bits);
    FWidth = width;
    FHeight = height;
    FStride = stride;
    FFormat = format;
}

void TBitmap::SetSize(int width, int height)
{
    if (width == FWidth && height == FHeight) {
        return;
    }
    Reallocate(width, height, FFormat, true);
    if (HasPaletteFormat() && FPalette.empty()) {
        FPalette = DefaultPalette(FFormat);
    }
    Changed();
}

void TBitmap::SetPalette(const TPalette& palette)
{
    if (palette.size() > 256) {
        throw EInvalidGraphic("Palette of more than 256 entries");
    }
    FPalette = palette;
    Changed();
}

int TBitmap::NearestPaletteIndex(TColor color) const { return NearestIndex(FPalette, color); }

void TBitmap::SetPixelFormat(TPixelFormat value)
{
    if (value == FFormat) {
        return;
    }
    const TPixelFormat oldFormat = FFormat;
    const bool wasIndexed = HasPaletteFormat();
    // A fixed transparent colour that names a palette entry becomes that entry's colour
    // when the palette goes.
    const TColor resolvedTransparent = TransparentColor();

    const bool toIndexed = value == TPixelFormat::pf1bit || value == TPixelFormat::pf4bit || value == TPixelFormat::pf8bit;
    TPalette newPalette = toIndexed ? FPalette : TPalette{};
    if (Empty()) {
        FStride = 0;
    } else {
        const std::size_t newStride = RowBytes(FWidth, value);
        if (newStride > kMaxImageBytes / static_cast<std::size_t>(FHeight)) {
            throw EOutOfMemory("Out of memory");
        }
        if (oldFormat == TPixelFormat::pf24bit && value == TPixelFormat::pf32bit) {
            WidenToQuadsInPlace(newStride);
        } else {
            auto newBits = Allocate(newStride * static_cast<std::size_t>(FHeight));
            const unsigned maxIndex = toIndexed ? (1u << BitsPerPixel(value)) : 0;
            bool copyIndices = false;
            if (toIndexed && wasIndexed) {
                copyIndices = FPalette.size() <= maxIndex;
                for (int y = 0; y < FHeight && copyIndices; ++y) {
                    const std::uint8_t* src = FBits.get() + static_cast<std::size_t>(y) * FStride;
                    for (int x = 0; x < FWidth; ++x) {
                        if (IndexAt(src, x, oldFormat) >= maxIndex) {
                            copyIndices = false;
                            break;
                        }
                    }
                }
            }
            if (toIndexed && !copyIndices) {
                newPalette = DefaultPalette(value);
            }
            std::unordered_map<TColor, unsigned> nearest;
            const bool widening = value == TPixelFormat::pf32bit && wasIndexed;
            if (widening) {
                // The common widenings, a row at a time: palette indices through a table of the
                // 256 possible entries (black past the palette's end), or three bytes to four.
                std::uint8_t table[256][4] = {};
                if (wasIndexed) {
                    for (unsigned i = 0; i < 256; ++i) {
                        const TColor c = PaletteColor(FPalette, i);
                        table[i][0] = static_cast<std::uint8_t>(GetBValue(c));
                        table[i][1] = static_cast<std::uint8_t>(GetGValue(c));
                        table[i][2] = static_cast<std::uint8_t>(GetRValue(c));
                    }
                }
                for (int y = 0; y < FHeight; ++y) {
                    const std::uint8_t* src = FBits.get() + static_cast<std::size_t>(y) * FStride;
                    std::uint8_t* dst = newBits.get() + static_cast<std::size_t>(y) * newStride;
                    if (oldFormat == TPixelFormat::pf24bit) {
                        for (int x = 0; x < FWidth; ++x, src += 3, dst += 4) {
                            dst[0] = src[0];
                            dst[1] = src[1];
                            dst[2] = src[2];
                        }
                    } else if (oldFormat == TPixelFormat::pf8bit) {
                        for (int x = 0; x < FWidth; ++x, dst += 4) std::memcpy(dst, table[src[x]], 4);
                    } else {
                        for (int x = 0; x < FWidth; ++x, dst += 4) std::memcpy(dst, table[IndexAt(src, x, oldFormat)], 4);
                    }
                }
            }
            for (int y = 0; !widening && y < FHeight; ++y) {
                const std::uint8_t* src = FBits.get() + static_cast<std::size_t>(y) * FStride;
                std::uint8_t* dst = newBits.get() + static_cast<std::size_t>(y) * newStride;
                for (int x = 0; x < FWidth; ++x) {
                    if (copyIndices) {
                        SetIndexAt(dst, x, value, IndexAt(src, x, oldFormat));
                        continue;
                    }
                    const TColor c = ColorAt(src, x, oldFormat, FPalette);
                    if (toIndexed) {
                        auto it = nearest.find(c);
                        if (it == nearest.end()) {
                            it = nearest.emplace(c, static_cast<unsigned>(NearestIndex(newPalette, c))).first;
                        }
                        SetIndexAt(dst, x, value, it->second);
                    } else {
                        SetDirectColor(dst, x, value, c);
                    }
                }
            }
            FBits = std::move(newBits);
            FStride = newStride;
        }
    }
    FPalette = std::move(newPalette);
    FFormat = value;
    if (!HasPaletteFormat()) {
        FPalette.clear();
        if (FTransparentMode == TTransparentMode::tmFixed && IsPaletteIndex(FTransparentColor)) {
            FTransparentColor = resolvedTransparent;
        }
    } else if (FPalette.empty()) {
        FPalette = DefaultPalette(value);
    }
    Changed();
}

TColor TBitmap::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) {
        return clNone;
    }
    return ColorAt(FBits.get() + static_cast<std::size_t>(y) * FStride, x, FFormat, FPalette);
}

void TBitmap::SetPixel(int x, int y, TColor color)
{
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) {
        return;
    }
    std::uint8_t* row = FBits.get() + static_cast<std::size_t>(y) * FStride;
    if (HasPaletteFormat()) {
        const unsigned index = IsPaletteIndex(color) ? static_cast<unsigned>(color & 0xFF)
                                                     : static_cast<unsigned>(NearestIndex(FPalette, color));
        SetIndexAt(row, x, FFormat, index);
    } else {
        if (IsPaletteIndex(color)) {
            color = PaletteColor(FPalette, static_cast<unsigned>(color & 0xFF));
        }
        SetDirectColor(row, x, FFormat, color);
    }
}

TColor TBitmap::TransparentColor() const
{
    if (FTransparentMode == TTransparentMode::tmFixed) {
        if (IsPaletteIndex(FTransparentColor) && static_cast<std::size_t>(FTransparentColor & 0xFF) < FPalette.size()) {
            return PaletteColor(FPalette, static_cast<unsigned>(FTransparentColor & 0xFF));
        }
        return FTransparentColor;
    }
    if (Empty()) {
        return clNone;
    }
    return Pixel(0, FHeight - 1);
}

void TBitmap::SetTransparentColor(TColor color)
{
    if (color == clNone) {
        FTransparentMode = TTransparentMode::tmAuto;
        FTransparentColor = clNone;
    } else {
        FTransparentMode = TTransparentMode::tmFixed;
        FTransparentColor = color;
    }
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode mode)
{
    if (mode == FTransparentMode) {
        return;
    }
    if (mode == TTransparentMode::tmFixed) {
        FTransparentColor = TransparentColor();
    } else {
        FTransparentColor = clNone;
    }
    FTransparentMode = mode;
    Changed();
}

std::unique_ptr<TBitmap> TBitmap::CreateMask() const
{
    auto mask = std::make_unique<TBitmap>();
    mask->SetPixelFormat(TPixelFormat::pf1bit);
    mask->FPalette = DefaultPalette(TPixelFormat::pf1bit);
    if (Empty()) {
        return mask;
    }
    mask->Reallocate(FWidth, FHeight, TPixelFormat::pf1bit, false);
    const TColor key = TransparentColor() & 0xFFFFFF;
    for (int y = 0; y < FHeight; ++y) {
        const std::uint8_t* src = FBits.get() + static_cast<std::size_t>(y) * FStride;
        std::uint8_t* dst = mask->FBits.get() + static_cast<std::size_t>(y) * mask->FStride;
        for (int x = 0; x < FWidth; ++x) {
            if (ColorAt(src, x, FFormat, FPalette) == key) {
                dst[x >> 3] = static_cast<std::uint8_t>(dst[x >> 3] | (0x80u >> (x & 7)));
            }
        }
    }
    return mask;
}

void TBitmap::Assign(const TPersistent* source)
{
    if (source == nullptr) {
        FBits.reset();
        FWidth = FHeight = 0;
        FStride = 0;
        FPalette.clear();
        Changed();
        return;
    }
    if (source == this) {
        return;
    }
    if (const auto* other = dynamic_cast<const TBitmap*>(source)) {
        auto bits = other->FBits ? Allocate(other->FStride * static_cast<std::size_t>(other->FHeight)) : nullptr;
        if (bits) {
            std::memcpy(bits.get(), other->FBits.get(), other->FStride * static_cast<std::size_t>(other->FHeight));
        }
        FBits = std::move(bits);
        FWidth = other->FWidth;
        FHeight = other->FHeight;
        FStride = other->FStride;
        FFormat = other->FFormat;
        FPalette = other->FPalette;
        FTransparent = other->FTransparent;
        FTransparentMode = other->FTransparentMode;
        FTransparentColor = other->FTransparentColor;
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TBitmap::WidenToQuadsInPlace(std::size_t newStride)
{
    // The block grows to the new size (for a big picture the system moves its pages rather
    // than copying them), then every pixel moves to its new place, from the last one back:
    // a pixel's new place never lies before its old one, so no pixel is overwritten before
    // it has moved. Rows of four-byte pixels have no padding to clear.
    const std::size_t oldStride = FStride;
    const std::size_t bytes = newStride * static_cast<std::size_t>(FHeight);
    void* p = std::realloc(FBits.get(), bytes);
    if (p == nullptr) {
        throw EOutOfMemory("Out of memory");
    }
    (void)FBits.release();
    FBits.reset(static_cast<std::uint8_t*>(p));
    std::uint8_t* const base = FBits.get();
    for (int y = FHeight - 1; y >= 0; --y) {
        const std::uint8_t* src = base + static_cast<std::size_t>(y) * oldStride;
        std::uint8_t* dst = base + static_cast<std::size_t>(y) * newStride;
        for (int x = FWidth - 1; x >= 0; --x) {
            const std::uint8_t b = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
            dst[4 * x + 3] = 0;
            dst[4 * x + 2] = r;
            dst[4 * x + 1] = g;
            dst[4 * x] = b;
        }
    }
    FStride = newStride;
}

void TBitmap::Exchange(TBitmap& other)
{
    if (&other == this) {
        return;
    }
    std::swap(FBits, other.FBits);
    std::swap(FWidth, other.FWidth);
    std::swap(FHeight, other.FHeight);
    std::swap(FStride, other.FStride);
    std::swap(FFormat, other.FFormat);
    std::swap(FPalette, other.FPalette);
    std::swap(FTransparent, other.FTransparent);
    std::swap(FTransparentMode, other.FTransparentMode);
    std::swap(FTransparentColor, other.FTransparentColor);
    Changed();
    other.Changed();
}

// ---------------------------------------------------------------- BMP streams

void TBitmap::LoadFromStream(TStream& stream)
{
    const std::int64_t start = stream.Position();
    std::uint8_t fileHeader[14];
    stream.ReadBuffer(fileHeader, sizeof fileHeader);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') {
        throw EInvalidGraphic(kInvalidBitmap);
    }
    const std::uint32_t offBits = Le32(fileHeader + 10);
    std::uint8_t info[124] = {};
    stream.ReadBuffer(info, 4);
    const std::uint32_t infoSize = Le32(info);
    if (infoSize != 12 && (infoSize < 40 || infoSize > 124)) {
        throw EInvalidGraphic(kInvalidBitmap);
    }
    stream.ReadBuffer(info + 4, infoSize - 4);

    std::int64_t width = 0, height = 0;
    unsigned bitCount = 0, compression = 0, colorsUsed = 0, paletteEntrySize = 4;
    std::uint32_t masks[3] = {0, 0, 0};
    if (infoSize == 12) {
        width = Le16(info + 4);
        height = static_cast<std::int16_t>(Le16(info + 6));
        bitCount = Le16(info + 10);
        paletteEntrySize = 3;
    } else {
        width = static_cast<std::int32_t>(Le32(info + 4));
        height = static_cast<std::int32_t>(Le32(info + 8));
        bitCount = Le16(info + 14);
        compression = Le32(info + 16);
        colorsUsed = Le32(info + 32);
        if (compression == 3) {
            if (infoSize >= 52) {
                masks[0] = Le32(info + 40);
                masks[1] = Le32(info + 44);
                masks[2] = Le32(info + 48);
            } else {
                std::uint8_t m[12];
                stream.ReadBuffer(m, sizeof m);
                masks[0] = Le32(m);
                masks[1] = Le32(m + 4);
                masks[2] = Le32(m + 8);
            }
        }
    }
    const bool topDown = height < 0;
    height = topDown ? -height : height;
    if (width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
        throw EInvalidGraphic(kInvalidBitmap);
    }

    TPixelFormat format;
    switch (bitCount) {
    case 1: format = TPixelFormat::pf1bit; break;
    case 4: format = TPixelFormat::pf4bit; break;
    case 8: format = TPixelFormat::pf8bit; break;
    case 16: format = TPixelFormat::pf15bit; break;
    case 24: format = TPixelFormat::pf24bit; break;
    case 32: format = TPixelFormat::pf32bit; break;
    default: throw EInvalidGraphic(kInvalidBitmap);
    }
    if (compression == 3) {
        if (bitCount == 16 && masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
            format = TPixelFormat::pf16bit;
        } else if (!(bitCount == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) &&
                   !(bitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF)) {
            throw EInvalidGraphic(kInvalidBitmap);
        }
    } else if (compression != 0) {
        throw EInvalidGraphic(kInvalidBitmap);
    }

    TPalette palette;
    if (bitCount <= 8) {
        const unsigned count = colorsUsed != 0 ? colorsUsed : (1u << bitCount);
        if (count > 256) {
            throw EInvalidGraphic(kInvalidBitmap);
        }
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(count) * paletteEntrySize);
        stream.ReadBuffer(raw.data(), static_cast<std::int64_t>(raw.size()));
        palette.resize(count);
        for (unsigned i = 0; i < count; ++i) {
            const std::uint8_t* e = raw.data() + static_cast<std::size_t>(i) * paletteEntrySize;
            palette[i] = {e[2], e[1], e[0]};
        }
    }

    TBitmap image;
    image.FFormat = format;
    image.Reallocate(static_cast<int>(width), static_cast<int>(height), format, false);
    image.FPalette = palette;
    stream.SetPosition(start + offBits);
    for (int y = 0; y < image.FHeight; ++y) {
        const int row = topDown ? y : image.FHeight - 1 - y;
        stream.ReadBuffer(image.ScanLine(row), static_cast<std::int64_t>(image.FStride));
    }
    if (format == TPixelFormat::pf32bit) {
        for (int y = 0; y < image.FHeight; ++y) {
            std::uint8_t* p = image.ScanLine(y);
            for (int x = 0; x < image.FWidth; ++x) {
                p[4 * x + 3] = 0;
            }
        }
    }

    FBits = std::move(image.FBits);
    FWidth = image.FWidth;
    FHeight = image.FHeight;
    FStride = image.FStride;
    FFormat = format;
    FPalette = std::move(image.FPalette);
    Changed();
}

void TBitmap::SaveToStream(TStream& stream)
{
    const unsigned bitCount = static_cast<unsigned>(BitsPerPixel());
    const bool bitfields = FFormat == TPixelFormat::pf16bit;
    const std::size_t paletteBytes = HasPaletteFormat() ? FPalette.size() * 4 : 0;
    const std::size_t headerBytes = 14 + 40 + (bitfields ? 12 : 0) + paletteBytes;
    const std::uint64_t imageBytes = static_cast<std::uint64_t>(FStride) * static_cast<std::uint64_t>(FHeight);

    std::vector<std::uint8_t> header(headerBytes, 0);
    std::uint8_t* p = header.data();
    p[0] = 'B';
    p[1] = 'M';
    PutLe32(p + 2, static_cast<std::uint32_t>(std::min<std::uint64_t>(headerBytes + imageBytes, 0xFFFFFFFFu)));
    PutLe32(p + 10, static_cast<std::uint32_t>(headerBytes));
    p += 14;
    PutLe32(p, 40);
    PutLe32(p + 4, static_cast<std::uint32_t>(FWidth));
    PutLe32(p + 8, static_cast<std::uint32_t>(FHeight));
    PutLe16(p + 12, 1);
    PutLe16(p + 14, bitCount);
    PutLe32(p + 16, bitfields ? 3 : 0);
    PutLe32(p + 20, static_cast<std::uint32_t>(std::min<std::uint64_t>(imageBytes, 0xFFFFFFFFu)));
    PutLe32(p + 24, 3780);  // 96 dots per inch
    PutLe32(p + 28, 3780);
    PutLe32(p + 32, static_cast<std::uint32_t>(HasPaletteFormat() ? FPalette.size() : 0));
    p += 40;
    if (bitfields) {
        PutLe32(p, 0xF800);
        PutLe32(p + 4, 0x07E0);
        PutLe32(p + 8, 0x001F);
        p += 12;
    }
    if (HasPaletteFormat()) {
        for (const TPaletteEntry& e : FPalette) {
            p[0] = e.Blue;
            p[1] = e.Green;
            p[2] = e.Red;
            p += 4;
        }
    }
    stream.WriteBuffer(header.data(), static_cast<std::int64_t>(header.size()));
    for (int y = FHeight - 1; y >= 0; --y) {
        stream.WriteBuffer(ScanLine(y), static_cast<std::int64_t>(FStride));
    }
}
