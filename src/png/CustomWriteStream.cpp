#include "png/CustomWriteStream.h"

#include "graphics/Stream.h"

#include <algorithm>
#include <cstring>
#include <string>

CustomWriteStream::CustomWriteStream() = default;
CustomWriteStream::~CustomWriteStream() = default;

void CustomWriteStream::BeginWrite(TStream& stream)
{
    stream_ = &stream;
    if (!buffer_) {
        buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    }
    fill_ = 0;
    total_ = 0;
    aborted_ = false;
}

void CustomWriteStream::WriteBytes(const void* data, std::int64_t count)
{
    if (aborted_ || count <= 0) {
        return;
    }
    total_ += count;
    if (count < 65520) {
        if (fill_ + count > kBufferSize - 1) {
            Flush();
        }
        std::memcpy(buffer_.get() + fill_, data, static_cast<std::size_t>(count));
        fill_ += count;
        return;
    }
    Flush();
    stream_->WriteBuffer(data, count);
}

void CustomWriteStream::WriteDWord(std::uint32_t value)
{
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                               static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    WriteBytes(b, 4);
}

void CustomWriteStream::Flush()
{
    if (fill_ > 0 && stream_ != nullptr) {
        const std::int64_t n = fill_;
        fill_ = 0;
        stream_->WriteBuffer(buffer_.get(), n);
    }
}

void GraphicWriteStream::WriteBitmap(TBitmap& bitmap, TStream& stream)
{
    BeginWrite(stream);
    bitmap_ = &bitmap;
    try {
        Encode();
    } catch (...) {
        try {
            Flush();
        } catch (...) {
            // The encoder's error is the one to report.
        }
        bitmap_ = nullptr;
        throw;
    }
    Flush();
    bitmap_ = nullptr;
}

void GraphicWriteStream::Progress(TProgressStage stage, int percent)
{
    if (bitmap_ != nullptr && bitmap_->OnProgress) {
        bitmap_->Progress(stage, static_cast<std::uint8_t>(std::clamp(percent, 0, 100)), false, TRect{}, std::string());
    }
}
