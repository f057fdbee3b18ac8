#pragma once
// Hostile pictures made to measure: PNG chunks with their CRC, deflated zeros that inflate a
// thousandfold, and GIF image data of the longest LZW strings. The bad-input tests and the
// memory benchmark build their decompression bombs from these.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace picturebombs {

// A PNG chunk: length, type, data and CRC.
inline std::string Chunk(const std::string& Type, const std::string& Data)
{
    std::string out;
    const auto put32 = [&out](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(static_cast<char>((v >> s) & 0xFF));
    };
    put32(static_cast<std::uint32_t>(Data.size()));
    const std::string body = Type + Data;
    out += body;
    put32(static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
    return out;
}

// Bytes zeros deflated at level 9: a hundred megabytes in about a hundred kilobytes.
inline std::string DeflatedZeros(std::uint64_t Bytes)
{
    z_stream z{};
    deflateInit(&z, 9);
    const std::string zeros(1 << 20, '\0');
    std::string out;
    std::string piece(1 << 16, '\0');
    for (std::uint64_t left = Bytes;;) {
        const std::uint64_t n = std::min<std::uint64_t>(left, zeros.size());
        left -= n;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        z.avail_in = static_cast<uInt>(n);
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int result;
        do {
            z.next_out = reinterpret_cast<Bytef*>(piece.data());
            z.avail_out = static_cast<uInt>(piece.size());
            result = deflate(&z, flush);
            out.append(piece.data(), piece.size() - z.avail_out);
        } while (z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        if (left == 0) break;
    }
    deflateEnd(&z);
    return out;
}

// LZW data (code size 2) of Pixels zeros, the longest strings the table allows: each code one
// pixel longer than the one before until the table is full, then the longest again and again.
inline std::string LzwZeros(std::uint64_t Pixels)
{
    std::string packed;
    std::uint32_t bits = 0;
    int count = 0;
    const auto put = [&](int Code, int Width) {
        bits |= static_cast<std::uint32_t>(Code) << count;
        count += Width;
        while (count >= 8) {
            packed.push_back(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    int width = 3, limit = 8, next = 6;
    put(4, width);  // clear
    put(0, width);
    std::uint64_t done = 1;
    while (done < Pixels) {
        const int code = next <= 4095 ? next : 4095;
        put(code, width);
        done += static_cast<std::uint64_t>(code - 4);
        if (next <= 4095) {
            ++next;
            if (next >= limit && limit <= 4095) {
                limit *= 2;
                ++width;
            }
        }
    }
    put(5, width);  // end
    if (count > 0) packed.push_back(static_cast<char>(bits & 0xFF));
    std::string out = "\x02";
    for (std::size_t i = 0; i < packed.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, packed.size() - i);
        out.push_back(static_cast<char>(n));
        out.append(packed, i, n);
    }
    return out + '\0';
}

}  // namespace picturebombs
