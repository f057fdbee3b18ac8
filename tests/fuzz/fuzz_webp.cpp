// The WebP path of the batch on arbitrary bytes: the size read from the header, the lossy
// frame header reader, and the converter end to end (a file read, decoded frame by frame,
// recoloured, encoded again and saved in place). A file that fails is left exactly as it was;
// one that converts is again a WebP of the same canvas.

#include "FuzzSupport.h"
#include "base/Exceptions.h"
#include "batch/FileConverter.h"
#include "batch/PictureSize.h"
#include "webp/VP8Header.h"

#include <webp/decode.h>
#include <webp/mux.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

TFileConverter& Converter()
{
    static const std::unique_ptr<TFileConverter> converter = [] {
        TConversionSettings settings;
        settings.HueOffset = 120;
        settings.SatOffset = -30;
        settings.BrightOffset = 17;
        // Pictures beyond a million pixels are refused from the header or the frame's size,
        // so an input of a few bytes cannot make the fuzzer wait on a large encoding.
        return std::make_unique<TFileConverter>(settings, false, false, false, TPictureLimits{1'000'000, nullptr});
    }();
    return *converter;
}

bool Canvas(const std::string& Bytes, int& Width, int& Height)
{
    const WebPData data{reinterpret_cast<const std::uint8_t*>(Bytes.data()), Bytes.size()};
    WebPMux* mux = WebPMuxCreate(&data, 0);
    if (!mux) return false;
    const bool ok = WebPMuxGetCanvasSize(mux, &Width, &Height) == WEBP_MUX_OK;
    WebPMuxDelete(mux);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string before(reinterpret_cast<const char*>(Data), Size);
    (void)DeclaredWebPPicture(before);
    (void)ReadVP8Header(before);
    (void)EstimateWebPQuality(before);

    const std::string path = fuzz::ScratchFolder("fuzz-webp") + "/input.webp";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(before.data(), static_cast<std::streamsize>(before.size()));
        if (!out) fuzz::Fail("cannot write the input file");
    }
    TFileOutcome outcome;
    try {
        outcome = Converter().ConvertFile(path, [](const std::string&) {});
    } catch (const Exception&) {
        if (fuzz::ReadAll(path) != before) fuzz::Fail("a file that failed to convert was changed");
        return 0;
    }
    const std::string after = fuzz::ReadAll(path);
    if (outcome.Unchanged) {
        if (after != before) fuzz::Fail("a file left unchanged was written");
        return 0;
    }
    // The RIFF form the converter wrote first, without whatever followed the old one.
    const std::uint64_t riff = after.size() < 8 ? 0
                                                : (std::uint64_t{static_cast<std::uint8_t>(after[4])} |
                                                   std::uint64_t{static_cast<std::uint8_t>(after[5])} << 8 |
                                                   std::uint64_t{static_cast<std::uint8_t>(after[6])} << 16 |
                                                   std::uint64_t{static_cast<std::uint8_t>(after[7])} << 24) + 8;
    int w0 = 0, h0 = 0, w1 = 0, h1 = 0;
    if (riff > after.size() || !Canvas(after.substr(0, riff), w1, h1))
        fuzz::Fail("a converted file is no WebP the container reader takes");
    const std::uint64_t oldRiff = before.size() < 8 ? 0
                                                    : (std::uint64_t{static_cast<std::uint8_t>(before[4])} |
                                                       std::uint64_t{static_cast<std::uint8_t>(before[5])} << 8 |
                                                       std::uint64_t{static_cast<std::uint8_t>(before[6])} << 16 |
                                                       std::uint64_t{static_cast<std::uint8_t>(before[7])} << 24) + 8;
    if (Canvas(before.substr(0, std::min<std::uint64_t>(oldRiff + (oldRiff & 1), before.size())), w0, h0) &&
        (w0 != w1 || h0 != h1))
        fuzz::Fail("a converted WebP changed its canvas");
    return 0;
}
