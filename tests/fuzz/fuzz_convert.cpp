// The batch's image converters end to end on arbitrary bytes: a file is read, decoded,
// recoloured, encoded and saved in place. The first byte picks PNG or GIF and the settings;
// the rest is the file. A file that fails is left exactly as it was; one that converts is
// again an image of the same kind, an animation of as many frames where it was one.

#include "FuzzSupport.h"
#include "batch/FileConverter.h"
#include "gif/GIFImage.h"
#include "base/Exceptions.h"
#include "png/ApngFile.h"
#include "png/PngImage.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

void Write(const std::string& Path, const std::uint8_t* Data, std::size_t Size)
{
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    if (!out)
        fuzz::Fail("cannot write the input file");
}

TFileConverter& Converter(int Which)
{
    static std::unique_ptr<TFileConverter> converters[4];
    if (!converters[Which]) {
        TConversionSettings settings;
        settings.HueOffset = Which & 1 ? 120 : -45;
        settings.SatOffset = Which & 2 ? -255 : 40;
        settings.BrightOffset = 17;
        settings.AddPair({255, 255, 255}, {1, 2, 3}, false);
        converters[Which] = std::make_unique<TFileConverter>(settings, false, (Which & 2) != 0);
    }
    return *converters[Which];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size == 0)
        return 0;
    const bool png = (Data[0] & 1) == 0;
    if (png ? fuzz::PngDeclaresHugePicture(Data + 1, Size - 1) : fuzz::GifDeclaresHugePicture(Data + 1, Size - 1))
        return 0;
    const std::string path = fuzz::ScratchFolder("fuzz") + (png ? "/input.png" : "/input.gif");
    Write(path, Data + 1, Size - 1);
    const std::string before(reinterpret_cast<const char*>(Data + 1), Size - 1);

    try {
        Converter((Data[0] >> 1) & 3).ConvertFile(path, [](const std::string&) {});
    } catch (const Exception&) {
        if (fuzz::ReadAll(path) != before)
            fuzz::Fail("a file that failed to convert was changed");
        return 0;
    }

    // The converted file reads back as an image of its kind.
    try {
        if (png) {
            PngImage image;
            image.LoadFromFile(path);
            if (IsAnimatedPng(before)) {
                const std::string after = fuzz::ReadAll(path);
                if (after != before) {
                    const TApngFile was(before);
                    const TApngFile is(after);
                    if (is.FrameCount() != was.FrameCount() || is.ImageCount() != was.ImageCount())
                        fuzz::Fail("a converted animated PNG holds another number of frames");
                }
            }
        } else {
            TGIFImage image;
            image.LoadFromFile(path);
            TGIFImage original;
            TMemoryStream stream;
            fuzz::Fill(stream, Data + 1, Size - 1);
            original.LoadFromStream(stream);
            if (image.ImageCount() != original.ImageCount())
                fuzz::Fail("a converted GIF holds another number of pictures");
        }
    } catch (const Exception&) {
        fuzz::Fail("a converted file cannot be read back");
    }
    return 0;
}
