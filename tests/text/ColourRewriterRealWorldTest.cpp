// Whole pages and stylesheets as sites have them: only colour values may change, and each one
// that changes must become exactly the converted colour; one that converts to itself stays as
// it is written. The check reads the input's colour values on its own (names, hexadecimal,
// rgb()) and walks input and output side by side.

#include "text/ColourRewriter.h"

#include "colour/ColourAdjuster.h"
#include "text/NamedColours.h"
#include "text/CssColorFunction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
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

std::string Lowered(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

int HexValue(const std::string& s) { return static_cast<int>(std::stoul(s, nullptr, 16)); }

std::string Hex2(int v)
{
    static const char d[] = "0123456789ABCDEF";
    return {d[v >> 4], d[v & 15]};
}

class TColourReader {
public:
    TColourReader()
    {
        std::istringstream list{std::string(ColorListResource())};
        std::string name, value;
        while (std::getline(list, name) && std::getline(list, value)) {
            if (!name.empty() && name.back() == '\r')
                name.pop_back();
            FNames.emplace(name, TRGBColor{HexValue(value.substr(1, 2)), HexValue(value.substr(3, 2)),
                                           HexValue(value.substr(5, 2))});
        }
    }

    // A colour value as the input has it: the colour, and what follows the converted colour in
    // the output (alpha digits of a hexadecimal colour), or the alpha value of a function,
    // which comes back as rgba(). Nothing for a word that is no colour. A single-quoted
    // hexadecimal value keeps its quotes.
    struct TValue {
        TRGBColor Colour;
        std::string AlphaDigits;
        std::optional<std::string> Alpha;
    };
    std::optional<TValue> Read(std::string Value) const
    {
        if (Value.front() == '\'' && Value.back() == '\'')
            Value = Value.substr(1, Value.size() - 2);
        if (Value[0] == '#') {
            std::string d = Value.substr(1);
            std::string alpha;
            if (d.size() == 4 || d.size() == 8) {
                alpha = d.size() == 4 ? std::string(2, d[3]) : d.substr(6);
                d.resize(d.size() == 4 ? 3 : 6);
            }
            if (d.size() == 3)
                d = {d[0], d[0], d[1], d[1], d[2], d[2]};
            if (d.size() != 6)
                return std::nullopt;
            return TValue{{HexValue(d.substr(0, 2)), HexValue(d.substr(2, 2)), HexValue(d.substr(4, 2))}, Upper(alpha), {}};
        }
        static const std::regex classic(R"(rgb\(\s*(\d+)(%?)\s*,\s*(\d+)(%?)\s*,\s*(\d+)(%?)\s*\))", std::regex::icase);
        std::smatch m;
        if (std::regex_match(Value, m, classic)) {
            int v[3];
            for (int k = 0; k < 3; ++k) {
                const int n = std::stoi(m[1 + 2 * k].str());
                v[k] = m[2 + 2 * k].length() ? static_cast<int>(std::nearbyint(n * 255 / 100.0L)) : n;
            }
            return TValue{{v[0], v[1], v[2]}, "", {}};
        }
        if (Value.find('(') != std::string::npos) {
            const auto f = ParseCssColorFunction(Value);
            if (!f)
                return std::nullopt;
            return TValue{f->Color, "", f->HasAlpha ? std::optional<std::string>(std::string(f->Alpha)) : std::nullopt};
        }
        const auto it = FNames.find(Lowered(Value));
        if (it == FNames.end())
            return std::nullopt;
        return TValue{it->second, "", {}};
    }

    // The three numbers of "-rgb: R, G, B".
    std::optional<TValue> ReadParts(const std::string& Value) const
    {
        static const std::regex number(R"(\d+)");
        int v[3];
        int k = 0;
        for (auto n = std::sregex_iterator(Value.begin(), Value.end(), number); n != std::sregex_iterator() && k < 3; ++n)
            v[k++] = std::stoi(n->str());
        if (k != 3 || v[0] > 255 || v[1] > 255 || v[2] > 255)
            return std::nullopt;
        return TValue{{v[0], v[1], v[2]}, "", {}};
    }

private:
    static std::string Upper(std::string s)
    {
        for (char& c : s)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        return s;
    }
    std::map<std::string, TRGBColor> FNames;
};

struct TComparison {
    int Converted = 0;
    int Same = 0;                        // colours that convert to themselves, kept as written
    std::vector<std::string> Unchanged;  // colour values left as they were, in order
    std::string Problem;                 // the first place where the output is wrong
    std::vector<TRGBColor> From;         // each converted colour as it was
    std::vector<TRGBColor> To;           // and as it came out
    std::vector<std::string> Alpha;      // alpha values of functions, as written
};

TComparison Compare(const std::string& In, const std::string& Out, const TColourAdjuster& Adjuster)
{
    static const TColourReader reader;
    // The parts of a colour in a custom property ("--x-rgb: 13, 110, 253") count as one colour,
    // written back in the same form.
    static const std::regex value(R"(-rgb\s*:\s*\d{1,3}\s*,\s*\d{1,3}\s*,\s*\d{1,3}|'#[0-9A-Fa-f]+'|#[0-9A-Fa-f]+|(rgba?|hsla?)\([^)]*\)|[A-Za-z]+)", std::regex::icase);
    static const std::regex number(R"(\d+)");
    TComparison result;
    std::size_t i = 0;
    std::size_t o = 0;
    const auto context = [&] { return " at input byte " + std::to_string(i) + ": \"" + In.substr(i, 40) + "\""; };
    for (auto m = std::sregex_iterator(In.begin(), In.end(), value); m != std::sregex_iterator(); ++m) {
        const std::string found = m->str();
        const bool parts = found.front() == '-';
        const auto colour = parts ? reader.ReadParts(found) : reader.Read(found);
        if (!colour)
            continue;
        const std::size_t at = static_cast<std::size_t>(m->position());
        // A colour word inside a longer name ("sw-aliceblue", "new-red.gif") is no value.
        const auto joins = [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' || c == '/';
        };
        const std::size_t end = at + found.size();
        if (found.find('(') == std::string::npos && std::isalpha(static_cast<unsigned char>(found[0])) &&
            ((at > 0 && joins(In[at - 1])) || (end < In.size() && joins(In[end]))))
            continue;
        if (Out.compare(o, at - i, In, i, at - i) != 0) {
            result.Problem = "text changed" + context();
            return result;
        }
        o += at - i;
        i = at;
        const TRGBColor c = Adjuster.Convert(colour->Colour);
        if (c == colour->Colour) {
            if (Out.compare(o, found.size(), found) != 0) {
                result.Problem = "a colour that converts to itself changed" + context();
                return result;
            }
            ++result.Same;
            o += found.size();
            i += found.size();
            continue;
        }
        std::string expected =
            colour->Alpha ? "rgba(" + std::to_string(c.R) + ", " + std::to_string(c.G) + ", " + std::to_string(c.B) +
                                ", " + *colour->Alpha + ")"
                          : "#" + Hex2(c.R) + Hex2(c.G) + Hex2(c.B) + colour->AlphaDigits;
        if (found.front() == '\'')
            expected = "'" + expected + "'";
        if (parts) {
            const int channels[3] = {c.R, c.G, c.B};
            expected.clear();
            std::size_t from = 0;
            int k = 0;
            for (auto n = std::sregex_iterator(found.begin(), found.end(), number); n != std::sregex_iterator(); ++n) {
                expected += found.substr(from, static_cast<std::size_t>(n->position()) - from) + std::to_string(channels[k++]);
                from = static_cast<std::size_t>(n->position() + n->length());
            }
        }
        if (Out.compare(o, expected.size(), expected) == 0) {
            ++result.Converted;
            result.From.push_back(colour->Colour);
            result.To.push_back(c);
            result.Alpha.push_back(colour->Alpha.value_or(""));
            o += expected.size();
        } else if (Out.compare(o, found.size(), found) == 0) {
            result.Unchanged.push_back(found);
            o += found.size();
        } else {
            result.Problem = "wrong colour, expected " + expected + context();
            return result;
        }
        i += found.size();
    }
    if (Out.compare(o, std::string::npos, In, i, std::string::npos) != 0)
        result.Problem = "text changed after the last colour" + context();
    return result;
}

// Every colour of the page's tags, style attributes and style elements is converted; these are
// left: comments, scripts and the text of the page. The page has 410 colour values, 92 of them
// greys, which convert to themselves at hue 120 and keep their spelling; so 293 are converted.
const std::vector<std::string> SiteUnchanged = {
    "navy", "#336699", "#f0f0e8",               // a comment in the head
    "red",                                      // .quote { content: "red" }
    "#336699", "'#ff6600'", "#ffffcc",           // the script in the head ("black" is a grey)
    "red", "red", "blue", "green",
    "red",                                      // href="color.html?color=red&amp;size=l"
    "red", "#FF0000", "orange", "gold", "olive", "teal", "steelblue", "plum", "chocolate",  // table text
    "#FFCCCC", "#CCFFCC", "#CCCCFF",
    "red",                                      // {color: red; background: #fff} in the text of a note
};

TEST(ColourRewriterRealWorld, PageOnlyColoursChange)
{
    const std::string page = ReadFixture("site.html");
    ASSERT_GT(page.size(), 10000u);
    TColourRewriter rewriter(120, 0, 0, {}, {}, {});
    const std::string out = rewriter.ReplaceAll(page);
    const TComparison c = Compare(page, out, rewriter.Converter());
    EXPECT_EQ(c.Problem, "");
    EXPECT_EQ(c.Converted, 293);
    EXPECT_EQ(c.Same, 92);
    EXPECT_EQ(c.Unchanged, SiteUnchanged);
    // A few places read by eye.
    EXPECT_NE(out.find("<p class=\"note\">※ 画面の色は実物と異なる場合があります。色の指定例: {color: red; background: #fff}</p>"),
              std::string::npos);
    EXPECT_NE(out.find("var siteColors = { main: \"#336699\", accent: '#ff6600', text: \"black\" };"), std::string::npos);
    EXPECT_NE(out.find(".sprite{background:url(data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7) no-repeat silver}"),
              std::string::npos);
    EXPECT_NE(out.find("<font color='#00CC33'>2008/03/01</font>"), std::string::npos);
}

TEST(ColourRewriterRealWorld, ShiftJISPageLikeItsUTF8Twin)
{
    const std::string page = ReadFixture("site-sjis.html");
    ASSERT_GT(page.size(), 10000u);
    ASSERT_EQ(DetectTextEncoding(page), TTextEncoding::ShiftJIS);
    TColourRewriter rewriter(120, 0, 0, {}, {}, {});
    const TComparison c = Compare(page, rewriter.ReplaceAll(page), rewriter.Converter());
    EXPECT_EQ(c.Problem, "");
    EXPECT_EQ(c.Converted, 293);
    EXPECT_EQ(c.Same, 92);
    EXPECT_EQ(c.Unchanged, SiteUnchanged);
}

TEST(ColourRewriterRealWorld, StylesheetOnlyColoursChange)
{
    const std::string sheet = ReadFixture("base.css");
    TColourRewriter rewriter(-90, 20, -10, {}, {}, {});
    const std::string out = rewriter.ReplaceAll(sheet);
    const TComparison c = Compare(sheet, out, rewriter.Converter());
    EXPECT_EQ(c.Problem, "");
    // Of its 108 colour values, six are black, which stays black; four are no style.
    EXPECT_EQ(c.Converted, 98);
    EXPECT_EQ(c.Same, 6);
    const std::vector<std::string> unchanged = {
        "#336699", "#ff6600", "#f0f0e8",  // the comment at the top
        "red",                            // content: "error: red "
    };
    EXPECT_EQ(c.Unchanged, unchanged);
}

// With no shift at all every colour converts to itself and nothing changes (the rewriter used to
// write each colour as "#RRGGBB").
TEST(ColourRewriterRealWorld, NothingChangesWithoutAShift)
{
    TColourRewriter rewriter(0, 0, 0, {}, {}, {});
    for (const char* name : {"site.html", "site-sjis.html", "base.css", "modern.css"}) {
        const std::string text = ReadFixture(name);
        EXPECT_EQ(rewriter.ReplaceAll(text), text) << name;
    }
}

// A stylesheet in the manner of current CSS frameworks: custom properties, rgba() shadows,
// hsl() themes, the space-separated forms, decimals and percentages, minified rules.
TEST(ColourRewriterRealWorld, ModernStylesheetThereAndBack)
{
    const std::string sheet = ReadFixture("modern.css");
    TColourRewriter there(120, 0, 0, {}, {}, {});
    TColourRewriter back(-120, 0, 0, {}, {}, {});
    const std::string once = there.ReplaceAll(sheet);
    const std::string twice = back.ReplaceAll(once);

    // Every colour value is touched by the first conversion, and nothing else changes: of 648
    // colour values and eight colours in "-rgb" parts, 100 are greys that stay as written, 149
    // of the others have an alpha value.
    const TComparison first = Compare(sheet, once, there.Converter());
    EXPECT_EQ(first.Problem, "");
    EXPECT_EQ(first.Unchanged, std::vector<std::string>{});
    EXPECT_EQ(first.Converted, 556);
    EXPECT_EQ(first.Same, 100);
    EXPECT_EQ(std::count_if(first.Alpha.begin(), first.Alpha.end(), [](const std::string& a) { return !a.empty(); }), 149);
    const TComparison second = Compare(once, twice, back.Converter());
    EXPECT_EQ(second.Problem, "");
    EXPECT_EQ(second.Unchanged, std::vector<std::string>{});
    ASSERT_EQ(second.Converted, first.Converted);

    // Back where it started, within one unit per channel, alpha values as written.
    int moved = 0;
    for (std::size_t k = 0; k < first.From.size(); ++k) {
        const TRGBColor a = first.From[k];
        const TRGBColor b = second.To[k];
        if (std::abs(a.R - b.R) > 1 || std::abs(a.G - b.G) > 1 || std::abs(a.B - b.B) > 1)
            ++moved;
        EXPECT_EQ(second.Alpha[k], first.Alpha[k]);
    }
    EXPECT_EQ(moved, 0);
}

}  // namespace
