// SVG on arbitrary bytes: the rewriter's SVG reading over text, and the batch's .svg and .svgz
// converter end to end over files. The first byte picks the path and the settings; the rest is
// the text or the file (for the compressed path, either the raw bytes or the text gzipped, so
// that the rewriter inside is reached). A rewrite keeps every byte outside colour values; a
// file that fails is left exactly as it was; an .svgz that converts inflates again.

#include "FuzzSupport.h"
#include "base/Exceptions.h"
#include "batch/FileConverter.h"
#include "batch/GzipMember.h"
#include "text/ColourRewriter.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

TFileConverter& Converter()
{
    static std::unique_ptr<TFileConverter> converter = [] {
        TConversionSettings settings;
        settings.HueOffset = 120;
        settings.SatOffset = -30;
        return std::make_unique<TFileConverter>(settings, false, false);
    }();
    return *converter;
}

std::string Gzipped(std::string_view Text)
{
    // The header of gzip with a stored name, then the data in zlib's own deflate.
    static const std::string header("\x1F\x8B\x08\x08\x00\x00\x00\x00\x00\x03" "a.svg\0", 16);
    return WriteGzipMember(header, Text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size == 0)
        return 0;
    const unsigned mode = Data[0] % 4;
    const std::string input(reinterpret_cast<const char*>(Data + 1), Size - 1);
    if (mode == 0) {
        static TColourRewriter rewriter(120, 0, 0, {}, {}, {});
        std::string result;
        try {
            result = rewriter.ReplaceSvg(input);
        } catch (const Exception&) {
            return 0;
        }
        if (input.find_first_of("#(abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos &&
            result != input)
            fuzz::Fail("a text without colour values changed");
        return 0;
    }
    const bool compressed = mode != 1;
    const std::string file = mode == 3 ? Gzipped(input) : input;
    const std::string path = fuzz::ScratchFolder("fuzz-svg") + (compressed ? "/input.svgz" : "/input.svg");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        if (!out)
            fuzz::Fail("cannot write the input file");
    }
    try {
        Converter().ConvertFile(path, [](const std::string&) {});
    } catch (const Exception&) {
        if (fuzz::ReadAll(path) != file)
            fuzz::Fail("a file that failed to convert was changed");
        return 0;
    }
    if (compressed) {
        const std::string after = fuzz::ReadAll(path);
        try {
            const TGzipMember member = SplitGzipMember(after);
            if (member.Header != SplitGzipMember(file).Header)
                fuzz::Fail("the gzip header was not kept");
            InflateGzipMember(member);
        } catch (const EGzipError&) {
            fuzz::Fail("a converted .svgz does not inflate");
        }
    }
    return 0;
}
