#pragma once
// The frame header of a lossy WebP picture (a VP8 key frame), read up to its quantiser
// indices: libwebp tells no quality, so a lossy picture is encoded again at the quality its
// quantiser points to.

#include <array>
#include <optional>
#include <string_view>

struct TVP8Header {
    int Width = 0;
    int Height = 0;
    int BaseQuant = 0;  // y_ac_qi, 0..127
    int Segments = 1;   // 4 with segmentation, else 1
    bool AbsoluteSegmentQuant = false;
    std::array<int, 4> SegmentQuant{};  // as written (absolute or deltas); zero without segmentation
};

// Reads the key frame header at the start of a "VP8 " chunk's payload. Nothing when the bytes
// are no key frame or end before the quantiser indices.
std::optional<TVP8Header> ReadVP8Header(std::string_view Payload);

// The payload of the first "VP8 " chunk of a WebP file (a still picture or one frame's
// bitstream, with or without VP8X and ALPH in front); empty when there is none.
std::string_view FindVP8Payload(std::string_view File);

// The quality libwebp's encoder most likely used for a frame written with BaseQuant.
int QualityForBaseQuant(int BaseQuant);

// The estimated quality of a lossy WebP file or frame bitstream; nothing when it has no
// readable VP8 key frame.
std::optional<int> EstimateWebPQuality(std::string_view File);
