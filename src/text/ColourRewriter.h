#pragma once
// The HTML and CSS colour rewriter: takes the whole text of a page or a stylesheet and gives it
// back with every colour value it recognises replaced by the converted colour.
//
// What the text is decides where colours are looked for. A stylesheet -- a text without HTML
// tags outside its comments and strings (see LooksLikeHtml) -- is style throughout: the block
// pass rewrites the declarations inside every brace block. In a page, style lives in the colour
// attributes of its tags (`style` included, declaration by declaration), which the tag pass
// rewrites, and in its style elements, each of which the block pass reads as a stylesheet.
// Inside its svg elements the presentation attributes that take a colour are CSS values as in
// an SVG document, and so is the content of a theme-color meta (see ReadHtmlLayout); `fill` and
// the like on other elements are no colours. Script code, comments and the text of the page
// are left as they are. Everything but the colour values is kept byte for byte, each match is
// rewritten where it was found, and a colour that converts to itself keeps its spelling.
//
// The passes find their way through the text with the scanners (text/HtmlScanner.h for tags,
// attributes and elements, text/CssScanner.h for blocks, declarations, strings, urls and value
// tokens); what a colour value becomes is TColourValueConverter's part, which this class extends.

#include "text/ColourValueConverter.h"
#include "text/CssScanner.h"
#include "text/HtmlScanner.h"
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
    pkAttributes = 1,    // the colour attributes of one tag, each with ReplaceAttribute
    pkBlocks = 2,        // a brace block: a pkDeclarations pass over it
    pkDeclarations = 3,  // a declaration from a colon to the next semicolon: a pkValues pass
    pkValues = 4,        // one value token: ReplaceColorValue
};

class TColourRewriter : public TColourValueConverter {
public:
    // The match commands of the passes, exactly as the matcher receives them. What they match
    // is found without it, in the same places (CollectColourTags, FindDelimited,
    // TValueTokenScanner, StartsWithStyle), but for braces in strings and comments, which start
    // and end no block (CollectBlocks). The attributes of a tag are read
    // as a browser reads them (ReadTagAttributes).
    static constexpr std::string_view TagsCommand =
        "m/<[^!][^<>]*?\\s(color|bgcolor|bordercolor|text|link|alink|vlink|bordercolordark|"
        "bordercolorlight|style)\\s*=(.|\\n)*?>/ki";
    static constexpr std::string_view BlocksCommand = "m/{(.|\\n)*?}/ki";
    static constexpr std::string_view DeclarationsCommand = "m/:(.|\\n)*?;/ki";
    static constexpr std::string_view ValuesCommand =
        "m/(#[0-9a-f]+|rgb(.|\\n)*?\\((.|\\n)*?\\)|[a-z]+)/ki";
    static constexpr std::string_view StyleCommand = "m/^style/ki";

    // The six conversion settings, as for TColourAdjuster.
    TColourRewriter(std::int32_t HueOffset, std::int32_t SatOffset, std::int32_t BrightOffset,
                    std::span<const TRGBColor> Before, std::span<const TRGBColor> After,
                    std::span<const bool> Adjust, TMatcher& Matcher = SharedRegExp());
    ~TColourRewriter() override;

    // The text after one pass of Kind.
    virtual std::string ReplacePass(std::string_view Text, TPassKind Kind);
    // One attribute text such as `bgcolor="#ff0000"`, its value rewritten: a `style` value
    // declaration by declaration; any other value, when it is a colour name, as that colour,
    // and otherwise colour by colour where each stands -- "#" and hexadecimal digits that stand
    // apart from longer words, colour functions, and colour names that are a whole quoted
    // string ('red', "red", &quot;red&quot;) -- with everything else in it kept.
    virtual std::string ReplaceAttribute(std::string_view A);
    // The whole text of a file in, the rewritten text out. An error (EConvertError,
    // EMatcherError) ends it with no text returned.
    virtual std::string ReplaceAll(std::string_view Text);
    // The whole text of an SVG document in, the rewritten text out: its presentation attributes
    // as CSS values, its style attributes declaration by declaration, its style sheets as the
    // block pass reads them (text/SvgScanner.h). Raises ESvgSyntax where the markup is unclear,
    // and the errors of ReplaceAll.
    std::string ReplaceSvg(std::string_view Text);

private:
    // A piece of a declaration to be written anew: a part of a colour kept in custom properties.
    struct TPartEdit {
        TTextSpan Span;
        std::string Text;
    };

    // New bytes for the value of one attribute text: Text in place of the bytes at Span, which
    // stand between quotes Quote (0 for a value without them).
    struct TValueEdit {
        TTextSpan Span;
        std::string Text;
        char Quote = 0;
    };
    // An edit AttributePassInto made in a tag: where it ended in the tag, how much longer it made
    // the tag, and whether a page's layout reads past the new bytes as past the old ones.
    struct TTagEdit {
        std::size_t End;
        std::ptrdiff_t Growth;
        bool KeepsLayout;
    };
    // Where the tag pass moved the text: from After on (in the text read), by By.
    struct TShift {
        std::size_t After;
        std::ptrdiff_t By;
    };

    bool TagPassInto(std::string_view Text, std::string& Out, const THtmlLayout& Layout);
    // Which attributes of a tag hold colours: the old colour attributes of any tag, and besides
    // them the presentation attributes of an svg element or the content of a theme-colour meta.
    enum class TTagKind { Html, Svg, ThemeColourMeta };
    bool AttributePassInto(std::string_view Tag, std::string& Out, TTagKind Kind = TTagKind::Html);
    // The edit of ReplaceAttribute, and of an attribute whose value is one CSS value; false
    // when the value stays as it is.
    bool EditColourAttribute(std::string_view A, TValueEdit& Edit);
    bool EditValueAttribute(std::string_view A, TValueEdit& Edit);
    void ColourValuePassInto(std::string_view Value, std::string& Out);
    bool ConvertAttributeData(std::string_view Value, std::string& Rewritten);
    void BlockPassInto(std::string_view Text, std::string& Out);
    void DeclarationPassInto(std::string_view Text, bool Block, std::string& Out);
    void DeclarationPassInto(const TCssScanner& Scanner, bool Block, std::string& Out);
    using TPartEdits = std::vector<TPartEdit>;
    void ValuePassInto(const TCssScanner& Scanner, TTextSpan Declaration, std::string& Out,
                       TPartEdits::const_iterator* Edit = nullptr, TPartEdits::const_iterator EditsEnd = {});
    TPartEdits ColourPartEdits(const TCssScanner& Scanner);

    // Kept from one call to the next, so that their room is found again.
    std::vector<TCssScanner::TValueToken> FTokens;  // of the declaration ValuePassInto reads
    std::vector<TTextSpan> FDeclarations;           // of the text DeclarationPassInto reads
    std::vector<THtmlAttribute> FAttributes;        // of the tag AttributePassInto reads
    TValueEdit FEdit;                               // of the attribute AttributePassInto rewrites
    std::vector<TTagEdit> FTagEdits;                // of the tag AttributePassInto rewrites
    // Of the last tag pass: how it moved the text, and whether every edit kept the page's
    // layout, which is then the layout read before, moved along (see TagPassInto).
    std::vector<TShift> FShifts;
    bool FLayoutKept = false;
};
