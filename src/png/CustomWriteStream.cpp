#include "png/CustomWriteStream.h"

#include "graphics/Stream.h"

#include <algorithm>
#include <cstring>
#include <string>

CustomWriteStream::CustomWriteStream() = default;
CustomWriteStream::~CustomWriteStream() = default;

void CustomWriteStream::BeginWrite(TStream& stream)
{
    FStream = &stream;
    if (!FBuffer) {
        FBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    }
    FFill = 0;
    FTotal = 0;
    FAborted = false;
}

void CustomWriteStream::WriteBytes(const void* data, std::int64_t count)
{
    if (FAborted || count <= 0) {
        return;
    }
    FTotal += count;
    if (count < 65520) {
        if (FFill + count > kBufferSize - 1) {
            Flush();
        }
        std::memcpy(FBuffer.get() + FFill, data, static_cast<std::size_t>(count));
        FFill += count;
        return;
    }
    Flush();
    FStream->WriteBuffer(data, count);
}

void CustomWriteStream::WriteDWord(std::uint32_t value)
{
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                               static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    WriteBytes(b, 4);
}

void CustomWriteStream::Flush()
{
    if (FFill > 0 && FStream != nullptr) {
        const std::int64_t n = FFill;
        FFill = 0;
        FStream->WriteBuffer(FBuffer.get(), n);
    }
}

void GraphicWriteStream::WriteBitmap(TBitmap& bitmap, TStream& stream)
{
    BeginWrite(stream);
    FBitmap = &bitmap;
    try {
        Encode();
    } catch (...) {
        try {
            Flush();
        } catch (...) {
            // The encoder's error is the one to report.
        }
        FBitmap = nullptr;
        throw;
    }
    Flush();
    FBitmap = nullptr;
}

void GraphicWriteStream::Progress(TProgressStage stage, int percent)
{
    if (FBitmap != nullptr && FBitmap->OnProgress) {
        FBitmap->Progress(stage, static_cast<std::uint8_t>(std::clamp(percent, 0, 100)), false, TRect{}, std::string());
    }
}
