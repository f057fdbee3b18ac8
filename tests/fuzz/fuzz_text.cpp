// The colour rewriter over arbitrary bytes, read as the program reads a page: in the encoding
// it detects. The first byte picks the settings and whether the rest is first made into valid
// UTF-8, so both encodings get their share. Every input is either rewritten or refused with
// the program's own error; a rewrite keeps every byte outside the colour values, so a text
// without '#', '(' or letters comes back unchanged.

#include "FuzzSupport.h"
#include "colour/Colour.h"
#include "base/Exceptions.h"
#include "text/ColourRewriter.h"
#include "text/TextEncoding.h"

#include <array>
#include <string>
#include <string_view>

namespace {

// Valid sequences are kept; each byte that is not part of one becomes U+00xx written as two
// bytes, so the result is valid UTF-8 and, with any byte above 0x7F, read as UTF-8.
std::string AsUTF8(std::string_view Raw)
{
    std::string out;
    std::size_t i = 0;
    while (i < Raw.size()) {
        std::size_t n = CharLengthAt(Raw, i, TTextEncoding::UTF8);
        if (n > 1 || static_cast<unsigned char>(Raw[i]) < 0x80) {
            out.append(Raw.substr(i, n));
        } else {
            auto b = static_cast<unsigned char>(Raw[i]);
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
        i += n;
    }
    return out;
}

TColourRewriter& Rewriter(int Which)
{
    static const std::array<TRGBColor, 2> before{{{255, 0, 0}, {0, 0, 255}}};
    static const std::array<TRGBColor, 2> after{{{0, 128, 0}, {255, 255, 0}}};
    static const std::array<bool, 2> adjust{true, false};
    static TColourRewriter zero(0, 0, 0, {}, {}, {});
    static TColourRewriter hue(120, -40, 30, {}, {}, {});
    static TColourRewriter pairs(-90, 255, -255, before, after, adjust);
    switch (Which) {
    case 0: return zero;
    case 1: return hue;
    default: return pairs;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size == 0)
        return 0;
    const unsigned mode = Data[0];
    std::string_view raw(reinterpret_cast<const char*>(Data + 1), Size - 1);
    const std::string text = (mode & 4) != 0 ? AsUTF8(raw) : std::string(raw);
    if ((mode & 4) != 0 && !IsValidUTF8(text))
        fuzz::Fail("the UTF-8 maker made invalid UTF-8");

    TColourRewriter& rewriter = Rewriter(static_cast<int>(mode % 3));
    std::string result;
    try {
        result = rewriter.ReplaceAll(text);
    } catch (const Exception&) {
        return 0;
    }
    if (text.find_first_of("#(abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos &&
        result != text)
        fuzz::Fail("a text without colour values changed");
    return 0;
}
