#pragma once
// Reading a run of CSS declarations -- a brace block, or the value of a style attribute -- for
// the colour values in it: where its declarations lie, which of their value tokens may be
// colours, and what must be left alone. Urls, quoted strings and comments are left alone: a
// string ends at its closing quote or at the end of its line (as CSS has it), a backslash
// escapes the character after it, and comments hold no strings.

#include "text/TextEncoding.h"
#include "text/TextSpan.h"

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

// A character that continues a CSS identifier (so "myurl(" is no url() and "xrgb(" no rgb()).
constexpr bool IsIdentifierByte(char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// The end of the CSS string whose opening quote is at Quote: one past its closing quote, or the
// end of its line (the line break not included) or of the text when it does not close; a
// backslash escapes the character after it.
std::size_t CssStringEnd(std::string_view Text, std::size_t Quote, TTextEncoding Encoding) noexcept;

// The brace blocks of a style sheet, left to right: from a "{" to the first "}" after it, as the
// block command finds them, but with braces inside comments, strings and urls not counted.
// Protected, when given, receives the urls, strings and comments of the whole text, as
// TCssScanner finds them.
std::vector<TTextSpan> CollectBlocks(std::string_view Text, TTextEncoding Encoding,
                                     std::vector<TTextSpan>* Protected = nullptr);

// Whether Text is, as a whole, a classic rgb() function as the rgb command finds it (three
// whole numbers of up to three digits, each perhaps a percentage, spaces allowed around each
// part).
bool IsClassicRgbFunction(std::string_view Text) noexcept;
// The end of the classic rgb() function that begins at Pos, as the rgb command finds it there;
// 0 when none begins there.
std::size_t ClassicRgbFunctionEnd(std::string_view Text, std::size_t Pos) noexcept;
// The first classic rgb() function of Text read in Encoding, as the rgb command
// (TColourValueConverter::RgbFunctionCommand) finds it on the matcher: where it begins and its
// length. False when there is none. Text that is not valid UTF-8 is the caller's to refuse.
bool FindClassicRgbFunction(std::string_view Text, TTextEncoding Encoding, std::size_t& Begin,
                            std::size_t& Length) noexcept;

class TCssScanner {
public:
    // A value token that may be a colour, by its place in the scanned text.
    struct TValueToken {
        TTextSpan Span;
        bool Name;  // a word of letters, perhaps a colour name; otherwise "#" and digits or a function
    };

    // Text is read in Encoding; it must outlive the scanner.
    TCssScanner(std::string_view Text, TTextEncoding Encoding);
    // The same with its urls, strings and comments known already (as sorted spans of Text).
    TCssScanner(std::string_view Text, TTextEncoding Encoding, std::vector<TTextSpan> Protected);

    std::string_view Text() const noexcept { return FText; }
    // The urls, quoted strings and comments, as sorted spans.
    const std::vector<TTextSpan>& Protected() const noexcept { return FProtected; }

    // The declarations, left to right. Each runs from a colon to the next semicolon outside the
    // urls, strings and comments ("url(data:image/png;base64,...)" ends none); after the last of them, the
    // text from the next colon to the end is one more -- for a brace block (Block) to its
    // closing brace -- as the last declaration of a rule needs no semicolon.
    std::vector<TTextSpan> Declarations(bool Block) const;
    // The same into Declarations, which keeps its capacity from one call to the next.
    void Declarations(bool Block, std::vector<TTextSpan>& Declarations) const;

    // The values of custom properties ("--name: value"), wherever their colons stand: from the
    // colon to the next ";" or "}" outside the urls, strings and comments, or to the end.
    std::vector<TTextSpan> CustomProperties() const;

    // The value tokens of one declaration that may be colours: what the value command finds
    // (see TValueTokenScanner), with hsl( and hsla( taken up to the first ")", but nothing that
    // starts inside a url, a string, a comment or one of the sorted spans Skip,
    // and of those only:
    // - words not touched by a character that makes them part of something longer ("bg-white",
    //   "red2", "#red") and not followed by "(" ("gray()" is a function);
    // - "#" and hexadecimal digits not followed by more of a name ("#18799px", "#fff-x") or by
    //   "(", and not after "&" ("&#160;" is a character);
    // - colour functions: "rgb", "rgba", "hsl" or "hsla" that does not continue a longer name,
    //   "(" right after it (after "rgb" also spaces), and up to the first ")" a colour function
    //   that can be read (or the classic rgb() form, whose faults are errors). In anything
    //   else -- "var(--text-rgb, rgba(0,0,0,.5))", "rgb(var(--r) 0 0)", "rgb(from #f00 r g b)"
    //   -- only the tokens after the name are looked for.
    std::vector<TValueToken> ValueTokens(TTextSpan Declaration, std::span<const TTextSpan> Skip) const;
    // The same into Tokens (emptied first), whose room is used again from one declaration to
    // the next.
    void ValueTokens(TTextSpan Declaration, std::span<const TTextSpan> Skip, std::vector<TValueToken>& Tokens) const;

private:
    static std::vector<TTextSpan> FindProtected(std::string_view Text, TTextEncoding Encoding);
    std::size_t NextOutside(char Character, std::size_t From) const;
    bool TouchedBefore(std::size_t Pos) const;

    std::string_view FText;
    TTextEncoding FEncoding;
    std::vector<TTextSpan> FProtected;
};
