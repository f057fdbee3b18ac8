#pragma once
// Small byte-level readers and writers over a stream for the GIF blocks. Values are
// little-endian, assembled with shifts.

#include "gif/GIFException.h"
#include "graphics/Stream.h"

#include <cstdint>

namespace gifbytes {

// Exactly Count bytes, or GIFException "Premature end of data".
inline void ReadExact(TStream& Stream, void* Buffer, std::int64_t Count)
{
    if (Count > 0 && Stream.Read(Buffer, Count) != Count)
        throw GIFException(GifMessage::PrematureEnd);
}

// One byte; false at the end of the stream.
inline bool ReadByte(TStream& Stream, std::uint8_t& Value)
{
    return Stream.Read(&Value, 1) == 1;
}

inline std::uint8_t ReadByteExact(TStream& Stream)
{
    std::uint8_t value = 0;
    ReadExact(Stream, &value, 1);
    return value;
}

inline void StepBack(TStream& Stream, std::int64_t Count = 1)
{
    Stream.Seek(-Count, TSeekOrigin::soCurrent);
}

// Moves forward by Count bytes, but not beyond the end of the stream.
inline void Skip(TStream& Stream, std::int64_t Count)
{
    if (Count <= 0)
        return;
    const std::int64_t left = Stream.Size() - Stream.Position();
    Stream.Seek(Count < left ? Count : (left > 0 ? left : 0), TSeekOrigin::soCurrent);
}

inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t Get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void Put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void WriteByte(TStream& Stream, std::uint8_t Value)
{
    Stream.WriteBuffer(&Value, 1);
}

} // namespace gifbytes
