#include "png/PngRecords.h"

#include <ctime>

TPngTime PngCurrentTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    TPngTime t;
    t.Year = static_cast<std::uint16_t>(utc.tm_year + 1900);
    t.Month = static_cast<std::uint8_t>(utc.tm_mon + 1);
    t.Day = static_cast<std::uint8_t>(utc.tm_mday);
    t.Hour = static_cast<std::uint8_t>(utc.tm_hour);
    t.Minute = static_cast<std::uint8_t>(utc.tm_min);
    t.Second = static_cast<std::uint8_t>(utc.tm_sec);
    return t;
}

std::string PngTextKeyword(const TPngChunk& Chunk)
{
    if (Chunk.Type != "tEXt" && Chunk.Type != "zTXt" && Chunk.Type != "iTXt") return {};
    return Chunk.Data.substr(0, Chunk.Data.find('\0'));
}
