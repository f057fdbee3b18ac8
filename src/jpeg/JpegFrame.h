#pragma once
// The frame header (SOFn) of a JPEG file, found by walking its marker segments without
// decoding anything: the size the batch checks and reserves memory for before libjpeg sees the
// file, and what it refuses before decoding.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

struct TJpegFrameComponent {
    int H = 1;  // horizontal and vertical sampling factors
    int V = 1;
};

struct TJpegFrame {
    int Marker = 0;  // 0xC0..0xCF, the kind of coding
    int Precision = 8;
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::vector<TJpegFrameComponent> Components;

    bool Progressive() const { return Marker == 0xC2 || Marker == 0xC6 || Marker == 0xCA || Marker == 0xCE; }
};

// The first frame header after the SOI marker, as libjpeg would read it; nothing when the file
// does not start with SOI or ends (or goes wrong) before a whole frame header.
std::optional<TJpegFrame> FindJpegFrame(std::string_view Bytes);
