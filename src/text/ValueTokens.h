#pragma once
// Finding the value tokens of a declaration without the pattern matcher: the same tokens, in
// the same places, as TColourRewriter::ValuesCommand finds with flags "k" and "i" -- "#" and
// hexadecimal digits, a classic rgb function from "rgb" to the first ")" after the first "("
// after it, or a run of letters -- but in time linear in the declaration, however many "rgb"
// words without a "(" after them it holds.

#include "text/TextEncoding.h"
#include "text/TextSpan.h"

#include <cstddef>
#include <string_view>

class TValueTokenScanner {
public:
    // Text is the subject the value command would be given (one declaration); its encoding as
    // the matcher would read it.
    TValueTokenScanner(std::string_view Text, TTextEncoding Encoding) noexcept;

    // The first token at or after From (a character boundary): true, with its byte offsets
    // [Begin, End) in the text, when there is one. Calls may come with any From, but are
    // cheapest with From rising.
    bool Next(std::size_t From, std::size_t& Begin, std::size_t& End) noexcept;

private:
    std::size_t LetterLength(std::size_t Pos) const noexcept;
    std::size_t RgbEnd(std::size_t From) noexcept;

    std::string_view FText;
    TTextEncoding FEncoding;
    bool FUTF8;
    std::size_t FLastClose;
    // The last "(" search: the first "(" at or after FOpenFrom is at FOpen (npos: none).
    std::size_t FOpenFrom;
    std::size_t FOpen;
    // The last ")" search: the first ")" after the "(" at FCloseAfter is at FClose.
    std::size_t FCloseAfter;
    std::size_t FClose;
};

// The first match at or after From of a command of the form "First(.|\n)*?Last" with flag "k"
// (the block and declaration commands), found without the matcher: from the first First on a
// character boundary to the first Last on a character boundary after it. False when there is
// none. First and Last are ASCII punctuation.
bool FindDelimited(std::string_view Text, char First, char Last, std::size_t From,
                   TTextEncoding Encoding, std::size_t& Begin, std::size_t& End);

// Whether Text begins with "style" without regard to case, as the style command ("^style",
// flags "k" and "i") finds it: in UTF-8 text the long s (U+017F) counts as an "s".
bool StartsWithStyle(std::string_view Text, TTextEncoding Encoding) noexcept;

// The first match of the hexadecimal colour command ("#" with six hexadecimal digits, or else
// three; flags "k" and "i") in Text: true with its offset and length (7 or 4).
bool FindHexColor(std::string_view Text, std::size_t& Begin, std::size_t& Length) noexcept;
