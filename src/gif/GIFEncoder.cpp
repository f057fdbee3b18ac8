#include "gif/GIFEncoder.h"

#include "gif/GIFException.h"

#include <algorithm>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// Streams

std::int64_t TGIFStream::Read(void* Buffer, std::int64_t Count) { return FStream.Read(Buffer, Count); }
std::int64_t TGIFStream::Write(const void* Buffer, std::int64_t Count) { return FStream.Write(Buffer, Count); }
std::int64_t TGIFStream::Seek(std::int64_t Offset, TSeekOrigin Origin) { return FStream.Seek(Offset, Origin); }
void TGIFStream::SetSize(std::int64_t NewSize) { FStream.SetSize(NewSize); }

TGIFWriter::~TGIFWriter()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; Close is called explicitly on the normal path.
    }
}

std::int64_t TGIFWriter::Read(void*, std::int64_t)
{
    throw GIFException(GifMessage::StreamOperation);
}

std::int64_t TGIFWriter::Seek(std::int64_t, TSeekOrigin)
{
    throw GIFException(GifMessage::StreamOperation);
}

std::int64_t TGIFWriter::Write(const void* Buffer, std::int64_t Count)
{
    const auto* p = static_cast<const std::uint8_t*>(Buffer);
    for (std::int64_t i = 0; i < Count; ++i)
        WriteByte(p[i]);
    return Count;
}

void TGIFWriter::FlushBlock()
{
    FBuffer[0] = static_cast<std::uint8_t>(FPending);
    const int count = FPending;
    FPending = 0;
    FStream.WriteBuffer(FBuffer, count + 1);
}

void TGIFWriter::Close()
{
    if (FPending > 0)
        FlushBlock();
}

// ---------------------------------------------------------------------------------------------
// Hash table

void THashTable::Clear()
{
    std::memset(FCells, 0xFF, sizeof FCells);
}

// ---------------------------------------------------------------------------------------------
// Pixel order

TGIFEncoder::TPixelWalk::TPixelWalk(const std::uint8_t* Pixels, int Width, int Height, bool Interlaced)
    : FPixels(Pixels), FWidth(Width), FHeight(Height), FInterlaced(Interlaced)
{
    if (Width <= 0 || Height <= 0 || !Pixels) {
        FDone = true;
        return;
    }
    SetRow();
}

void TGIFEncoder::TPixelWalk::SetRow() noexcept
{
    FCursor = FPixels + static_cast<std::size_t>(FRow) * static_cast<std::size_t>(FWidth);
    FRowEnd = FCursor + FWidth;
}

void TGIFEncoder::TPixelWalk::NextRow() noexcept
{
    if (!FInterlaced) {
        if (++FRow >= FHeight) {
            FDone = true;
            return;
        }
        SetRow();
        return;
    }
    static constexpr int Steps[4] = {8, 8, 4, 2};
    static constexpr int Starts[4] = {0, 4, 2, 1};
    FRow += Steps[FPass];
    while (FRow >= FHeight) {
        if (++FPass > 3) {
            FDone = true;
            return;
        }
        FRow = Starts[FPass];
    }
    SetRow();
}

// ---------------------------------------------------------------------------------------------
// Encoders

void TGIFEncoder::EncodeImageData(TStream& Stream, int BitsPerPixel, int MaxColor, const std::uint8_t* Pixels,
                                  bool Interlaced, int Height, int Width)
{
    FBitsPerPixel = BitsPerPixel;
    FInitialCodeSize = std::clamp(BitsPerPixel, 2, 8);
    const std::uint8_t size = static_cast<std::uint8_t>(FInitialCodeSize);
    Stream.WriteBuffer(&size, 1);

    FCodeWidth = FInitialCodeSize + 1;
    FMaxCode = (1 << FCodeWidth) - 1;
    FClearCode = 1 << FInitialCodeSize;
    FEndCode = FClearCode + 1;
    FFirstCode = FClearCode + 2;
    FAccumulator = 0;
    FBitCount = 0;
    FPixels = Pixels;
    FWidth = Width;
    FHeight = Height;
    FInterlaced = Interlaced;
    FMaxColor = MaxColor;
    FClearFlag = false;

    TGIFWriter writer(Stream);
    FWriter = &writer;
    try {
        if (Pixels && Width > 0 && Height > 0)
            Compress();
        Output(FEndCode);
    } catch (...) {
        // What was compressed so far still goes out as a sub-block; no terminator follows.
        FWriter = nullptr;
        writer.Close();
        throw;
    }
    FWriter = nullptr;
    writer.Close();
    const std::uint8_t terminator = GifFormat::BlockTerminator;
    Stream.WriteBuffer(&terminator, 1);
}

void TGIFEncoder::Output(int Code)
{
    FAccumulator = (static_cast<std::uint64_t>(Code) << FBitCount) | (FAccumulator & ((1ull << FBitCount) - 1));
    FBitCount += FCodeWidth;
    while (FBitCount >= 8) {
        FWriter->WriteByte(static_cast<std::uint8_t>(FAccumulator));
        FAccumulator >>= 8;
        FBitCount -= 8;
    }
    if (Code == FEndCode) {
        while (FBitCount > 0) {
            FWriter->WriteByte(static_cast<std::uint8_t>(FAccumulator));
            FAccumulator >>= 8;
            FBitCount = FBitCount > 8 ? FBitCount - 8 : 0;
        }
    }
}

void TLZWEncoder::Output(int Code)
{
    TGIFEncoder::Output(Code);
    if (FClearFlag || FNextCode > FMaxCode) {
        if (FClearFlag) {
            FCodeWidth = FInitialCodeSize + 1;
            FMaxCode = (1 << FCodeWidth) - 1;
            FClearFlag = false;
        } else {
            ++FCodeWidth;
            // The width never grows beyond 12 bits.
            FMaxCode = FCodeWidth == 12 ? 4096 : (1 << FCodeWidth) - 1;
        }
    }
}

void TLZWEncoder::Clear()
{
    FClearFlag = true;
    Output(FClearCode);
    FHashTable->Clear();
    FNextCode = FClearCode + 2;
}

void TLZWEncoder::Compress()
{
    if (!FHashTable)
        FHashTable = std::make_unique<THashTable>();
    FNextCode = FClearCode + 2;
    Clear();

    TPixelWalk walk(FPixels, FWidth, FHeight, FInterlaced);
    const int maxColor = FMaxColor;
    int prefix = walk.Next();
    if (prefix >= maxColor)
        throw GIFException(GifMessage::ColorNotInTable);

    THashTable& table = *FHashTable;
    while (!walk.Done()) {
        // The rest of the current row in one tight loop.
        const std::uint8_t* p = walk.Cursor();
        const std::uint8_t* end = walk.RowEnd();
        for (; p != end; ++p) {
            const int pixel = *p;
            if (pixel >= maxColor) {
                walk.SkipTo(p);
                throw GIFException(GifMessage::ColorNotInTable);
            }
            const std::uint32_t key = (static_cast<std::uint32_t>(prefix) << 8) | static_cast<std::uint32_t>(pixel);
            const int code = table.Lookup(key);
            if (code >= 0) {
                prefix = code;
                continue;
            }
            Output(prefix);
            prefix = pixel;
            if (FNextCode > 4094) {
                Clear();
            } else {
                table.Insert(key, FNextCode);
                ++FNextCode;
            }
        }
        walk.SkipTo(end);
    }
    Output(prefix);
}
