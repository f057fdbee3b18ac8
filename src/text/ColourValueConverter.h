#pragma once
// What one colour value of a page or a stylesheet becomes: a colour name, "#" with hexadecimal
// digits, a classic rgb() function or a colour function of current CSS, converted with the six
// conversion settings. A colour is written as "#" and six upper-case hexadecimal digits (alpha
// digits of a four- or eight-digit colour follow it), or, for a colour function with alpha, as
// rgba() with the converted channels. A colour that converts to itself is left as it is written.
//
// Every value is read in the encoding of the text it comes from: while TColourRewriter works
// through a text, that text's; for a value handed in on its own, the value's.

#include "colour/ColourAdjuster.h"
#include "colour/Colour.h"
#include "colour/HexColour.h"
#include "text/Matcher.h"
#include "text/NamedColours.h"
#include "text/TextEncoding.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TColourValueConverter {
public:
    // The match commands of the value forms, exactly as the matcher receives them.
    static constexpr std::string_view RgbFunctionCommand =
        "m/rgb\\s*?\\(\\s*?[0-9]{1,3}\\s*?%?\\s*?\\,\\s*?[0-9]{1,3}\\s*?%?\\s*?\\,\\s*?[0-9]{1,3}"
        "\\s*?%?\\s*?\\)/ki";
    static constexpr std::string_view HexCommand = "m/#([0-9a-f]{6}|[0-9a-f]{3})/ki";

    // The messages of the errors it raises (EConvertError).
    static constexpr TText RgbContentMessage{"RGB関数の中身が変", "odd content of an RGB function"};
    static constexpr TText RgbTooLargeMessage{"RGB関数の数字がたぶん大きすぎ", "a number of an RGB function is probably too large"};
    static constexpr const TText& HexDigitsMessage = ::HexDigitsMessage;

    // The six conversion settings, as for TColourAdjuster. RgbFunctionCommand is found without
    // the matcher, in the same places (FindClassicRgbFunction).
    TColourValueConverter(std::int32_t HueOffset, std::int32_t SatOffset, std::int32_t BrightOffset,
                          std::span<const TRGBColor> Before, std::span<const TRGBColor> After,
                          std::span<const bool> Adjust, TMatcher& Matcher = SharedRegExp());
    virtual ~TColourValueConverter();
    TColourValueConverter(const TColourValueConverter&) = delete;
    TColourValueConverter& operator=(const TColourValueConverter&) = delete;

    // One value token (or a non-style attribute value) rewritten.
    virtual std::string ReplaceColorValue(std::string_view T);
    // The "#RRGGBB" value of a named colour when S is the whole name (any case); S otherwise.
    virtual std::string NameToHex(std::string_view S);
    // The unconverted "#RRGGBB" of the first classic rgb() function in S; S when there is none.
    virtual std::string ReplaceRgbFunction(std::string_view S);
    // "#RRGGBB" of the text of one classic rgb() function (not yet converted).
    virtual std::string RgbFunctionToHex(std::string_view F);
    // The converted form of the first hexadecimal colour in S; S when there is none.
    virtual std::string ReplaceHex(std::string_view S);
    // "#RRGGBB" of the converted colour of "#RGB" or "#RRGGBB".
    virtual std::string ConvertHex(std::string_view H);
    // The value of hexadecimal digits.
    virtual std::int32_t HexToInt(std::string_view D);
    // The converted form of the first well-formed rgb(), rgba(), hsl() or hsla() function of
    // the current CSS syntax in S: "#RRGGBB", or rgba() when it has an alpha value; S when there
    // is none. Malformed functions are no error.
    virtual std::string ReplaceColorFunction(std::string_view S);

    // The colour of one whole value as a stylesheet may hold it, before conversion, as
    // 0xRRGGBB: a colour name (any case), "#" with three, four, six or eight hexadecimal digits
    // (the alpha digits are not read), or a colour function (rgb(), rgba(), hsl(), hsla(), the
    // classic form included). Nothing for anything else.
    std::optional<std::uint32_t> ReadColourValue(std::string_view Value) const;

    const TColourAdjuster& Converter() const noexcept { return *FConverter; }
    // Names at even indexes, their "#RRGGBB" values at odd indexes.
    const std::vector<std::string>& ColorNames() const noexcept { return FNames.Lines(); }

protected:
    // Sets the encoding from Text for as long as it lives, unless one is set already: the
    // outermost call reading a text decides how all of it is read.
    class TEncodingScope {
    public:
        TEncodingScope(TColourValueConverter& Owner, std::string_view Text);
        ~TEncodingScope();
        TEncodingScope(const TEncodingScope&) = delete;
        TEncodingScope& operator=(const TEncodingScope&) = delete;

    private:
        TColourValueConverter& FOwner;
        bool FOwns = false;
    };

    TTextEncoding Encoding() const noexcept;
    TMatcher& Matcher() const noexcept { return FMatcher; }

    // The converted form of one value token that is a colour, into Rewritten: a colour name
    // (Word: the token is a word of letters), "#" with three, four, six or eight hexadecimal
    // digits, or a colour function (the classic rgb() form or one of current CSS) that is the
    // whole token. False, with Rewritten undefined, when the token is no colour, or when its
    // colour converts to itself: such a colour keeps its spelling. The faults of the classic
    // form are errors (EConvertError).
    bool ConvertValueToken(std::string_view Value, bool Word, std::string& Rewritten);

    // 0xRRGGBB of the converted colour of RGB (0xRRGGBB).
    std::uint32_t ConvertedRGB(std::uint32_t RGB);

private:
    // A converted colour remembered: Key is 0x1000000 | RRGGBB of the colour in, 0 for none.
    struct TConverted {
        std::uint32_t Key = 0;
        std::uint32_t Value = 0;
    };
    static constexpr std::size_t ConvertedSlots = 4096;

    std::unique_ptr<TColourAdjuster> FConverter;
    TNamedColours FNames;
    std::unique_ptr<TConverted[]> FConvertedCache;
    TMatcher& FMatcher;
    std::optional<TTextEncoding> FEncoding;  // of the text being read
};
