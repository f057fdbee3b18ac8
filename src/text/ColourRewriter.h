#pragma once
// The HTML and CSS colour rewriter: takes the whole text of a page or a stylesheet and gives it
// back with every colour value it recognises replaced by the converted colour.
//
// Two passes run over the text: the tag pass rewrites the colour attributes of HTML tags
// (`style` included, declaration by declaration), then the block pass rewrites the declarations
// inside every brace block, wherever it stands. A colour is written as "#" and six upper-case
// hexadecimal digits (alpha digits of a four- or eight-digit colour follow it), or, for a
// colour function with alpha, as rgba() with the converted channels. Everything else is kept
// byte for byte. Each match is rewritten where it was found.

#include "colour/ColourAdjuster.h"
#include "colour/Colour.h"
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
#include <unordered_map>
#include <vector>

// What one pass looks for and what it does with each match.
enum class TPassKind : std::uint8_t {
    pkTags = 0,          // a tag with a colour attribute: a pkAttributes pass over it
    pkAttributes = 1,    // one colour attribute with its value: ReplaceAttribute
    pkBlocks = 2,        // a brace block: a pkDeclarations pass over it
    pkDeclarations = 3,  // a declaration from a colon to the next semicolon: a pkValues pass
    pkValues = 4,        // one value token: ReplaceColorValue
};

class TColourRewriter {
public:
    // The match commands, exactly as the matcher receives them.
    static constexpr std::string_view TagsCommand =
        "m/<[^!][^<>]*?\\s(color|bgcolor|bordercolor|text|link|alink|vlink|bordercolordark|"
        "bordercolorlight|style)\\s*=(.|\\n)*?>/ki";
    static constexpr std::string_view AttributesCommand =
        "m/(color|bgcolor|bordercolor|text|link|alink|vlink|bordercolordark|bordercolorlight|"
        "style)\\s*?=\\s*?(\"(.|\\n)*?\"|rgb(.|\\n)*?\\((.|\\n)*?\\)|[^>\\s]+)/ki";
    static constexpr std::string_view BlocksCommand = "m/{(.|\\n)*?}/ki";
    static constexpr std::string_view DeclarationsCommand = "m/:(.|\\n)*?;/ki";
    static constexpr std::string_view ValuesCommand =
        "m/(#[0-9a-f]+|rgb(.|\\n)*?\\((.|\\n)*?\\)|[a-z]+)/ki";
    static constexpr std::string_view StyleCommand = "m/^style/ki";
    static constexpr std::string_view RgbFunctionCommand =
        "m/rgb\\s*?\\(\\s*?[0-9]{1,3}\\s*?%?\\s*?\\,\\s*?[0-9]{1,3}\\s*?%?\\s*?\\,\\s*?[0-9]{1,3}"
        "\\s*?%?\\s*?\\)/ki";
    static constexpr std::string_view HexCommand = "m/#([0-9a-f]{6}|[0-9a-f]{3})/ki";

    // The messages of the errors it raises (EConvertError).
    static constexpr std::string_view RgbContentMessage = "RGB関数の中身が変";
    static constexpr std::string_view RgbTooLargeMessage = "RGB関数の数字がたぶん大きすぎ";
    static constexpr std::string_view HexDigitsMessage = "16進文字から数字に変換できませんでした";

    // The six conversion settings, as for TColourAdjuster.
    TColourRewriter(std::int32_t HueOffset, std::int32_t SatOffset, std::int32_t BrightOffset,
                 std::span<const TRGBColor> Before, std::span<const TRGBColor> After,
                 std::span<const bool> Adjust, TMatcher& Matcher = SharedRegExp());
    virtual ~TColourRewriter();
    TColourRewriter(const TColourRewriter&) = delete;
    TColourRewriter& operator=(const TColourRewriter&) = delete;

    // The text after one pass of Kind.
    virtual std::string ReplacePass(std::string_view Text, TPassKind Kind);
    // One attribute text such as `bgcolor="#ff0000"`, its value rewritten.
    virtual std::string ReplaceAttribute(std::string_view A);
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
    // The whole text of a file in, the rewritten text out. An error (EConvertError,
    // EMatcherError) ends it with no text returned.
    virtual std::string ReplaceAll(std::string_view Text);
    // The converted form of the first well-formed rgb(), rgba(), hsl() or hsla() function of
    // the current CSS syntax in S: "#RRGGBB", or rgba() when it has an alpha value; S when there
    // is none. Malformed functions are no error.
    virtual std::string ReplaceColorFunction(std::string_view S);

    const TColourAdjuster& Converter() const noexcept { return *FConverter; }
    // Names at even indexes, their "#RRGGBB" values at odd indexes.
    const std::vector<std::string>& ColorNames() const noexcept { return FNames.Lines(); }

private:
    struct TSpan {
        std::size_t Begin;
        std::size_t End;
    };
    struct TValueContext;
    class TEncodingScope;

    TTextEncoding Encoding() const noexcept;
    void Collect(std::string_view Command, std::string_view Text, char First, char Last,
                 std::vector<TSpan>& Found);
    void CollectDelimited(std::string_view Text, char First, char Last, std::vector<TSpan>& Found);
    void TagPassInto(std::string_view Text, std::string& Out, std::vector<TSpan>* Converted);
    void AttributePassInto(std::string_view Tag, std::string& Out, std::vector<TSpan>* Converted);
    void BlockPassInto(std::string_view Text, std::string& Out, std::span<const TSpan> Converted);
    void DeclarationPassInto(std::string_view Text, bool Block, std::string& Out,
                             std::span<const TSpan> Skip);
    void ValuePassInto(const TValueContext& Context, TSpan Declaration, std::string& Out);
    std::vector<TSpan> ProtectedSpans(std::string_view Text) const;
    bool TouchedBefore(std::string_view Text, std::size_t Pos) const;
    std::size_t NextOutside(const TValueContext& Context, char Character, std::size_t From) const;

    // A converted colour remembered: Key is 0x1000000 | RRGGBB of the colour in, 0 for none.
    struct TConverted {
        std::uint32_t Key = 0;
        std::uint32_t Value = 0;
    };
    static constexpr std::size_t ConvertedSlots = 4096;

    bool ConvertValueToken(std::string_view Value, bool Word, std::string& Rewritten);
    void ConvertHexDigits(std::string_view H, char* Out);

    std::unique_ptr<TColourAdjuster> FConverter;
    TNamedColours FNames;
    std::unique_ptr<TConverted[]> FConvertedCache;
    TMatcher& FMatcher;
    std::optional<TTextEncoding> FEncoding;  // of the text being rewritten
};
