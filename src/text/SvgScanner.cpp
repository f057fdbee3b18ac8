#include "text/SvgScanner.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsSpace(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsNameStart(char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Where a name (of an element or attribute) ends: at white space or markup.
std::size_t NameEnd(std::string_view Text, std::size_t Pos) noexcept
{
    while (Pos < Text.size() && !IsSpace(Text[Pos]) && Text[Pos] != '/' && Text[Pos] != '>' && Text[Pos] != '=' &&
           Text[Pos] != '<' && Text[Pos] != '"' && Text[Pos] != '\'')
        ++Pos;
    return Pos;
}

// The name without its namespace prefix.
std::string_view LocalName(std::string_view Name) noexcept
{
    const std::size_t colon = Name.rfind(':');
    return colon == npos ? Name : Name.substr(colon + 1);
}

// One past the end of Close after From, found on a character boundary; ESvgSyntax when it is
// not there.
std::size_t PastClose(std::string_view Text, std::string_view Close, std::size_t From, TTextEncoding Encoding,
                      const char* What)
{
    const std::size_t at = FindOnCharBoundary(Text, Close, From, Encoding);
    if (at == npos) throw ESvgSyntax(std::string(What) + " does not close");
    return at + Close.size();
}

// One past the ">" of a declaration such as <!DOCTYPE ...> that starts at Pos: quoted strings,
// and the internal subset in brackets with its own comments and declarations, are read past.
std::size_t DeclarationEnd(std::string_view Text, std::size_t Pos, TTextEncoding Encoding)
{
    std::size_t i = Pos + 2;
    int depth = 0;
    while (i < Text.size()) {
        const char c = Text[i];
        if (c == '"' || c == '\'') {
            const std::size_t close = Text.find(c, i + 1);
            if (close == npos) break;
            i = close + 1;
            continue;
        }
        if (depth > 0 && Text.compare(i, 4, "<!--") == 0) {
            i = PastClose(Text, "-->", i + 4, Encoding, "Comment");
            continue;
        }
        if (depth > 0 && Text.compare(i, 2, "<?") == 0) {
            i = PastClose(Text, "?>", i + 2, Encoding, "Processing instruction");
            continue;
        }
        if (c == '[') {
            ++depth;
        } else if (c == ']') {
            if (depth == 0) throw ESvgSyntax("Stray \"]\" in a declaration");
            --depth;
        } else if (c == '>' && depth == 0) {
            return i + 1;
        }
        i += CharLengthAt(Text, i, Encoding);
    }
    throw ESvgSyntax("Declaration does not close");
}

constexpr std::array<std::string_view, 6> ColourAttributes = {"fill",        "stroke",         "stop-color",
                                                              "flood-color", "lighting-color", "color"};

}  // namespace

bool IsSvgColourAttribute(std::string_view Name, bool AnyCase) noexcept
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return std::any_of(ColourAttributes.begin(), ColourAttributes.end(), [&](std::string_view a) {
        return a.size() == Name.size() &&
               (AnyCase ? std::equal(a.begin(), a.end(), Name.begin(), [&](char x, char y) { return x == lower(y); })
                        : a == Name);
    });
}

std::vector<TSvgPlace> ReadSvgPlaces(std::string_view Text, TTextEncoding Encoding)
{
    std::vector<TSvgPlace> places;
    std::string_view style;  // the name of the style element the text is in, if any
    const auto sheet = [&](std::size_t Begin, std::size_t End) {
        if (!style.empty() && End > Begin) places.push_back({TSvgPlaceKind::spStyleSheet, {Begin, End}});
    };
    std::size_t i = 0;
    const std::size_t n = Text.size();
    while (i < n) {
        // "<" is no trail byte of any encoding read here: it always starts markup.
        const std::size_t open = Text.find('<', i);
        sheet(i, open == npos ? n : open);
        if (open == npos) break;
        i = open;
        if (Text.compare(i, 4, "<!--") == 0) {
            i = PastClose(Text, "-->", i + 4, Encoding, "Comment");
        } else if (Text.compare(i, 9, "<![CDATA[") == 0) {
            const std::size_t end = PastClose(Text, "]]>", i + 9, Encoding, "CDATA section");
            sheet(i + 9, end - 3);
            i = end;
        } else if (Text.compare(i, 2, "<?") == 0) {
            i = PastClose(Text, "?>", i + 2, Encoding, "Processing instruction");
        } else if (Text.compare(i, 2, "<!") == 0) {
            i = DeclarationEnd(Text, i, Encoding);
        } else if (Text.compare(i, 2, "</") == 0) {
            const std::size_t nameEnd = NameEnd(Text, i + 2);
            std::size_t j = nameEnd;
            while (j < n && IsSpace(Text[j]))
                ++j;
            if (nameEnd == i + 2 || j >= n || Text[j] != '>') throw ESvgSyntax("End tag does not close");
            if (!style.empty() && Text.substr(i + 2, nameEnd - i - 2) == style) style = {};
            i = j + 1;
        } else if (i + 1 < n && IsNameStart(Text[i + 1])) {
            const std::size_t nameEnd = NameEnd(Text, i + 1);
            const std::string_view name = Text.substr(i + 1, nameEnd - i - 1);
            std::size_t j = nameEnd;
            bool closed = false, empty = false;
            while (j < n) {
                while (j < n && IsSpace(Text[j]))
                    ++j;
                if (j < n && Text[j] == '>') {
                    closed = true;
                    ++j;
                    break;
                }
                if (Text.compare(j, 2, "/>") == 0) {
                    closed = empty = true;
                    j += 2;
                    break;
                }
                if (j >= n) break;
                const std::size_t attributeEnd = NameEnd(Text, j);
                if (attributeEnd == j) throw ESvgSyntax("Stray character in a tag");
                const std::string_view attribute = Text.substr(j, attributeEnd - j);
                j = attributeEnd;
                while (j < n && IsSpace(Text[j]))
                    ++j;
                if (j >= n || Text[j] != '=') throw ESvgSyntax("Attribute without a value");
                ++j;
                while (j < n && IsSpace(Text[j]))
                    ++j;
                if (j >= n || (Text[j] != '"' && Text[j] != '\'')) throw ESvgSyntax("Attribute value without quotes");
                const std::size_t close = Text.find(Text[j], j + 1);
                if (close == npos) throw ESvgSyntax("Attribute value does not close");
                const std::string_view value = Text.substr(j + 1, close - j - 1);
                if (value.find('<') != npos) throw ESvgSyntax("\"<\" in an attribute value");
                if (value.find('&') == npos) {
                    if (attribute == "style")
                        places.push_back({TSvgPlaceKind::spStyle, {j + 1, close}});
                    else if (IsSvgColourAttribute(attribute))
                        places.push_back({TSvgPlaceKind::spColour, {j + 1, close}});
                }
                j = close + 1;
                if (j < n && !IsSpace(Text[j]) && Text[j] != '>' && Text[j] != '/')
                    throw ESvgSyntax("Attributes run together");
            }
            if (!closed) throw ESvgSyntax("Tag does not close");
            if (style.empty() && !empty && LocalName(name) == "style") style = name;
            i = j;
        } else {
            throw ESvgSyntax("\"<\" that starts no markup");
        }
    }
    return places;
}
