#include "gif/GIFDecoder.h"

#include "gif/GIFException.h"
#include "graphics/Stream.h"

#include <cstring>
#include <memory>

void TGIFDecoder::DecodeImageData(TStream& Stream, std::uint8_t* Pixels, int Width, int Height, bool Interlaced,
                                  std::uint8_t Fill, const TGIFWarn& Warn)
{
    const std::size_t count = static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height);
    if (count > 0)
        std::memset(Pixels, Fill, count);

    std::uint8_t size = 0;
    if (Stream.Read(&size, 1) != 1)
        return;
    // A clear code of 4096 or more would leave no room in the table for the roots.
    if (size >= 12)
        throw GIFException(GifMessage::InvalidData);

    // The state is about 32 KB: too much for the stack of a deep caller.
    auto decoder = std::unique_ptr<TGIFDecoder>(new TGIFDecoder(Stream, Warn));
    decoder->FStreamSize = Stream.Size();
    decoder->Setup(size);
    try {
        decoder->Decode(Pixels, Width, Height, Interlaced);
    } catch (...) {
        try {
            decoder->NextPixel();
        } catch (...) {
        }
        throw;
    }
    // Normally meets the end code, which skips what is left up to the terminator.
    decoder->NextPixel();
}

void TGIFDecoder::Warning(const char* Message) const
{
    if (FWarn)
        FWarn(Message);
}

void TGIFDecoder::Setup(int InitialCodeSize)
{
    FInitialCodeSize = InitialCodeSize;
    FClearCode = 1 << InitialCodeSize;
    FEndCode = FClearCode + 1;
    FCodeWidth = InitialCodeSize + 1;
    FCodeLimit = 2 * FClearCode;
    FNextCode = FClearCode + 2;
    FPendingClear = true;
    FEndOfBlocks = false;
    FCurrentBit = 0;
    FBitCount = 0;
    FByteCount = 2;
    FStackTop = 0;
    FFirstPixel = 0;
    FOldCode = 0;
    std::memset(FPrefix, 0, sizeof FPrefix);
    std::memset(FSuffix, 0, sizeof FSuffix);
}

void TGIFDecoder::Decode(std::uint8_t* Pixels, int Width, int Height, bool Interlaced)
{
    if (Width <= 0 || Height <= 0)
        return;
    if (!Interlaced) {
        const std::size_t count = static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height);
        for (std::size_t i = 0; i < count; ++i) {
            const int pixel = NextPixel();
            if (pixel < 0)
                return;
            Pixels[i] = static_cast<std::uint8_t>(pixel);
        }
        return;
    }
    // Rows 0, 8, 16, ...; then 4, 12, ...; then 2, 6, ...; then 1, 3, 5, ...
    int pass = 0;
    int step = 8;
    int row = 0;
    for (int n = 0; n < Height; ++n) {
        std::uint8_t* p = Pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(Width);
        for (int x = 0; x < Width; ++x) {
            const int pixel = NextPixel();
            if (pixel < 0)
                return;
            p[x] = static_cast<std::uint8_t>(pixel);
        }
        row += step;
        while (row >= Height) {
            if (pass > 0)
                step /= 2;
            ++pass;
            row = step / 2;
        }
    }
}

int TGIFDecoder::NextPixel()
{
    if (FStackTop > 0)
        return FStack[--FStackTop];

    int code = ReadCode(FCodeWidth);
    if (code < 0)
        return code;

    if (code == FClearCode) {
        for (int i = 0; i < FClearCode; ++i) {
            FPrefix[i] = 0;
            FSuffix[i] = static_cast<std::int16_t>(i);
        }
        std::memset(FPrefix + FClearCode, 0, sizeof(FPrefix[0]) * (TableSize - FClearCode));
        std::memset(FSuffix + FClearCode, 0, sizeof(FSuffix[0]) * (TableSize - FClearCode));
        FCodeWidth = FInitialCodeSize + 1;
        FCodeLimit = 2 * FClearCode;
        FNextCode = FClearCode + 2;
        FStackTop = 0;
        do
            code = ReadCode(FCodeWidth);
        while (code == FClearCode);
        FFirstPixel = code;
        FOldCode = code;
        return code;
    }

    if (code == FEndCode) {
        if (FEndOfBlocks)
            return -2;
        // Skip whatever sub-blocks are left, up to and including the terminator.
        for (;;) {
            std::uint8_t n = 0;
            if (FStream.Read(&n, 1) != 1 || n == GifFormat::BlockTerminator)
                break;
            const std::int64_t left = FStreamSize - FStream.Position();
            FStream.Seek(left < n ? (left > 0 ? left : 0) : n, TSeekOrigin::soCurrent);
        }
        FEndOfBlocks = true;
        return -2;
    }

    const int incoming = code;
    if (code >= FNextCode) {
        // The string of the previous code followed by its own first pixel.
        if (FOldCode < 0)
            return -1;
        FStack[FStackTop++] = static_cast<std::int16_t>(FFirstPixel);
        code = FOldCode;
    }
    // A corrupt table can chain prefixes in a loop; no real string is longer than the
    // table, and none may outgrow the stack.
    int steps = 0;
    while (code >= FClearCode) {
        if (FStackTop >= StackSize || ++steps > TableSize)
            throw GIFException(GifMessage::CircularTable);
        FStack[FStackTop++] = FSuffix[code];
        if (FPrefix[code] == code)
            throw GIFException(GifMessage::CircularTable);
        code = FPrefix[code];
    }
    if (FStackTop >= StackSize)
        throw GIFException(GifMessage::CircularTable);
    FFirstPixel = FSuffix[code];
    FStack[FStackTop++] = static_cast<std::int16_t>(FFirstPixel);

    if (FNextCode <= TableSize - 1) {
        FPrefix[FNextCode] = static_cast<std::int16_t>(FOldCode);
        FSuffix[FNextCode] = static_cast<std::int16_t>(FFirstPixel);
        ++FNextCode;
        if (FNextCode >= FCodeLimit && FCodeLimit <= TableSize - 1) {
            FCodeLimit *= 2;
            ++FCodeWidth;
        }
    }
    FOldCode = incoming;
    return FStack[--FStackTop];
}

bool TGIFDecoder::Refill()
{
    if (FEndOfBlocks)
        return false;
    FBuffer[0] = FBuffer[FByteCount - 2];
    FBuffer[1] = FBuffer[FByteCount - 1];
    std::uint8_t n = 0;
    if (FStream.Read(&n, 1) != 1)
        return false;
    int count = n;
    if (n == GifFormat::BlockTerminator) {
        FEndOfBlocks = true;
    } else {
        const std::int64_t left = FStreamSize - FStream.Position();
        if (left < count) {
            Warning(GifMessage::PrematureEnd);
            count = left > 0 ? static_cast<int>(left) : 0;
        }
        count = static_cast<int>(FStream.Read(FBuffer + 2, count));
    }
    const int oldBitCount = FBitCount;
    FByteCount = count + 2;
    FCurrentBit = FCurrentBit - oldBitCount + 16;
    FBitCount = (count + 2) * 8;
    return true;
}

int TGIFDecoder::ReadCode(int Width)
{
    if (FPendingClear) {
        FPendingClear = false;
        return FClearCode;
    }
    if (FCurrentBit + Width >= FBitCount) {
        if (FEndOfBlocks) {
            if (FCurrentBit >= FBitCount)
                Warning(GifMessage::BitBufferUnderrun);
            return -1;
        }
        if (!Refill())
            return -1;
        // A sub-block shorter than a code: keep taking sub-blocks until the code is whole.
        while (FCurrentBit + Width > FBitCount && !FEndOfBlocks) {
            if (!Refill())
                return -1;
        }
    }
    // At most 12 bits starting at a bit inside the first two bytes: three bytes cover it.
    const int index = FCurrentBit >> 3;
    const std::uint32_t raw = static_cast<std::uint32_t>(FBuffer[index]) |
                              (static_cast<std::uint32_t>(FBuffer[index + 1]) << 8) |
                              (static_cast<std::uint32_t>(FBuffer[index + 2]) << 16);
    FCurrentBit += Width;
    return static_cast<int>((raw >> (FCurrentBit - Width - (index << 3))) & ((1u << Width) - 1));
}
