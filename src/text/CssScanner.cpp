#include "text/CssScanner.h"

#include "text/ValueTokens.h"

#include <algorithm>

namespace {

constexpr std::size_t npos = std::string_view::npos;

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IsAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Characters that make a colour name part of a longer word: "red2", "bg-white", "var(--red)",
// ".white", "#red", "img/red.gif", "\red".
bool TouchesName(char c) noexcept
{
    return (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '/' || c == '#' ||
           c == '\\';
}

// The bytes at which a comment, a string, an escape or a url can start.
bool StartsProtected(char c) noexcept
{
    return c == '/' || c == '"' || c == '\'' || c == '\\' || c == 'u' || c == 'U';
}

bool StartsWithNoCase(std::string_view s, std::size_t Pos, std::string_view Prefix) noexcept
{
    if (Pos > s.size() || s.size() - Pos < Prefix.size())
        return false;
    for (std::size_t i = 0; i < Prefix.size(); ++i)
        if (Lower(s[Pos + i]) != Lower(Prefix[i]))
            return false;
    return true;
}

}  // namespace

TCssScanner::TCssScanner(std::string_view Text, TTextEncoding Encoding)
    : FText(Text), FEncoding(Encoding), FProtected(FindProtected(Text, Encoding))
{
}

std::vector<TTextSpan> TCssScanner::FindProtected(std::string_view Text, TTextEncoding Encoding)
{
    std::vector<TTextSpan> spans;
    const std::size_t n = Text.size();

    const auto skipString = [&](std::size_t i) {
        const char quote = Text[i];
        ++i;
        while (i < n) {
            const char c = Text[i];
            if (c == quote)
                return i + 1;
            if (c == '\n' || c == '\r' || c == '\f')
                return i;
            if (c == '\\' && i + 1 < n)
                i += 1 + CharLengthAt(Text, i + 1, Encoding);
            else
                i += CharLengthAt(Text, i, Encoding);
        }
        return n;
    };

    // Where every byte below 0x80 is a character of its own (UTF-8, or text without such bytes),
    // the runs of bytes that start nothing are passed over at once; after such a run the last
    // byte tells whether an identifier came before, as its first byte would.
    const bool byteWise = Encoding == TTextEncoding::UTF8 || IsASCII(Text);
    bool afterIdentifier = false;
    std::size_t i = 0;
    while (i < n) {
        if (byteWise) {
            const std::size_t from = i;
            while (i < n && !StartsProtected(Text[i]))
                ++i;
            if (i != from)
                afterIdentifier = IsIdentifierByte(Text[i - 1]);
            if (i == n)
                break;
        }
        const char c = Text[i];
        if (c == '/' && i + 1 < n && Text[i + 1] == '*') {
            const std::size_t close = Text.find("*/", i + 2);
            i = close == npos ? n : close + 2;
            afterIdentifier = false;
            continue;
        }
        if (c == '"' || c == '\'') {
            const std::size_t end = skipString(i);
            spans.push_back({i, end});
            i = end;
            afterIdentifier = false;
            continue;
        }
        if (c == '\\') {
            i += 1 + (i + 1 < n ? CharLengthAt(Text, i + 1, Encoding) : 0);
            afterIdentifier = true;
            continue;
        }
        if (!afterIdentifier && (c == 'u' || c == 'U') && StartsWithNoCase(Text, i, "url(")) {
            std::size_t j = i + 4;
            while (j < n && static_cast<unsigned char>(Text[j]) <= ' ')
                ++j;
            if (j < n && (Text[j] == '"' || Text[j] == '\''))
                j = skipString(j);
            const std::size_t close = Text.find(')', j);
            const std::size_t end = close == npos ? n : close + 1;
            spans.push_back({i, end});
            i = end;
            afterIdentifier = false;
            continue;
        }
        afterIdentifier = IsIdentifierByte(c);
        i += CharLengthAt(Text, i, Encoding);
    }
    return spans;
}

std::vector<TTextSpan> TCssScanner::Declarations(bool Block) const
{
    const std::vector<TTextSpan> found = CollectDelimited(FText, ':', ';', FEncoding);  // DeclarationsCommand
    const std::size_t end = Block && !FText.empty() && FText.back() == '}' ? FText.size() - 1 : FText.size();

    // A declaration whose semicolon lies inside a url or a string runs on to the next semicolon
    // outside them, taking in the matches that began before it.
    std::vector<TTextSpan> declarations;
    bool open = false;  // the last declaration runs to the end
    for (const TTextSpan& d : found) {
        if (open || (!declarations.empty() && d.Begin < declarations.back().End))
            continue;
        TTextSpan declaration = d;
        while (InSpans(FProtected, declaration.End - 1)) {
            const std::size_t semicolon = NextOutside(';', declaration.End);
            if (semicolon == npos) {
                declaration.End = std::max(end, declaration.Begin);
                open = true;
                break;
            }
            declaration.End = semicolon + 1;
        }
        declarations.push_back(declaration);
    }
    if (!open) {
        const std::size_t from = declarations.empty() ? 0 : declarations.back().End;
        const std::size_t colon = FindOnCharBoundary(FText, ":", from, FEncoding);
        if (colon != npos && colon < end)
            declarations.push_back({colon, end});
    }
    return declarations;
}

std::vector<TCssScanner::TValueToken> TCssScanner::ValueTokens(TTextSpan Declaration,
                                                                 std::span<const TTextSpan> Skip) const
{
    const std::string_view declaration = FText.substr(Declaration.Begin, Declaration.End - Declaration.Begin);

    std::vector<TValueToken> tokens;
    // The tokens the value command finds, found without the matcher; the scanner reads the
    // declaration alone, as the command would be given it.
    TValueTokenScanner scanner(declaration, FEncoding);
    std::size_t pos = 0;
    std::size_t begin = 0, end = 0;
    while (pos < declaration.size() && scanner.Next(pos, begin, end)) {
        // Nothing inside a url, a string or a colour converted already is a token: the search
        // goes on after it.
        const std::size_t at = Declaration.Begin + begin;
        const std::size_t skipTo = std::max(SpanEndAt(FProtected, at), SpanEndAt(Skip, at));
        if (skipTo != 0) {
            pos = std::max(skipTo - Declaration.Begin, begin + 1);
            continue;
        }
        const std::string_view found = declaration.substr(begin, end - begin);
        const bool word = !found.empty() && IsAsciiLetter(found.front()) &&
                          std::all_of(found.begin(), found.end(), IsAsciiLetter);
        bool function = false;
        // hsl() and hsla() are colours of current CSS that the value command sees as a word.
        if (word && (StartsWithNoCase(found, 0, "hsl") && (found.size() == 3 ||
                                                          (found.size() == 4 && Lower(found[3]) == 'a'))) &&
            end < declaration.size() && declaration[end] == '(') {
            const std::size_t close = FindOnCharBoundary(declaration, ")", end, FEncoding);
            if (close != npos) {
                end = close + 1;
                function = true;
            }
        }
        pos = std::max(end, begin + 1);

        const TValueToken token{{Declaration.Begin + begin, Declaration.Begin + end}, word && !function};
        if (word && TouchedBefore(token.Span.Begin))
            continue;
        if (token.Name && token.Span.End < FText.size() && TouchesName(FText[token.Span.End]))
            continue;
        tokens.push_back(token);
    }
    return tokens;
}

// The first Character at or after From that is not inside a url or a quoted string.
std::size_t TCssScanner::NextOutside(char Character, std::size_t From) const
{
    for (;;) {
        const std::size_t at = FindOnCharBoundary(FText, std::string_view(&Character, 1), From, FEncoding);
        if (at == npos || !InSpans(FProtected, at))
            return at;
        From = at + 1;
    }
}

// Whether the character right before Pos makes the word at Pos part of a longer one. Of those
// characters only "_" and "\" can also be the second byte of a double-byte Shift-JIS character.
bool TCssScanner::TouchedBefore(std::size_t Pos) const
{
    if (Pos == 0 || !TouchesName(FText[Pos - 1]))
        return false;
    return IsCharBoundary(FText, Pos - 1, FEncoding);
}
