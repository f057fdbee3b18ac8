#pragma once
// Ancillary records that a loaded PNG hands back to the writer unchanged.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The most pixels a PNG's header may ask for; a reader or image can be given a lower limit.
constexpr std::uint64_t PngMaxPixels = std::uint64_t{1} << 28;

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

// Where a kept chunk stood in its file, and so where it is written again: before PLTE (and
// the image data), between PLTE and the image data, or after the image data.
enum class TPngChunkPlace { BeforePalette, BeforeImage, AfterImage };

// An ancillary chunk that stays true whatever colours the picture is given (a colour profile,
// a text), kept byte for byte.
struct TPngChunk {
    std::string Type;  // four letters
    std::string Data;
    TPngChunkPlace Place = TPngChunkPlace::BeforeImage;
    friend bool operator==(const TPngChunk&, const TPngChunk&) = default;
};
using TPngChunks = std::vector<TPngChunk>;

// The keyword of a tEXt, zTXt or iTXt chunk (the bytes before the first zero); empty for any
// other chunk.
std::string PngTextKeyword(const TPngChunk& Chunk);

// The current UTC time.
TPngTime PngCurrentTime();
