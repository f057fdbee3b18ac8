#include "jpeg/JpegFrame.h"

namespace {

std::uint32_t Byte(std::string_view Bytes, std::size_t At) { return static_cast<std::uint8_t>(Bytes[At]); }
std::uint32_t Big16(std::string_view Bytes, std::size_t At) { return Byte(Bytes, At) << 8 | Byte(Bytes, At + 1); }

bool IsFrameMarker(std::uint32_t Marker)
{
    // SOF0..SOF15 but DHT (C4), JPG (C8) and DAC (CC).
    return Marker >= 0xC0 && Marker <= 0xCF && Marker != 0xC4 && Marker != 0xC8 && Marker != 0xCC;
}

}  // namespace

std::optional<TJpegFrame> FindJpegFrame(std::string_view Bytes)
{
    if (Bytes.size() < 4 || Byte(Bytes, 0) != 0xFF || Byte(Bytes, 1) != 0xD8) return std::nullopt;
    std::size_t at = 2;
    while (at + 4 <= Bytes.size()) {
        if (Byte(Bytes, at) != 0xFF) return std::nullopt;
        const std::uint32_t marker = Byte(Bytes, at + 1);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        // Markers without a length: none may come before the frame header in a readable file.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) return std::nullopt;
        const std::size_t length = Big16(Bytes, at + 2);
        if (length < 2) return std::nullopt;
        if (IsFrameMarker(marker)) {
            if (length < 8 || at + 2 + length > Bytes.size()) return std::nullopt;
            TJpegFrame frame;
            frame.Marker = static_cast<int>(marker);
            frame.Precision = static_cast<int>(Byte(Bytes, at + 4));
            frame.Height = Big16(Bytes, at + 5);
            frame.Width = Big16(Bytes, at + 7);
            const std::size_t count = Byte(Bytes, at + 9);
            if (length != 8 + 3 * count) return std::nullopt;
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint32_t sampling = Byte(Bytes, at + 11 + 3 * i);
                frame.Components.push_back({static_cast<int>(sampling >> 4), static_cast<int>(sampling & 15)});
            }
            return frame;
        }
        if (marker == 0xDA) return std::nullopt;  // a scan before any frame
        at += 2 + length;
    }
    return std::nullopt;
}
