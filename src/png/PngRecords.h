#pragma once
// Ancillary records that a loaded PNG hands back to the writer unchanged.

#include <array>
#include <cstdint>

struct TPngTime {
    std::uint16_t Year = 0;
    std::uint8_t Month = 0;
    std::uint8_t Day = 0;
    std::uint8_t Hour = 0;
    std::uint8_t Minute = 0;
    std::uint8_t Second = 0;
    friend bool operator==(const TPngTime&, const TPngTime&) = default;
};

// White point x, y, then red, green and blue x, y; each times 100000.
struct TPngChromaticities {
    std::array<std::uint32_t, 8> Values{};
    friend bool operator==(const TPngChromaticities&, const TPngChromaticities&) = default;
};

// The gIFg chunk: disposal method, user input flag, delay time (big-endian).
struct TPngGifControl {
    std::array<std::uint8_t, 4> Bytes{};
    friend bool operator==(const TPngGifControl&, const TPngGifControl&) = default;
};

// The current UTC time.
TPngTime PngCurrentTime();
