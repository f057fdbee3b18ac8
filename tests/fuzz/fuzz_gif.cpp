// The GIF reader on arbitrary bytes: every input either loads or fails with the program's own
// error, warnings included. A still picture that loaded is drawn as a bitmap, saved, and the
// saved file must load again with the same size and the same number of pictures.

#include "FuzzSupport.h"
#include "gif/GIFImage.h"
#include "graphics/Exceptions.h"

namespace {

// Frames with pixels; a frame of extensions alone is written as those extensions and read
// back as part of the next frame.
int Pictures(TGIFImage& Image)
{
    int n = 0;
    for (int i = 0; i < Image.Count(); ++i)
        n += Image.Image(i).Empty() ? 0 : 1;
    return n;
}

// Whether the block structure, walked the simple way, declares a screen or a frame larger
// than the fuzzer should spend its time on. Such sizes are refused or decoded correctly
// elsewhere (the bad-input tests); here they would only slow the search down.
bool DeclaresHugePicture(const std::uint8_t* Data, std::size_t Size)
{
    const auto word = [Data](std::size_t At) { return Data[At] | (Data[At + 1] << 8); };
    const auto huge = [](long long W, long long H) { return W * H > fuzz::RoundTripPixels; };
    if (Size < 13)
        return false;
    if (huge(word(6), word(8)))
        return true;
    std::size_t at = 13;
    if (Data[10] & 0x80)
        at += 3u << ((Data[10] & 7) + 1);
    const auto skipBlocks = [&](std::size_t& At) {
        while (At < Size && Data[At] != 0)
            At += Data[At] + 1u;
        ++At;
    };
    while (at < Size) {
        if (Data[at] == 0x21) {
            at += 2;
            skipBlocks(at);
        } else if (Data[at] == 0x2C) {
            if (at + 10 > Size)
                return false;
            if (huge(word(at + 5), word(at + 7)))
                return true;
            const std::uint8_t flags = Data[at + 9];
            at += 10;
            if (flags & 0x80)
                at += 3u << ((flags & 7) + 1);
            ++at;  // code size
            skipBlocks(at);
        } else {
            return false;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (DeclaresHugePicture(Data, Size))
        return 0;
    TMemoryStream in;
    fuzz::Fill(in, Data, Size);
    TGIFImage image;
    int warnings = 0;
    image.WarningHandler = [&warnings](TGIFImage&, TPersistent*, TGIFSeverity, const std::string&) { ++warnings; };
    try {
        image.LoadFromStream(in);
    } catch (const Exception&) {
        return 0;
    }
    if (image.Empty())
        return 0;
    long long pixels = static_cast<long long>(image.Width()) * image.Height();
    for (int i = 0; i < image.Count(); ++i)
        pixels += static_cast<long long>(image.Image(i).Width()) * image.Image(i).Height();
    if (pixels > fuzz::RoundTripPixels)
        return 0;

    try {
        const TBitmap* bitmap = image.Bitmap();
        if (bitmap == nullptr)
            fuzz::Fail("a GIF with frames draws no bitmap");
        if (image.Width() > 0 && image.Height() > 0 &&
            (bitmap->Width() != image.Width() || bitmap->Height() != image.Height()))
            fuzz::Fail("a GIF draws a bitmap of another size");
    } catch (const Exception&) {
        return 0;
    }

    TMemoryStream out;
    try {
        image.SaveToStream(out);
    } catch (const Exception&) {
        return 0;  // a model the writer refuses (say, a frame without colours) is no crash
    }
    out.SetPosition(0);
    TGIFImage again;
    again.WarningHandler = image.WarningHandler;
    again.LoadFromStream(out);
    if (again.Width() != image.Width() || again.Height() != image.Height() || Pictures(again) != Pictures(image))
        fuzz::Fail("a saved GIF loads with another size or number of pictures");
    return 0;
}
