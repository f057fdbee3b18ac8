#pragma once
// Building small PNG streams by hand and taking them apart (scratch folders, files and the
// tools the tests compare against come from support/TestSupport.h).

#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "support/TestSupport.h"

#include <cstdint>
#include <string>
#include <vector>
#include <zlib.h>

namespace pngtest {

using namespace testsupport;

using Bytes = std::vector<std::uint8_t>;

inline void Put32(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v >> 24));
    b.push_back(static_cast<std::uint8_t>(v >> 16));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}

inline void Put16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}

inline std::uint32_t Get32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline Bytes Signature() { return {137, 80, 78, 71, 13, 10, 26, 10}; }

// Appends one chunk with a correct CRC (or a wrong one when asked).
inline void Chunk(Bytes& out, const std::string& type, const Bytes& data, bool badCrc = false)
{
    Put32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    Put32(out, static_cast<std::uint32_t>(badCrc ? ~crc : crc));
}

inline Bytes Ihdr(std::uint32_t width, std::uint32_t height, int depth, int colorType, int interlace = 0,
                  int compression = 0, int filter = 0)
{
    Bytes d;
    Put32(d, width);
    Put32(d, height);
    d.push_back(static_cast<std::uint8_t>(depth));
    d.push_back(static_cast<std::uint8_t>(colorType));
    d.push_back(static_cast<std::uint8_t>(compression));
    d.push_back(static_cast<std::uint8_t>(filter));
    d.push_back(static_cast<std::uint8_t>(interlace));
    return d;
}

inline Bytes Deflate(const Bytes& raw)
{
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 6);
    out.resize(size);
    return out;
}

inline Bytes Inflate(const Bytes& compressed, std::size_t expected)
{
    Bytes out(expected + 1);
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &size, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK) {
        return {};
    }
    out.resize(size);
    return out;
}

struct ChunkView {
    std::string type;
    Bytes data;
};

// The chunks of a PNG stream (no checks beyond the bounds).
inline std::vector<ChunkView> Chunks(const Bytes& png)
{
    std::vector<ChunkView> chunks;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = Get32(png.data() + at);
        if (at + 12 + length > png.size()) break;
        ChunkView c;
        c.type.assign(reinterpret_cast<const char*>(png.data() + at + 4), 4);
        c.data.assign(png.begin() + static_cast<std::ptrdiff_t>(at + 8), png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        chunks.push_back(std::move(c));
        at += 12 + length;
    }
    return chunks;
}

inline const ChunkView* Find(const std::vector<ChunkView>& chunks, const std::string& type)
{
    for (const ChunkView& c : chunks) {
        if (c.type == type) return &c;
    }
    return nullptr;
}

// The concatenated IDAT data, inflated.
inline Bytes ImageData(const Bytes& png, std::size_t expected)
{
    Bytes z;
    for (const ChunkView& c : Chunks(png)) {
        if (c.type == "IDAT") z.insert(z.end(), c.data.begin(), c.data.end());
    }
    return Inflate(z, expected);
}

inline void ToStream(const Bytes& bytes, TMemoryStream& m)
{
    m.Clear();
    m.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    m.SetPosition(0);
}

inline Bytes FromStream(TMemoryStream& m)
{
    return Bytes(m.Memory(), m.Memory() + m.Size());
}

}  // namespace pngtest
