#include "png/ApngFile.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace {

constexpr std::string_view Signature("\x89PNG\r\n\x1a\n", 8);
// The image data of a still is cut into IDAT chunks of this size at most.
constexpr std::size_t StillIdatSize = std::size_t{1} << 20;

std::uint32_t Big32(std::string_view Bytes, std::size_t At)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(Bytes[At + i]);
    return v;
}

void Put32(std::string& Out, std::uint32_t V)
{
    for (int shift = 24; shift >= 0; shift -= 8) Out.push_back(static_cast<char>((V >> shift) & 0xFF));
}

void SetBig32(std::string& Out, std::size_t At, std::uint32_t V)
{
    for (std::size_t i = 0; i < 4; ++i) Out[At + i] = static_cast<char>((V >> (24 - 8 * i)) & 0xFF);
}

std::uint32_t Crc(std::string_view Type, std::string_view Data)
{
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(Type.data()), 4);
    // Chunk data is below 2^31 bytes; crc32 takes it in pieces that fit its length type.
    for (std::size_t at = 0; at < Data.size(); at += 1u << 30) {
        const std::size_t n = std::min<std::size_t>(Data.size() - at, 1u << 30);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(Data.data() + at), static_cast<uInt>(n));
    }
    return static_cast<std::uint32_t>(crc);
}

void AppendChunk(std::string& Out, std::string_view Type, std::string_view Data)
{
    Put32(Out, static_cast<std::uint32_t>(Data.size()));
    Out.append(Type);
    Out.append(Data);
    Put32(Out, Crc(Type, Data));
}

// Where the signature starts: at 0, or after a MacBinary header as the PNG reader allows.
std::optional<std::size_t> SignatureAt(std::string_view Bytes)
{
    if (Bytes.substr(0, 8) == Signature) return 0;
    if (Bytes.size() > 128 && Bytes[0] == 0 && Bytes[74] == 0 && Bytes.substr(128, 8) == Signature) return 128;
    return std::nullopt;
}

bool IsCritical(std::string_view Type) { return std::isupper(static_cast<unsigned char>(Type[0])) != 0; }

// Ancillary chunks whose meaning does not depend on the colours of the pixels: kept as they are.
bool KeptAsItIs(std::string_view Type)
{
    static constexpr std::string_view kept[] = {"gAMA", "cHRM", "sRGB", "iCCP", "cICP", "mDCv", "cLLi",
                                                "pHYs", "oFFs", "pCAL", "sCAL", "sTER", "tIME", "tEXt",
                                                "zTXt", "iTXt", "eXIf", "gIFg", "gIFx", "gIFt", "acTL"};
    return std::find(std::begin(kept), std::end(kept), Type) != std::end(kept);
}

std::string Number(std::uint64_t V) { return std::to_string(V); }

// The chunks of a still PNG this codec wrote.
struct TStill {
    std::string_view Header;
    std::optional<std::string_view> Transparency, Background, SignificantBits;
    std::vector<std::string_view> Data;
};

TStill ReadStill(std::string_view Bytes)
{
    TStill still;
    if (Bytes.substr(0, 8) != Signature) throw PngError("APNG: a frame written anew is no PNG");
    std::size_t at = 8;
    while (Bytes.size() - at >= 12) {
        const std::uint32_t length = Big32(Bytes, at);
        if (length > Bytes.size() - at - 12) break;
        const std::string_view type = Bytes.substr(at + 4, 4);
        const std::string_view data = Bytes.substr(at + 8, length);
        if (type == "IHDR") still.Header = data;
        else if (type == "tRNS") still.Transparency = data;
        else if (type == "bKGD") still.Background = data;
        else if (type == "sBIT") still.SignificantBits = data;
        else if (type == "IDAT") still.Data.push_back(data);
        else if (type == "IEND") break;
        at += 12 + std::size_t{length};
    }
    if (still.Header.size() != 13 || still.Data.empty()) throw PngError("APNG: a frame written anew is incomplete");
    return still;
}

}  // namespace

bool IsAnimatedPng(std::string_view Bytes)
{
    const std::optional<std::size_t> start = SignatureAt(Bytes);
    if (!start) return false;
    std::size_t at = *start + 8;
    bool header = false;
    while (Bytes.size() - at >= 8) {
        const std::string_view type = Bytes.substr(at + 4, 4);
        if (type == "IDAT" || type == "IEND") return false;
        if (type == "IHDR") header = true;
        if (type == "acTL" && header) return true;
        const std::uint32_t length = Big32(Bytes, at);
        if (Bytes.size() - at - 8 < std::size_t{length} + 4) return false;
        at += 12 + std::size_t{length};
    }
    return false;
}

TApngFile::TApngFile(std::string_view Bytes) : FBytes(Bytes)
{
    const std::optional<std::size_t> start = SignatureAt(Bytes);
    if (!start) throw ApngError("APNG: no PNG signature");
    std::size_t at = *start + 8;
    for (;;) {
        if (Bytes.size() - at < 12) throw ApngError("APNG: the file ends before IEND");
        const std::uint32_t length = Big32(Bytes, at);
        if (length > 0x7FFFFFFFu || length > Bytes.size() - at - 12)
            throw ApngError("APNG: a chunk runs past the end of the file");
        const std::string_view type = Bytes.substr(at + 4, 4);
        if (!std::all_of(type.begin(), type.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
            throw ApngError("APNG: a chunk type that is not four letters");
        if (Crc(type, Bytes.substr(at + 8, length)) != Big32(Bytes, at + 8 + length))
            throw ApngError("APNG: CRC of " + std::string(type) + " chunk is wrong");
        FChunks.push_back({std::string(type), at + 8, length});
        at += 12 + std::size_t{length};
        if (type == "IEND") break;
    }

    bool animationControl = false;
    bool imageData = false;      // the default image's data has begun
    bool imageDataDone = false;  // and ended
    bool frameWaiting = false;   // an fcTL after the image data has no fdAT yet
    std::uint32_t frames = 0;    // fcTL chunks
    std::uint32_t sequence = 0;
    const auto checkSequence = [&](const TChunk& Chunk) {
        const std::uint32_t got = Big32(Bytes, Chunk.Data);
        if (got != sequence)
            throw ApngError("APNG: sequence number " + Number(got) + " where " + Number(sequence) + " was due");
        ++sequence;
    };
    for (std::size_t i = 0; i < FChunks.size(); ++i) {
        const TChunk& c = FChunks[i];
        const std::string_view type = c.Type;
        if (i == 0 && type != "IHDR") throw ApngError("APNG: IHDR is not the first chunk");
        if (imageData && type != "IDAT") imageDataDone = true;
        if (type == "IHDR") {
            if (i != 0) throw ApngError("APNG: a second IHDR");
            if (c.Length != 13) throw ApngError("APNG: IHDR of a wrong length");
            FWidth = Big32(Bytes, c.Data);
            FHeight = Big32(Bytes, c.Data + 4);
            FColourType = static_cast<std::uint8_t>(Bytes[c.Data + 9]);
            if (FWidth == 0 || FHeight == 0) throw ApngError("APNG: a canvas without area");
            FImages.push_back({FWidth, FHeight, {}});
        } else if (type == "acTL") {
            if (animationControl) throw ApngError("APNG: a second acTL");
            if (imageData) throw ApngError("APNG: acTL after the image data");
            if (c.Length != 8) throw ApngError("APNG: acTL of a wrong length");
            animationControl = true;
            FFrameCount = Big32(Bytes, c.Data);
            if (FFrameCount == 0) throw ApngError("APNG: acTL announces no frame");
        } else if (type == "fcTL") {
            if (!animationControl) throw ApngError("APNG: fcTL before acTL");
            if (c.Length != 26) throw ApngError("APNG: fcTL of a wrong length");
            checkSequence(c);
            if (frameWaiting) throw ApngError("APNG: frame " + Number(frames - 1) + " has no data");
            const std::uint32_t w = Big32(Bytes, c.Data + 4);
            const std::uint32_t h = Big32(Bytes, c.Data + 8);
            const std::uint32_t x = Big32(Bytes, c.Data + 12);
            const std::uint32_t y = Big32(Bytes, c.Data + 16);
            const int dispose = static_cast<std::uint8_t>(Bytes[c.Data + 24]);
            const int blend = static_cast<std::uint8_t>(Bytes[c.Data + 25]);
            if (w == 0 || h == 0) throw ApngError("APNG: frame " + Number(frames) + " has no area");
            if (std::uint64_t{x} + w > FWidth || std::uint64_t{y} + h > FHeight)
                throw ApngError("APNG: frame " + Number(frames) + " lies outside the canvas");
            if (dispose > 2 || blend > 1)
                throw ApngError("APNG: frame " + Number(frames) + " has an unknown dispose or blend operation");
            if (!imageData) {
                if (frames > 0) throw ApngError("APNG: two fcTL before the image data");
                if (x != 0 || y != 0 || w != FWidth || h != FHeight)
                    throw ApngError("APNG: the default image's frame is not the whole canvas");
                FDefaultAnimated = true;
            } else {
                if (!imageDataDone) throw ApngError("APNG: fcTL among the IDAT chunks");
                FImages.push_back({w, h, {}});
                frameWaiting = true;
            }
            ++frames;
        } else if (type == "IDAT") {
            if (imageDataDone) throw ApngError("APNG: IDAT chunks apart");
            imageData = true;
            FImages.front().DataChunks.push_back(i);
        } else if (type == "fdAT") {
            if (!imageData) throw ApngError("APNG: fdAT before the image data");
            if (c.Length < 4) throw ApngError("APNG: fdAT without a sequence number");
            checkSequence(c);
            if (FImages.size() < 2) throw ApngError("APNG: fdAT without its fcTL");
            FImages.back().DataChunks.push_back(i);
            frameWaiting = false;
        } else if (type == "IEND") {
            break;
        } else if (IsCritical(type) && type != "PLTE") {
            throw ApngError("APNG: unknown critical chunk " + std::string(type));
        }
    }
    if (!animationControl) throw ApngError("APNG: no acTL");
    if (!imageData) throw ApngError("APNG: no image data");
    if (frameWaiting) throw ApngError("APNG: frame " + Number(frames - 1) + " has no data");
    if (frames != FFrameCount)
        throw ApngError("APNG: acTL announces " + Number(FFrameCount) + " frames, the file holds " + Number(frames));
}

std::string_view TApngFile::PaletteData() const
{
    const std::size_t firstData = FImages.front().DataChunks.front();
    for (std::size_t i = 1; i < firstData; ++i)
        if (FChunks[i].Type == "PLTE") return Data(FChunks[i]);
    return {};
}

std::string TApngFile::ImageData(const TImage& Image) const
{
    std::string out;
    for (const std::size_t i : Image.DataChunks) {
        const std::string_view data = Data(FChunks[i]);
        out.append(FChunks[i].Type == "fdAT" ? data.substr(4) : data);
    }
    return out;
}

std::string TApngFile::StillImage(std::size_t Index) const
{
    const TImage& image = FImages.at(Index);
    std::string out(Signature);
    std::string header(Data(FChunks.front()));
    SetBig32(header, 0, image.Width);
    SetBig32(header, 4, image.Height);
    AppendChunk(out, "IHDR", header);
    const std::size_t firstData = FImages.front().DataChunks.front();
    for (std::size_t i = 1; i < firstData; ++i) {
        const TChunk& c = FChunks[i];
        if (c.Type == "PLTE" || c.Type == "tRNS" || c.Type == "bKGD") AppendChunk(out, c.Type, Data(c));
    }
    const std::string data = ImageData(image);
    for (std::size_t at = 0; at < data.size(); at += StillIdatSize)
        AppendChunk(out, "IDAT", std::string_view(data).substr(at, StillIdatSize));
    AppendChunk(out, "IEND", {});
    return out;
}

bool TApngFile::SameForm(const std::vector<std::string>& Stills)
{
    // IHDR comes first, its data at byte 16: width, height, then the form.
    const auto form = [](const std::string& Still) { return std::string_view(Still).substr(24, 5); };
    for (const std::string& still : Stills)
        if (still.size() < 29 || form(still) != form(Stills.front())) return false;
    return true;
}

std::string TApngFile::WithPalette(std::string_view Palette) const { return Rebuild(false, Palette, {}); }

std::string TApngFile::WithImages(const std::vector<std::string>& Stills) const { return Rebuild(true, {}, Stills); }

std::string TApngFile::Rebuild(bool NewImages, std::string_view Palette, const std::vector<std::string>& Stills) const
{
    std::vector<TStill> stills;
    if (NewImages) {
        if (Stills.size() != FImages.size()) throw PngError("APNG: not every frame was written anew");
        for (std::size_t i = 0; i < Stills.size(); ++i) {
            stills.push_back(ReadStill(Stills[i]));
            const std::string_view header = stills.back().Header;
            if (Big32(header, 0) != FImages[i].Width || Big32(header, 4) != FImages[i].Height)
                throw PngError("APNG: a frame written anew has another size");
            if (header.substr(8) != stills.front().Header.substr(8))
                throw PngError("APNG: the frames written anew differ in colour type or bit depth");
            // Their palettes would be as many as they are.
            if (header[9] == 3) throw PngError("APNG: frames written anew with palettes of their own");
        }
    }
    // Which image each data chunk belongs to.
    std::vector<std::size_t> owner(FChunks.size(), FImages.size());
    for (std::size_t k = 0; k < FImages.size(); ++k)
        for (const std::size_t i : FImages[k].DataChunks) owner[i] = k;

    std::string out(Signature);
    std::uint32_t sequence = 0;
    const auto replaced = [&](std::string_view Type, const std::optional<std::string_view>& Data) {
        if (Data) AppendChunk(out, Type, *Data);
    };
    for (std::size_t i = 0; i < FChunks.size(); ++i) {
        const TChunk& c = FChunks[i];
        const std::string_view type = c.Type;
        if (type == "IHDR") {
            std::string header(Data(c));
            if (NewImages) {
                header[8] = stills.front().Header[8];    // bit depth
                header[9] = stills.front().Header[9];    // colour type
                header[12] = stills.front().Header[12];  // interlacing
            }
            AppendChunk(out, type, header);
        } else if (type == "PLTE") {
            // A truecolour file's PLTE only suggests a palette: the new colours leave it untrue.
            if (!NewImages) AppendChunk(out, type, Palette);
        } else if (type == "hIST") {
            if (!NewImages) AppendChunk(out, type, Data(c));
        } else if (type == "sPLT") {
            continue;
        } else if (type == "tRNS") {
            if (NewImages) replaced(type, stills.front().Transparency);
            else AppendChunk(out, type, Data(c));
        } else if (type == "bKGD") {
            if (NewImages) replaced(type, stills.front().Background);
            else AppendChunk(out, type, Data(c));
        } else if (type == "sBIT") {
            if (NewImages) replaced(type, stills.front().SignificantBits);
        } else if (type == "fcTL") {
            std::string control(Data(c));
            SetBig32(control, 0, sequence++);
            AppendChunk(out, type, control);
        } else if (type == "IDAT" || type == "fdAT") {
            const std::size_t k = owner[i];
            if (!NewImages) {
                if (type == "IDAT") {
                    AppendChunk(out, type, Data(c));
                } else {
                    std::string data(Data(c));
                    SetBig32(data, 0, sequence++);
                    AppendChunk(out, type, data);
                }
                continue;
            }
            if (i != FImages[k].DataChunks.front()) continue;
            for (const std::string_view piece : stills[k].Data) {
                if (k == 0) {
                    AppendChunk(out, "IDAT", piece);
                } else {
                    std::string data;
                    Put32(data, sequence++);
                    data.append(piece);
                    AppendChunk(out, "fdAT", data);
                }
            }
        } else if (type == "IEND") {
            AppendChunk(out, type, {});
            break;
        } else if (KeptAsItIs(type) || std::islower(static_cast<unsigned char>(type[3]))) {
            AppendChunk(out, type, Data(c));
        }
        // Any other ancillary chunk is marked unsafe to copy once the pixels change: left out.
    }
    return out;
}
