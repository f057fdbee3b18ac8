#include "png/PngWriter.h"

#include "png/PngError.h"
#include "png/PngPredictors.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <zlib.h>

#ifndef TESSIVAL_VERSION
#define TESSIVAL_VERSION "0"
#endif

namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr const char* kSoftware = "Tessival " TESSIVAL_VERSION;
constexpr int kHeaderChunks = 16;  // chunks before the image data, for progress

inline int Luminance(int r, int g, int b) { return (77 * r + 150 * g + 29 * b) / 256; }

void Put16(std::vector<std::uint8_t>& v, unsigned x)
{
    v.push_back(static_cast<std::uint8_t>(x >> 8));
    v.push_back(static_cast<std::uint8_t>(x));
}

void Put32(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    Put16(v, x >> 16);
    Put16(v, x & 0xFFFF);
}

int NearestEntry(const TPalette& palette, TColor c)
{
    const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    int best = 0, bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int d = std::abs(palette[i].Red - r) + std::abs(palette[i].Green - g) + std::abs(palette[i].Blue - b);
        if (d < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = d;
            if (d == 0) break;
        }
    }
    return best;
}

// Red << 16 | green << 8 | blue of a plain colour.
std::uint32_t RgbKey(TColor c)
{
    return static_cast<std::uint32_t>(GetRValue(c)) << 16 | static_cast<std::uint32_t>(GetGValue(c)) << 8 |
           static_cast<std::uint32_t>(GetBValue(c));
}

// The sum of a filtered row's bytes read as signed numbers, without their signs.
std::uint64_t AbsoluteSum(const std::uint8_t* row, std::size_t n)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += row[i] < 128 ? row[i] : 256u - row[i];
    return sum;
}

struct Deflater {
    z_stream z{};
    bool open = false;
    ~Deflater()
    {
        if (open) {
            deflateReset(&z);
            deflateEnd(&z);
        }
    }
};

}  // namespace

// Colour (with alpha) to palette entry, for the at most 256 colours of a palette image.
struct PngWriter::ColourIndex {
    static constexpr int kBits = 10;
    static constexpr std::size_t kSlots = std::size_t{1} << kBits;
    std::array<std::uint32_t, kSlots> keys{};
    std::array<std::int16_t, kSlots> entries;
    ColourIndex() { entries.fill(-1); }
    static std::size_t Slot(std::uint32_t key) { return (key * 2654435761u) >> (32 - kBits); }
    int Find(std::uint32_t key) const
    {
        for (std::size_t s = Slot(key);; s = (s + 1) & (kSlots - 1)) {
            if (entries[s] < 0) return -1;
            if (keys[s] == key) return entries[s];
        }
    }
    void Add(std::uint32_t key, int entry)
    {
        std::size_t s = Slot(key);
        while (entries[s] >= 0) s = (s + 1) & (kSlots - 1);
        keys[s] = key;
        entries[s] = static_cast<std::int16_t>(entry);
    }
};

PngWriter::PngWriter() = default;
PngWriter::~PngWriter() = default;

void PngWriter::SetIdatSize(int value)
{
    if (value < 256 || value > 100000) {
        throw PngError(PngMessage::IdatSize);
    }
    FIdatSize = value;
}

void PngWriter::WriteChunk(const char* type, const std::uint8_t* data, std::size_t length)
{
    WriteDWord(static_cast<std::uint32_t>(length));
    WriteBytes(type, 4);
    if (length > 0) {
        WriteBytes(data, static_cast<std::int64_t>(length));
    }
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
    if (length > 0) {
        crc = crc32(crc, data, static_cast<uInt>(length));
    }
    WriteDWord(static_cast<std::uint32_t>(crc));
}

void PngWriter::ChunkProgress()
{
    ++FChunksWritten;
    const int percent = std::min(29, FChunksWritten * 29 / kHeaderChunks);
    if (percent > FLastPercent) {
        FLastPercent = percent;
        Progress(TProgressStage::psRunning, percent);
    }
}

// ---------------------------------------------------------------- encoder

void PngWriter::Encode()
{
    TBitmap& bitmap = *FBitmap;
    if (bitmap.Empty()) {
        // A picture without pixels has no valid PNG form.
        throw PngError(PngMessage::WriteError);
    }
    switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf1bit: FSourceBits = 1; break;
    case TPixelFormat::pf4bit: FSourceBits = 4; break;
    case TPixelFormat::pf8bit: FSourceBits = 8; break;
    case TPixelFormat::pf15bit: FSourceBits = 15; break;
    case TPixelFormat::pf16bit: FSourceBits = 16; break;
    case TPixelFormat::pf24bit: FSourceBits = 24; break;
    case TPixelFormat::pf32bit: FSourceBits = 32; break;
    }
    FWorkBits = (FSourceBits == 15 || FSourceBits == 16) ? 24 : FSourceBits;

    FAlpha = nullptr;
    if (AlphaBitmap != nullptr && AlphaBitmap != FBitmap && !AlphaBitmap->Empty() &&
        AlphaBitmap->Width() == bitmap.Width() && AlphaBitmap->Height() == bitmap.Height() &&
        AlphaBitmap->PixelFormat() == TPixelFormat::pf8bit) {
        FAlpha = AlphaBitmap;
    }

    FGreyOutput = Grayscale;
    FPaletteOutput = false;
    FIndexedOutput = false;
    FColourIndex.reset();
    if (FGreyOutput) {
        FBitDepth = FWorkBits <= 8 ? FWorkBits : 8;
        FAlphaOutput = FAlpha != nullptr && FBitDepth == 8;
        if (FWorkBits > 8 && !FAlphaOutput && SourceColorType == 0 &&
            (SourceBitDepth == 1 || SourceBitDepth == 2 || SourceBitDepth == 4) && GreyFitsDepth(SourceBitDepth)) {
            FBitDepth = SourceBitDepth;
        }
        FColorType = FAlphaOutput ? 4 : 0;
        FPngBitsPerPixel = FAlphaOutput ? 16 : FBitDepth;
    } else if (FWorkBits <= 8) {
        FPaletteOutput = true;
        FAlphaOutput = false;
        FBitDepth = FWorkBits;
        FColorType = 3;
        FPngBitsPerPixel = FBitDepth;
    } else if (SourceColorType == 3 && BuildIndexedPalette()) {
        FPaletteOutput = true;
        FIndexedOutput = true;
        FAlphaOutput = false;
        FColorType = 3;
        FPngBitsPerPixel = FBitDepth;
    } else {
        FBitDepth = 8;
        FAlphaOutput = FAlpha != nullptr;
        FColorType = FAlphaOutput ? 6 : 2;
        FPngBitsPerPixel = FAlphaOutput ? 32 : 24;
    }
    if (!FAlphaOutput && !FIndexedOutput) {
        FAlpha = nullptr;
    }

    FChunksWritten = 0;
    FLastPercent = -1;
    Progress(TProgressStage::psStarting, 0);
    WriteBytes(kSignature, 8);
    WriteHeaderChunks();
    WriteImage();
    WriteKeptChunks(TPngChunkPlace::AfterImage);
    WriteChunk("IEND", nullptr, 0);
    Progress(TProgressStage::psEnding, 100);
}

void PngWriter::WriteHeaderChunks()
{
    const TBitmap& bitmap = *FBitmap;
    std::vector<std::uint8_t> d;

    // IHDR
    Put32(d, static_cast<std::uint32_t>(bitmap.Width()));
    Put32(d, static_cast<std::uint32_t>(bitmap.Height()));
    d.push_back(static_cast<std::uint8_t>(FBitDepth));
    d.push_back(static_cast<std::uint8_t>(FColorType));
    d.push_back(0);  // compression: deflate
    d.push_back(0);  // filter method 0
    d.push_back(Interlaced ? 1 : 0);
    WriteChunk("IHDR", d);
    ChunkProgress();

    // tIME
    const TPngTime t = AutoTime ? PngCurrentTime() : Time;
    if (t.Year > 0 && t.Month >= 1 && t.Month <= 12 && t.Day >= 1 && t.Day <= 31 && t.Hour < 24 && t.Minute < 60 &&
        t.Second < 61) {
        d.clear();
        Put16(d, t.Year);
        d.insert(d.end(), {t.Month, t.Day, t.Hour, t.Minute, t.Second});
        WriteChunk("tIME", d);
    }
    ChunkProgress();

    // tEXt
    if (!Comment.empty()) {
        d.assign({'C', 'o', 'm', 'm', 'e', 'n', 't', 0});
        d.insert(d.end(), Comment.begin(), Comment.end());
        WriteChunk("tEXt", d);
    }
    ChunkProgress();
    {
        const std::string software = kSoftware;
        d.assign({'S', 'o', 'f', 't', 'w', 'a', 'r', 'e', 0});
        d.insert(d.end(), software.begin(), software.end());
        WriteChunk("tEXt", d);
    }
    ChunkProgress();

    // tpNG: signature, row-transform flag, palette-index-as-grey flag, two zero bytes
    d.assign({'M', 'R', 'V', '3', 0, 0, 0, 0});
    WriteChunk("tpNG", d);
    ChunkProgress();

    // gIFg
    if (std::any_of(GifControl.Bytes.begin(), GifControl.Bytes.end(), [](std::uint8_t b) { return b != 0; })) {
        WriteChunk("gIFg", GifControl.Bytes.data(), GifControl.Bytes.size());
    }
    ChunkProgress();

    // gAMA
    // Rounded: the value read was a whole number of 1/100000, and must come back as it was.
    const double gamma = std::round(Gamma * 100000);
    if (gamma > 0 && gamma <= 4294967295.0) {
        d.clear();
        Put32(d, static_cast<std::uint32_t>(gamma));
        WriteChunk("gAMA", d);
    }
    ChunkProgress();

    // cHRM
    if (Chromaticities.Values[0] != 0 && Chromaticities.Values[1] != 0) {
        d.clear();
        for (std::uint32_t v : Chromaticities.Values) Put32(d, v);
        WriteChunk("cHRM", d);
    }
    ChunkProgress();

    WriteKeptChunks(TPngChunkPlace::BeforePalette);

    // sBIT
    std::uint32_t sbit = SignificantBits;
    if (FSourceBits == 15) {
        sbit = 0x050505 | (FAlphaOutput ? 0x08000000u : 0);
    } else if (FSourceBits == 16) {
        sbit = 0x050605 | (FAlphaOutput ? 0x08000000u : 0);
    }
    if (sbit > 0 && !FGreyOutput) {
        // Each value must lie in 1..8 for the 8-bit samples written; values kept from a
        // 16-bit file (or left 0) would make the file invalid.
        d.clear();
        for (int i = 0; i < (FAlphaOutput ? 4 : 3); ++i) {
            const unsigned v = (sbit >> (8 * i)) & 0xFF;
            d.push_back(static_cast<std::uint8_t>(v == 0 || v > 8 ? 8 : v));
        }
        WriteChunk("sBIT", d);
    }
    ChunkProgress();

    // PLTE
    const TPalette palette = OutputPalette();
    if (FPaletteOutput && !palette.empty()) {
        d.clear();
        for (const TPaletteEntry& e : palette) {
            d.insert(d.end(), {e.Red, e.Green, e.Blue});
        }
        WriteChunk("PLTE", d);
    }
    ChunkProgress();

    WriteBackgroundAndTransparency();

    // pHYs
    if (PhysX >= 1 && PhysY >= 1) {
        std::uint32_t x = PhysX, y = PhysY;
        std::uint8_t unit = PhysUnit;
        if (unit == 2) {
            x = static_cast<std::uint32_t>(std::trunc(x * 100.0 / 254.0 * 100.0));
            y = static_cast<std::uint32_t>(std::trunc(y * 100.0 / 254.0 * 100.0));
            unit = 1;
        } else if (unit > 2) {
            unit = 0;
        }
        d.clear();
        Put32(d, x);
        Put32(d, y);
        d.push_back(unit);
        WriteChunk("pHYs", d);
    }
    ChunkProgress();

    WriteKeptChunks(TPngChunkPlace::BeforeImage);
}

void PngWriter::WriteKeptChunks(TPngChunkPlace place)
{
    for (const TPngChunk& c : KeptChunks) {
        if (c.Place != place || c.Type.size() != 4 || PngTextKeyword(c) == "Software") continue;
        WriteChunk(c.Type.c_str(), reinterpret_cast<const std::uint8_t*>(c.Data.data()), c.Data.size());
    }
}

// A colour that names a palette entry becomes that entry's colour, from the bitmap's
// palette or else from the palette the picture was loaded with.
bool PngWriter::ResolveColor(TColor color, TColor& plain) const
{
    if (!IsPaletteIndex(color)) {
        plain = color & 0xFFFFFF;
        return true;
    }
    const auto index = static_cast<std::size_t>(color & 0xFF);
    const TPalette& palette = !FBitmap->Palette().empty() ? FBitmap->Palette() : SourcePalette;
    if (index >= palette.size()) {
        return false;
    }
    plain = RGBColor(palette[index].Red, palette[index].Green, palette[index].Blue);
    return true;
}

// The palette written: no more entries than the bit depth can index.
TPalette PngWriter::OutputPalette() const
{
    if (FIndexedOutput) {
        return FIndexPalette;
    }
    const TPalette& palette = FBitmap->Palette();
    const std::size_t limit = std::size_t{1} << FBitDepth;
    return palette.size() <= limit ? palette : TPalette(palette.begin(), palette.begin() + static_cast<std::ptrdiff_t>(limit));
}

void PngWriter::WriteBackgroundAndTransparency()
{
    if (FIndexedOutput) {
        // The background is an entry of the colour (made so when the picture had none); the
        // entries with alpha come first, so tRNS ends at the last of them.
        TColor plain;
        if (BackgroundColor != clNone && ResolveColor(BackgroundColor, plain)) {
            for (std::size_t i = 0; i < FIndexPalette.size(); ++i) {
                const TPaletteEntry& e = FIndexPalette[i];
                if (RGBColor(e.Red, e.Green, e.Blue) == plain) {
                    WriteChunk("bKGD", std::vector<std::uint8_t>{static_cast<std::uint8_t>(i)});
                    break;
                }
            }
        }
        ChunkProgress();
        std::size_t last = FIndexAlpha.size();
        while (last > 0 && FIndexAlpha[last - 1] == 255) --last;
        if (last > 0) {
            WriteChunk("tRNS", FIndexAlpha.data(), last);
        }
        ChunkProgress();
        return;
    }
    const TPalette palette = FPaletteOutput ? OutputPalette() : FBitmap->Palette();
    const TColor colors[2] = {BackgroundColor, FAlphaOutput ? clNone : TransparentColor};
    const char* types[2] = {"bKGD", "tRNS"};
    for (int which = 0; which < 2; ++which) {
        const TColor c = colors[which];
        if (c == clNone) {
            ChunkProgress();
            continue;
        }
        std::vector<std::uint8_t> d;
        if (FPaletteOutput) {
            if (palette.empty()) {
                ChunkProgress();
                continue;
            }
            const int index = IsPaletteIndex(c) ? (c & 0xFF) : NearestEntry(palette, c);
            if (static_cast<std::size_t>(index) >= palette.size()) {
                // An entry the palette does not have would make the chunk invalid.
                ChunkProgress();
                continue;
            }
            if (which == 0) {
                d.push_back(static_cast<std::uint8_t>(index));
            } else {
                d.assign(static_cast<std::size_t>(index) + 1, 255);
                d.back() = 0;
            }
        } else {
            TColor plain;
            if (!ResolveColor(c, plain)) {
                ChunkProgress();
                continue;
            }
            if (FGreyOutput) {
                const int grey = Luminance(GetRValue(plain), GetGValue(plain), GetBValue(plain));
                const int sample = FBitDepth == 1   ? (grey >= 128 ? 1 : 0)
                                   : FBitDepth == 2 ? grey / 64
                                   : FBitDepth == 4 ? grey / 16
                                                    : grey;
                Put16(d, static_cast<unsigned>(sample));
            } else {
                Put16(d, static_cast<unsigned>(GetRValue(plain)));
                Put16(d, static_cast<unsigned>(GetGValue(plain)));
                Put16(d, static_cast<unsigned>(GetBValue(plain)));
            }
        }
        WriteChunk(types[which], d);
        ChunkProgress();
    }
}

std::vector<PngWriter::Pass> PngWriter::Passes() const
{
    return PngPasses(FBitmap->Width(), FBitmap->Height(), Interlaced);
}

void PngWriter::BuildGreyMap()
{
    const TPalette& palette = FBitmap->Palette();
    FInvertBits = false;
    for (int i = 0; i < 256; ++i) FGreyMap[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    if (!FGreyOutput || FWorkBits > 8 || palette.empty()) {
        return;
    }
    if (FWorkBits == 1) {
        if (palette.size() >= 2) {
            FInvertBits = Luminance(palette[1].Red, palette[1].Green, palette[1].Blue) <
                          Luminance(palette[0].Red, palette[0].Green, palette[0].Blue);
        }
        return;
    }
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int grey = Luminance(palette[i].Red, palette[i].Green, palette[i].Blue);
        FGreyMap[i] = static_cast<std::uint8_t>(FWorkBits == 4 ? grey / 16 : grey);
    }
    // Indices beyond the palette have no colour: black.
    for (std::size_t i = palette.size(); i < 256; ++i) FGreyMap[i] = 0;
}

void PngWriter::ConvertRow(int y, const Pass& pass, std::uint8_t* out)
{
    const std::uint8_t* src = FBitmap->ScanLine(y);
    const std::uint8_t* alpha = FAlpha != nullptr ? FAlpha->ScanLine(y) : nullptr;
    const int n = pass.columns;
    const int x0 = pass.firstColumn, dx = pass.columnStep;
    switch (FSourceBits) {
    case 1: {
        const std::size_t bytes = static_cast<std::size_t>((n + 7) / 8);
        std::memset(out, 0, bytes);
        for (int k = 0; k < n; ++k) {
            const int x = x0 + k * dx;
            unsigned bit = (src[x >> 3] >> (7 - (x & 7))) & 1u;
            if (FInvertBits) bit ^= 1u;
            if (bit) out[k >> 3] = static_cast<std::uint8_t>(out[k >> 3] | (0x80u >> (k & 7)));
        }
        break;
    }
    case 4: {
        const std::size_t bytes = static_cast<std::size_t>((n + 1) / 2);
        std::memset(out, 0, bytes);
        for (int k = 0; k < n; ++k) {
            const int x = x0 + k * dx;
            unsigned v = (x & 1) ? src[x >> 1] & 0x0Fu : src[x >> 1] >> 4;
            if (FGreyOutput) v = FGreyMap[v] & 0x0Fu;
            out[k >> 1] = static_cast<std::uint8_t>(out[k >> 1] | ((k & 1) ? v : v << 4));
        }
        break;
    }
    case 8:
        if (!FGreyOutput) {
            for (int k = 0; k < n; ++k) out[k] = src[x0 + k * dx];
        } else if (alpha != nullptr) {
            for (int k = 0; k < n; ++k) {
                const int x = x0 + k * dx;
                out[2 * k] = FGreyMap[src[x]];
                out[2 * k + 1] = static_cast<std::uint8_t>(255 - alpha[x]);
            }
        } else {
            for (int k = 0; k < n; ++k) out[k] = FGreyMap[src[x0 + k * dx]];
        }
        break;
    default:
        if (FIndexedOutput || FPngBitsPerPixel < 8) {
            // Packed samples: palette entries, or greys of fewer than 8 bits.
            const std::size_t bytes = (static_cast<std::size_t>(n) * static_cast<unsigned>(FBitDepth) + 7) / 8;
            std::memset(out, 0, bytes);
            const unsigned step = 255u / ((1u << FBitDepth) - 1);
            std::uint32_t lastKey = 0;
            unsigned lastValue = 0;
            bool haveLast = false;
            for (int k = 0; k < n; ++k) {
                const int x = x0 + k * dx;
                unsigned v;
                if (FIndexedOutput) {
                    const std::uint32_t key = PixelKey(src, alpha, x);
                    if (!haveLast || key != lastKey) {
                        lastKey = key;
                        lastValue = static_cast<unsigned>(std::max(0, FColourIndex->Find(key)));
                        haveLast = true;
                    }
                    v = lastValue;
                } else {
                    int r, g, b;
                    SourceRgb(src, x, r, g, b);
                    v = static_cast<unsigned>(r) / step;
                }
                const std::size_t bit = static_cast<std::size_t>(k) * static_cast<unsigned>(FBitDepth);
                out[bit >> 3] = static_cast<std::uint8_t>(out[bit >> 3] | v << (8 - FBitDepth - static_cast<int>(bit & 7)));
            }
            break;
        }
        {
            // Red, green, blue (or grey), then alpha.
            const std::size_t step = static_cast<std::size_t>(FPngBitsPerPixel / 8);
            for (int k = 0; k < n; ++k) {
                const int x = x0 + k * dx;
                int r, g, b;
                SourceRgb(src, x, r, g, b);
                std::uint8_t* o = out + static_cast<std::size_t>(k) * step;
                if (FGreyOutput) {
                    *o++ = static_cast<std::uint8_t>(Luminance(r, g, b));
                } else {
                    *o++ = static_cast<std::uint8_t>(r);
                    *o++ = static_cast<std::uint8_t>(g);
                    *o++ = static_cast<std::uint8_t>(b);
                }
                if (alpha != nullptr) {
                    *o = static_cast<std::uint8_t>(255 - alpha[x]);
                }
            }
        }
        break;
    }
}

void PngWriter::SourceRgb(const std::uint8_t* row, int x, int& r, int& g, int& b) const
{
    if (FSourceBits == 15 || FSourceBits == 16) {
        const unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
        const unsigned c5b = w & 31;
        if (FSourceBits == 15) {
            const unsigned c5r = (w >> 10) & 31, c5g = (w >> 5) & 31;
            r = static_cast<int>(c5r * 8 + c5r / 4);
            g = static_cast<int>(c5g * 8 + c5g / 4);
        } else {
            const unsigned c5r = (w >> 11) & 31, c6g = (w >> 5) & 63;
            r = static_cast<int>(c5r * 8 + c5r / 4);
            g = static_cast<int>(c6g * 4 + c6g / 16);
        }
        b = static_cast<int>(c5b * 8 + c5b / 4);
        return;
    }
    const std::uint8_t* p = row + static_cast<std::size_t>(x) * (FSourceBits == 32 ? 4 : 3);
    b = p[0];
    g = p[1];
    r = p[2];
}

std::uint32_t PngWriter::PixelKey(const std::uint8_t* row, const std::uint8_t* alpha, int x) const
{
    int r, g, b;
    SourceRgb(row, x, r, g, b);
    const std::uint32_t rgb = static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
                              static_cast<std::uint32_t>(b);
    std::uint32_t a = 255;
    if (alpha != nullptr) {
        a = 255u - alpha[x];
    } else if (static_cast<std::int64_t>(rgb) == FTransparentRgb) {
        a = 0;
    }
    return rgb | a << 24;
}

// The palette of a picture of more than 8 bits per pixel, when it has at most 256 colours
// (with their alpha): entries in the order the colours first appear, those with alpha moved
// to the front. The transparent and background colours get entries of their own when no pixel
// has them, if there is room.
bool PngWriter::BuildIndexedPalette()
{
    FTransparentRgb = -1;
    TColor plain;
    if (FAlpha == nullptr && TransparentColor != clNone && ResolveColor(TransparentColor, plain)) {
        FTransparentRgb = RgbKey(plain);
    }
    auto index = std::make_unique<ColourIndex>();
    std::vector<std::uint32_t> keys;
    const auto add = [&](std::uint32_t key) {
        if (index->Find(key) >= 0) return true;
        if (keys.size() == 256) return false;
        index->Add(key, static_cast<int>(keys.size()));
        keys.push_back(key);
        return true;
    };
    const int width = FBitmap->Width();
    for (int y = 0; y < FBitmap->Height(); ++y) {
        const std::uint8_t* row = FBitmap->ScanLine(y);
        const std::uint8_t* alpha = FAlpha != nullptr ? FAlpha->ScanLine(y) : nullptr;
        std::uint32_t last = 0;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t key = PixelKey(row, alpha, x);
            if (x > 0 && key == last) continue;
            last = key;
            if (!add(key)) return false;
        }
    }
    const auto hasColour = [&](std::uint32_t rgb) {
        return std::any_of(keys.begin(), keys.end(), [&](std::uint32_t k) { return (k & 0xFFFFFF) == rgb; });
    };
    if (FTransparentRgb >= 0 && !hasColour(static_cast<std::uint32_t>(FTransparentRgb))) {
        add(static_cast<std::uint32_t>(FTransparentRgb));
    }
    if (BackgroundColor != clNone && ResolveColor(BackgroundColor, plain) && !hasColour(RgbKey(plain))) {
        add(RgbKey(plain) | 0xFF000000u);
    }
    std::stable_partition(keys.begin(), keys.end(), [](std::uint32_t k) { return (k >> 24) != 255; });

    FColourIndex = std::make_unique<ColourIndex>();
    FIndexPalette.clear();
    FIndexAlpha.clear();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        FColourIndex->Add(keys[i], static_cast<int>(i));
        FIndexPalette.push_back({static_cast<std::uint8_t>(keys[i] >> 16), static_cast<std::uint8_t>(keys[i] >> 8),
                                 static_cast<std::uint8_t>(keys[i])});
        FIndexAlpha.push_back(static_cast<std::uint8_t>(keys[i] >> 24));
    }
    const std::size_t n = keys.size();
    const int needed = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
    const bool sourceDepth = SourceBitDepth == 1 || SourceBitDepth == 2 || SourceBitDepth == 4 || SourceBitDepth == 8;
    FBitDepth = sourceDepth && SourceBitDepth >= needed ? SourceBitDepth : needed;
    return true;
}

// Whether every pixel (and the background and transparent colour) is a grey that a sample of
// depth bits holds exactly.
bool PngWriter::GreyFitsDepth(int depth) const
{
    const int step = 255 / ((1 << depth) - 1);
    const auto fits = [step](int r, int g, int b) { return r == g && g == b && r % step == 0; };
    for (TColor c : {BackgroundColor, TransparentColor}) {
        TColor plain;
        if (c != clNone && ResolveColor(c, plain) && !fits(GetRValue(plain), GetGValue(plain), GetBValue(plain))) {
            return false;
        }
    }
    const int width = FBitmap->Width();
    for (int y = 0; y < FBitmap->Height(); ++y) {
        const std::uint8_t* row = FBitmap->ScanLine(y);
        for (int x = 0; x < width; ++x) {
            int r, g, b;
            SourceRgb(row, x, r, g, b);
            if (!fits(r, g, b)) return false;
        }
    }
    return true;
}

void PngWriter::FilterWith(int type, std::size_t bytes, std::uint8_t* out) const
{
    const std::size_t bpp = std::min(bytes, static_cast<std::size_t>((FPngBitsPerPixel + 7) / 8));
    const std::uint8_t* x = FCurrent.data() + 1;
    const std::uint8_t* b = FPrevious.data() + 1;
    std::uint8_t* o = out + 1;
    out[0] = static_cast<std::uint8_t>(type);
    // The first pixel has nothing to its left: a and c are 0 there.
    switch (type) {
    case 1:
        std::memcpy(o, x, bpp);
        for (std::size_t i = bpp; i < bytes; ++i) o[i] = static_cast<std::uint8_t>(x[i] - x[i - bpp]);
        break;
    case 2:
        for (std::size_t i = 0; i < bytes; ++i) o[i] = static_cast<std::uint8_t>(x[i] - b[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < bpp; ++i) o[i] = static_cast<std::uint8_t>(x[i] - (b[i] >> 1));
        for (std::size_t i = bpp; i < bytes; ++i) o[i] = static_cast<std::uint8_t>(x[i] - PngAveragePredictor(x[i - bpp], b[i]));
        break;
    case 4:
        for (std::size_t i = 0; i < bpp; ++i) o[i] = static_cast<std::uint8_t>(x[i] - b[i]);
        for (std::size_t i = bpp; i < bytes; ++i)
            o[i] = static_cast<std::uint8_t>(x[i] - PngPaethPredictor(x[i - bpp], b[i], b[i - bpp]));
        break;
    default: std::memcpy(o, x, bytes); break;
    }
}

// Returns the filtered row (filter byte first) to compress.
const std::uint8_t* PngWriter::FilterRow(std::size_t bytes)
{
    if (FilterMode >= 2 && FilterMode <= 5) {
        FilterWith(FilterMode - 1, bytes, FChosen.data());
        return FChosen.data();
    }
    FilterWith(0, bytes, FChosen.data());
    if (FilterMode != 0 || FColorType == 3 || FBitDepth < 8) {
        return FChosen.data();
    }
    // Adaptive: the least sum of absolute values, None winning ties, then Sub, Up, Average.
    // Each candidate is only summed, and given up once it cannot win; the winner is made.
    std::uint64_t best = AbsoluteSum(FChosen.data() + 1, bytes);
    int chosen = 0;
    for (int type = 1; type <= 4 && best > 0; ++type) {
        const std::uint64_t sum = FilterCost(type, bytes, best);
        if (sum < best) {
            best = sum;
            chosen = type;
        }
    }
    if (chosen != 0) {
        FilterWith(chosen, bytes, FChosen.data());
    }
    return FChosen.data();
}

std::uint64_t PngWriter::FilterCost(int type, std::size_t bytes, std::uint64_t limit) const
{
    const std::size_t bpp = std::min(bytes, static_cast<std::size_t>((FPngBitsPerPixel + 7) / 8));
    const std::uint8_t* x = FCurrent.data() + 1;
    const std::uint8_t* b = FPrevious.data() + 1;
    const auto cost = [](unsigned residual) {
        const std::uint8_t r = static_cast<std::uint8_t>(residual);
        return static_cast<unsigned>(r < 128 ? r : 256 - r);
    };
    std::uint64_t sum = 0;
    // The first pixel has nothing to its left.
    for (std::size_t i = 0; i < bpp; ++i) {
        sum += cost(type == 1 ? x[i] : type == 3 ? x[i] - (b[i] >> 1) : x[i] - b[i]);
    }
    constexpr std::size_t kStretch = 1024;
    for (std::size_t start = bpp; start < bytes && sum < limit; start += kStretch) {
        const std::size_t end = std::min(bytes, start + kStretch);
        unsigned part = 0;
        switch (type) {
        case 1:
            for (std::size_t i = start; i < end; ++i) part += cost(x[i] - x[i - bpp]);
            break;
        case 2:
            for (std::size_t i = start; i < end; ++i) part += cost(x[i] - b[i]);
            break;
        case 3:
            for (std::size_t i = start; i < end; ++i) part += cost(x[i] - ((x[i - bpp] + b[i]) >> 1));
            break;
        default:
            for (std::size_t i = start; i < end; ++i) {
                const int a = x[i - bpp], up = b[i], c = b[i - bpp];
                const int pa = std::abs(up - c), pb = std::abs(a - c), pc = std::abs(a + up - 2 * c);
                const int predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? up : c);
                part += cost(static_cast<unsigned>(x[i] - predicted));
            }
            break;
        }
        sum += part;
    }
    return sum;
}

namespace {

// The bytes deflate makes of data with the given level and strategy.
std::size_t DeflatedSize(std::vector<std::uint8_t>& data, int level, int strategy)
{
    Deflater deflater;
    z_stream& z = deflater.z;
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) {
        throw PngError(PngMessage::WriteError);
    }
    deflater.open = true;
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = data.data();
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    return z.total_out;
}

}  // namespace

// Filtered rows are mostly small numbers. In a photograph they repeat little: deflate with
// matches of distance 1 only (Z_RLE) codes them as small as a full search does, several times
// faster. In drawn pictures and gradients longer matches pay, and are searched for with short
// ones dropped (Z_FILTERED). A sample of the rows, compressed both ways, tells which it is.
int PngWriter::ChooseStrategy(const Pass& pass, int level)
{
    constexpr int kRun = 4;      // consecutive rows, for the matches between rows
    constexpr int kRuns = 16;
    const std::size_t bytes = static_cast<std::size_t>(
        (static_cast<std::uint64_t>(pass.columns) * static_cast<unsigned>(FPngBitsPerPixel) + 7) / 8);
    if (static_cast<std::uint64_t>(bytes + 1) * static_cast<unsigned>(pass.rows) < (std::uint64_t{1} << 18)) {
        return Z_FILTERED;  // small enough for the choice to cost more than it can save
    }
    const int runs = std::min(kRuns, (pass.rows + kRun - 1) / kRun);
    std::vector<std::uint8_t> sample;
    for (int i = 0; i < runs; ++i) {
        const int first = static_cast<int>(static_cast<std::int64_t>(pass.rows) * i / runs);
        std::fill(FPrevious.begin(), FPrevious.end(), 0);
        if (first > 0) {
            ConvertRow(pass.firstRow + (first - 1) * pass.rowStep, pass, FPrevious.data() + 1);
        }
        for (int k = first; k < std::min(pass.rows, first + kRun); ++k) {
            ConvertRow(pass.firstRow + k * pass.rowStep, pass, FCurrent.data() + 1);
            const std::uint8_t* row = FilterRow(bytes);
            sample.insert(sample.end(), row, row + bytes + 1);
            std::swap(FCurrent, FPrevious);
        }
    }
    return DeflatedSize(sample, level, Z_RLE) <= DeflatedSize(sample, level, Z_FILTERED) ? Z_RLE : Z_FILTERED;
}

void PngWriter::WriteImage()
{
    BuildGreyMap();
    const std::vector<Pass> passes = Passes();
    int totalRows = 0;
    for (const Pass& p : passes) totalRows += p.rows;

    const std::size_t maxBytes = static_cast<std::size_t>(
        (static_cast<std::uint64_t>(FBitmap->Width()) * static_cast<unsigned>(FPngBitsPerPixel) + 7) / 8);
    // One filter byte plus the row, rounded up to 32 bytes.
    const std::size_t bufferBytes = (maxBytes + 1 + 31) / 32 * 32;
    FCurrent.assign(bufferBytes, 0);
    FPrevious.assign(bufferBytes, 0);
    FChosen.assign(bufferBytes, 0);
    FCandidate.assign(bufferBytes, 0);

    const int level = CompressionLevel >= 0 && CompressionLevel <= 9 ? CompressionLevel : Z_DEFAULT_COMPRESSION;
    const bool filtered = FilterMode != 1 && FColorType != 3 && FBitDepth >= 8;
    const int strategy = filtered && !passes.empty() ? ChooseStrategy(passes.front(), level) : Z_DEFAULT_STRATEGY;
    Deflater deflater;
    z_stream& z = deflater.z;
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) {
        throw PngError(PngMessage::WriteError);
    }
    deflater.open = true;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(FIdatSize));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());

    auto emitFull = [&] {
        if (z.avail_out == 0) {
            WriteChunk("IDAT", out.data(), out.size());
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
        }
    };
    auto finish = [&] {
        for (;;) {
            const int r = deflate(&z, Z_FINISH);
            emitFull();
            if (r == Z_STREAM_END) break;
            if (r != Z_OK && r != Z_BUF_ERROR) break;
        }
        const std::size_t rest = out.size() - z.avail_out;
        if (rest > 0) {
            WriteChunk("IDAT", out.data(), rest);
        }
    };

    int rowNumber = 0;
    try {
        for (const Pass& pass : passes) {
            const std::size_t bytes = static_cast<std::size_t>(
                (static_cast<std::uint64_t>(pass.columns) * static_cast<unsigned>(FPngBitsPerPixel) + 7) / 8);
            std::fill(FPrevious.begin(), FPrevious.end(), 0);
            for (int k = 0; k < pass.rows; ++k) {
                ConvertRow(pass.firstRow + k * pass.rowStep, pass, FCurrent.data() + 1);
                const std::uint8_t* row = FilterRow(bytes);
                z.next_in = const_cast<std::uint8_t*>(row);
                z.avail_in = static_cast<uInt>(bytes + 1);
                while (z.avail_in > 0) {
                    const int r = deflate(&z, Z_NO_FLUSH);
                    if (r != Z_OK && r != Z_BUF_ERROR) {
                        throw PngError(PngMessage::WriteError);
                    }
                    emitFull();
                }
                std::swap(FCurrent, FPrevious);
                ++rowNumber;
                if (FBitmap->Height() < 4 || rowNumber % 4 == 2) {
                    const int percent = 29 + static_cast<int>(static_cast<std::int64_t>(rowNumber) * 70 / std::max(totalRows, 1));
                    if (percent > FLastPercent) {
                        FLastPercent = percent;
                        Progress(TProgressStage::psRunning, percent);
                    }
                }
            }
        }
    } catch (const PngError&) {
        // What deflate still holds goes out as IDAT chunks; IEND is not written.
        z.avail_in = 0;
        try {
            finish();
        } catch (...) {
        }
        throw;
    }
    finish();
}
