#pragma once
// Helpers shared by the GIF tests: byte buffers in and out of the codec, a code packer for
// hand-made LZW streams, and a collector of warnings (scratch folders and commands come from
// support/TestSupport.h).

#include "gif/GIFFrame.h"
#include "gif/GIFImage.h"
#include "graphics/Bitmap.h"
#include "graphics/Stream.h"
#include "support/TestSupport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace giftest {

using namespace testsupport;

using Bytes = std::vector<std::uint8_t>;

inline void Append(Bytes& Out, std::initializer_list<int> Values)
{
    for (int v : Values)
        Out.push_back(static_cast<std::uint8_t>(v));
}

inline void Append(Bytes& Out, const Bytes& More)
{
    Out.insert(Out.end(), More.begin(), More.end());
}

inline void Append(Bytes& Out, const std::string& Text)
{
    Out.insert(Out.end(), Text.begin(), Text.end());
}

inline void Fill(TMemoryStream& Stream, const Bytes& Data)
{
    Stream.Clear();
    if (!Data.empty())
        Stream.WriteBuffer(Data.data(), static_cast<std::int64_t>(Data.size()));
    Stream.SetPosition(0);
}

inline Bytes Contents(TMemoryStream& Stream)
{
    return Bytes(Stream.Memory(), Stream.Memory() + Stream.Size());
}

inline void LoadBytes(TGIFImage& Image, const Bytes& Data)
{
    TMemoryStream stream;
    Fill(stream, Data);
    Image.LoadFromStream(stream);
}

inline Bytes SaveBytes(TGIFImage& Image)
{
    TMemoryStream stream;
    Image.SaveToStream(stream);
    return Contents(stream);
}

// Records every warning's message.
struct WarningLog {
    std::vector<std::string> Messages;
    void Attach(TGIFImage& Image)
    {
        Image.WarningHandler = [this](TGIFImage&, TPersistent*, TGIFSeverity, const std::string& Message) {
            Messages.push_back(Message);
        };
    }
    bool Has(const std::string& Message) const
    {
        for (const auto& m : Messages)
            if (m == Message)
                return true;
        return false;
    }
};

// Packs codes least significant bit first, each with its own width.
class CodePacker {
public:
    void Put(int Code, int Width)
    {
        FAccumulator |= static_cast<std::uint64_t>(Code) << FBits;
        FBits += Width;
        while (FBits >= 8) {
            FBytes.push_back(static_cast<std::uint8_t>(FAccumulator));
            FAccumulator >>= 8;
            FBits -= 8;
        }
    }
    Bytes Finish()
    {
        if (FBits > 0)
            FBytes.push_back(static_cast<std::uint8_t>(FAccumulator));
        FAccumulator = 0;
        FBits = 0;
        return FBytes;
    }

private:
    Bytes FBytes;
    std::uint64_t FAccumulator = 0;
    int FBits = 0;
};

// Image data: the initial code size, the data in sub-blocks of at most BlockSize bytes,
// the terminator (unless left out).
inline Bytes ImageData(int CodeSize, const Bytes& Data, int BlockSize = 255, bool Terminator = true)
{
    Bytes out = {static_cast<std::uint8_t>(CodeSize)};
    for (std::size_t i = 0; i < Data.size(); i += static_cast<std::size_t>(BlockSize)) {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(BlockSize), Data.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), Data.begin() + static_cast<std::ptrdiff_t>(i),
                   Data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    if (Terminator)
        out.push_back(0);
    return out;
}

// "GIF89a", a logical screen and a global colour table of 2^(Bits) entries (colour i is
// (i, 255 - i, i / 2)), or none when Bits is 0.
inline Bytes Header(int Width, int Height, int Bits, int Background = 0, int Aspect = 0,
                    const char* Signature = "GIF89a")
{
    Bytes out;
    Append(out, std::string(Signature));
    const int flags = Bits > 0 ? (0x80 | ((Bits - 1) << 4) | (Bits - 1)) : 0;
    Append(out, {Width & 0xFF, Width >> 8, Height & 0xFF, Height >> 8, flags, Background, Aspect});
    for (int i = 0; Bits > 0 && i < (1 << Bits); ++i)
        Append(out, {i, 255 - i, i / 2});
    return out;
}

inline Bytes Descriptor(int Left, int Top, int Width, int Height, int Flags = 0)
{
    Bytes out;
    Append(out, {0x2C, Left & 0xFF, Left >> 8, Top & 0xFF, Top >> 8, Width & 0xFF, Width >> 8, Height & 0xFF,
                 Height >> 8, Flags});
    return out;
}

// The plain LZW code stream of a GIF encoder for the pixels (reference encoder with a
// map; clear at the start, a clear when the table is full, end code at the end).
Bytes ReferenceCodes(const Bytes& Pixels, int CodeSize);

// The code stream exactly as the codec's encoder must write it (modelled independently).
Bytes ExpectedCodes(const Bytes& Pixels, int CodeSize);

// A 32-bit bitmap from a function of (x, y) giving 0xRRGGBB.
template <class F>
TBitmap* NewBitmap32(TBitmap& Bitmap, int Width, int Height, F Colour)
{
    Bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    Bitmap.SetSize(Width, Height);
    for (int y = 0; y < Height; ++y) {
        std::uint8_t* p = Bitmap.ScanLine(y);
        for (int x = 0; x < Width; ++x) {
            const std::uint32_t c = Colour(x, y);
            p[4 * x] = static_cast<std::uint8_t>(c);
            p[4 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            p[4 * x + 2] = static_cast<std::uint8_t>(c >> 16);
            p[4 * x + 3] = 0;
        }
    }
    return &Bitmap;
}

// The colour of a frame's pixel through its active colour map, as 0xRRGGBB.
inline std::uint32_t FrameColour(TGIFSubImage& Frame, int X, int Y)
{
    const TGIFPalette& map = Frame.ActiveColorMap().Data();
    const std::uint8_t index = Frame.Pixels()[static_cast<std::size_t>(Y) * Frame.Width() + X];
    const TGIFColor& c = map.at(index);
    return (static_cast<std::uint32_t>(c.Red) << 16) | (c.Green << 8) | c.Blue;
}

} // namespace giftest
