#pragma once
// Small helpers shared by the fuzz targets.

#include "graphics/Stream.h"

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fuzz {

// The input as a stream positioned at its start.
inline void Fill(TMemoryStream& Stream, const std::uint8_t* Data, std::size_t Size)
{
    if (Size > 0)
        Stream.WriteBuffer(Data, static_cast<std::int64_t>(Size));
    Stream.SetPosition(0);
}

// A broken promise of the code under test: reported as a crash with the reason.
[[noreturn]] inline void Fail(const char* What)
{
    std::fprintf(stderr, "fuzz invariant broken: %s\n", What);
    std::abort();
}

// A folder of the target's own for the files it converts, made on first use and removed when
// the process ends. Memory-backed where there is /dev/shm, so the safe save's flush is cheap.
inline const std::string& ScratchFolder(const char* Target)
{
    static const std::string* folder = [Target] {
        const std::string base =
            std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
        auto* made = new std::string(base + "/tessival-" + std::string(Target) + "-XXXXXX");
        if (mkdtemp(made->data()) == nullptr) Fail("no scratch folder");
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*folder, ec);
        });
        return made;
    }();
    return *folder;
}

// The whole content of a file, empty when it cannot be read.
inline std::string ReadAll(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Pictures up to this many pixels go through the slower steps (saving, converting); larger
// ones only have to load or fail cleanly.
constexpr long long RoundTripPixels = 1 << 20;

// Whether the block structure, walked the simple way, declares a screen or a frame larger
// than the fuzzer should spend its time on. Such sizes are refused or decoded correctly
// elsewhere (the bad-input tests); here they would only slow the search down.
inline bool GifDeclaresHugePicture(const std::uint8_t* Data, std::size_t Size)
{
    const auto word = [Data](std::size_t At) { return Data[At] | (Data[At + 1] << 8); };
    const auto huge = [](long long W, long long H) { return W * H > RoundTripPixels; };
    if (Size < 13)
        return false;
    if (huge(word(6), word(8)))
        return true;
    std::size_t at = 13;
    if (Data[10] & 0x80)
        at += 3u << ((Data[10] & 7) + 1);
    const auto skipBlocks = [&](std::size_t& At) {
        while (At < Size && Data[At] != 0)
            At += Data[At] + 1u;
        ++At;
    };
    while (at < Size) {
        if (Data[at] == 0x21) {
            at += 2;
            skipBlocks(at);
        } else if (Data[at] == 0x2C) {
            if (at + 10 > Size)
                return false;
            if (huge(word(at + 5), word(at + 7)))
                return true;
            const std::uint8_t flags = Data[at + 9];
            at += 10;
            if (flags & 0x80)
                at += 3u << ((flags & 7) + 1);
            ++at;  // code size
            skipBlocks(at);
        } else {
            return false;
        }
    }
    return false;
}

// The same for a PNG header: the IHDR size, when the input starts like a PNG.
inline bool PngDeclaresHugePicture(const std::uint8_t* Data, std::size_t Size)
{
    if (Size < 24)
        return false;
    const auto big = [Data](std::size_t At) {
        return (static_cast<std::uint32_t>(Data[At]) << 24) | (Data[At + 1] << 16) | (Data[At + 2] << 8) | Data[At + 3];
    };
    return static_cast<unsigned long long>(big(16)) * big(20) > static_cast<unsigned long long>(RoundTripPixels);
}

}  // namespace fuzz
