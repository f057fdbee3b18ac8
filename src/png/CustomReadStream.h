#pragma once
// Buffered big-endian reading over a byte stream, and the layer that owns the target
// bitmap while an image is decoded.

#include "graphics/Bitmap.h"

#include <cstdint>
#include <memory>
#include <string>

class TStream;

class CustomReadStream {
public:
    CustomReadStream();
    virtual ~CustomReadStream();
    CustomReadStream(const CustomReadStream&) = delete;
    CustomReadStream& operator=(const CustomReadStream&) = delete;

    // A 128-byte MacBinary header in front of the data is skipped.
    bool SkipMacHeader = true;
    bool MacHeaderSkipped() const { return FMacHeaderSkipped; }

protected:
    static constexpr std::int64_t kBufferSize = 65536;

    // count <= 0: to the end of the stream. Reading starts at the stream's position.
    void BeginRead(TStream& stream, std::int64_t count);
    // Leaves the stream just behind the bytes consumed.
    void EndRead();

    // Each read that would go beyond the data sets the past-end flag, consumes nothing
    // and yields 0; from then on every read yields 0.
    std::uint8_t ReadByte();
    std::uint16_t ReadWord();
    std::uint32_t ReadDWord();
    bool ReadBytes(void* buffer, std::int64_t count);
    void SkipBytes(std::int64_t count);

    bool PastEnd() const { return FPastEnd; }
    bool Aborted() const { return FAborted; }
    void SetAborted() { FAborted = true; }
    std::int64_t Consumed() const { return FConsumed; }
    std::int64_t Remaining() const { return FLimit - FConsumed; }
    std::int64_t ByteCount() const { return FLimit; }

private:
    // Makes at least `need` bytes available at the read pointer when the data holds them.
    bool Fill(std::int64_t need);

    TStream* FStream = nullptr;
    std::int64_t FStart = 0;
    std::int64_t FLimit = 0;     // bytes that may be read
    std::int64_t FConsumed = 0;  // bytes used so far
    std::unique_ptr<std::uint8_t[]> FBuffer;
    const std::uint8_t* FNext = nullptr;  // read pointer (into the buffer or the stream's memory)
    std::int64_t FLeft = 0;               // bytes available at the read pointer
    bool FInPlace = false;
    bool FPastEnd = false;
    bool FAborted = false;
    bool FMacHeaderSkipped = false;
};

class GraphicReadStream : public CustomReadStream {
public:
    // Decodes into bitmap (null: only the header chunks are read). The bitmap's change
    // event is detached for the whole decode; the stream is left behind the data used,
    // also when the decoder raises.
    void ReadBitmap(TBitmap* bitmap, TStream& stream, std::int64_t count);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    const std::string& Comment() const { return FComment; }
    std::uint8_t PhysUnit() const { return FPhysUnit; }
    std::uint32_t PhysX() const { return FPhysX; }
    std::uint32_t PhysY() const { return FPhysY; }

protected:
    // The decoder.
    virtual void Decode() = 0;
    // Prepares the bitmap: cleared, not transparent, the format of FBitmapBits, the size
    // and the palette when there is one.
    virtual void SetupBitmap();

    // Progress through the target bitmap's progress event.
    void Progress(TProgressStage stage, int percent);

    TBitmap* FBitmap = nullptr;
    int FWidth = 0;
    int FHeight = 0;
    int FBitmapBits = 0;  // 1, 4, 8 or 24
    int FBitsPerSample = 0;
    TPalette FPalette;
    int FPaletteCount = 0;
    std::uint8_t FPhysUnit = 0;
    std::uint32_t FPhysX = 0;
    std::uint32_t FPhysY = 0;
    std::string FComment;
};
