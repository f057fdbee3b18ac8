#include "graphics/Bitmap.h"

#include "graphics/Exceptions.h"
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
    if (row < 0 || row >= height_) {
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
    if (keepPixels && bits_ && bits) {
        const int rows = std::min(height, height_);
        const std::int64_t keptBits = static_cast<std::int64_t>(std::min(width, width_)) * BitsPerPixel(format);
        const auto bytes = static_cast<std::size_t>((keptBits + 7) / 8);
        for (int y = 0; y < rows; ++y) {
            std::memcpy(bits.get() + static_cast<std::size_t>(y) * stride, bits_.get() + static_cast<std::size_t>(y) * stride_, bytes);
        }
        // A partial last byte may carry pixels beyond the new width: clear them.
        if (keptBits % 8 != 0) {
            const auto mask = static_cast<std::uint8_t>(0xFF00u >> (keptBits % 8));
            for (int y = 0; y < rows; ++y) {
                bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(keptBits / 8)] &= mask;
            }
        }
    }
    bits_ = std::move(bits);
    width_ = width;
    height_ = height;
    stride_ = stride;
    format_ = format;
}

void TBitmap::SetSize(int width, int height)
{
    if (width == width_ && height == height_) {
        return;
    }
    Reallocate(width, height, format_, true);
    if (HasPaletteFormat() && palette_.empty()) {
        palette_ = DefaultPalette(format_);
    }
    Changed();
}

void TBitmap::SetPalette(const TPalette& palette)
{
    if (palette.size() > 256) {
        throw EInvalidGraphic("Palette of more than 256 entries");
    }
    palette_ = palette;
    Changed();
}

int TBitmap::NearestPaletteIndex(TColor color) const { return NearestIndex(palette_, color); }

void TBitmap::SetPixelFormat(TPixelFormat value)
{
    if (value == format_) {
        return;
    }
    const TPixelFormat oldFormat = format_;
    const bool wasIndexed = HasPaletteFormat();
    // A fixed transparent colour that names a palette entry becomes that entry's colour
    // when the palette goes.
    const TColor resolvedTransparent = TransparentColor();

    const bool toIndexed = value == TPixelFormat::pf1bit || value == TPixelFormat::pf4bit || value == TPixelFormat::pf8bit;
    TPalette newPalette = toIndexed ? palette_ : TPalette{};
    if (Empty()) {
        stride_ = 0;
    } else {
        const std::size_t newStride = RowBytes(width_, value);
        if (newStride > kMaxImageBytes / static_cast<std::size_t>(height_)) {
            throw EOutOfMemory("Out of memory");
        }
        if (oldFormat == TPixelFormat::pf24bit && value == TPixelFormat::pf32bit) {
            WidenToQuadsInPlace(newStride);
        } else {
            auto newBits = Allocate(newStride * static_cast<std::size_t>(height_));
            const unsigned maxIndex = toIndexed ? (1u << BitsPerPixel(value)) : 0;
            bool copyIndices = false;
            if (toIndexed && wasIndexed) {
                copyIndices = palette_.size() <= maxIndex;
                for (int y = 0; y < height_ && copyIndices; ++y) {
                    const std::uint8_t* src = bits_.get() + static_cast<std::size_t>(y) * stride_;
                    for (int x = 0; x < width_; ++x) {
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
                        const TColor c = PaletteColor(palette_, i);
                        table[i][0] = static_cast<std::uint8_t>(GetBValue(c));
                        table[i][1] = static_cast<std::uint8_t>(GetGValue(c));
                        table[i][2] = static_cast<std::uint8_t>(GetRValue(c));
                    }
                }
                for (int y = 0; y < height_; ++y) {
                    const std::uint8_t* src = bits_.get() + static_cast<std::size_t>(y) * stride_;
                    std::uint8_t* dst = newBits.get() + static_cast<std::size_t>(y) * newStride;
                    if (oldFormat == TPixelFormat::pf24bit) {
                        for (int x = 0; x < width_; ++x, src += 3, dst += 4) {
                            dst[0] = src[0];
                            dst[1] = src[1];
                            dst[2] = src[2];
                        }
                    } else if (oldFormat == TPixelFormat::pf8bit) {
                        for (int x = 0; x < width_; ++x, dst += 4) std::memcpy(dst, table[src[x]], 4);
                    } else {
                        for (int x = 0; x < width_; ++x, dst += 4) std::memcpy(dst, table[IndexAt(src, x, oldFormat)], 4);
                    }
                }
            }
            for (int y = 0; !widening && y < height_; ++y) {
                const std::uint8_t* src = bits_.get() + static_cast<std::size_t>(y) * stride_;
                std::uint8_t* dst = newBits.get() + static_cast<std::size_t>(y) * newStride;
                for (int x = 0; x < width_; ++x) {
                    if (copyIndices) {
                        SetIndexAt(dst, x, value, IndexAt(src, x, oldFormat));
                        continue;
                    }
                    const TColor c = ColorAt(src, x, oldFormat, palette_);
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
            bits_ = std::move(newBits);
            stride_ = newStride;
        }
    }
    palette_ = std::move(newPalette);
    format_ = value;
    if (!HasPaletteFormat()) {
        palette_.clear();
        if (transparentMode_ == TTransparentMode::tmFixed && IsPaletteIndex(transparentColor_)) {
            transparentColor_ = resolvedTransparent;
        }
    } else if (palette_.empty()) {
        palette_ = DefaultPalette(value);
    }
    Changed();
}

TColor TBitmap::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return clNone;
    }
    return ColorAt(bits_.get() + static_cast<std::size_t>(y) * stride_, x, format_, palette_);
}

void TBitmap::SetPixel(int x, int y, TColor color)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return;
    }
    std::uint8_t* row = bits_.get() + static_cast<std::size_t>(y) * stride_;
    if (HasPaletteFormat()) {
        const unsigned index = IsPaletteIndex(color) ? static_cast<unsigned>(color & 0xFF)
                                                     : static_cast<unsigned>(NearestIndex(palette_, color));
        SetIndexAt(row, x, format_, index);
    } else {
        if (IsPaletteIndex(color)) {
            color = PaletteColor(palette_, static_cast<unsigned>(color & 0xFF));
        }
        SetDirectColor(row, x, format_, color);
    }
}

TColor TBitmap::TransparentColor() const
{
    if (transparentMode_ == TTransparentMode::tmFixed) {
        if (IsPaletteIndex(transparentColor_) && static_cast<std::size_t>(transparentColor_ & 0xFF) < palette_.size()) {
            return PaletteColor(palette_, static_cast<unsigned>(transparentColor_ & 0xFF));
        }
        return transparentColor_;
    }
    if (Empty()) {
        return clNone;
    }
    return Pixel(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor color)
{
    if (color == clNone) {
        transparentMode_ = TTransparentMode::tmAuto;
        transparentColor_ = clNone;
    } else {
        transparentMode_ = TTransparentMode::tmFixed;
        transparentColor_ = color;
    }
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode mode)
{
    if (mode == transparentMode_) {
        return;
    }
    if (mode == TTransparentMode::tmFixed) {
        transparentColor_ = TransparentColor();
    } else {
        transparentColor_ = clNone;
    }
    transparentMode_ = mode;
    Changed();
}

std::unique_ptr<TBitmap> TBitmap::CreateMask() const
{
    auto mask = std::make_unique<TBitmap>();
    mask->SetPixelFormat(TPixelFormat::pf1bit);
    mask->palette_ = DefaultPalette(TPixelFormat::pf1bit);
    if (Empty()) {
        return mask;
    }
    mask->Reallocate(width_, height_, TPixelFormat::pf1bit, false);
    const TColor key = TransparentColor() & 0xFFFFFF;
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = bits_.get() + static_cast<std::size_t>(y) * stride_;
        std::uint8_t* dst = mask->bits_.get() + static_cast<std::size_t>(y) * mask->stride_;
        for (int x = 0; x < width_; ++x) {
            if (ColorAt(src, x, format_, palette_) == key) {
                dst[x >> 3] = static_cast<std::uint8_t>(dst[x >> 3] | (0x80u >> (x & 7)));
            }
        }
    }
    return mask;
}

void TBitmap::Assign(const TPersistent* source)
{
    if (source == nullptr) {
        bits_.reset();
        width_ = height_ = 0;
        stride_ = 0;
        palette_.clear();
        Changed();
        return;
    }
    if (source == this) {
        return;
    }
    if (const auto* other = dynamic_cast<const TBitmap*>(source)) {
        auto bits = other->bits_ ? Allocate(other->stride_ * static_cast<std::size_t>(other->height_)) : nullptr;
        if (bits) {
            std::memcpy(bits.get(), other->bits_.get(), other->stride_ * static_cast<std::size_t>(other->height_));
        }
        bits_ = std::move(bits);
        width_ = other->width_;
        height_ = other->height_;
        stride_ = other->stride_;
        format_ = other->format_;
        palette_ = other->palette_;
        transparent_ = other->transparent_;
        transparentMode_ = other->transparentMode_;
        transparentColor_ = other->transparentColor_;
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
    const std::size_t oldStride = stride_;
    const std::size_t bytes = newStride * static_cast<std::size_t>(height_);
    void* p = std::realloc(bits_.get(), bytes);
    if (p == nullptr) {
        throw EOutOfMemory("Out of memory");
    }
    (void)bits_.release();
    bits_.reset(static_cast<std::uint8_t*>(p));
    std::uint8_t* const base = bits_.get();
    for (int y = height_ - 1; y >= 0; --y) {
        const std::uint8_t* src = base + static_cast<std::size_t>(y) * oldStride;
        std::uint8_t* dst = base + static_cast<std::size_t>(y) * newStride;
        for (int x = width_ - 1; x >= 0; --x) {
            const std::uint8_t b = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
            dst[4 * x + 3] = 0;
            dst[4 * x + 2] = r;
            dst[4 * x + 1] = g;
            dst[4 * x] = b;
        }
    }
    stride_ = newStride;
}

void TBitmap::Exchange(TBitmap& other)
{
    if (&other == this) {
        return;
    }
    std::swap(bits_, other.bits_);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(stride_, other.stride_);
    std::swap(format_, other.format_);
    std::swap(palette_, other.palette_);
    std::swap(transparent_, other.transparent_);
    std::swap(transparentMode_, other.transparentMode_);
    std::swap(transparentColor_, other.transparentColor_);
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
    image.format_ = format;
    image.Reallocate(static_cast<int>(width), static_cast<int>(height), format, false);
    image.palette_ = palette;
    stream.SetPosition(start + offBits);
    for (int y = 0; y < image.height_; ++y) {
        const int row = topDown ? y : image.height_ - 1 - y;
        stream.ReadBuffer(image.ScanLine(row), static_cast<std::int64_t>(image.stride_));
    }
    if (format == TPixelFormat::pf32bit) {
        for (int y = 0; y < image.height_; ++y) {
            std::uint8_t* p = image.ScanLine(y);
            for (int x = 0; x < image.width_; ++x) {
                p[4 * x + 3] = 0;
            }
        }
    }

    bits_ = std::move(image.bits_);
    width_ = image.width_;
    height_ = image.height_;
    stride_ = image.stride_;
    format_ = format;
    palette_ = std::move(image.palette_);
    Changed();
}

void TBitmap::SaveToStream(TStream& stream)
{
    const unsigned bitCount = static_cast<unsigned>(BitsPerPixel());
    const bool bitfields = format_ == TPixelFormat::pf16bit;
    const std::size_t paletteBytes = HasPaletteFormat() ? palette_.size() * 4 : 0;
    const std::size_t headerBytes = 14 + 40 + (bitfields ? 12 : 0) + paletteBytes;
    const std::uint64_t imageBytes = static_cast<std::uint64_t>(stride_) * static_cast<std::uint64_t>(height_);

    std::vector<std::uint8_t> header(headerBytes, 0);
    std::uint8_t* p = header.data();
    p[0] = 'B';
    p[1] = 'M';
    PutLe32(p + 2, static_cast<std::uint32_t>(std::min<std::uint64_t>(headerBytes + imageBytes, 0xFFFFFFFFu)));
    PutLe32(p + 10, static_cast<std::uint32_t>(headerBytes));
    p += 14;
    PutLe32(p, 40);
    PutLe32(p + 4, static_cast<std::uint32_t>(width_));
    PutLe32(p + 8, static_cast<std::uint32_t>(height_));
    PutLe16(p + 12, 1);
    PutLe16(p + 14, bitCount);
    PutLe32(p + 16, bitfields ? 3 : 0);
    PutLe32(p + 20, static_cast<std::uint32_t>(std::min<std::uint64_t>(imageBytes, 0xFFFFFFFFu)));
    PutLe32(p + 24, 3780);  // 96 dots per inch
    PutLe32(p + 28, 3780);
    PutLe32(p + 32, static_cast<std::uint32_t>(HasPaletteFormat() ? palette_.size() : 0));
    p += 40;
    if (bitfields) {
        PutLe32(p, 0xF800);
        PutLe32(p + 4, 0x07E0);
        PutLe32(p + 8, 0x001F);
        p += 12;
    }
    if (HasPaletteFormat()) {
        for (const TPaletteEntry& e : palette_) {
            p[0] = e.Blue;
            p[1] = e.Green;
            p[2] = e.Red;
            p += 4;
        }
    }
    stream.WriteBuffer(header.data(), static_cast<std::int64_t>(header.size()));
    for (int y = height_ - 1; y >= 0; --y) {
        stream.WriteBuffer(ScanLine(y), static_cast<std::int64_t>(stride_));
    }
}
