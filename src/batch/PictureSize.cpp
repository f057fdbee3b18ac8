#include "batch/PictureSize.h"

#include "jpeg/JpegFrame.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

std::uint32_t Big32(std::string_view Bytes, std::size_t At)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(Bytes[At + i]);
    return v;
}

std::uint32_t Little16(std::string_view Bytes, std::size_t At)
{
    return static_cast<std::uint8_t>(Bytes[At]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(Bytes[At + 1])) << 8;
}

bool IsGifSignature(std::string_view Bytes, std::size_t At)
{
    return Bytes.size() >= At + 6 && std::toupper(static_cast<unsigned char>(Bytes[At])) == 'G' &&
           std::toupper(static_cast<unsigned char>(Bytes[At + 1])) == 'I' &&
           std::toupper(static_cast<unsigned char>(Bytes[At + 2])) == 'F';
}

// Skips the sub-blocks at At up to and including their terminator; false when they run out.
bool SkipSubBlocks(std::string_view Bytes, std::size_t& At)
{
    while (At < Bytes.size()) {
        const std::size_t n = static_cast<std::uint8_t>(Bytes[At]);
        ++At;
        if (n == 0) return true;
        At += n;
    }
    return false;
}

}  // namespace

std::optional<TDeclaredPicture> DeclaredPngPicture(std::string_view Bytes)
{
    static constexpr char Signature[] = "\x89PNG\r\n\x1a\n";
    std::size_t at = 0;
    // The reader's own rule for a MacBinary header in front.
    if (Bytes.size() > 128 && Bytes[0] == 0 && Bytes[74] == 0) at = 128;
    if (Bytes.size() < at + 8 || std::memcmp(Bytes.data() + at, Signature, 8) != 0) return std::nullopt;
    at += 8;
    while (Bytes.size() >= at + 8) {
        const std::uint64_t length = Big32(Bytes, at);
        // One too short to be a header is skipped, as the reader skips it.
        if (Bytes.compare(at + 4, 4, "IHDR") == 0 && length >= 13) {
            if (Bytes.size() < at + 8 + 13) return std::nullopt;
            const std::uint64_t pixels = std::uint64_t{Big32(Bytes, at + 8)} * Big32(Bytes, at + 12);
            const int type = static_cast<std::uint8_t>(Bytes[at + 17]);
            const bool alpha = (type & 4) != 0 || type == 3;
            return TDeclaredPicture{pixels, pixels * (alpha ? 5 : 4) + 2 * Bytes.size()};
        }
        at += 12 + length;
    }
    return std::nullopt;
}

std::optional<TDeclaredPicture> DeclaredGifPicture(std::string_view Bytes)
{
    std::size_t at = IsGifSignature(Bytes, 0) ? 0 : IsGifSignature(Bytes, 4) ? 4 : Bytes.size();
    if (Bytes.size() < at + 13) return std::nullopt;
    const std::uint64_t screen = std::uint64_t{Little16(Bytes, at + 6)} * Little16(Bytes, at + 8);
    std::uint64_t frames = 0;
    const std::uint8_t flags = static_cast<std::uint8_t>(Bytes[at + 10]);
    at += 13;
    if (flags & 0x80) at += 3u << ((flags & 7) + 1);
    // The frames, all held at once: each asks for its own pixels (one without a size for the
    // screen's).
    while (at < Bytes.size()) {
        const std::uint8_t block = static_cast<std::uint8_t>(Bytes[at]);
        if (block == 0x21) {
            at += 2;
            if (!SkipSubBlocks(Bytes, at)) break;
        } else if (block == 0x2C) {
            if (Bytes.size() < at + 10) break;
            const std::uint64_t frame = std::uint64_t{Little16(Bytes, at + 5)} * Little16(Bytes, at + 7);
            frames += frame == 0 ? screen : frame;
            const std::uint8_t local = static_cast<std::uint8_t>(Bytes[at + 9]);
            at += 10;
            if (local & 0x80) at += 3u << ((local & 7) + 1);
            ++at;  // the initial code size
            if (!SkipSubBlocks(Bytes, at)) break;
        } else if (block == 0) {
            ++at;
        } else {
            break;
        }
    }
    const std::uint64_t pixels = std::max(screen, frames);
    return TDeclaredPicture{pixels, pixels * 2 + 2 * Bytes.size()};
}

std::optional<TDeclaredPicture> DeclaredJpegPicture(std::string_view Bytes)
{
    const std::optional<TJpegFrame> frame = FindJpegFrame(Bytes);
    if (!frame) return std::nullopt;
    const std::uint64_t pixels = std::uint64_t{frame->Width} * frame->Height;
    int hMax = 1, vMax = 1;
    for (const TJpegFrameComponent& c : frame->Components) {
        hMax = std::max(hMax, c.H);
        vMax = std::max(vMax, c.V);
    }
    std::uint64_t samples = 0;
    for (const TJpegFrameComponent& c : frame->Components)
        samples += pixels * static_cast<std::uint64_t>(std::max(c.H, 1) * std::max(c.V, 1)) /
                   static_cast<std::uint64_t>(hMax * vMax);
    const std::uint64_t written = frame->Components.size() == 1 ? 3 * pixels : samples;
    return TDeclaredPicture{pixels, pixels * 4 + (frame->Progressive() ? 2 * samples : 0) + 2 * written + 2 * Bytes.size()};
}

std::optional<TDeclaredPicture> DeclaredWebPPicture(std::string_view Bytes)
{
    if (Bytes.size() < 30 || Bytes.compare(0, 4, "RIFF") != 0 || Bytes.compare(8, 4, "WEBP") != 0) return std::nullopt;
    const auto byte = [&](std::size_t At) { return std::uint64_t{static_cast<std::uint8_t>(Bytes[At])}; };
    const std::string_view chunk = Bytes.substr(12, 4);
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    if (chunk == "VP8X") {
        width = (byte(24) | byte(25) << 8 | byte(26) << 16) + 1;
        height = (byte(27) | byte(28) << 8 | byte(29) << 16) + 1;
    } else if (chunk == "VP8 ") {
        width = (byte(26) | byte(27) << 8) & 0x3FFF;
        height = (byte(28) | byte(29) << 8) & 0x3FFF;
    } else if (chunk == "VP8L") {
        if (byte(20) != 0x2F) return std::nullopt;
        const std::uint64_t bits = byte(21) | byte(22) << 8 | byte(23) << 16 | byte(24) << 24;
        width = (bits & 0x3FFF) + 1;
        height = (bits >> 14 & 0x3FFF) + 1;
    } else {
        return std::nullopt;
    }
    const std::uint64_t pixels = width * height;
    // No one picture is larger than libwebp decodes (16383 x 16383), whatever the canvas.
    const std::uint64_t picture = std::min<std::uint64_t>(pixels, std::uint64_t{16383} * 16383);
    const std::uint64_t perPixel = chunk == "VP8 " ? 12 : 40;
    return TDeclaredPicture{pixels, picture * perPixel + 3 * Bytes.size()};
}
