#include "webp/VP8Header.h"

#include "webp/VP8QualityTable.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

// The boolean entropy decoder of a VP8 partition. Past the end of its bytes it reads zeros,
// as a decoder pads the last bits; a reader that needs more than that padding has run out.
class TBoolReader {
public:
    explicit TBoolReader(std::string_view Bytes) : FBytes(Bytes)
    {
        FValue = NextByte() << 8;
        FValue |= NextByte();
    }

    bool Bit(int Probability)
    {
        const std::uint32_t split = 1 + (((FRange - 1) * static_cast<std::uint32_t>(Probability)) >> 8);
        const std::uint32_t bigSplit = split << 8;
        bool bit;
        if (FValue >= bigSplit) {
            bit = true;
            FRange -= split;
            FValue -= bigSplit;
        } else {
            bit = false;
            FRange = split;
        }
        while (FRange < 128) {
            FValue <<= 1;
            FRange <<= 1;
            if (++FBitCount == 8) {
                FBitCount = 0;
                FValue |= NextByte();
            }
        }
        return bit;
    }

    int Literal(int Bits)
    {
        int v = 0;
        while (Bits-- > 0) v = v << 1 | (Bit(128) ? 1 : 0);
        return v;
    }

    int Signed(int Bits)
    {
        const int v = Literal(Bits);
        return Bit(128) ? -v : v;
    }

    // An optional value: a flag, then the value when the flag is set.
    int OptionalSigned(int Bits) { return Bit(128) ? Signed(Bits) : 0; }

    bool RanOut() const { return FPosition > FBytes.size() + 2; }

private:
    std::uint32_t NextByte()
    {
        const std::size_t at = FPosition++;
        return at < FBytes.size() ? static_cast<std::uint8_t>(FBytes[at]) : 0;
    }

    std::string_view FBytes;
    std::size_t FPosition = 0;
    std::uint32_t FValue = 0;
    std::uint32_t FRange = 255;
    int FBitCount = 0;
};

std::uint32_t Little32(std::string_view Bytes, std::size_t At)
{
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) v = v << 8 | static_cast<std::uint8_t>(Bytes[At + i]);
    return v;
}

}  // namespace

std::optional<TVP8Header> ReadVP8Header(std::string_view Payload)
{
    if (Payload.size() < 10) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(Payload[i])); };
    const std::uint32_t tag = byte(0) | byte(1) << 8 | byte(2) << 16;
    const bool keyFrame = (tag & 1) == 0;
    const std::uint32_t firstPartition = tag >> 5;
    if (!keyFrame || byte(3) != 0x9D || byte(4) != 0x01 || byte(5) != 0x2A) return std::nullopt;
    TVP8Header header;
    header.Width = static_cast<int>((byte(6) | byte(7) << 8) & 0x3FFF);
    header.Height = static_cast<int>((byte(8) | byte(9) << 8) & 0x3FFF);
    if (firstPartition == 0) return std::nullopt;
    TBoolReader r(Payload.substr(10, firstPartition));

    r.Literal(2);  // colour space, clamping
    if (r.Bit(128)) {  // segmentation
        header.Segments = 4;
        const bool updateMap = r.Bit(128);
        if (r.Bit(128)) {  // segment data
            header.AbsoluteSegmentQuant = r.Bit(128);
            for (int& q : header.SegmentQuant) q = r.OptionalSigned(7);
            for (int i = 0; i < 4; ++i) r.OptionalSigned(6);  // loop filter levels
        }
        if (updateMap)
            for (int i = 0; i < 3; ++i)
                if (r.Bit(128)) r.Literal(8);
    }
    r.Literal(1 + 6 + 3);  // filter type, level, sharpness
    if (r.Bit(128) && r.Bit(128))  // loop filter deltas, updated
        for (int i = 0; i < 8; ++i) r.OptionalSigned(6);
    r.Literal(2);  // partitions
    header.BaseQuant = r.Literal(7);
    if (r.RanOut()) return std::nullopt;
    return header;
}

std::string_view FindVP8Payload(std::string_view File)
{
    if (File.size() < 12 || File.compare(0, 4, "RIFF") != 0 || File.compare(8, 4, "WEBP") != 0) return {};
    std::size_t at = 12;
    while (File.size() >= at + 8) {
        const std::uint64_t size = Little32(File, at + 4);
        const std::size_t payload = at + 8;
        const std::size_t available = File.size() - payload;
        if (File.compare(at, 4, "VP8 ") == 0)
            return File.substr(payload, static_cast<std::size_t>(std::min<std::uint64_t>(size, available)));
        if (size > available) break;
        at = payload + static_cast<std::size_t>(size) + (size & 1);
    }
    return {};
}

int QualityForBaseQuant(int BaseQuant)
{
    if (BaseQuant < 0) BaseQuant = 0;
    const int last = static_cast<int>(std::size(VP8QualityByBaseQuant)) - 1;
    if (BaseQuant > last) BaseQuant = last;
    return VP8QualityByBaseQuant[BaseQuant];
}

std::optional<int> EstimateWebPQuality(std::string_view File)
{
    const std::optional<TVP8Header> header = ReadVP8Header(FindVP8Payload(File));
    if (!header) return std::nullopt;
    return QualityForBaseQuant(header->BaseQuant);
}
