#include "text/HtmlScanner.h"

#include "text/CssScanner.h"
#include "text/SvgScanner.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace {

constexpr std::size_t npos = std::string_view::npos;

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IsAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// What ends a name or a value in a tag, by byte: tags are read byte by byte, and a table
// answers for each at once.
enum : std::uint8_t { HtmlSpace = 1, Slash = 2, Gt = 4, Equals = 8 };
constexpr std::array<std::uint8_t, 256> HtmlClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (const char c : {' ', '\t', '\n', '\r', '\f'})
        classes[static_cast<unsigned char>(c)] = HtmlSpace;
    classes['/'] = Slash;
    classes['>'] = Gt;
    classes['='] = Equals;
    return classes;
}();

bool Is(char c, std::uint8_t Classes) noexcept { return HtmlClasses[static_cast<unsigned char>(c)] & Classes; }

// White space as HTML has it between attributes.
bool IsHtmlSpace(char c) noexcept { return Is(c, HtmlSpace); }

bool StartsWithNoCase(std::string_view s, std::size_t Pos, std::string_view Prefix) noexcept
{
    if (Pos > s.size() || s.size() - Pos < Prefix.size())
        return false;
    for (std::size_t i = 0; i < Prefix.size(); ++i)
        if (Lower(s[Pos + i]) != Lower(Prefix[i]))
            return false;
    return true;
}

// Whether Literal stands at Pos, byte for byte: compared here, without a library call for the
// few bytes of a "<!--" at every "<" of a page.
bool HasAt(std::string_view Text, std::size_t Pos, std::string_view Literal) noexcept
{
    if (Pos > Text.size() || Text.size() - Pos < Literal.size())
        return false;
    for (std::size_t i = 0; i < Literal.size(); ++i)
        if (Text[Pos + i] != Literal[i])
            return false;
    return true;
}

// The attributes of the tag whose name ends at From, up to its ">": each reported to Found
// (name and whole attribute); the offset after the ">", or Text.size() when the tag does not
// end. Stops, with npos, at a quoted value that does not close.
template <typename TFound>
std::size_t ReadAttributes(std::string_view Text, std::size_t From, TFound&& Found)
{
    const std::size_t n = Text.size();
    std::size_t i = From;
    for (;;) {
        while (i < n && Is(Text[i], HtmlSpace | Slash))
            ++i;
        if (i >= n)
            return n;
        if (Text[i] == '>')
            return i + 1;
        const std::size_t name = i;
        ++i;  // a name may start with "=", as a browser reads it
        while (i < n && !Is(Text[i], HtmlSpace | Slash | Gt | Equals))
            ++i;
        const std::size_t nameEnd = i;
        std::size_t j = i;
        while (j < n && IsHtmlSpace(Text[j]))
            ++j;
        if (j >= n || Text[j] != '=') {
            Found(THtmlAttribute{{name, nameEnd}, {name, nameEnd}});
            i = j;
            continue;
        }
        ++j;
        while (j < n && IsHtmlSpace(Text[j]))
            ++j;
        std::size_t end = j;
        if (j < n && (Text[j] == '"' || Text[j] == '\'')) {
            const std::size_t close = Text.find(Text[j], j + 1);
            if (close == npos)
                return npos;
            end = close + 1;
        } else {
            // Within the tag: before its first ">".
            std::size_t close = npos;
            if (StartsWithNoCase(Text, j, "rgb")) {
                const std::string_view tag = Text.substr(0, Text.find('>', j));
                const std::size_t open = tag.find('(', j + 3);
                close = open == npos ? npos : tag.find(')', open + 1);
            }
            if (close != npos) {
                end = close + 1;
            } else {
                while (end < n && !Is(Text[end], HtmlSpace | Gt))
                    ++end;
            }
        }
        Found(THtmlAttribute{{name, nameEnd}, {name, end}});
        i = end;
    }
}

bool EqualNoCase(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() && StartsWithNoCase(a, 0, b);
}

// Whether the name Name (any case) stands at Pos, followed by white space, "/" or ">" (or the end).
bool IsNameAt(std::string_view Text, std::size_t Pos, std::string_view Name) noexcept
{
    const std::size_t after = Pos + Name.size();
    return StartsWithNoCase(Text, Pos, Name) &&
           (after == Text.size() || IsHtmlSpace(Text[after]) || Text[after] == '/' || Text[after] == '>');
}

// The elements whose contents are text, not markup, as a browser reads them.
constexpr std::array<std::string_view, 9> RawTextElements = {"script", "style",   "textarea", "title", "xmp",
                                                              "iframe", "noembed", "noframes", "plaintext"};

// The raw-text element Name (any case) names, or nothing. The lengths of their names tell most
// tags apart at once.
std::string_view RawTextElementNamed(std::string_view Name) noexcept
{
    static constexpr std::uint32_t Lengths = [] {
        std::uint32_t lengths = 0;
        for (const std::string_view raw : RawTextElements)
            lengths |= 1u << raw.size();
        return lengths;
    }();
    if (Name.size() >= 32 || !(Lengths >> Name.size() & 1))
        return {};
    for (const std::string_view raw : RawTextElements)
        if (raw.size() == Name.size() && StartsWithNoCase(Name, 0, raw))
            return raw;
    return {};
}

// The first end tag of the element Name ("</" Name and white space, "/" or ">") at or after From.
std::size_t FindEndTag(std::string_view Text, std::string_view Name, std::size_t From) noexcept
{
    for (std::size_t at = Text.find("</", From); at != npos; at = Text.find("</", at + 2)) {
        const std::size_t after = at + 2 + Name.size();
        if (StartsWithNoCase(Text, at + 2, Name) &&
            (after == Text.size() || IsHtmlSpace(Text[after]) || Text[after] == '/' || Text[after] == '>'))
            return at;
    }
    return npos;
}

}  // namespace

std::vector<TTextSpan> CollectMatches(TMatcher& Matcher, std::string_view Command, std::string_view Text,
                                      TTextEncoding Encoding, char First, char Last,
                                      const std::function<bool(const TTextSpan&)>& Accept)
{
    std::vector<TTextSpan> found;
    bool searched = false;
    std::size_t pos = 0;
    while (pos < Text.size()) {
        std::size_t start = pos;
        if (First) {
            start = FindOnCharBoundary(Text, std::string_view(&First, 1), pos, Encoding);
            if (start == npos ||
                FindOnCharBoundary(Text, std::string_view(&Last, 1), start + 1, Encoding) == npos)
                break;
        }
        // The first search of a text starts at 0, so that the matcher reads this text afresh
        // rather than what it prepared for another one that happened to lie at the same address.
        if (!searched)
            start = 0;
        if (!Matcher.MatchFrom(Command, Text, start, Encoding))
            break;
        const std::size_t begin = Matcher.MatchPos() - 1;
        const std::size_t length = Matcher.MatchLength();
        searched = true;
        if (Accept && !Accept({begin, begin + length})) {
            if (begin >= Text.size())
                break;
            pos = begin + CharLengthAt(Text, begin, Encoding);
            continue;
        }
        found.push_back({begin, begin + length});
        pos = begin + length;
        if (length == 0) {
            if (begin >= Text.size())
                break;
            pos += CharLengthAt(Text, begin, Encoding);
        }
    }
    return found;
}

namespace {

// The attribute names of the tag command, in its order.
constexpr std::array<std::string_view, 10> TagCommandNames = {
    "color", "bgcolor", "bordercolor", "text", "link", "alink", "vlink", "bordercolordark", "bordercolorlight", "style"};

// "\s" of the match commands.
bool IsMatchSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The end of Name (lower case) matched at Pos without regard to case, npos when it does not
// match there. Unicode (UTF-8 text) adds U+212A to "k" and U+017F to "s".
std::size_t NameEndAt(std::string_view Text, std::size_t Pos, std::string_view Name, bool Unicode) noexcept
{
    static constexpr std::string_view Kelvin = "\xE2\x84\xAA", LongS = "\xC5\xBF";
    std::size_t i = Pos;
    for (const char c : Name) {
        if (i < Text.size() && Lower(Text[i]) == c) {
            ++i;
        } else if (Unicode && c == 'k' && Text.compare(i, Kelvin.size(), Kelvin) == 0) {
            i += Kelvin.size();
        } else if (Unicode && c == 's' && Text.compare(i, LongS.size(), LongS) == 0) {
            i += LongS.size();
        } else {
            return npos;
        }
    }
    return i;
}

// The "=" of "\s(names)\s*=" with its white space at Space, npos when there is none.
std::size_t ColourAttributeEquals(std::string_view Text, std::size_t Space, bool Unicode) noexcept
{
    // Most attributes begin with none of the names' first letters.
    if (Space + 1 >= Text.size())
        return npos;
    const char first = Lower(Text[Space + 1]);
    if (first != 'c' && first != 'b' && first != 't' && first != 'l' && first != 'a' && first != 'v' &&
        first != 's' && !(Unicode && first == '\xC5'))
        return npos;
    for (const std::string_view name : TagCommandNames) {
        std::size_t i = NameEndAt(Text, Space + 1, name, Unicode);
        if (i == npos)
            continue;
        while (i < Text.size() && IsMatchSpace(Text[i]))
            ++i;
        if (i < Text.size() && Text[i] == '=')
            return i;
    }
    return npos;
}

// The end of the match of the tag command that begins at the "<" at Lt; 0 when none begins
// there, npos when none can begin there or anywhere after it (no ">" follows). None of the bytes
// the command looks for (<, >, !, =, white space, the ASCII letters of the names after white
// space) can be part of a multi-byte character in any of the encodings, so reading bytes finds
// what the matcher finds reading characters.
std::size_t ColourTagEnd(std::string_view Text, std::size_t Lt, bool Unicode) noexcept
{
    const std::size_t n = Text.size();
    if (Lt + 1 >= n || Text[Lt + 1] == '!')
        return 0;
    for (std::size_t i = Lt + 2; i < n && Text[i] != '<' && Text[i] != '>'; ++i) {
        if (!IsMatchSpace(Text[i]))
            continue;
        const std::size_t equals = ColourAttributeEquals(Text, i, Unicode);
        if (equals == npos)
            continue;
        const std::size_t gt = Text.find('>', equals + 1);
        return gt == npos ? npos : gt + 1;
    }
    return 0;
}

}  // namespace

std::vector<TTextSpan> CollectColourTags(std::string_view Text, TTextEncoding Encoding,
                                         const std::function<bool(const TTextSpan&)>& Accept)
{
    std::vector<TTextSpan> found;
    const bool unicode = Encoding == TTextEncoding::UTF8;
    std::size_t lt = Text.find('<');
    if (lt == npos || Text.find('>', lt + 1) == npos)
        return found;
    if (unicode && !IsValidUTF8(Text))
        throw EMatcherError("the text is not valid UTF-8");
    while (lt != npos) {
        const std::size_t end = ColourTagEnd(Text, lt, unicode);
        if (end == npos)
            break;
        if (end == 0 || (Accept && !Accept({lt, end}))) {
            lt = Text.find('<', lt + 1);
            continue;
        }
        found.push_back({lt, end});
        lt = Text.find('<', end);
    }
    return found;
}

std::optional<TAttributeValue> ReadAttributeValue(std::string_view Attribute, TTextEncoding Encoding)
{
    const std::size_t equals = FindOnCharBoundary(Attribute, "=", 0, Encoding);
    if (equals == npos)
        return std::nullopt;

    // Delphi-style trimming: every byte up to and including the space goes at both ends.
    std::size_t begin = equals + 1, end = Attribute.size();
    while (begin < end && static_cast<unsigned char>(Attribute[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(Attribute[end - 1]) <= ' ')
        --end;
    const std::string_view raw = Attribute.substr(begin, end - begin);
    if (!raw.empty() && (raw.front() == '"' || raw.front() == '\'')) {
        // Up to the closing quote, a doubled quote counting as one: the runs between quotes
        // are taken whole.
        const char quote = raw.front();
        const std::string_view quoted = Attribute.substr(0, end);
        std::string inner;
        std::size_t j = begin + 1;
        while (j < end) {
            const std::size_t at = std::min(quoted.find(quote, j), end);
            inner.append(quoted.substr(j, at - j));
            j = at;
            if (j + 1 >= end || Attribute[j + 1] != quote)
                break;
            inner.push_back(quote);
            j += 2;
        }
        if (!inner.empty())
            return TAttributeValue{std::move(inner), {begin + 1, j}, quote};
    }
    return TAttributeValue{std::string(raw), {begin, end}};
}

std::string DoubleQuotes(std::string_view Value, char Quote)
{
    std::string doubled;
    doubled.reserve(Value.size());
    for (char c : Value) {
        doubled.push_back(c);
        if (c == Quote)
            doubled.push_back(Quote);
    }
    return doubled;
}

std::vector<THtmlAttribute> ReadTagAttributes(std::string_view Tag)
{
    std::vector<THtmlAttribute> attributes;
    ReadTagAttributes(Tag, attributes);
    return attributes;
}

void ReadTagAttributes(std::string_view Tag, std::vector<THtmlAttribute>& Attributes)
{
    std::vector<THtmlAttribute>& attributes = Attributes;
    attributes.clear();
    std::size_t i = Tag.empty() || Tag[0] != '<' ? 0 : 1;
    while (i < Tag.size() && !Is(Tag[i], HtmlSpace | Slash | Gt))
        ++i;
    ReadAttributes(Tag, i, [&](const THtmlAttribute& a) { attributes.push_back(a); });
}

bool IsStartTagAt(std::string_view Text, std::size_t Pos) noexcept
{
    if (Pos + 1 >= Text.size() || Text[Pos] != '<' || !IsAsciiLetter(Text[Pos + 1]))
        return false;
    std::size_t i = Pos + 2;
    while (i < Text.size() && (IsAsciiLetter(Text[i]) || (Text[i] >= '0' && Text[i] <= '9') || Text[i] == '-'))
        ++i;
    return i == Text.size() || IsHtmlSpace(Text[i]) || Text[i] == '/' || Text[i] == '>';
}

bool LooksLikeHtml(std::string_view Text, TTextEncoding Encoding)
{
    // Most stylesheets have no "<" at all; a page has its first tag near the start.
    const auto tagAt = [&](std::size_t i) {
        return IsStartTagAt(Text, i) ||
               (i + 2 < Text.size() && (Text[i + 1] == '/' || Text[i + 1] == '!') && IsAsciiLetter(Text[i + 2]));
    };
    std::size_t first = Text.find('<');
    while (first != npos && !tagAt(first))
        first = Text.find('<', first + 1);
    if (first == npos)
        return false;
    const std::size_t n = Text.size();
    const bool byteWise = Encoding == TTextEncoding::UTF8 || IsASCII(Text);
    std::size_t i = 0;
    while (i < n) {
        const char c = Text[i];
        if (c == '<') {
            if (tagAt(i))
                return true;
        } else if (c == '/' && i + 1 < n && Text[i + 1] == '*') {
            const std::size_t close = Text.find("*/", i + 2);
            i = close == npos ? n : close + 2;
            continue;
        } else if (c == '"' || c == '\'') {
            i = CssStringEnd(Text, i, Encoding);
            continue;
        }
        i += byteWise ? 1 : CharLengthAt(Text, i, Encoding);
    }
    return false;
}

THtmlLayout ReadHtmlLayout(std::string_view Text)
{
    THtmlLayout layout;
    const std::size_t n = Text.size();
    std::size_t i = 0;
    // The svg ("s") and foreignObject ("f") elements open, innermost last: a foreignObject holds
    // HTML again.
    std::string open;
    const auto inSvg = [&] { return !open.empty() && open.back() == 's'; };
    while (i < n) {
        const std::size_t lt = Text.find('<', i);
        if (lt == npos || lt + 1 >= n)
            break;
        const char next = Text[lt + 1];
        if (HasAt(Text, lt, "<!--")) {
            if (StartsWithNoCase(Text, lt + 4, "[if")) {
                i = lt + 4;  // the rest of a conditional comment is read as the page
                continue;
            }
            // "<!-->" and "<!--->" are empty comments.
            if (HasAt(Text, lt + 4, ">")) {
                i = lt + 5;
            } else if (HasAt(Text, lt + 4, "->")) {
                i = lt + 6;
            } else {
                const std::size_t close = Text.find("-->", lt + 4);
                i = close == npos ? n : close + 3;
            }
            continue;
        }
        if (next == '!' || next == '?' || next == '/') {
            const std::size_t close = Text.find('>', lt + 2);
            i = close == npos ? n : close + 1;
            if (next == '/' && !open.empty()) {
                if (IsNameAt(Text, lt + 2, "svg"))
                    open.erase(std::min(open.rfind('s'), open.size()));
                else if (open.back() == 'f' && IsNameAt(Text, lt + 2, "foreignObject"))
                    open.pop_back();
            }
            continue;
        }
        if (!IsAsciiLetter(next)) {
            i = lt + 1;
            continue;
        }
        std::size_t nameEnd = lt + 2;
        while (nameEnd < n && !Is(Text[nameEnd], HtmlSpace | Slash | Gt))
            ++nameEnd;
        const std::string_view name = Text.substr(lt + 1, nameEnd - lt - 1);
        const bool svg = EqualNoCase(name, "svg"), svgTag = svg || inSvg();
        const bool meta = !svgTag && EqualNoCase(name, "meta");
        std::size_t lastValueEnd = nameEnd;
        bool colours = false;  // an svg colour attribute, or the name of a theme-colour meta
        const std::size_t tagEnd = ReadAttributes(Text, nameEnd, [&](const THtmlAttribute& a) {
            lastValueEnd = a.Whole.End;
            if (a.Whole.End == a.Name.End || colours)
                return;
            const std::string_view attribute = Text.substr(a.Name.Begin, a.Name.End - a.Name.Begin);
            if (svgTag) {
                colours = IsSvgColourAttribute(attribute, true);
            } else if (meta && EqualNoCase(attribute, "name")) {
                const auto value =
                    ReadAttributeValue(Text.substr(a.Name.Begin, a.Whole.End - a.Name.Begin), TTextEncoding::UTF8);
                colours = value && IsThemeColourMetaName(value->Value);
            }
        });
        // A tag that runs to the end of the text without its ">" is not read as one.
        if (tagEnd != npos && tagEnd > lt && Text[tagEnd - 1] == '>') {
            layout.StartTags.push_back(lt);
            if (colours)
                (svgTag ? layout.SvgTags : layout.ThemeColourMetas).push_back({lt, tagEnd});
            // "<svg/>" opens no element; "<svg a=b/>" does, its "/" being the value's.
            const bool selfClosing = Text[tagEnd - 2] == '/' && tagEnd - 2 >= lastValueEnd;
            if (svg && !selfClosing)
                open.push_back('s');
            else if (svgTag && !selfClosing && EqualNoCase(name, "foreignObject"))
                open.push_back('f');
        }
        if (tagEnd == npos || tagEnd >= n)
            break;
        i = tagEnd;
        if (const std::string_view raw = RawTextElementNamed(name); !raw.empty()) {
            const std::size_t close = raw == "plaintext" ? npos : FindEndTag(Text, raw, tagEnd);
            const std::size_t contentEnd = close == npos ? n : close;
            if (raw == "style")
                layout.Styles.push_back({tagEnd, contentEnd});
            else if (raw == "script")
                layout.Scripts.push_back({tagEnd, contentEnd});
            i = contentEnd;
        }
    }
    return layout;
}

bool IsThemeColourMetaName(std::string_view Name) noexcept
{
    return EqualNoCase(Name, "theme-color") || EqualNoCase(Name, "msapplication-TileColor") ||
           EqualNoCase(Name, "msapplication-navbutton-color");
}
