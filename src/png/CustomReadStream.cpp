#include "png/CustomReadStream.h"

#include "graphics/Stream.h"

#include <algorithm>
#include <cstring>

CustomReadStream::CustomReadStream() = default;
CustomReadStream::~CustomReadStream() = default;

void CustomReadStream::BeginRead(TStream& stream, std::int64_t count)
{
    stream_ = &stream;
    start_ = stream.Position();
    const std::int64_t available = std::max<std::int64_t>(0, stream.Size() - start_);
    limit_ = count <= 0 ? available : std::min(count, available);
    consumed_ = 0;
    pastEnd_ = limit_ == 0;
    aborted_ = false;
    macHeaderSkipped_ = false;
    left_ = 0;
    next_ = nullptr;
    buffer_.reset();
    if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
        inPlace_ = true;
        next_ = memory->Memory() + start_;
        left_ = limit_;
    } else {
        inPlace_ = false;
        buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
        Fill(std::min(limit_, kBufferSize));
    }

    // MacBinary: a 128-byte header whose bytes 0 and 74 are zero.
    if (SkipMacHeader && limit_ > 128 && Fill(75) && next_[0] == 0 && next_[74] == 0) {
        SkipBytes(128);
        macHeaderSkipped_ = true;
    }
}

void CustomReadStream::EndRead()
{
    if (stream_ != nullptr) {
        stream_->SetPosition(start_ + consumed_);
    }
    buffer_.reset();
    next_ = nullptr;
    left_ = 0;
    stream_ = nullptr;
}

bool CustomReadStream::Fill(std::int64_t need)
{
    if (left_ >= need) {
        return true;
    }
    if (inPlace_ || need > kBufferSize || need > Remaining()) {
        return false;
    }
    // Move what is left to the front and top the buffer up from the stream.
    if (left_ > 0 && next_ != buffer_.get()) {
        std::memmove(buffer_.get(), next_, static_cast<std::size_t>(left_));
    }
    next_ = buffer_.get();
    const std::int64_t want = std::min(kBufferSize - left_, Remaining() - left_);
    stream_->SetPosition(start_ + consumed_ + left_);
    std::int64_t got = 0;
    while (got < want) {
        const std::int64_t n = stream_->Read(buffer_.get() + left_ + got, want - got);
        if (n <= 0) {
            break;
        }
        got += n;
    }
    left_ += got;
    if (got < want) {
        // The stream delivered less than its size promised: that is where the data ends.
        limit_ = consumed_ + left_;
    }
    return left_ >= need;
}

bool CustomReadStream::ReadBytes(void* buffer, std::int64_t count)
{
    if (pastEnd_ || count < 0 || count > Remaining()) {
        pastEnd_ = true;
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        if (left_ == 0) {
            if (!inPlace_ && count > kBufferSize) {
                // Large reads bypass the buffer.
                stream_->SetPosition(start_ + consumed_);
                const std::int64_t n = stream_->Read(out, count);
                consumed_ += std::max<std::int64_t>(n, 0);
                if (n != count) {
                    limit_ = consumed_;
                    pastEnd_ = true;
                    return false;
                }
                return true;
            }
            if (!Fill(std::min(count, kBufferSize))) {
                pastEnd_ = true;
                return false;
            }
        }
        const std::int64_t n = std::min(count, left_);
        std::memcpy(out, next_, static_cast<std::size_t>(n));
        next_ += n;
        left_ -= n;
        consumed_ += n;
        out += n;
        count -= n;
    }
    return true;
}

std::uint8_t CustomReadStream::ReadByte()
{
    if (!pastEnd_ && (left_ >= 1 || Fill(1))) {
        --left_;
        ++consumed_;
        return *next_++;
    }
    pastEnd_ = true;
    return 0;
}

std::uint16_t CustomReadStream::ReadWord()
{
    std::uint8_t b[2];
    if (!ReadBytes(b, 2)) {
        return 0;
    }
    return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

std::uint32_t CustomReadStream::ReadDWord()
{
    std::uint8_t b[4];
    if (!ReadBytes(b, 4)) {
        return 0;
    }
    return (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
           (static_cast<std::uint32_t>(b[2]) << 8) | b[3];
}

void CustomReadStream::SkipBytes(std::int64_t count)
{
    if (pastEnd_ || count < 0 || count > Remaining()) {
        pastEnd_ = true;
        return;
    }
    if (count <= left_) {
        next_ += count;
        left_ -= count;
    } else {
        // Drop the buffer; the next read fills it from the new position.
        left_ = 0;
        next_ = buffer_.get();
    }
    consumed_ += count;
}

// ---------------------------------------------------------------- GraphicReadStream

void GraphicReadStream::ReadBitmap(TBitmap* bitmap, TStream& stream, std::int64_t count)
{
    bitmap_ = bitmap;
    TNotifyEvent savedChange;
    if (bitmap_ != nullptr) {
        savedChange = std::move(bitmap_->OnChange);
        bitmap_->OnChange = nullptr;
    }
    struct Restore {
        GraphicReadStream& self;
        TNotifyEvent& change;
        ~Restore()
        {
            self.EndRead();
            self.palette_.clear();
            self.palette_.shrink_to_fit();
            if (self.bitmap_ != nullptr) {
                self.bitmap_->OnChange = std::move(change);
            }
        }
    } restore{*this, savedChange};

    BeginRead(stream, count);
    comment_.clear();
    paletteCount_ = 0;
    Decode();
}

void GraphicReadStream::SetupBitmap()
{
    if (bitmap_ == nullptr) {
        return;
    }
    bitmap_->Assign(nullptr);
    bitmap_->SetTransparent(false);
    bitmap_->SetTransparentColor(clNone);
    switch (bitmapBits_) {
    case 1: bitmap_->SetPixelFormat(TPixelFormat::pf1bit); break;
    case 4: bitmap_->SetPixelFormat(TPixelFormat::pf4bit); break;
    case 8: bitmap_->SetPixelFormat(TPixelFormat::pf8bit); break;
    default: bitmap_->SetPixelFormat(TPixelFormat::pf24bit); break;
    }
    bitmap_->SetSize(width_, height_);
    if (paletteCount_ > 0) {
        bitmap_->SetPalette(TPalette(palette_.begin(), palette_.begin() + paletteCount_));
    } else if (bitmapBits_ > 8) {
        bitmap_->SetPalette({});
    }
}

void GraphicReadStream::Progress(TProgressStage stage, int percent)
{
    if (bitmap_ != nullptr && bitmap_->OnProgress) {
        bitmap_->Progress(stage, static_cast<std::uint8_t>(std::clamp(percent, 0, 100)), false, TRect{}, std::string());
    }
}
