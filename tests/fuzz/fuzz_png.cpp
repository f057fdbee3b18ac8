// The PNG reader on arbitrary bytes: every input either loads or fails with the program's own
// error. A picture that loaded must save, and the saved file must load again with the same
// size and the same pixels. An animation is taken apart, each image loaded and saved again as
// a still, and put together: the new file must read as an animation of the same frames.

#include "FuzzSupport.h"
#include "base/Exceptions.h"
#include "png/ApngFile.h"
#include "png/PngImage.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string Save(PngImage& Image)
{
    TMemoryStream out;
    Image.SaveToStream(out);
    return {reinterpret_cast<const char*>(out.Memory()), static_cast<std::size_t>(out.Size())};
}

void Rebuilt(const TApngFile& Was, const std::string& Is)
{
    try {
        const TApngFile again(Is);
        if (again.FrameCount() != Was.FrameCount() || again.ImageCount() != Was.ImageCount())
            fuzz::Fail("an animated PNG put together again holds other frames");
    } catch (const ApngError&) {
        fuzz::Fail("an animated PNG put together again does not hold together");
    }
}

void AnimationRoundTrip(std::string_view Bytes)
{
    if (!IsAnimatedPng(Bytes))
        return;
    std::optional<TApngFile> animation;
    try {
        animation.emplace(Bytes);
    } catch (const ApngError&) {
        return;
    }
    if (static_cast<long long>(animation->Width()) * animation->Height() > fuzz::RoundTripPixels)
        return;
    if (animation->ColourType() == 3) {
        Rebuilt(*animation, animation->WithPalette(animation->PaletteData()));
        return;
    }
    std::vector<std::string> stills;
    for (std::size_t i = 0; i < animation->ImageCount(); ++i) {
        PngImage image;
        try {
            TMemoryStream in;
            const std::string still = animation->StillImage(i);
            fuzz::Fill(in, reinterpret_cast<const std::uint8_t*>(still.data()), still.size());
            image.LoadFromStream(in);
            stills.push_back(Save(image));
        } catch (const Exception&) {
            return;
        }
    }
    if (!TApngFile::SameForm(stills))
        return;
    std::string rebuilt;
    try {
        rebuilt = animation->WithImages(stills);
    } catch (const PngError&) {
        return;  // stills that do not fit together are refused, as the batch's file fails
    }
    Rebuilt(*animation, rebuilt);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    AnimationRoundTrip({reinterpret_cast<const char*>(Data), Size});
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
