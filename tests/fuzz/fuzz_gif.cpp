// The GIF reader on arbitrary bytes: every input either loads or fails with the program's own
// error, warnings included. A still picture that loaded is drawn as a bitmap, saved, and the
// saved file must load again with the same size and the same number of pictures. Then every
// frame, of an animation too, is recoloured through its colour table as the batch does it: the
// file saved then must load again with the same frames, each of its size and place.

#include "FuzzSupport.h"
#include "gif/GIFFrame.h"
#include "gif/GIFImage.h"
#include "gif/GIFRecolour.h"
#include "base/Exceptions.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (fuzz::GifDeclaresHugePicture(Data, Size))
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

    try {
        RecolourGIF(again, [](const TGIFColor& C) {
            return TGIFColor{static_cast<std::uint8_t>(255 - C.Red), C.Blue, C.Green};
        });
    } catch (const Exception&) {
        return 0;  // a frame without any colour table
    }
    TMemoryStream recoloured;
    try {
        again.SaveToStream(recoloured);
    } catch (const Exception&) {
        return 0;  // as above: a model the writer refuses
    }
    recoloured.SetPosition(0);
    TGIFImage third;
    third.WarningHandler = image.WarningHandler;
    third.LoadFromStream(recoloured);
    if (third.Count() != again.Count())
        fuzz::Fail("a recoloured GIF loads with another number of frames");
    for (int i = 0; i < third.Count(); ++i) {
        const TGIFSubImage& a = again.Image(i);
        const TGIFSubImage& b = third.Image(i);
        if (a.Empty() != b.Empty() || a.Left() != b.Left() || a.Top() != b.Top() || a.Width() != b.Width() ||
            a.Height() != b.Height())
            fuzz::Fail("a recoloured GIF loads with a frame of another size or place");
    }
    return 0;
}
