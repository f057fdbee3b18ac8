#pragma once
// The LZW decoder of GIF image data: variable-length codes packed least significant bit
// first, widths growing up to 12 bits, clear and end codes, data in sub-blocks of at most
// 255 bytes. Short and corrupt data is tolerated as far as it goes; nothing is read or
// written outside the decoder's fixed tables and the caller's pixel buffer.

#include "gif/GIFFormat.h"

#include <cstdint>
#include <functional>
#include <string>

class TStream;

using TGIFWarn = std::function<void(const std::string& Message)>;

class TGIFDecoder final {
public:
    // Pixels is Width x Height bytes. Fill is the value of pixels the data does not reach
    // (the transparent index of a transparent frame, else 0). The stream is at the initial
    // code size byte; in the normal case it is left after the block terminator.
    static void DecodeImageData(TStream& Stream, std::uint8_t* Pixels, int Width, int Height, bool Interlaced,
                                std::uint8_t Fill, const TGIFWarn& Warn);

private:
    TGIFDecoder(TStream& Stream, const TGIFWarn& Warn) : FStream(Stream), FWarn(Warn) {}

    void Setup(int InitialCodeSize);
    void Decode(std::uint8_t* Pixels, int Width, int Height, bool Interlaced);
    int NextPixel();
    int ReadCode(int Width);
    bool Refill();
    void Warning(const char* Message) const;

    static constexpr int TableSize = 4096;
    static constexpr int StackSize = 8192;

    TStream& FStream;
    const TGIFWarn& FWarn;
    std::int64_t FStreamSize = 0;

    int FInitialCodeSize = 0;
    int FClearCode = 0;
    int FEndCode = 0;
    int FCodeWidth = 0;
    int FCodeLimit = 0;
    int FNextCode = 0;
    int FFirstPixel = 0;
    int FOldCode = 0;

    std::int16_t FPrefix[TableSize];
    std::int16_t FSuffix[TableSize];
    std::int16_t FStack[StackSize];
    int FStackTop = 0;

    // The last two bytes of the previous sub-block, then the current one; a few zero bytes
    // after it so that a three-byte read at the end stays inside.
    std::uint8_t FBuffer[2 + GifFormat::MaxSubBlockSize + 4] = {};
    int FCurrentBit = 0;
    int FBitCount = 0;
    int FByteCount = 2;
    bool FEndOfBlocks = false;
    bool FPendingClear = true;
};
