#pragma once
// Small helpers shared by the fuzz targets.

#include "graphics/Stream.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

// Pictures up to this many pixels go through the slower steps (saving, converting); larger
// ones only have to load or fail cleanly.
constexpr long long RoundTripPixels = 1 << 20;

}  // namespace fuzz
