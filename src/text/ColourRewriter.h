#pragma once
// The HTML and CSS colour rewriter: takes the whole text of a page or a stylesheet and gives it
// back with every colour value it recognises replaced by the converted colour.
//
// Two passes run over the text: the tag pass rewrites the colour attributes of HTML tags
// (`style` included, declaration by declaration), then the block pass rewrites the declarations
// inside every brace block, wherever it stands. Everything but the colour values is kept byte
// for byte, and each match is rewritten where it was found.
//
// The passes find their way through the text with the scanners (text/HtmlScanner.h for tags
// and attributes, text/CssScanner.h for declarations, strings, urls and value tokens); what a
// colour value becomes is TColourValueConverter's part, which this class extends.

#include "text/ColourValueConverter.h"
#include "text/CssScanner.h"
#include "text/Matcher.h"
#include "text/TextSpan.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What one pass looks for and what it does with each match.
enum class TPassKind : std::uint8_t {
    pkTags = 0,          // a tag with a colour attribute: a pkAttributes pass over it
    pkAttributes = 1,    // one colour attribute with its value: ReplaceAttribute
    pkBlocks = 2,        // a brace block: a pkDeclarations pass over it
    pkDeclarations = 3,  // a declaration from a colon to the next semicolon: a pkValues pass
    pkValues = 4,        // one value token: ReplaceColorValue
};

class TColourRewriter : public TColourValueConverter {
public:
    // The match commands of the passes, exactly as the matcher receives them. The tag and
    // attribute commands run on the matcher; what the others match is found without it, in the
    // same places (FindDelimited, TValueTokenScanner, StartsWithStyle).
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

    // The six conversion settings, as for TColourAdjuster. The matcher runs the tag, attribute
    // and rgb() commands.
    TColourRewriter(std::int32_t HueOffset, std::int32_t SatOffset, std::int32_t BrightOffset,
                    std::span<const TRGBColor> Before, std::span<const TRGBColor> After,
                    std::span<const bool> Adjust, TMatcher& Matcher = SharedRegExp());
    ~TColourRewriter() override;

    // The text after one pass of Kind.
    virtual std::string ReplacePass(std::string_view Text, TPassKind Kind);
    // One attribute text such as `bgcolor="#ff0000"`, its value rewritten.
    virtual std::string ReplaceAttribute(std::string_view A);
    // The whole text of a file in, the rewritten text out. An error (EConvertError,
    // EMatcherError) ends it with no text returned.
    virtual std::string ReplaceAll(std::string_view Text);

private:
    void TagPassInto(std::string_view Text, std::string& Out, std::vector<TTextSpan>* Converted);
    void AttributePassInto(std::string_view Tag, std::string& Out, std::vector<TTextSpan>* Converted);
    void BlockPassInto(std::string_view Text, std::string& Out, std::span<const TTextSpan> Converted);
    void DeclarationPassInto(std::string_view Text, bool Block, std::string& Out,
                             std::span<const TTextSpan> Skip);
    void ValuePassInto(const TCssScanner& Scanner, TTextSpan Declaration, std::span<const TTextSpan> Skip,
                       std::string& Out);
};
