#include "text/ValueTokens.h"

#include "colour/HexColour.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

TValueTokenScanner::TValueTokenScanner(std::string_view Text, TTextEncoding Encoding) noexcept
    : FText(Text),
      FEncoding(Encoding),
      FUTF8(Encoding == TTextEncoding::UTF8),
      FLastClose(Text.rfind(')')),
      FOpenFrom(npos),
      FOpen(npos),
      FCloseAfter(npos),
      FClose(npos)
{
}

// Bytes of the character at Pos when "[a-z]" without regard to case takes it: an ASCII letter,
// and in UTF-8 text also the Kelvin sign (U+212A, a "k") and the long s (U+017F, an "s"),
// which Unicode case folding pairs with ASCII letters. 0 for anything else.
std::size_t TValueTokenScanner::LetterLength(std::size_t Pos) const noexcept
{
    const char c = FText[Pos];
    if (IsAsciiLetter(c))
        return 1;
    if (FUTF8) {
        const auto b = static_cast<unsigned char>(c);
        const std::size_t rest = FText.size() - Pos;
        if (b == 0xE2 && rest >= 3 && static_cast<unsigned char>(FText[Pos + 1]) == 0x84 &&
            static_cast<unsigned char>(FText[Pos + 2]) == 0xAA)
            return 3;
        if (b == 0xC5 && rest >= 2 && static_cast<unsigned char>(FText[Pos + 1]) == 0xBF)
            return 2;
    }
    return 0;
}

// The end of "rgb(.|\n)*?\((.|\n)*?\)" whose "rgb" ends at From: one past the first ")" after
// the first "(" at or after From; npos when there is none. Neither bracket can be part of a
// longer character in either encoding, so plain byte searches find them. The searches are
// remembered: a declaration of many "rgb" words costs one search, not one per word.
std::size_t TValueTokenScanner::RgbEnd(std::size_t From) noexcept
{
    if (FLastClose == npos || From >= FLastClose)
        return npos;
    if (!(FOpenFrom != npos && FOpenFrom <= From && (FOpen == npos || FOpen >= From))) {
        FOpenFrom = From;
        FOpen = FText.find('(', From);
    }
    // With no ")" after the first "(", none follows a later "(" either: no match.
    if (FOpen == npos || FOpen >= FLastClose)
        return npos;
    if (FCloseAfter != FOpen) {
        FCloseAfter = FOpen;
        FClose = FText.find(')', FOpen + 1);
    }
    return FClose + 1;
}

bool TValueTokenScanner::Next(std::size_t From, std::size_t& Begin, std::size_t& End) noexcept
{
    const std::size_t n = FText.size();
    std::size_t i = From;
    while (i < n) {
        const char c = FText[i];
        if (c == '#') {
            if (i + 1 < n && IsHexDigit(FText[i + 1])) {
                std::size_t j = i + 2;
                while (j < n && IsHexDigit(FText[j]))
                    ++j;
                Begin = i;
                End = j;
                return true;
            }
            ++i;
            continue;
        }
        const std::size_t letter = LetterLength(i);
        if (letter != 0) {
            if (letter == 1 && n - i >= 3 && Lower(c) == 'r' && Lower(FText[i + 1]) == 'g' &&
                Lower(FText[i + 2]) == 'b') {
                const std::size_t end = RgbEnd(i + 3);
                if (end != npos) {
                    Begin = i;
                    End = end;
                    return true;
                }
            }
            std::size_t j = i + letter;
            for (std::size_t more; j < n && (more = LetterLength(j)) != 0;)
                j += more;
            Begin = i;
            End = j;
            return true;
        }
        // Below 0x80 a byte is a character of its own in every encoding; in UTF-8 so is any
        // other byte for this walk (a letter of several bytes is read whole above).
        i += FUTF8 || static_cast<unsigned char>(c) < 0x80 ? 1 : CharLengthAt(FText, i, FEncoding);
    }
    return false;
}

bool FindDelimited(std::string_view Text, char First, char Last, std::size_t From,
                   TTextEncoding Encoding, std::size_t& Begin, std::size_t& End)
{
    const std::size_t open = FindOnCharBoundary(Text, std::string_view(&First, 1), From, Encoding);
    if (open == npos)
        return false;
    const std::size_t close = FindOnCharBoundary(Text, std::string_view(&Last, 1), open + 1, Encoding);
    if (close == npos)
        return false;
    Begin = open;
    End = close + 1;
    return true;
}

bool StartsWithStyle(std::string_view Text, TTextEncoding Encoding) noexcept
{
    std::size_t i = 0;
    if (!Text.empty() && Lower(Text[0]) == 's')
        i = 1;
    else if (Encoding == TTextEncoding::UTF8 && Text.size() >= 2 &&
             static_cast<unsigned char>(Text[0]) == 0xC5 && static_cast<unsigned char>(Text[1]) == 0xBF)
        i = 2;
    else
        return false;
    static constexpr std::string_view Rest = "tyle";
    if (Text.size() - i < Rest.size())
        return false;
    for (std::size_t k = 0; k < Rest.size(); ++k)
        if (Lower(Text[i + k]) != Rest[k])
            return false;
    return true;
}

bool FindHexColor(std::string_view Text, std::size_t& Begin, std::size_t& Length) noexcept
{
    // "#" and the hexadecimal digits are ASCII characters of their own in either encoding.
    for (std::size_t at = Text.find('#'); at != npos; at = Text.find('#', at + 1)) {
        std::size_t digits = 0;
        while (digits < 6 && at + 1 + digits < Text.size() && IsHexDigit(Text[at + 1 + digits]))
            ++digits;
        if (digits >= 3) {
            Begin = at;
            Length = digits == 6 ? 7 : 4;
            return true;
        }
    }
    return false;
}
