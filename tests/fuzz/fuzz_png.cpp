// The PNG reader on arbitrary bytes: every input either loads or fails with the program's own
// error. A picture that loaded must save, and the saved file must load again with the same
// size and the same pixels.

#include "FuzzSupport.h"
#include "base/Exceptions.h"
#include "png/PngImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    TMemoryStream in;
    fuzz::Fill(in, Data, Size);
    PngImage image;
    try {
        image.LoadFromStream(in);
    } catch (const Exception&) {
        return 0;
    }
    if (image.Empty()) {
        // A picture of width or height 0 loads, but there is nothing to write.
        TMemoryStream out;
        try {
            image.SaveToStream(out);
        } catch (const Exception&) {
        }
        return 0;
    }
    if (static_cast<long long>(image.Width()) * image.Height() > fuzz::RoundTripPixels)
        return 0;

    TMemoryStream out;
    image.SaveToStream(out);
    out.SetPosition(0);
    PngImage again;
    again.LoadFromStream(out);
    if (again.Width() != image.Width() || again.Height() != image.Height())
        fuzz::Fail("a saved PNG loads with another size");
    const TBitmap& a = image.ImageBitmap();
    const TBitmap& b = again.ImageBitmap();
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y))
                fuzz::Fail("a saved PNG loads with other pixels");
    return 0;
}
