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
    bool MacHeaderSkipped() const { return macHeaderSkipped_; }

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

    bool PastEnd() const { return pastEnd_; }
    bool Aborted() const { return aborted_; }
    void SetAborted() { aborted_ = true; }
    std::int64_t Consumed() const { return consumed_; }
    std::int64_t Remaining() const { return limit_ - consumed_; }
    std::int64_t ByteCount() const { return limit_; }

private:
    // Makes at least `need` bytes available at the read pointer when the data holds them.
    bool Fill(std::int64_t need);

    TStream* stream_ = nullptr;
    std::int64_t start_ = 0;
    std::int64_t limit_ = 0;     // bytes that may be read
    std::int64_t consumed_ = 0;  // bytes used so far
    std::unique_ptr<std::uint8_t[]> buffer_;
    const std::uint8_t* next_ = nullptr;  // read pointer (into the buffer or the stream's memory)
    std::int64_t left_ = 0;               // bytes available at the read pointer
    bool inPlace_ = false;
    bool pastEnd_ = false;
    bool aborted_ = false;
    bool macHeaderSkipped_ = false;
};

class GraphicReadStream : public CustomReadStream {
public:
    // Decodes into bitmap (null: only the header chunks are read). The bitmap's change
    // event is detached for the whole decode; the stream is left behind the data used,
    // also when the decoder raises.
    void ReadBitmap(TBitmap* bitmap, TStream& stream, std::int64_t count);

    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::string& Comment() const { return comment_; }
    std::uint8_t PhysUnit() const { return physUnit_; }
    std::uint32_t PhysX() const { return physX_; }
    std::uint32_t PhysY() const { return physY_; }

protected:
    // The decoder.
    virtual void Decode() = 0;
    // Prepares the bitmap: cleared, not transparent, the format of bitmapBits_, the size
    // and the palette when there is one.
    virtual void SetupBitmap();

    // Progress through the target bitmap's progress event.
    void Progress(TProgressStage stage, int percent);

    TBitmap* bitmap_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int bitmapBits_ = 0;  // 1, 4, 8 or 24
    int bitsPerSample_ = 0;
    TPalette palette_;
    int paletteCount_ = 0;
    std::uint8_t physUnit_ = 0;
    std::uint32_t physX_ = 0;
    std::uint32_t physY_ = 0;
    std::string comment_;
};
