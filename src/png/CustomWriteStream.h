#pragma once
// Buffered big-endian output to a byte stream, and the layer that holds the source bitmap
// while an image is encoded.

#include "graphics/Bitmap.h"

#include <cstdint>
#include <memory>

class TStream;

class CustomWriteStream {
public:
    CustomWriteStream();
    virtual ~CustomWriteStream();
    CustomWriteStream(const CustomWriteStream&) = delete;
    CustomWriteStream& operator=(const CustomWriteStream&) = delete;

    // Bytes passed to the stream so far (flushed or buffered).
    std::int64_t BytesWritten() const { return FTotal; }

protected:
    static constexpr std::int64_t kBufferSize = 65536;

    void BeginWrite(TStream& stream);
    void WriteBytes(const void* data, std::int64_t count);
    void WriteDWord(std::uint32_t value);
    void Flush();

    bool Aborted() const { return FAborted; }
    void SetAborted() { FAborted = true; }

private:
    TStream* FStream = nullptr;
    std::unique_ptr<std::uint8_t[]> FBuffer;
    std::int64_t FFill = 0;
    std::int64_t FTotal = 0;
    bool FAborted = false;
};

class GraphicWriteStream : public CustomWriteStream {
public:
    // Encodes bitmap into stream and flushes. What was produced before an error is
    // flushed too, then the error passes on.
    void WriteBitmap(TBitmap& bitmap, TStream& stream);

protected:
    virtual void Encode() = 0;
    // Progress through the source bitmap's progress event.
    void Progress(TProgressStage stage, int percent);

    TBitmap* FBitmap = nullptr;
};
