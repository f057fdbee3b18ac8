#include "text/CssScanner.h"

#include "text/CssColorFunction.h"
#include "text/ValueTokens.h"

#include <algorithm>
#include <array>

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

// "\s" of the match commands.
bool IsMatchSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

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

std::size_t CssStringEnd(std::string_view Text, std::size_t Quote, TTextEncoding Encoding) noexcept
{
    const std::size_t n = Text.size();
    const char quote = Text[Quote];
    std::size_t i = Quote + 1;
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
}

namespace {

// One pass over a style sheet for its brace blocks (from a "{" to the first "}" after it) and
// its protected parts (urls, quoted strings and comments), either of which may be left out.
// Comments hold neither strings nor braces; an escaped character is none of these.
void ScanCss(std::string_view Text, TTextEncoding Encoding, std::vector<TTextSpan>* Blocks,
             std::vector<TTextSpan>* Protected)
{
    const std::size_t n = Text.size();
    // Where every byte below 0x80 is a character of its own (UTF-8, or text without such bytes),
    // the runs of bytes that start nothing are passed over at once; after such a run the last
    // byte tells whether an identifier came before, as its first byte would.
    const bool byteWise = Encoding == TTextEncoding::UTF8 || IsASCII(Text);
    static constexpr auto Starts = [] {
        std::array<bool, 256> table{};
        for (const unsigned char c : {'{', '}', '/', '"', '\'', '\\', 'u', 'U'})
            table[c] = true;
        return table;
    }();
    std::size_t open = npos;
    bool afterIdentifier = false;
    std::size_t i = 0;
    while (i < n) {
        if (byteWise) {
            const std::size_t from = i;
            while (i < n && !Starts[static_cast<unsigned char>(Text[i])])
                ++i;
            if (i != from)
                afterIdentifier = IsIdentifierByte(Text[i - 1]);
            if (i == n)
                break;
        }
        const char c = Text[i];
        if (c == '/' && i + 1 < n && Text[i + 1] == '*') {
            const std::size_t close = Text.find("*/", i + 2);
            const std::size_t end = close == npos ? n : close + 2;
            if (Protected)
                Protected->push_back({i, end});
            i = end;
            afterIdentifier = false;
            continue;
        }
        if (c == '"' || c == '\'') {
            const std::size_t end = CssStringEnd(Text, i, Encoding);
            if (Protected)
                Protected->push_back({i, end});
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
                j = CssStringEnd(Text, j, Encoding);
            const std::size_t close = Text.find(')', j);
            const std::size_t end = close == npos ? n : close + 1;
            if (Protected)
                Protected->push_back({i, end});
            i = end;
            afterIdentifier = false;
            continue;
        }
        if (Blocks) {
            if (c == '{' && open == npos) {
                open = i;
            } else if (c == '}' && open != npos) {
                Blocks->push_back({open, i + 1});
                open = npos;
            }
        }
        afterIdentifier = IsIdentifierByte(c);
        i += CharLengthAt(Text, i, Encoding);
    }
}

}  // namespace

std::vector<TTextSpan> CollectBlocks(std::string_view Text, TTextEncoding Encoding, std::vector<TTextSpan>* Protected)
{
    std::vector<TTextSpan> blocks;
    ScanCss(Text, Encoding, &blocks, Protected);
    return blocks;
}

std::size_t ClassicRgbFunctionEnd(std::string_view Text, std::size_t Pos) noexcept
{
    // rgb\s*?\(\s*?[0-9]{1,3}\s*?%?\s*?\,\s*?[0-9]{1,3}\s*?%?\s*?\,\s*?[0-9]{1,3}\s*?%?\s*?\)
    const auto space = IsMatchSpace;
    if (!StartsWithNoCase(Text, Pos, "rgb"))
        return 0;
    std::size_t i = Pos + 3;
    const auto skipSpaces = [&] {
        while (i < Text.size() && space(Text[i]))
            ++i;
    };
    const auto expect = [&](char c) {
        skipSpaces();
        if (i >= Text.size() || Text[i] != c)
            return false;
        ++i;
        return true;
    };
    if (!expect('('))
        return 0;
    for (int part = 0; part < 3; ++part) {
        skipSpaces();
        std::size_t digits = 0;
        while (i < Text.size() && Text[i] >= '0' && Text[i] <= '9' && digits < 4) {
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3)
            return 0;
        skipSpaces();
        if (i < Text.size() && Text[i] == '%')
            ++i;
        if (!expect(part < 2 ? ',' : ')'))
            return 0;
    }
    return i;
}

bool IsClassicRgbFunction(std::string_view Text) noexcept
{
    return ClassicRgbFunctionEnd(Text, 0) == Text.size() && !Text.empty();
}

bool FindClassicRgbFunction(std::string_view Text, TTextEncoding Encoding, std::size_t& Begin,
                            std::size_t& Length) noexcept
{
    // Everything after the "r" is ASCII, which is never part of a character in any of the
    // encodings; the "r" itself may be the second byte of a Shift-JIS character.
    const bool byteWise = Encoding != TTextEncoding::ShiftJIS || IsASCII(Text);
    for (std::size_t i = 0; i + 3 <= Text.size();) {
        if (Lower(Text[i]) == 'r') {
            if (const std::size_t end = ClassicRgbFunctionEnd(Text, i)) {
                Begin = i;
                Length = end - i;
                return true;
            }
        }
        i += byteWise ? 1 : CharLengthAt(Text, i, Encoding);
    }
    return false;
}

TCssScanner::TCssScanner(std::string_view Text, TTextEncoding Encoding)
    : FText(Text), FEncoding(Encoding), FProtected(FindProtected(Text, Encoding))
{
}

TCssScanner::TCssScanner(std::string_view Text, TTextEncoding Encoding, std::vector<TTextSpan> Protected)
    : FText(Text), FEncoding(Encoding), FProtected(std::move(Protected))
{
}

std::vector<TTextSpan> TCssScanner::FindProtected(std::string_view Text, TTextEncoding Encoding)
{
    std::vector<TTextSpan> spans;
    ScanCss(Text, Encoding, nullptr, &spans);
    return spans;
}

std::vector<TTextSpan> TCssScanner::Declarations(bool Block) const
{
    std::vector<TTextSpan> declarations;
    Declarations(Block, declarations);
    return declarations;
}

void TCssScanner::Declarations(bool Block, std::vector<TTextSpan>& Declarations) const
{
    const std::size_t end = Block && !FText.empty() && FText.back() == '}' ? FText.size() - 1 : FText.size();

    // The matches of the declaration command one after another (DeclarationsCommand). A
    // declaration whose semicolon lies inside a url or a string runs on to the next semicolon
    // outside them, taking in the matches that began before it.
    std::vector<TTextSpan>& declarations = Declarations;
    declarations.clear();
    bool open = false;  // the last declaration runs to the end
    TTextSpan d;
    for (std::size_t from = 0; !open && FindDelimited(FText, ':', ';', from, FEncoding, d.Begin, d.End); from = d.End) {
        if (!declarations.empty() && d.Begin < declarations.back().End)
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
}

std::vector<TCssScanner::TValueToken> TCssScanner::ValueTokens(TTextSpan Declaration,
                                                                 std::span<const TTextSpan> Skip) const
{
    std::vector<TValueToken> tokens;
    ValueTokens(Declaration, Skip, tokens);
    return tokens;
}

void TCssScanner::ValueTokens(TTextSpan Declaration, std::span<const TTextSpan> Skip,
                              std::vector<TValueToken>& Tokens) const
{
    const std::string_view declaration = FText.substr(Declaration.Begin, Declaration.End - Declaration.Begin);

    std::vector<TValueToken>& tokens = Tokens;
    tokens.clear();
    // The tokens the value command finds, found without the matcher; the scanner reads the
    // declaration alone, as the command would be given it.
    TValueTokenScanner scanner(declaration, FEncoding);
    std::size_t pos = 0;
    std::size_t begin = 0, end = 0;
    const auto letters = [&](std::size_t From) {
        std::size_t to = From;
        while (to < declaration.size() && IsAsciiLetter(declaration[to]))
            ++to;
        return to;
    };
    // A function "Name(...)" at Begin with its "(" at Open: its extent when it is a colour
    // function as described, 0 when not.
    const auto colourFunctionEnd = [&](std::size_t Open) -> std::size_t {
        if (TouchedBefore(Declaration.Begin + begin) || Open >= declaration.size() || declaration[Open] != '(')
            return 0;
        const std::size_t close = FindOnCharBoundary(declaration, ")", Open, FEncoding);
        if (close == npos)
            return 0;
        const std::string_view function = declaration.substr(begin, close + 1 - begin);
        if (function.find('(', Open - begin + 1) != npos)
            return 0;
        return IsClassicRgbFunction(function) || ParseCssColorFunction(function) ? close + 1 : 0;
    };
    while (pos < declaration.size() && scanner.Next(pos, begin, end)) {
        // Nothing inside a url, a string, a comment or a span to skip is a token: the search goes
        // on after it.
        const std::size_t at = Declaration.Begin + begin;
        const std::size_t skipTo = std::max(SpanEndAt(FProtected, at), SpanEndAt(Skip, at));
        if (skipTo != 0) {
            pos = std::max(skipTo - Declaration.Begin, begin + 1);
            continue;
        }
        const std::string_view found = declaration.substr(begin, end - begin);
        const char after = Declaration.Begin + end < FText.size() ? FText[Declaration.Begin + end] : '\0';
        if (found.front() == '#') {
            pos = end;
            if ((at > 0 && FText[at - 1] == '&') || IsIdentifierByte(after) || after == '(')
                continue;
            tokens.push_back({{at, Declaration.Begin + end}, false});
            continue;
        }
        const bool word = IsAsciiLetter(found.front()) && std::all_of(found.begin(), found.end(), IsAsciiLetter);
        if (!word && !(StartsWithNoCase(found, 0, "rgb") && found.back() == ')')) {
            pos = end;  // a word with letters of several bytes, no colour name
            continue;
        }
        if (!word) {
            // "rgb" up to the first ")" after the next "(": a colour function only when "(" is
            // right after "rgb" or "rgba" (or spaces and "(" after "rgb").
            const std::size_t name = letters(begin);
            std::size_t open = name;
            if (name - begin == 3)
                while (open < declaration.size() && IsMatchSpace(declaration[open]))
                    ++open;
            const bool rgb = name - begin == 3 || (name - begin == 4 && Lower(declaration[begin + 3]) == 'a');
            const std::size_t functionEnd = rgb ? colourFunctionEnd(open) : 0;
            if (functionEnd == 0) {
                pos = std::max(name, begin + 1);
                continue;
            }
            tokens.push_back({{at, Declaration.Begin + functionEnd}, false});
            pos = functionEnd;
            continue;
        }
        pos = end;
        // hsl() and hsla() are colours of current CSS that the value command sees as a word.
        if (StartsWithNoCase(found, 0, "hsl") && (found.size() == 3 || (found.size() == 4 && Lower(found[3]) == 'a')) &&
            after == '(') {
            const std::size_t functionEnd = colourFunctionEnd(end);
            if (functionEnd != 0) {
                tokens.push_back({{at, Declaration.Begin + functionEnd}, false});
                pos = functionEnd;
            }
            continue;
        }
        if (TouchedBefore(at) || TouchesName(after) || after == '(')
            continue;
        tokens.push_back({{at, Declaration.Begin + end}, true});
    }
}

std::vector<TTextSpan> TCssScanner::CustomProperties() const
{
    std::vector<TTextSpan> properties;
    if (FText.find("--") == npos)
        return properties;
    for (std::size_t colon = NextOutside(':', 0); colon != npos; colon = NextOutside(':', colon + 1)) {
        std::size_t name = colon;
        while (name > 0 && static_cast<unsigned char>(FText[name - 1]) <= ' ')
            --name;
        const std::size_t nameEnd = name;
        while (name > 0 && IsIdentifierByte(FText[name - 1]))
            --name;
        if (nameEnd - name < 3 || FText[name] != '-' || FText[name + 1] != '-')
            continue;
        std::size_t end = colon + 1;
        while (end < FText.size() && FText[end] != ';' && FText[end] != '}') {
            const std::size_t skip = SpanEndAt(FProtected, end);
            end = skip != 0 ? skip : end + CharLengthAt(FText, end, FEncoding);
        }
        properties.push_back({colon, std::min(end, FText.size())});
    }
    return properties;
}

// The first Character at or after From that is not inside a url, a string or a comment.
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
