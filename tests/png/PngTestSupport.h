#pragma once
// Building small PNG streams by hand, and running the tools the tests compare against.

#include "graphics/Bitmap.h"
#include "graphics/Stream.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace pngtest {

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

inline std::string TempDir()
{
    static const std::string dir = [] {
        auto p = std::filesystem::temp_directory_path() / ("tessival_png_" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        return p.string();
    }();
    return dir;
}

inline void WriteFile(const std::string& path, const Bytes& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline Bytes ReadFile(const std::string& path)
{
    Bytes bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

inline bool ToolExists(const std::string& path) { return std::filesystem::exists(path); }

// Runs a command; returns its exit status and fills output with what it printed.
inline int RunCommand(const std::string& command, std::string* output = nullptr)
{
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (p == nullptr) return -1;
    char buf[4096];
    std::string text;
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    const int status = ::pclose(p);
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace pngtest
