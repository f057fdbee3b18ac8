// The JPEG reader and writer on arbitrary bytes, alone and through the batch's converter. The
// first byte picks the settings; the rest is the file. Every input either reads or fails with
// the codec's error (libjpeg never ends the program); a picture that read is written again and
// reads back with the same size and the same markers. Through the converter a file that fails
// is left exactly as it was, and one that converts reads back as a JPEG.

#include "FuzzSupport.h"
#include "base/Exceptions.h"
#include "batch/FileConverter.h"
#include "colour/ConversionSettings.h"
#include "jpeg/JpegReader.h"
#include "jpeg/JpegRecolour.h"
#include "jpeg/JpegWriter.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

TConversionSettings Settings(int Which)
{
    TConversionSettings settings;
    settings.HueOffset = Which & 1 ? 120 : 0;
    settings.SatOffset = Which & 2 ? 60 : -20;
    settings.BrightOffset = 9;
    settings.AddPair({128, 128, 128}, {200, 10, 10}, false);  // may make a grey picture colourful
    return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size == 0)
        return 0;
    const int which = Data[0] & 3;
    const std::string file(reinterpret_cast<const char*>(Data + 1), Size - 1);

    if ((Data[0] & 4) == 0) {
        try {
            TJpegReader reader(file, fuzz::RoundTripPixels);
            TJpegPicture picture = reader.Read();
            const std::unique_ptr<TColourAdjuster> adjuster = Settings(which).MakeAdjuster();
            RecolourJpeg(picture, *adjuster);
            const std::string written = WriteJpeg(picture);
            TJpegReader again(written, fuzz::RoundTripPixels);
            if (again.Width() != picture.Width || again.Height() != picture.Height)
                fuzz::Fail("a written JPEG reads with another size");
            const TJpegPicture back = again.Read();
            if (back.Coding.Markers != picture.Coding.Markers)
                fuzz::Fail("a written JPEG reads with other markers");
        } catch (const EInvalidGraphic&) {
        }
        return 0;
    }

    static std::unique_ptr<TFileConverter> converters[4];
    if (!converters[which]) {
        TPictureLimits limits;
        limits.MaxPixels = fuzz::RoundTripPixels;
        converters[which] = std::make_unique<TFileConverter>(Settings(which), false, false, false, limits);
    }
    const std::string path = fuzz::ScratchFolder("fuzz-jpeg") + "/input.jpg";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        if (!out)
            fuzz::Fail("cannot write the input file");
    }
    try {
        converters[which]->ConvertFile(path, [](const std::string&) {});
    } catch (const Exception&) {
        if (fuzz::ReadAll(path) != file)
            fuzz::Fail("a file that failed to convert was changed");
        return 0;
    }
    try {
        TJpegReader reader(fuzz::ReadAll(path), fuzz::RoundTripPixels);
        reader.Read();
    } catch (const Exception&) {
        fuzz::Fail("a converted file cannot be read back");
    }
    return 0;
}
