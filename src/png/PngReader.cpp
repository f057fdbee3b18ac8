#include "png/PngReader.h"

#include "png/PngError.h"
#include "png/PngPredictors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <zlib.h>

namespace {

constexpr std::uint32_t ChunkType(const char (&name)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(name[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(name[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(name[3]));
}

constexpr std::uint32_t kIHDR = ChunkType("IHDR");
constexpr std::uint32_t kPLTE = ChunkType("PLTE");
constexpr std::uint32_t kIDAT = ChunkType("IDAT");
constexpr std::uint32_t kIEND = ChunkType("IEND");
constexpr std::uint32_t ktRNS = ChunkType("tRNS");
constexpr std::uint32_t kbKGD = ChunkType("bKGD");
constexpr std::uint32_t kgAMA = ChunkType("gAMA");
constexpr std::uint32_t kcHRM = ChunkType("cHRM");
constexpr std::uint32_t ksBIT = ChunkType("sBIT");
constexpr std::uint32_t kpHYs = ChunkType("pHYs");
constexpr std::uint32_t ktIME = ChunkType("tIME");
constexpr std::uint32_t kgIFg = ChunkType("gIFg");
constexpr std::uint32_t ktEXt = ChunkType("tEXt");
constexpr std::uint32_t ktpNG = ChunkType("tpNG");
constexpr std::uint32_t kzTXt = ChunkType("zTXt");
constexpr std::uint32_t kiTXt = ChunkType("iTXt");
constexpr std::uint32_t kiCCP = ChunkType("iCCP");
constexpr std::uint32_t ksRGB = ChunkType("sRGB");
constexpr std::uint32_t kacTL = ChunkType("acTL");
constexpr std::uint32_t khIST = ChunkType("hIST");
constexpr std::uint32_t ksPLT = ChunkType("sPLT");

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::uint32_t kInflateInputSize = 32768;

// Hostile headers are refused before anything is allocated.
constexpr std::uint64_t kMaxRowBytes = std::uint64_t{1} << 31;


// Zero-filled from the system's zero pages: a hostile header costs memory only for the rows
// that data actually arrives for.
struct ZeroBuffer {
    explicit ZeroBuffer(std::size_t bytes) : p(static_cast<std::uint8_t*>(std::calloc(bytes == 0 ? 1 : bytes, 1)))
    {
        if (p == nullptr) throw EOutOfMemory("Out of memory");
    }
    ~ZeroBuffer() { std::free(p); }
    ZeroBuffer(const ZeroBuffer&) = delete;
    ZeroBuffer& operator=(const ZeroBuffer&) = delete;
    std::uint8_t* p;
};

TPalette GreyRamp(int depth)
{
    return GreyPalette(depth >= 8 ? 8 : depth);
}

}  // namespace

struct PngReader::Inflater {
    z_stream z{};
    bool open = false;
    ~Inflater()
    {
        if (open) {
            inflateReset(&z);
            inflateEnd(&z);
        }
    }
};

PngReader::PngReader() = default;
PngReader::~PngReader() = default;

void PngReader::ResetState()
{
    FIhdrWidth = FIhdrHeight = 0;
    FWidth = FHeight = 0;
    FColorType = 0;
    FBitsPerSample = 0;
    FBitmapBits = 0;
    FInterlace = 0;
    FAlphaChannel = FGrayscale = false;
    FPngBitsPerPixel = 0;
    FIhdrSeen = FImageRead = FPlteRead = FIendReached = FPrivateSeen = false;
    FAnimated = FProfileKept = FStandardRgbKept = false;
    FChunkLeft = 0;
    FPaletteAlpha.fill(255);
    FPaletteAlphaPending = false;
    FTransparentColor = clNone;
    FBackgroundColor = clNone;
    FGamma = 0;
    FSignificantBits = 0;
    FPhysUnit = 0;
    FPhysX = FPhysY = 0;
    FPalette.assign(256, TPaletteEntry{});
    FLoadedPalette.clear();
    FPaletteCount = 0;
    if (TimeRecord == nullptr) TimeRecord = &FOwnTime;
    if (ChromaticitiesRecord == nullptr) ChromaticitiesRecord = &FOwnChromaticities;
    if (GifControlRecord == nullptr) GifControlRecord = &FOwnGifControl;
    if (KeptChunksRecord == nullptr) KeptChunksRecord = &FOwnKeptChunks;
    *TimeRecord = TPngTime{};
    *ChromaticitiesRecord = TPngChromaticities{};
    *GifControlRecord = TPngGifControl{};
    KeptChunksRecord->clear();
    FAlphaTarget = nullptr;
    FStreamEnded = false;
    FLastPercent = -1;
    FTotalRows = FRowsDone = 0;
}

// ---------------------------------------------------------------- chunk loop

void PngReader::Decode()
{
    ResetState();
    Progress(TProgressStage::psStarting, 0);

    std::uint8_t signature[8];
    if (!ReadBytes(signature, 8) || std::memcmp(signature, kSignature, 8) != 0) {
        throw PngError(PngMessage::NotPng);
    }

    while (!PastEnd() && !Aborted() && !FIendReached) {
        std::uint32_t length = 0, type = 0;
        ReadChunkHeader(length, type);
        if (PastEnd()) {
            break;
        }
        FChunkLeft = length;
        const bool beforeImage = FIhdrSeen && !FImageRead;
        const bool beforePalette = beforeImage && !FPlteRead;
        const TPngChunkPlace place = FImageRead ? TPngChunkPlace::AfterImage
                                     : FPlteRead ? TPngChunkPlace::BeforeImage
                                                 : TPngChunkPlace::BeforePalette;
        switch (type) {
        case kIHDR: ReadIHDR(); break;
        case kPLTE:
            if (beforePalette && FColorType != 0) ReadPLTE();
            break;
        case ktRNS:
            if (beforeImage && !FAlphaChannel) {
                ReadtRNS();
            }
            break;
        case kbKGD:
            if (FIhdrSeen) ReadbKGD();
            break;
        case kgAMA:
            if (beforePalette && ChunkHas(4)) FGamma = ChunkDWord() / 100000.0;
            break;
        case kcHRM:
            if (beforePalette && length == 32) {
                for (auto& v : ChromaticitiesRecord->Values) v = ChunkDWord();
            }
            break;
        case ksBIT:
            if (beforePalette && FColorType == 2) ReadsBIT();
            break;
        case kpHYs:
            if (beforeImage && ChunkHas(9)) {
                FPhysX = ChunkDWord();
                FPhysY = ChunkDWord();
                FPhysUnit = ChunkByte();
            }
            break;
        case ktIME:
            if (length == 7) {
                TimeRecord->Year = ChunkWord();
                TimeRecord->Month = ChunkByte();
                TimeRecord->Day = ChunkByte();
                TimeRecord->Hour = ChunkByte();
                TimeRecord->Minute = ChunkByte();
                TimeRecord->Second = ChunkByte();
            }
            break;
        case kgIFg:
            if (beforePalette && length == 4) {
                for (auto& b : GifControlRecord->Bytes) b = ChunkByte();
            }
            break;
        case ktEXt: ReadtEXt(place); break;
        case kzTXt: KeepChunk("zTXt", place); break;
        case kiTXt: KeepChunk("iTXt", place); break;
        // The colour space: the same before and after recolouring. One of each, where the
        // format allows it (before PLTE and the image data).
        case kiCCP:
            if (beforePalette && !FProfileKept) FProfileKept = KeepChunk("iCCP", place);
            break;
        case ksRGB:
            if (beforePalette && !FStandardRgbKept) FStandardRgbKept = KeepChunk("sRGB", place);
            break;
        case kacTL:
            if (beforeImage) FAnimated = true;
            break;
        // Not kept: hIST counts the pixels of each PLTE entry and sPLT suggests a palette of
        // the picture's colours; both lie once the picture is recoloured.
        case khIST:
        case ksPLT: break;
        case ktpNG:
            // The writer's private chunk: recognised, no effect on decoding.
            if (beforeImage && !FPrivateSeen) FPrivateSeen = true;
            break;
        case kIDAT:
            if (!FImageRead) ReadImage();
            break;
        case kIEND: FIendReached = true; break;
        default: break;  // unknown chunks are skipped, critical or not
        }
        SkipBytes(FChunkLeft);
        FChunkLeft = 0;
        ReadDWord();  // CRC, never verified
        ChunkProgress();
    }

    if (FBitmap != nullptr && !FImageRead) {
        // Nothing to show: reporting success would hand back an empty or stale picture.
        throw PngError(PngMessage::ReadError);
    }
    if (FBitmap != nullptr && !PastEnd() && !Aborted() && !FAlphaChannel && FTransparentColor != clNone) {
        FBitmap->SetTransparent(true);
        FBitmap->SetTransparentColor(FTransparentColor);
    }
    Progress(TProgressStage::psEnding, 100);
}

void PngReader::ReadChunkHeader(std::uint32_t& length, std::uint32_t& type)
{
    length = ReadDWord();
    type = ReadDWord();
}

std::uint8_t PngReader::ChunkByte()
{
    if (FChunkLeft < 1) return 0;
    FChunkLeft -= 1;
    return ReadByte();
}

std::uint16_t PngReader::ChunkWord()
{
    if (FChunkLeft < 2) return 0;
    FChunkLeft -= 2;
    return ReadWord();
}

std::uint32_t PngReader::ChunkDWord()
{
    if (FChunkLeft < 4) return 0;
    FChunkLeft -= 4;
    return ReadDWord();
}

// ---------------------------------------------------------------- chunk handlers

void PngReader::ReadIHDR()
{
    if (FIhdrSeen) {
        throw PngError(PngMessage::TwoIhdr);
    }
    if (!ChunkHas(13)) {
        return;  // too short to be a header: skipped like an unknown chunk
    }
    const std::uint32_t width = ChunkDWord();
    const std::uint32_t height = ChunkDWord();
    const int depth = ChunkByte();
    int type = ChunkByte() & 7;
    if (type == 1 || type == 5 || type == 7) {
        throw PngError(PngMessage::ColorType);
    }
    const bool alpha = (type & 4) != 0;
    type &= ~4;
    if (ChunkByte() >= 2) throw PngError(PngMessage::Compression);
    if (ChunkByte() >= 2) throw PngError(PngMessage::Filter);
    const std::uint8_t interlace = ChunkByte();
    if (interlace >= 2) throw PngError(PngMessage::Interlace);

    const unsigned channels = (type == 2 ? 3 : 1) + (alpha ? 1 : 0);
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * static_cast<unsigned>(depth) * channels + 7) / 8;
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu ||
        static_cast<std::uint64_t>(width) * height > std::min(MaxPixels, PngMaxPixels) || rowBytes > kMaxRowBytes) {
        throw PngError(PngMessage::TooLarge);
    }

    FIhdrWidth = width;
    FIhdrHeight = height;
    FWidth = static_cast<int>(width);
    FHeight = static_cast<int>(height);
    FBitsPerSample = depth;
    FColorType = type;
    FAlphaChannel = alpha;
    FGrayscale = type == 0;
    FInterlace = interlace;
    FIhdrSeen = true;
}

void PngReader::ReadPLTE()
{
    const std::uint32_t entries = std::min<std::uint32_t>(FChunkLeft / 3, 256);
    for (std::uint32_t i = 0; i < entries; ++i) {
        FPalette[i].Red = ChunkByte();
        FPalette[i].Green = ChunkByte();
        FPalette[i].Blue = ChunkByte();
    }
    if (PastEnd()) {
        return;
    }
    FPaletteCount = static_cast<int>(entries);
    FPlteRead = true;
    FLoadedPalette.assign(FPalette.begin(), FPalette.begin() + FPaletteCount);
}

void PngReader::ReadSampleColor(TColor& Color)
{
    if (FColorType == 0) {
        if (ChunkHas(2)) Color = GreySampleColor(ChunkWord());
    } else if (ChunkHas(6)) {
        const std::uint16_t r = ChunkWord();
        const std::uint16_t g = ChunkWord();
        const std::uint16_t b = ChunkWord();
        Color = SampleColor(r, g, b);
    }
}

void PngReader::ReadtRNS()
{
    switch (FColorType) {
    case 0:
    case 2:
        ReadSampleColor(FTransparentColor);
        break;
    default: {
        // Evaluated when the bitmap is set up.
        const std::uint32_t n = std::min<std::uint32_t>(FChunkLeft, static_cast<std::uint32_t>(FPaletteCount));
        for (std::uint32_t i = 0; i < n; ++i) FPaletteAlpha[i] = ChunkByte();
        FPaletteAlphaPending = true;
        break;
    }
    }
}

void PngReader::ReadbKGD()
{
    switch (FColorType) {
    case 0:
    case 2:
        ReadSampleColor(FBackgroundColor);
        break;
    default:
        if (ChunkHas(1)) FBackgroundColor = PaletteIndex(ChunkByte());
        break;
    }
}

void PngReader::ReadsBIT()
{
    if (!ChunkHas(FAlphaChannel ? 4 : 3)) {
        return;
    }
    std::uint32_t value = ChunkByte();
    value |= static_cast<std::uint32_t>(ChunkByte()) << 8;
    value |= static_cast<std::uint32_t>(ChunkByte()) << 16;
    if (FAlphaChannel) value |= static_cast<std::uint32_t>(ChunkByte()) << 24;
    FSignificantBits = value;
}

bool PngReader::KeepChunk(const char* type, TPngChunkPlace place)
{
    if (FChunkLeft > static_cast<std::uint64_t>(Remaining())) {
        return false;  // runs past the data: the skip that follows ends the load
    }
    std::string data(FChunkLeft, '\0');
    if (!ReadBytes(data.data(), FChunkLeft)) {
        return false;
    }
    FChunkLeft = 0;
    KeptChunksRecord->push_back({type, std::move(data), place});
    return true;
}

void PngReader::ReadtEXt(TPngChunkPlace place)
{
    if (!KeepChunk("tEXt", place)) {
        return;
    }
    const std::string& data = KeptChunksRecord->back().Data;
    const std::size_t zero = data.find('\0');
    if (zero == std::string::npos || data.compare(0, zero, "Comment") != 0 || zero + 1 >= data.size()) {
        return;
    }
    if (!FComment.empty()) {
        FComment += "\r\n";
    }
    FComment.append(data, zero + 1, std::string::npos);
    FComment += "\r\n";
}

TColor PngReader::GreySampleColor(std::uint16_t sample) const
{
    int grey;
    switch (FBitsPerSample) {
    case 1: grey = (sample & 1) * 255; break;
    case 2: grey = (sample & 3) * 85; break;
    case 4: grey = (sample & 15) * 17; break;
    case 16: grey = sample >> 8; break;
    default: grey = sample & 0xFF; break;
    }
    return RGBColor(grey, grey, grey);
}

TColor PngReader::SampleColor(std::uint16_t r, std::uint16_t g, std::uint16_t b) const
{
    if (FBitsPerSample == 16) {
        return RGBColor(r >> 8, g >> 8, b >> 8);
    }
    return RGBColor(r & 0xFF, g & 0xFF, b & 0xFF);
}

// ---------------------------------------------------------------- image set-up

void PngReader::SetupFormat()
{
    const int d = FBitsPerSample;
    switch (FColorType) {
    case 0:
        if (d != 1 && d != 2 && d != 4 && d != 8 && d != 16) throw PngError(PngMessage::GreyBitdepth);
        if (FAlphaChannel && d < 8) throw PngError(PngMessage::GreyAlphaDepth);
        FBitmapBits = d == 1 ? 1 : d <= 4 ? 4 : 8;
        FPalette = GreyRamp(d);
        FPalette.resize(256);
        FPaletteCount = d >= 8 ? 256 : 1 << d;
        FPngBitsPerPixel = d * (FAlphaChannel ? 2 : 1);
        break;
    case 2:
        if (d != 8 && d != 16) throw PngError(PngMessage::ColourBitDepth);
        FBitmapBits = 24;
        FPngBitsPerPixel = d * (FAlphaChannel ? 4 : 3);
        break;
    default:
        // Only 1, 2, 4 and 8 bits index a palette.
        if (d != 1 && d != 2 && d != 4 && d != 8) throw PngError(PngMessage::ColourBitDepth);
        FBitmapBits = d == 1 ? 1 : d <= 4 ? 4 : 8;
        FPngBitsPerPixel = d;
        break;
    }
}

void PngReader::SetupBitmap()
{
    if (FColorType == 3 && FPaletteAlphaPending) {
        int zeros = 0, opaque = 0, zeroIndex = 0;
        for (int i = 0; i < 256; ++i) {
            if (FPaletteAlpha[i] == 0) {
                ++zeros;
                zeroIndex = i;
            } else if (FPaletteAlpha[i] == 255) {
                ++opaque;
            }
        }
        if (zeros == 1 && opaque == 255) {
            FTransparentColor = PaletteIndex(zeroIndex);
            FPaletteAlphaPending = false;
        }
    }
    GraphicReadStream::SetupBitmap();
    FAlphaTarget = nullptr;
    if ((FAlphaChannel || FPaletteAlphaPending) && AlphaBitmap != nullptr && AlphaBitmap != FBitmap) {
        AlphaBitmap->Assign(nullptr);
        AlphaBitmap->SetTransparent(false);
        AlphaBitmap->SetTransparentColor(clNone);
        AlphaBitmap->SetPixelFormat(TPixelFormat::pf8bit);
        AlphaBitmap->SetSize(FWidth, FHeight);
        AlphaBitmap->SetPalette(GreyPalette(8));
        FAlphaTarget = AlphaBitmap;
    }
}

std::vector<PngReader::Pass> PngReader::Passes() const
{
    return PngPasses(FWidth, FHeight, FInterlace != 0);
}

// ---------------------------------------------------------------- image data

void PngReader::ReadImage()
{
    SetupFormat();
    if (FBitmap == nullptr) {
        return;  // header only: the image data is skipped
    }
    SetupBitmap();

    FInflater = std::make_unique<Inflater>();
    struct Release {
        std::unique_ptr<Inflater>& inflater;
        ~Release() { inflater.reset(); }
    } release{FInflater};
    if (inflateInit(&FInflater->z) != Z_OK) {
        throw PngError(PngMessage::Zlib);
    }
    FInflater->open = true;
    if (!FInflateInput) {
        FInflateInput = std::make_unique_for_overwrite<std::uint8_t[]>(kInflateInputSize);
    }

    const std::vector<Pass> passes = Passes();
    FTotalRows = 0;
    for (const Pass& p : passes) FTotalRows += p.rows;
    FRowsDone = 0;

    const std::size_t maxRowBytes =
        static_cast<std::size_t>((static_cast<std::uint64_t>(FWidth) * static_cast<unsigned>(FPngBitsPerPixel) + 7) / 8);
    ZeroBuffer rowA(maxRowBytes + 1), rowB(maxRowBytes + 1);
    ZeroBuffer converted(FInterlace != 0 ? FBitmap->RowBytes() : 0);
    ZeroBuffer alphaRow(static_cast<std::size_t>(FWidth));
    std::uint8_t* previous = rowA.p;
    std::uint8_t* current = rowB.p;

    bool firstPass = true;
    for (const Pass& pass : passes) {
        const std::size_t rowBytes =
            static_cast<std::size_t>((static_cast<std::uint64_t>(pass.columns) * static_cast<unsigned>(FPngBitsPerPixel) + 7) / 8);
        if (!firstPass) {
            std::memset(previous, 0, rowBytes + 1);
        }
        firstPass = false;
        for (int k = 0; k < pass.rows; ++k) {
            if (!InflateRow(current, rowBytes + 1)) {
                throw PngError(PngMessage::ReadError);
            }
            Unfilter(current, previous, rowBytes);
            const int y = pass.firstRow + k * pass.rowStep;
            if (FInterlace == 0) {
                std::uint8_t* alphaOut = FAlphaTarget != nullptr ? FAlphaTarget->ScanLine(y) : alphaRow.p;
                ConvertRow(current + 1, pass.columns, FBitmap->ScanLine(y), alphaOut);
            } else {
                ConvertRow(current + 1, pass.columns, converted.p, alphaRow.p);
                StoreRow(pass, y, converted.p, alphaRow.p);
            }
            std::swap(current, previous);
            ++FRowsDone;
            RowProgress(FRowsDone, FHeight);
        }
    }
    if (FPaletteAlphaPending) {
        ApplyPaletteAlpha();
        FAlphaChannel = true;
    }
    FImageRead = true;
}

bool PngReader::InflateRow(std::uint8_t* row, std::size_t bytes)
{
    z_stream& z = FInflater->z;
    z.next_out = row;
    z.avail_out = static_cast<uInt>(bytes);
    while (z.avail_out > 0) {
        if (FStreamEnded) {
            return false;  // the compressed data ended before the last row
        }
        if (z.avail_in == 0) {
            // Next piece of the current IDAT, or of the IDAT that follows it.
            while (FChunkLeft == 0) {
                ReadDWord();  // CRC of the finished chunk
                std::uint32_t length = 0, type = 0;
                ReadChunkHeader(length, type);
                if (PastEnd() || type != kIDAT) {
                    return false;
                }
                FChunkLeft = length;
            }
            const std::uint32_t piece = std::min(FChunkLeft, kInflateInputSize);
            if (!ReadBytes(FInflateInput.get(), piece)) {
                return false;
            }
            FChunkLeft -= piece;
            z.next_in = FInflateInput.get();
            z.avail_in = piece;
        }
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            FStreamEnded = true;
        } else if (result == Z_BUF_ERROR) {
            if (z.avail_in != 0) {
                return false;
            }
        } else if (result != Z_OK) {
            return false;
        }
    }
    return true;
}

void PngReader::Unfilter(std::uint8_t* row, const std::uint8_t* prior, std::size_t bytes)
{
    // Filter type byte, then the row; bpp is the distance to the corresponding byte of the
    // pixel to the left, at least 1.
    const std::size_t bpp = static_cast<std::size_t>((FPngBitsPerPixel + 7) / 8);
    std::uint8_t* x = row + 1;
    const std::uint8_t* b = prior + 1;
    switch (row[0]) {
    case 0: break;
    case 1:
        for (std::size_t i = bpp; i < bytes; ++i) x[i] = static_cast<std::uint8_t>(x[i] + x[i - bpp]);
        break;
    case 2:
        for (std::size_t i = 0; i < bytes; ++i) x[i] = static_cast<std::uint8_t>(x[i] + b[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < bytes; ++i) {
            const unsigned a = i >= bpp ? x[i - bpp] : 0;
            x[i] = static_cast<std::uint8_t>(x[i] + PngAveragePredictor(a, b[i]));
        }
        break;
    case 4:
        for (std::size_t i = 0; i < bytes; ++i) {
            const int a = i >= bpp ? x[i - bpp] : 0;
            const int c = i >= bpp ? b[i - bpp] : 0;
            x[i] = static_cast<std::uint8_t>(x[i] + PngPaethPredictor(a, b[i], c));
        }
        break;
    default: throw PngError(PngMessage::ReadError);
    }
}

void PngReader::ConvertRow(const std::uint8_t* raw, int pixels, std::uint8_t* out, std::uint8_t* alphaOut)
{
    const int d = FBitsPerSample;
    const auto n = static_cast<std::size_t>(pixels);
    if (FColorType != 2) {
        if (FAlphaChannel) {
            // Grey + alpha, 8 or 16 bits: the high bytes.
            const std::size_t step = d == 16 ? 4 : 2;
            const std::size_t alphaAt = d == 16 ? 2 : 1;
            for (std::size_t i = 0; i < n; ++i) {
                out[i] = raw[i * step];
                alphaOut[i] = static_cast<std::uint8_t>(255 - raw[i * step + alphaAt]);
            }
        } else if (d == 16) {
            for (std::size_t i = 0; i < n; ++i) out[i] = raw[2 * i];
        } else if (d == 2) {
            // Two-bit samples become nibbles of the same value.
            for (std::size_t i = 0; i < n; ++i) {
                const unsigned s = (raw[i >> 2] >> (6 - 2 * (i & 3))) & 3u;
                if (i & 1) {
                    out[i >> 1] = static_cast<std::uint8_t>(out[i >> 1] | s);
                } else {
                    out[i >> 1] = static_cast<std::uint8_t>(s << 4);
                }
            }
        } else {
            std::memcpy(out, raw, (n * static_cast<unsigned>(d) + 7) / 8);
        }
        return;
    }
    // Truecolour: red, green, blue stored as blue, green, red.
    const std::size_t sample = d == 16 ? 2 : 1;
    const std::size_t step = sample * (FAlphaChannel ? 4 : 3);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = raw + i * step;
        out[3 * i] = p[2 * sample];
        out[3 * i + 1] = p[sample];
        out[3 * i + 2] = p[0];
    }
    if (FAlphaChannel) {
        for (std::size_t i = 0; i < n; ++i) alphaOut[i] = static_cast<std::uint8_t>(255 - raw[i * step + 3 * sample]);
    }
}

void PngReader::StoreRow(const Pass& pass, int y, const std::uint8_t* converted, const std::uint8_t* alpha)
{
    std::uint8_t* row = FBitmap->ScanLine(y);
    for (int k = 0; k < pass.columns; ++k) {
        const int x = pass.firstColumn + k * pass.columnStep;
        switch (FBitmapBits) {
        case 1: {
            const unsigned bit = (converted[k >> 3] >> (7 - (k & 7))) & 1u;
            const auto mask = static_cast<std::uint8_t>(0x80u >> (x & 7));
            row[x >> 3] = static_cast<std::uint8_t>(bit ? row[x >> 3] | mask : row[x >> 3] & ~mask);
            break;
        }
        case 4: {
            const unsigned v = (k & 1) ? converted[k >> 1] & 0x0Fu : converted[k >> 1] >> 4;
            row[x >> 1] = static_cast<std::uint8_t>((x & 1) ? (row[x >> 1] & 0xF0u) | v : (row[x >> 1] & 0x0Fu) | (v << 4));
            break;
        }
        case 8: row[x] = converted[k]; break;
        default: std::memcpy(row + 3 * x, converted + 3 * k, 3); break;
        }
    }
    if (FAlphaTarget != nullptr && FAlphaChannel) {
        std::uint8_t* a = FAlphaTarget->ScanLine(y);
        for (int k = 0; k < pass.columns; ++k) a[pass.firstColumn + k * pass.columnStep] = alpha[k];
    }
}

void PngReader::ApplyPaletteAlpha()
{
    if (FAlphaTarget == nullptr) {
        return;
    }
    for (int y = 0; y < FHeight; ++y) {
        const std::uint8_t* row = FBitmap->ScanLine(y);
        std::uint8_t* a = FAlphaTarget->ScanLine(y);
        for (int x = 0; x < FWidth; ++x) {
            unsigned index;
            switch (FBitmapBits) {
            case 1: index = (row[x >> 3] >> (7 - (x & 7))) & 1u; break;
            case 4: index = (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4; break;
            default: index = row[x]; break;
            }
            a[x] = static_cast<std::uint8_t>(255 - FPaletteAlpha[index]);
        }
    }
}

// ---------------------------------------------------------------- progress

void PngReader::ChunkProgress()
{
    if (ByteCount() <= 0 || FImageRead) {
        return;
    }
    const int percent = static_cast<int>(Consumed() * 29 / ByteCount());
    if (percent > FLastPercent) {
        FLastPercent = percent;
        Progress(TProgressStage::psRunning, percent);
    }
}

void PngReader::RowProgress(int rowNumber, int imageHeight)
{
    if (imageHeight >= 4 && rowNumber % 4 != 2) {
        return;
    }
    const int percent = 29 + static_cast<int>(static_cast<std::int64_t>(FRowsDone) * 68 / std::max(FTotalRows, 1));
    if (percent > FLastPercent) {
        FLastPercent = percent;
        Progress(TProgressStage::psRunning, percent);
    }
}
