#pragma once
// GIF image data out: the LZW encoder with its open-addressed string table, and the writer
// that cuts the code stream into sub-blocks of at most 255 bytes.

#include "gif/GIFDecoder.h"
#include "gif/GIFFormat.h"
#include "graphics/Stream.h"

#include <cstdint>
#include <memory>

// A stream that passes through to another; the base of the sub-block writer.
class TGIFStream : public TStream {
public:
    explicit TGIFStream(TStream& Stream) : FStream(Stream) {}

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(std::int64_t NewSize) override;

protected:
    TStream& FStream;
};

// Buffers what is written into data sub-blocks (a count byte and up to 255 bytes). It can
// only be written to.
class TGIFWriter final : public TGIFStream {
public:
    explicit TGIFWriter(TStream& Stream) : TGIFStream(Stream) {}
    ~TGIFWriter() override;

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

    void WriteByte(std::uint8_t Value)
    {
        FBuffer[1 + FPending++] = Value;
        if (FPending == GifFormat::MaxSubBlockSize)
            FlushBlock();
    }
    // Writes the pending bytes, if any, as a last, shorter sub-block.
    void Close();

private:
    void FlushBlock();

    std::uint8_t FBuffer[1 + GifFormat::MaxSubBlockSize];
    int FPending = 0;
};

// Open-addressed table of strings: (prefix code, pixel) to code.
class THashTable final {
public:
    static constexpr int Size = 8009;

    THashTable() { Clear(); }
    void Clear();
    // The code stored for the key, or -1.
    int Lookup(std::uint32_t Key) const noexcept
    {
        std::uint32_t h = Home(Key);
        const std::uint32_t step = h == 0 ? 1 : Size - h;
        for (;;) {
            const std::uint32_t cell = FCells[h];
            if (cell >= 0xFFFFF000u)
                return -1;
            if ((cell >> 12) == Key)
                return static_cast<int>(cell & 0xFFF);
            h = h >= step ? h - step : h + Size - step;
        }
    }
    void Insert(std::uint32_t Key, int Code) noexcept
    {
        std::uint32_t h = Home(Key);
        const std::uint32_t step = h == 0 ? 1 : Size - h;
        while (FCells[h] < 0xFFFFF000u)
            h = h >= step ? h - step : h + Size - step;
        FCells[h] = (Key << 12) | static_cast<std::uint32_t>(Code);
    }

private:
    static std::uint32_t Home(std::uint32_t Key) noexcept { return (Key ^ (Key >> 4)) % Size; }
    std::uint32_t FCells[Size];
};

// Shared code output of the encoders.
class TGIFEncoder {
public:
    virtual ~TGIFEncoder() = default;

    // Writes the initial code size, the code stream in sub-blocks and the terminator.
    // Pixels hold Width x Height indices, rows from the top; every index must be below
    // MaxColor ("Color not in color table" otherwise).
    void EncodeImageData(TStream& Stream, int BitsPerPixel, int MaxColor, const std::uint8_t* Pixels,
                         bool Interlaced, int Height, int Width);

    void SetWarning(const TGIFWarn& Warn) { FWarn = Warn; }

protected:
    virtual void Output(int Code);
    virtual void Clear() = 0;
    virtual void Compress() = 0;

    // The pixels in encoding order: row by row, or by the four interlace passes.
    class TPixelWalk {
    public:
        TPixelWalk(const std::uint8_t* Pixels, int Width, int Height, bool Interlaced);
        bool Done() const noexcept { return FDone; }
        // The next pixel's value; call only while not done.
        std::uint8_t Next() noexcept
        {
            const std::uint8_t value = *FCursor++;
            if (FCursor == FRowEnd)
                NextRow();
            return value;
        }
        // The rest of the current row (non-empty while not done).
        const std::uint8_t* Cursor() const noexcept { return FCursor; }
        const std::uint8_t* RowEnd() const noexcept { return FRowEnd; }
        void SkipTo(const std::uint8_t* Position) noexcept
        {
            FCursor = Position;
            if (FCursor == FRowEnd)
                NextRow();
        }

    private:
        void NextRow() noexcept;
        void SetRow() noexcept;

        const std::uint8_t* FPixels;
        const std::uint8_t* FCursor = nullptr;
        const std::uint8_t* FRowEnd = nullptr;
        int FWidth;
        int FHeight;
        bool FInterlaced;
        int FRow = 0;
        int FPass = 0;
        bool FDone = false;
    };

    TGIFWriter* FWriter = nullptr;
    int FBitsPerPixel = 0;
    int FInitialCodeSize = 0;
    int FCodeWidth = 0;
    int FMaxCode = 0;
    int FClearCode = 0;
    int FEndCode = 0;
    int FFirstCode = 0;
    std::uint64_t FAccumulator = 0;
    int FBitCount = 0;
    const std::uint8_t* FPixels = nullptr;
    int FWidth = 0;
    int FHeight = 0;
    bool FInterlaced = false;
    int FMaxColor = 0;
    bool FClearFlag = false;
    TGIFWarn FWarn;
};

class TLZWEncoder final : public TGIFEncoder {
protected:
    void Output(int Code) override;
    void Clear() override;
    void Compress() override;

private:
    int FNextCode = 0;
    std::unique_ptr<THashTable> FHashTable;
};
