#include "png/CustomReadStream.h"

#include "graphics/Stream.h"

#include <algorithm>
#include <cstring>

CustomReadStream::CustomReadStream() = default;
CustomReadStream::~CustomReadStream() = default;

void CustomReadStream::BeginRead(TStream& stream, std::int64_t count)
{
    FStream = &stream;
    FStart = stream.Position();
    const std::int64_t available = std::max<std::int64_t>(0, stream.Size() - FStart);
    FLimit = count <= 0 ? available : std::min(count, available);
    FConsumed = 0;
    FPastEnd = FLimit == 0;
    FAborted = false;
    FMacHeaderSkipped = false;
    FLeft = 0;
    FNext = nullptr;
    FBuffer.reset();
    if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
        FInPlace = true;
        FNext = memory->Memory() + FStart;
        FLeft = FLimit;
    } else {
        FInPlace = false;
        FBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
        Fill(std::min(FLimit, kBufferSize));
    }

    // MacBinary: a 128-byte header whose bytes 0 and 74 are zero.
    if (SkipMacHeader && FLimit > 128 && Fill(75) && FNext[0] == 0 && FNext[74] == 0) {
        SkipBytes(128);
        FMacHeaderSkipped = true;
    }
}

void CustomReadStream::EndRead()
{
    if (FStream != nullptr) {
        FStream->SetPosition(FStart + FConsumed);
    }
    FBuffer.reset();
    FNext = nullptr;
    FLeft = 0;
    FStream = nullptr;
}

bool CustomReadStream::Fill(std::int64_t need)
{
    if (FLeft >= need) {
        return true;
    }
    if (FInPlace || need > kBufferSize || need > Remaining()) {
        return false;
    }
    // Move what is left to the front and top the buffer up from the stream.
    if (FLeft > 0 && FNext != FBuffer.get()) {
        std::memmove(FBuffer.get(), FNext, static_cast<std::size_t>(FLeft));
    }
    FNext = FBuffer.get();
    const std::int64_t want = std::min(kBufferSize - FLeft, Remaining() - FLeft);
    FStream->SetPosition(FStart + FConsumed + FLeft);
    std::int64_t got = 0;
    while (got < want) {
        const std::int64_t n = FStream->Read(FBuffer.get() + FLeft + got, want - got);
        if (n <= 0) {
            break;
        }
        got += n;
    }
    FLeft += got;
    if (got < want) {
        // The stream delivered less than its size promised: that is where the data ends.
        FLimit = FConsumed + FLeft;
    }
    return FLeft >= need;
}

bool CustomReadStream::ReadBytes(void* buffer, std::int64_t count)
{
    if (FPastEnd || count < 0 || count > Remaining()) {
        FPastEnd = true;
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        if (FLeft == 0) {
            if (!FInPlace && count > kBufferSize) {
                // Large reads bypass the buffer.
                FStream->SetPosition(FStart + FConsumed);
                const std::int64_t n = FStream->Read(out, count);
                FConsumed += std::max<std::int64_t>(n, 0);
                if (n != count) {
                    FLimit = FConsumed;
                    FPastEnd = true;
                    return false;
                }
                return true;
            }
            if (!Fill(std::min(count, kBufferSize))) {
                FPastEnd = true;
                return false;
            }
        }
        const std::int64_t n = std::min(count, FLeft);
        std::memcpy(out, FNext, static_cast<std::size_t>(n));
        FNext += n;
        FLeft -= n;
        FConsumed += n;
        out += n;
        count -= n;
    }
    return true;
}

std::uint8_t CustomReadStream::ReadByte()
{
    if (!FPastEnd && (FLeft >= 1 || Fill(1))) {
        --FLeft;
        ++FConsumed;
        return *FNext++;
    }
    FPastEnd = true;
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
    if (FPastEnd || count < 0 || count > Remaining()) {
        FPastEnd = true;
        return;
    }
    if (count <= FLeft) {
        FNext += count;
        FLeft -= count;
    } else {
        // Drop the buffer; the next read fills it from the new position.
        FLeft = 0;
        FNext = FBuffer.get();
    }
    FConsumed += count;
}

// ---------------------------------------------------------------- GraphicReadStream

void GraphicReadStream::ReadBitmap(TBitmap* bitmap, TStream& stream, std::int64_t count)
{
    FBitmap = bitmap;
    TNotifyEvent savedChange;
    if (FBitmap != nullptr) {
        savedChange = std::move(FBitmap->OnChange);
        FBitmap->OnChange = nullptr;
    }
    struct Restore {
        GraphicReadStream& self;
        TNotifyEvent& change;
        ~Restore()
        {
            self.EndRead();
            self.FPalette.clear();
            self.FPalette.shrink_to_fit();
            if (self.FBitmap != nullptr) {
                self.FBitmap->OnChange = std::move(change);
            }
        }
    } restore{*this, savedChange};

    BeginRead(stream, count);
    FComment.clear();
    FPaletteCount = 0;
    Decode();
}

void GraphicReadStream::SetupBitmap()
{
    if (FBitmap == nullptr) {
        return;
    }
    FBitmap->Assign(nullptr);
    FBitmap->SetTransparent(false);
    FBitmap->SetTransparentColor(clNone);
    switch (FBitmapBits) {
    case 1: FBitmap->SetPixelFormat(TPixelFormat::pf1bit); break;
    case 4: FBitmap->SetPixelFormat(TPixelFormat::pf4bit); break;
    case 8: FBitmap->SetPixelFormat(TPixelFormat::pf8bit); break;
    default: FBitmap->SetPixelFormat(TPixelFormat::pf24bit); break;
    }
    FBitmap->SetSize(FWidth, FHeight);
    if (FPaletteCount > 0) {
        FBitmap->SetPalette(TPalette(FPalette.begin(), FPalette.begin() + FPaletteCount));
    } else if (FBitmapBits > 8) {
        FBitmap->SetPalette({});
    }
}

void GraphicReadStream::Progress(TProgressStage stage, int percent)
{
    if (FBitmap != nullptr && FBitmap->OnProgress) {
        FBitmap->Progress(stage, static_cast<std::uint8_t>(std::clamp(percent, 0, 100)), false, TRect{}, std::string());
    }
}
