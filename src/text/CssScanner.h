#pragma once
// Reading a run of CSS declarations -- a brace block, or the value of a style attribute -- for
// the colour values in it: where its declarations lie, which of their value tokens may be
// colours, and what must be left alone. Urls and quoted strings are left alone: a string ends
// at its closing quote or at the end of its line (as CSS has it), a backslash escapes the
// character after it, and comments hold no strings.

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

class TCssScanner {
public:
    // A value token that may be a colour, by its place in the scanned text.
    struct TValueToken {
        TTextSpan Span;
        bool Name;  // a word of letters, perhaps a colour name; otherwise "#" and digits or a function
    };

    // Text is read in Encoding; it must outlive the scanner.
    TCssScanner(std::string_view Text, TTextEncoding Encoding);

    std::string_view Text() const noexcept { return FText; }
    // The urls and quoted strings, as sorted spans.
    const std::vector<TTextSpan>& Protected() const noexcept { return FProtected; }

    // The declarations, left to right. Each runs from a colon to the next semicolon outside the
    // urls and strings ("url(data:image/png;base64,...)" ends none); after the last of them, the
    // text from the next colon to the end is one more -- for a brace block (Block) to its
    // closing brace -- as the last declaration of a rule needs no semicolon.
    std::vector<TTextSpan> Declarations(bool Block) const;

    // The value tokens of one declaration that may be colours: what the value command finds
    // (see TValueTokenScanner), with hsl( and hsla( taken up to the first ")", but nothing that
    // starts inside a url, a string or one of the sorted spans Skip (colours converted already),
    // and no word touched by a character that makes it part of something longer ("bg-white",
    // "red2", "#red").
    std::vector<TValueToken> ValueTokens(TTextSpan Declaration, std::span<const TTextSpan> Skip) const;

private:
    static std::vector<TTextSpan> FindProtected(std::string_view Text, TTextEncoding Encoding);
    std::size_t NextOutside(char Character, std::size_t From) const;
    bool TouchedBefore(std::size_t Pos) const;

    std::string_view FText;
    TTextEncoding FEncoding;
    std::vector<TTextSpan> FProtected;
};
