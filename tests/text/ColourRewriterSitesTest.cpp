// Stylesheets and pages of the kinds sites have today and had before (tests/text/data): a
// framework stylesheet with colours and their "-rgb" parts in custom properties, a theme kept
// in HSL parts, an old documentation site with font tags, colour attributes, inline styles,
// scripts and code samples, and a current page with a style element, scripts, JSON, colour
// attributes holding data, templates and code samples.
//
// The check reads the colours of a text on its own, with rules of its own: where style stands
// (style elements, colour attributes of tags, style attributes, the colour attributes of inline
// SVG, the theme-color meta; all of a stylesheet) and what a
// colour token is there, and every colour-like token elsewhere (scripts, comments, text, other
// attributes, strings and comments of CSS). With each colour token masked the output must be
// the input token for token; each colour in style must be the converted colour (or its own
// spelling when it converts to itself), each colour-like token elsewhere must stay as written.

#include "text/ColourRewriter.h"

#include "colour/ColourAdjuster.h"
#include "text/CssColorFunction.h"
#include "text/NamedColours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadFixture(const std::string& Name)
{
    const std::string path = std::string(TESSIVAL_SOURCE_DIR) + "/tests/text/data/" + Name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string Lowered(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), Lower);
    return s;
}

bool StartsNoCase(const std::string& s, std::size_t Pos, const std::string& Prefix)
{
    return Pos + Prefix.size() <= s.size() && Lowered(s.substr(Pos, Prefix.size())) == Prefix;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'f'); }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80; }
// What makes a colour word part of something longer.
bool Touches(char c) { return IsDigit(c) || c == '-' || c == '_' || c == '.' || c == '/' || c == '#' || c == '\\'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

int Hex2(const std::string& s) { return static_cast<int>(std::strtol(s.c_str(), nullptr, 16)); }

std::string HexColour(const TRGBColor& c)
{
    static const char d[] = "0123456789ABCDEF";
    return {'#', d[c.R >> 4], d[c.R & 15], d[c.G >> 4], d[c.G & 15], d[c.B >> 4], d[c.B & 15]};
}

const std::map<std::string, TRGBColor>& Names()
{
    static const std::map<std::string, TRGBColor> names = [] {
        std::map<std::string, TRGBColor> m;
        std::istringstream list{std::string(ColorListResource())};
        std::string name, value;
        while (std::getline(list, name) && std::getline(list, value)) {
            name.erase(name.find_last_not_of('\r') + 1);
            m[name] = {Hex2(value.substr(1, 2)), Hex2(value.substr(3, 2)), Hex2(value.substr(5, 2))};
        }
        return m;
    }();
    return names;
}

// Where a token stands: in style (a declaration, a colour attribute), or anywhere else.
enum class TRole { Style, Elsewhere };
// What it is: one colour value, the three numbers of "-rgb" parts, or one part of an HSL group.
enum class TForm { Value, RgbParts, HslPart };

struct TToken {
    std::size_t Begin;
    std::size_t End;
    TRole Role;
    TForm Form;
    int Group = -1;  // for HslPart: the group, whose parts are h, s and l
    int Part = 0;
};

class TSiteReader {
public:
    TSiteReader(const std::string& Text, bool Page) : FText(Text)
    {
        if (Page)
            Markup(0, Text.size(), true);
        else
            Css(0, Text.size(), true);
        std::sort(FTokens.begin(), FTokens.end(), [](const TToken& a, const TToken& b) { return a.Begin < b.Begin; });
    }

    const std::vector<TToken>& Tokens() const { return FTokens; }
    std::string Piece(const TToken& t) const { return FText.substr(t.Begin, t.End - t.Begin); }
    // The text with every token made one placeholder.
    std::string Masked() const
    {
        std::string out;
        std::size_t copied = 0;
        for (const TToken& t : FTokens) {
            out += FText.substr(copied, t.Begin - copied) + '\x01';
            copied = t.End;
        }
        return out + FText.substr(copied);
    }
    // The three tokens of each HSL group, in the order h, s, l.
    std::vector<std::array<const TToken*, 3>> HslGroups() const
    {
        std::map<int, std::array<const TToken*, 3>> groups;
        for (const TToken& t : FTokens)
            if (t.Form == TForm::HslPart)
                groups[t.Group][static_cast<std::size_t>(t.Part)] = &t;
        std::vector<std::array<const TToken*, 3>> out;
        for (const auto& g : groups)
            out.push_back(g.second);
        return out;
    }

private:
    // A colour function at Pos: rgb, rgba, hsl or hsla not after a name character, "(" right
    // after it (after rgb also spaces), a readable function up to the first ")". Its end, or 0.
    std::size_t FunctionEnd(std::size_t Pos, std::size_t End) const
    {
        if (Pos > 0 && (IsNameChar(FText[Pos - 1]) || Touches(FText[Pos - 1])))
            return 0;
        const bool rgb = StartsNoCase(FText, Pos, "rgb");
        if (!rgb && !StartsNoCase(FText, Pos, "hsl"))
            return 0;
        std::size_t open = Pos + 3;
        if (open < End && Lower(FText[open]) == 'a')
            ++open;
        else if (rgb)
            while (open < End && IsSpace(FText[open]))
                ++open;
        if (open >= End || FText[open] != '(')
            return 0;
        const std::size_t close = FText.find_first_of("()", open + 1);
        if (close == std::string::npos || close >= End || FText[close] != ')')
            return 0;
        return ParseCssColorFunction(Compact(FText.substr(Pos, close + 1 - Pos))) ? close + 1 : 0;
    }
    // "rgb (" reads as "rgb(".
    static std::string Compact(std::string f)
    {
        const std::size_t open = f.find('(');
        std::size_t name = open;
        while (name > 0 && IsSpace(f[name - 1]))
            --name;
        return f.erase(name, open - name);
    }
    // "#" and 3, 4, 6 or 8 hexadecimal digits, not after "&" (or, in data, a name character),
    // not followed by a name character or "(". Its end, or 0.
    std::size_t HexEnd(std::size_t Pos, std::size_t End, bool Data) const
    {
        if (FText[Pos] != '#' || (Pos > 0 && (FText[Pos - 1] == '&' || (Data && IsNameChar(FText[Pos - 1])))))
            return 0;
        std::size_t j = Pos + 1;
        while (j < End && IsHex(FText[j]))
            ++j;
        const std::size_t digits = j - Pos - 1;
        if (digits != 3 && digits != 4 && digits != 6 && digits != 8)
            return 0;
        if (j < FText.size() && (IsNameChar(FText[j]) || FText[j] == '('))
            return 0;
        return j;
    }
    // A colour name standing apart at Pos (the start of a run of letters). Its end, or 0.
    std::size_t NameEnd(std::size_t Pos, std::size_t End) const
    {
        std::size_t j = Pos;
        while (j < End && IsLetter(FText[j]))
            ++j;
        if (!Names().count(Lowered(FText.substr(Pos, j - Pos))))
            return 0;
        if (Pos > 0 && Touches(FText[Pos - 1]))
            return 0;
        if (j < FText.size() && (Touches(FText[j]) || FText[j] == '('))
            return 0;
        return j;
    }

    void Add(std::size_t Begin, std::size_t End, TRole Role, TForm Form = TForm::Value, int Group = -1, int Part = 0)
    {
        FTokens.push_back({Begin, End, Role, Form, Group, Part});
    }

    // Colour-like tokens of text that is no style.
    void Elsewhere(std::size_t Begin, std::size_t End)
    {
        std::size_t i = Begin;
        while (i < End) {
            std::size_t end = 0;
            if (FText[i] == '#')
                end = HexEnd(i, End, true);
            else if (IsLetter(FText[i]) && (i == 0 || !IsLetter(FText[i - 1])))
                end = FunctionEnd(i, End) ? FunctionEnd(i, End) : NameEnd(i, End);
            if (end) {
                Add(i, end, TRole::Elsewhere);
                i = end;
            } else {
                ++i;
            }
        }
    }

    // A stylesheet (Blocks), the declarations of a style attribute, or one value (Value: an SVG
    // presentation attribute, the content of a theme-color meta).
    void Css(std::size_t Begin, std::size_t End, bool Blocks, bool Value = false)
    {
        bool inBlock = !Blocks;
        bool value = Value;
        struct TParts {
            std::size_t Span[3][2] = {};
            int Count[3] = {};
        };
        std::map<std::string, TParts> parts;
        const auto endRule = [&] {
            for (const auto& [stem, p] : parts) {
                if (p.Count[0] != 1 || p.Count[1] != 1 || p.Count[2] != 1)
                    continue;
                static const std::regex h(R"([+-]?(\d+(\.\d+)?|\.\d+)(deg)?)", std::regex::icase);
                static const std::regex sl(R"([+-]?(\d+(\.\d+)?|\.\d+)%)");
                std::string v[3];
                for (int k = 0; k < 3; ++k)
                    v[k] = FText.substr(p.Span[k][0], p.Span[k][1] - p.Span[k][0]);
                if (!std::regex_match(v[0], h) || !std::regex_match(v[1], sl) || !std::regex_match(v[2], sl))
                    continue;
                if (std::stod(v[1]) > 100 || std::stod(v[2]) > 100)
                    continue;
                const int group = FGroups++;
                for (int k = 0; k < 3; ++k) {
                    std::size_t e = p.Span[k][0];
                    while (e < p.Span[k][1] && (IsDigit(FText[e]) || FText[e] == '.' || FText[e] == '+' || FText[e] == '-'))
                        ++e;
                    Add(p.Span[k][0], e, TRole::Style, TForm::HslPart, group, k);
                }
            }
            parts.clear();
        };
        std::size_t i = Begin;
        while (i < End) {
            const char c = FText[i];
            if (c == '/' && i + 1 < End && FText[i + 1] == '*') {
                const std::size_t close = std::min(FText.find("*/", i + 2), End);
                const std::size_t end = std::min(close + 2, End);
                Elsewhere(i, end);
                i = end;
                continue;
            }
            if (c == '"' || c == '\'') {
                std::size_t j = i + 1;
                while (j < End && FText[j] != c && FText[j] != '\n') {
                    if (FText[j] == '\\')
                        ++j;
                    ++j;
                }
                const std::size_t end = std::min(j < End && FText[j] == c ? j + 1 : j, End);
                Elsewhere(i, end);
                i = end;
                continue;
            }
            if (StartsNoCase(FText, i, "url(") && (i == 0 || !IsNameChar(FText[i - 1]))) {
                std::size_t j = i + 4;
                while (j < End && IsSpace(FText[j]))
                    ++j;
                if (j < End && (FText[j] == '"' || FText[j] == '\''))
                    j = FText.find(FText[j], j + 1);
                i = std::min(FText.find(')', j) + 1, End);
                continue;
            }
            if (Blocks && c == '{') {
                inBlock = true;
                value = false;
            } else if (Blocks && c == '}') {
                endRule();
                inBlock = false;
                value = false;
            } else if (c == ';') {
                value = false;
            } else if (c == ':' && inBlock) {
                value = true;
                CustomProperty(i, End, parts);
            }
            std::size_t end = 0;
            if (value && c == '#')
                end = HexEnd(i, End, false);
            else if (value && IsLetter(c) && (i == 0 || !IsLetter(FText[i - 1])))
                end = FunctionEnd(i, End) ? FunctionEnd(i, End) : NameEnd(i, End);
            if (end) {
                Add(i, end, TRole::Style);
                i = end;
                continue;
            }
            if (!value && IsLetter(c) && (i == 0 || !IsLetter(FText[i - 1]))) {
                // Outside values (selectors, at-rules): colour-like tokens that stay.
                const std::size_t other = FunctionEnd(i, End) ? FunctionEnd(i, End) : NameEnd(i, End);
                if (other) {
                    Add(i, other, TRole::Elsewhere);
                    i = other;
                    continue;
                }
            }
            ++i;
        }
        endRule();
    }

    // The parts of colours in the custom property whose colon is at Colon.
    template <typename TParts>
    void CustomProperty(std::size_t Colon, std::size_t End, std::map<std::string, TParts>& Parts)
    {
        std::size_t nameEnd = Colon;
        while (nameEnd > 0 && IsSpace(FText[nameEnd - 1]))
            --nameEnd;
        std::size_t name = nameEnd;
        while (name > 0 && IsNameChar(FText[name - 1]))
            --name;
        const std::string property = Lowered(FText.substr(name, nameEnd - name));
        if (property.compare(0, 2, "--") != 0)
            return;
        std::size_t begin = Colon + 1, end = std::min(FText.find_first_of(";}", Colon), End);
        while (begin < end && IsSpace(FText[begin]))
            ++begin;
        while (end > begin && IsSpace(FText[end - 1]))
            --end;
        const std::string v = FText.substr(begin, end - begin);
        if (property.size() > 6 && property.compare(property.size() - 4, 4, "-rgb") == 0) {
            static const std::regex triple(R"((\d{1,3})(\s*,\s*|\s+)(\d{1,3})(\s*,\s*|\s+)(\d{1,3}))");
            std::smatch m;
            if (std::regex_match(v, m, triple) && m[2].str().find(',') == m[4].str().find(',') &&
                std::stoi(m[1]) <= 255 && std::stoi(m[3]) <= 255 && std::stoi(m[5]) <= 255)
                Add(begin, end, TRole::Style, TForm::RgbParts);
            return;
        }
        const char part = property.back();
        if (property.size() > 4 && property[property.size() - 2] == '-' && (part == 'h' || part == 's' || part == 'l')) {
            auto& p = Parts[property.substr(0, property.size() - 2)];
            const int k = part == 'h' ? 0 : part == 's' ? 1 : 2;
            ++p.Count[k];
            p.Span[k][0] = begin;
            p.Span[k][1] = end;
        }
    }

    // The value of a colour attribute other than style.
    void Attribute(std::size_t Begin, std::size_t End)
    {
        if (End > Begin && NameEnd(Begin, End) == End && (Begin == 0 || !IsLetter(FText[Begin - 1]))) {
            bool word = true;
            for (std::size_t k = Begin; k < End; ++k)
                word = word && IsLetter(FText[k]);
            if (word) {
                Add(Begin, End, TRole::Style);
                return;
            }
        }
        std::size_t i = Begin;
        while (i < End) {
            const char c = FText[i];
            std::size_t end = 0, begin = i, next = 0;
            if (c == '#') {
                end = next = HexEnd(i, End, true);
            } else if (IsLetter(c) && (i == Begin || !IsNameChar(FText[i - 1]))) {
                end = next = FunctionEnd(i, End);
            } else if (c == '\'' || c == '"' || (c == '&' && FText.compare(i, 6, "&quot;") == 0)) {
                const std::string quote = c == '&' ? "&quot;" : std::string(1, c);
                std::size_t j = i + quote.size();
                while (j < End && IsLetter(FText[j]))
                    ++j;
                if (j > i + quote.size() && FText.compare(j, quote.size(), quote) == 0 &&
                    Names().count(Lowered(FText.substr(i + quote.size(), j - i - quote.size())))) {
                    begin = i + quote.size();
                    end = j;
                    next = j + quote.size();
                }
            }
            if (end) {
                Add(begin, end, TRole::Style);
                i = next;
            } else {
                if (IsLetter(c) && (i == Begin || !IsLetter(FText[i - 1]))) {
                    const std::size_t other = NameEnd(i, End);
                    if (other) {
                        Add(i, other, TRole::Elsewhere);
                        i = other;
                        continue;
                    }
                }
                ++i;
            }
        }
    }

    // One tag from its "<" to after its ">": colour attributes are style, other values text.
    // In an svg element (Svg) the presentation attributes that take a colour are one value
    // each, and so is the content of a meta named theme-color (or one of its older names).
    std::size_t Tag(std::size_t Lt, std::size_t End, bool Svg)
    {
        static const std::vector<std::string> colourAttributes = {
            "color", "bgcolor", "bordercolor", "text", "link", "alink", "vlink", "bordercolordark", "bordercolorlight", "style"};
        static const std::vector<std::string> svgAttributes = {"fill",        "stroke",         "stop-color",
                                                               "flood-color", "lighting-color", "color"};
        static const std::regex themeMeta(
            R"(<meta\s[^>]*\bname\s*=\s*["']?(theme-color|msapplication-tilecolor|msapplication-navbutton-color)["'\s>])",
            std::regex::icase);
        const bool theme = std::regex_search(FText.begin() + static_cast<std::ptrdiff_t>(Lt),
                                             FText.begin() + static_cast<std::ptrdiff_t>(std::min(FText.find('>', Lt) + 1, End)),
                                             themeMeta, std::regex_constants::match_continuous);
        std::size_t i = Lt + 1;
        while (i < End && !IsSpace(FText[i]) && FText[i] != '>' && FText[i] != '/')
            ++i;
        for (;;) {
            while (i < End && (IsSpace(FText[i]) || FText[i] == '/'))
                ++i;
            if (i >= End || FText[i] == '>')
                return std::min(i + 1, End);
            const std::size_t name = i++;
            while (i < End && !IsSpace(FText[i]) && FText[i] != '>' && FText[i] != '/' && FText[i] != '=')
                ++i;
            const std::string attribute = Lowered(FText.substr(name, i - name));
            std::size_t j = i;
            while (j < End && IsSpace(FText[j]))
                ++j;
            if (j >= End || FText[j] != '=')
                continue;
            ++j;
            while (j < End && IsSpace(FText[j]))
                ++j;
            std::size_t begin = j, end = j, after = j;
            if (j < End && (FText[j] == '"' || FText[j] == '\'')) {
                begin = j + 1;
                end = FText.find(FText[j], begin);
                after = end + 1;
            } else if (StartsNoCase(FText, j, "rgb") && FText.find('(', j) < FText.find('>', j)) {
                after = end = FText.find(')', j) + 1;
            } else {
                while (end < End && !IsSpace(FText[end]) && FText[end] != '>')
                    ++end;
                after = end;
            }
            const bool oneValue = (Svg && std::find(svgAttributes.begin(), svgAttributes.end(), attribute) != svgAttributes.end()) ||
                                  (theme && attribute == "content");
            if (oneValue)
                Css(begin, end, false, true);
            else if (attribute == "style")
                Css(begin, end, false);
            else if (std::find(colourAttributes.begin(), colourAttributes.end(), attribute) != colourAttributes.end())
                Attribute(begin, end);
            else
                Elsewhere(begin, end);
            i = after;
        }
    }

    // Markup from Begin to End; Elements: style and script elements count (not in comments and
    // scripts, where only tags do).
    void Markup(std::size_t Begin, std::size_t End, bool Elements)
    {
        std::size_t i = Begin;
        while (i < End) {
            const std::size_t lt = std::min(FText.find('<', i), End);
            Elsewhere(i, lt);
            if (lt >= End)
                return;
            if (Elements && FText.compare(lt, 4, "<!--") == 0) {
                if (FText.compare(lt + 4, 3, "[if") == 0) {
                    i = lt + 4;
                    continue;
                }
                const std::size_t close = std::min(FText.find("-->", lt + 4), End);
                Markup(lt + 4, close, false);
                i = std::min(close + 3, End);
                continue;
            }
            if (Elements && (FText.compare(lt, 2, "<!") == 0 || FText.compare(lt, 2, "</") == 0)) {
                if (FSvgDepth > 0 && StartsNoCase(FText, lt, "</svg>"))
                    --FSvgDepth;
                i = std::min(FText.find('>', lt) + 1, End);
                continue;
            }
            static const std::regex startTag(R"(<[A-Za-z][A-Za-z0-9-]*[\s/>])");
            if (!std::regex_search(FText.begin() + static_cast<std::ptrdiff_t>(lt),
                                   FText.begin() + static_cast<std::ptrdiff_t>(std::min(lt + 40, FText.size())), startTag,
                                   std::regex_constants::match_continuous)) {
                i = lt + 1;
                continue;
            }
            std::size_t nameEnd = lt + 1;
            while (IsNameChar(FText[nameEnd]))
                ++nameEnd;
            const std::string name = Lowered(FText.substr(lt + 1, nameEnd - lt - 1));
            const std::size_t after = Tag(lt, End, Elements && (FSvgDepth > 0 || name == "svg"));
            i = after;
            if (!Elements)
                continue;
            if (name == "svg" && FText[after - 2] != '/')
                ++FSvgDepth;
            if (name == "style" || name == "script" || name == "textarea" || name == "title" || name == "xmp") {
                std::size_t close = after;
                while ((close = FText.find("</", close)) != std::string::npos && !StartsNoCase(FText, close + 2, name))
                    close += 2;
                close = std::min(close, End);
                if (name == "style")
                    Css(after, close, true);
                else if (name == "script")
                    Markup(after, close, false);
                else
                    Elsewhere(after, close);
                i = close;
            }
        }
    }

    const std::string& FText;
    std::vector<TToken> FTokens;
    int FGroups = 0;
    int FSvgDepth = 0;  // of the svg elements open in the markup
};

// The colour of a value token as written; its alpha digits or alpha value.
struct TColourValue {
    TRGBColor Colour;
    std::string AlphaDigits;
    std::optional<std::string> Alpha;
};

TColourValue ReadValue(const std::string& Value)
{
    if (Value[0] == '#') {
        std::string d = Value.substr(1), alpha;
        if (d.size() == 4 || d.size() == 8) {
            alpha = d.size() == 4 ? std::string(2, d[3]) : d.substr(6);
            d.resize(d.size() == 4 ? 3 : 6);
        }
        if (d.size() == 3)
            d = {d[0], d[0], d[1], d[1], d[2], d[2]};
        for (char& c : alpha)
            c = c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c;
        return {{Hex2(d.substr(0, 2)), Hex2(d.substr(2, 2)), Hex2(d.substr(4, 2))}, alpha, {}};
    }
    if (Value.find('(') != std::string::npos) {
        std::string f = Value;
        f.erase(std::remove_if(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(f.find('(')), IsSpace),
                f.begin() + static_cast<std::ptrdiff_t>(f.find('(')));
        const auto function = ParseCssColorFunction(f);
        return {function->Color, "", function->HasAlpha ? std::optional<std::string>(std::string(function->Alpha)) : std::nullopt};
    }
    return {Names().at(Lowered(Value)), "", {}};
}

std::vector<int> Numbers(const std::string& s)
{
    static const std::regex number(R"(\d+(\.\d+)?)");
    std::vector<int> out;
    for (auto m = std::sregex_iterator(s.begin(), s.end(), number); m != std::sregex_iterator(); ++m)
        out.push_back(std::stoi(m->str()));
    return out;
}

struct TSiteResult {
    std::string Problem;
    int Converted = 0;  // colours in style that changed (an HSL group or "-rgb" parts count once)
    int Same = 0;       // colours in style that convert to themselves
    int Elsewhere = 0;  // colour-like tokens outside style, kept
};

TSiteResult CheckSite(const std::string& In, const std::string& Out, bool Page, const TColourAdjuster& Adjuster)
{
    TSiteResult result;
    const TSiteReader in(In, Page), out(Out, Page);
    if (in.Masked() != out.Masked()) {
        const std::string a = in.Masked(), b = out.Masked();
        const std::size_t at = static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
        result.Problem = "with colours masked the texts differ at \"" + a.substr(at, 60) + "\" against \"" + b.substr(at, 60) + "\"";
        return result;
    }
    const auto& tokens = in.Tokens();
    const auto& outTokens = out.Tokens();
    for (std::size_t k = 0; k < tokens.size() && result.Problem.empty(); ++k) {
        const TToken& t = tokens[k];
        const std::string was = in.Piece(t), is = out.Piece(outTokens[k]);
        const auto problem = [&](const std::string& What) {
            result.Problem = What + ": \"" + was + "\" came out as \"" + is + "\" near \"" + In.substr(t.Begin > 30 ? t.Begin - 30 : 0, 70) + "\"";
        };
        if (t.Role == TRole::Elsewhere) {
            if (is != was)
                problem("not style, but changed");
            ++result.Elsewhere;
            continue;
        }
        if (t.Form == TForm::HslPart)
            continue;
        if (t.Form == TForm::RgbParts) {
            const std::vector<int> v = Numbers(was);
            const TRGBColor from{v[0], v[1], v[2]};
            const TRGBColor to = Adjuster.Convert(from);
            std::string expected = was;
            const int channels[3] = {to.R, to.G, to.B};
            static const std::regex number(R"(\d+)");
            std::string rebuilt;
            std::size_t copied = 0;
            int n = 0;
            for (auto m = std::sregex_iterator(was.begin(), was.end(), number); m != std::sregex_iterator(); ++m) {
                rebuilt += was.substr(copied, static_cast<std::size_t>(m->position()) - copied) + std::to_string(channels[n++]);
                copied = static_cast<std::size_t>(m->position() + m->length());
            }
            if (!(from == to) && is != rebuilt)
                problem("wrong parts, expected \"" + rebuilt + "\"");
            else if (from == to && is != was)
                problem("parts of a colour that converts to itself changed");
            ++(from == to ? result.Same : result.Converted);
            continue;
        }
        const TColourValue value = ReadValue(was);
        const TRGBColor to = Adjuster.Convert(value.Colour);
        if (to == value.Colour) {
            if (is != was)
                problem("a colour that converts to itself changed");
            ++result.Same;
            continue;
        }
        const std::string expected =
            value.Alpha ? "rgba(" + std::to_string(to.R) + ", " + std::to_string(to.G) + ", " + std::to_string(to.B) + ", " + *value.Alpha + ")"
                        : HexColour(to) + value.AlphaDigits;
        if (is != expected)
            problem("expected \"" + expected + "\"");
        ++result.Converted;
    }
    for (const auto& group : in.HslGroups()) {
        if (!result.Problem.empty())
            break;
        const auto outGroups = out.HslGroups();
        const std::size_t index = static_cast<std::size_t>(group[0]->Group);
        long double was[3], is[3];
        for (int k = 0; k < 3; ++k) {
            was[k] = std::stold(in.Piece(*group[static_cast<std::size_t>(k)]));
            is[k] = std::stold(out.Piece(*outGroups[index][static_cast<std::size_t>(k)]));
        }
        const TRGBColor from = HslToRgb(was[0], was[1], was[2]);
        const TRGBColor to = Adjuster.Convert(from);
        const TRGBColor written = HslToRgb(is[0], is[1], is[2]);
        const bool same = from == to;
        bool texts = true;
        for (int k = 0; k < 3; ++k)
            texts = texts && in.Piece(*group[static_cast<std::size_t>(k)]) == out.Piece(*outGroups[index][static_cast<std::size_t>(k)]);
        // Parts written with their digits make the converted colour up to the rounding of the
        // parts: two units a channel.
        const bool close = std::abs(written.R - to.R) <= 2 && std::abs(written.G - to.G) <= 2 && std::abs(written.B - to.B) <= 2;
        if (same ? !texts : (texts || !close))
            result.Problem = "HSL parts at \"" + In.substr(group[0]->Begin, 60) + "\" came out as \"" + Out.substr(outGroups[index][0]->Begin, 60) + "\"";
        ++(same ? result.Same : result.Converted);
    }
    return result;
}

struct TSite {
    const char* Name;
    bool Page;
    int Converted;
    int Same;
    int Elsewhere;
};

// What the check reads in each file (each list was read through by eye): the colours in style
// that change at hue 120 (a "-rgb" triple or an HSL group counting once), those that convert to
// themselves (greys), and the colour-like tokens outside style -- in comments, a CSS string,
// @supports, scripts, JSON, page text, code samples, a textarea, other attributes (option
// values) and data that is no colour ("red darken-2", "Export the red rows"). The content of the
// theme-color meta and the fill of the inline SVG are style.
const TSite Sites[] = {
    {"framework.css", false, 94, 33, 5},
    {"hsl-theme.css", false, 34, 6, 1},
    {"docs-old.html", true, 51, 17, 63},
    {"app.html", true, 32, 6, 26},
};

TEST(ColourRewriterSites, EveryColourInStyleConvertedAndNothingElse)
{
    for (const TSite& site : Sites) {
        const std::string text = ReadFixture(site.Name);
        ASSERT_GT(text.size(), 3000u) << site.Name;
        EXPECT_EQ(LooksLikeHtml(text, DetectTextEncoding(text)), site.Page) << site.Name;
        TColourRewriter rewriter(120, 0, 0, {}, {}, {});
        const std::string out = rewriter.ReplaceAll(text);
        const TSiteResult r = CheckSite(text, out, site.Page, rewriter.Converter());
        EXPECT_EQ(r.Problem, "") << site.Name;
        EXPECT_EQ(r.Converted, site.Converted) << site.Name;
        EXPECT_EQ(r.Same, site.Same) << site.Name;
        EXPECT_EQ(r.Elsewhere, site.Elsewhere) << site.Name;
    }
}

TEST(ColourRewriterSites, OtherSettingsAndPairs)
{
    const std::vector<TRGBColor> before{{13, 110, 253}, {0, 0, 0}, {255, 255, 255}};
    const std::vector<TRGBColor> after{{111, 66, 193}, {33, 37, 41}, {248, 249, 250}};
    const bool adjust[] = {false, true, true};
    for (const TSite& site : Sites) {
        const std::string text = ReadFixture(site.Name);
        TColourRewriter rewriter(-45, 30, -20, before, after, adjust);
        const TSiteResult r = CheckSite(text, rewriter.ReplaceAll(text), site.Page, rewriter.Converter());
        EXPECT_EQ(r.Problem, "") << site.Name;
        EXPECT_EQ(r.Elsewhere, site.Elsewhere) << site.Name;
        EXPECT_EQ(r.Converted + r.Same, site.Converted + site.Same) << site.Name;
    }
}

TEST(ColourRewriterSites, NothingChangesWithEverySettingAtZero)
{
    TColourRewriter rewriter(0, 0, 0, {}, {}, {});
    for (const TSite& site : Sites) {
        const std::string text = ReadFixture(site.Name);
        EXPECT_EQ(rewriter.ReplaceAll(text), text) << site.Name;
    }
}

}  // namespace
