// What the rewriter finds directly -- the tags with colour attributes (CollectColourTags) and
// the classic rgb() functions (FindClassicRgbFunction) -- is exactly what its tag and rgb
// commands find on the matcher, in every encoding: cases written by hand for the corners of the
// commands, and many texts put together from the pieces that decide a match.

#include "text/ColourRewriter.h"
#include "text/CssScanner.h"
#include "text/HtmlScanner.h"
#include "text/Matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr auto SJIS = TTextEncoding::ShiftJIS;
constexpr auto UTF8 = TTextEncoding::UTF8;
constexpr auto EUCJP = TTextEncoding::EUCJP;

const std::string Kelvin = "\xE2\x84\xAA";  // U+212A, a capital K to Unicode case folding
const std::string LongS = "\xC5\xBF";       // U+017F, an s to Unicode case folding

std::vector<TTextSpan> WithMatcher(std::string_view Text, TTextEncoding Encoding,
                                   const std::function<bool(const TTextSpan&)>& Accept = {})
{
    TMatcher matcher;
    return CollectMatches(matcher, TColourRewriter::TagsCommand, Text, Encoding, '<', '>', Accept);
}

std::string Describe(std::string_view Text, const std::vector<TTextSpan>& Spans)
{
    std::string out;
    for (const TTextSpan& s : Spans)
        out += "[" + std::string(Text.substr(s.Begin, s.End - s.Begin)) + "]";
    return out;
}

struct THandCase {
    const char* What;
    std::string Text;
    TTextEncoding Encoding;
    std::vector<std::string> Tags;  // the tags found, in order
};

TEST(ColourTags, HandWrittenCases)
{
    const std::string po = "\x83\x7C";   // Shift-JIS katakana PO, second byte "|"
    const std::string iro = "\x90\x46";  // Shift-JIS kanji "colour", second byte "F"
    const std::string sjisS = "\x83\x73";  // Shift-JIS katakana PI, second byte "s"
    const std::vector<THandCase> cases = {
        {"plain font tag", "<p>x <font color=\"red\">y</font>", UTF8, {"<font color=\"red\">"}},
        {"any case, spaces around =", "<BODY BgColor = #fff\nText=black>", SJIS, {"<BODY BgColor = #fff\nText=black>"}},
        {"no space before the name", "<font\tcolor=red><b>color=red</b>", SJIS, {"<font\tcolor=red>"}},
        {"a declaration is no tag", "<!DOCTYPE html color=x>", SJIS, {}},
        {"a comment's inner tag is", "<!-- <font color=\"red\"> -->", SJIS, {"<font color=\"red\">"}},
        {"name without =", "<td color bgcolor=blue>", SJIS, {"<td color bgcolor=blue>"}},
        {"longest name after a shorter", "<table bordercolordark=#000>", SJIS, {"<table bordercolordark=#000>"}},
        {"name as a prefix only", "<td colorx=1 xcolor=2>", SJIS, {}},
        {"second character may be > or <", "<> color=red>", SJIS, {"<> color=red>"}},
        {"< right after <", "<< color=red>", SJIS, {"<< color=red>"}},
        {"the white space needs a character before it", "< color=red>", SJIS, {}},
        {"... two spaces give one", "<  color=red>", SJIS, {"<  color=red>"}},
        {"> inside a quoted value ends the tag", "<a style=\"a>b\" color=red>", SJIS, {"<a style=\"a>"}},
        {"a < before the name ends the search", "<a <b color=red>", SJIS, {"<b color=red>"}},
        {"no > after the =", "<font color=red", SJIS, {}},
        {"the match runs over newlines", "<font\ncolor\n=\n'red'\n>", SJIS, {"<font\ncolor\n=\n'red'\n>"}},
        {"vertical tab and form feed are white space", "<font\vcolor\f=red>", SJIS, {"<font\vcolor\f=red>"}},
        {"NBSP is no white space", "<font\xC2\xA0" "color=red>", UTF8, {}},
        {"Kelvin sign in link (UTF-8)", "<body lin" + Kelvin + "=red>", UTF8, {"<body lin" + Kelvin + "=red>"}},
        {"long s in style (UTF-8)", "<p " + LongS + "tyle=\"color:red\">", UTF8, {"<p " + LongS + "tyle=\"color:red\">"}},
        {"Kelvin sign is no k in EUC-JP", "<body lin" + Kelvin + "=red>", EUCJP, {}},
        {"Shift-JIS trail byte | before the space", "<" + po + " color=" + iro + ">", SJIS, {"<" + po + " color=" + iro + ">"}},
        {"Shift-JIS trail byte s is no name", "<p" + sjisS + "tyle=x " + "style=y>", SJIS, {"<p" + sjisS + "tyle=x style=y>"}},
        {"two tags", "<td bgcolor=red><td bgcolor=blue>", EUCJP, {"<td bgcolor=red>", "<td bgcolor=blue>"}},
    };
    for (const THandCase& c : cases) {
        const std::vector<TTextSpan> direct = CollectColourTags(c.Text, c.Encoding);
        std::vector<std::string> tags;
        for (const TTextSpan& s : direct)
            tags.push_back(c.Text.substr(s.Begin, s.End - s.Begin));
        EXPECT_EQ(tags, c.Tags) << c.What;
        EXPECT_EQ(Describe(c.Text, direct), Describe(c.Text, WithMatcher(c.Text, c.Encoding))) << c.What;
    }
}

TEST(ColourTags, InvalidUTF8IsRefusedAsTheMatcherRefusesIt)
{
    const struct {
        std::string Text;
        bool Refused;
    } cases[] = {
        {"<font color=red>\xFF", true},
        {"\xC3<b>", true},
        {"no tag here \xFF", false},
        {"\xFF only a < without its end", false},
        {"a > before < \xFF", false},
    };
    for (const auto& c : cases) {
        bool direct = false, matcher = false;
        try {
            CollectColourTags(c.Text, UTF8);
        } catch (const EMatcherError&) {
            direct = true;
        }
        try {
            WithMatcher(c.Text, UTF8);
        } catch (const EMatcherError&) {
            matcher = true;
        }
        EXPECT_EQ(direct, c.Refused) << c.Text;
        EXPECT_EQ(matcher, c.Refused) << c.Text;
    }
}

// Pages made of the pieces that decide a match, in every encoding, with and without a filter
// that refuses some of the tags (as the rewriter refuses those in style and script elements).
TEST(ColourTags, AgreesWithTheMatcherOnManyPages)
{
    const std::vector<std::string> common = {
        "<", "<", "<", ">", ">", "<!", "!", " ", " ", "\t", "\n", "\r\n", "\f", "=", "=", "\"", "'",
        "color", "COLOR", "bgcolor", "BgColor", "bordercolor", "bordercolordark", "bordercolorlight",
        "text", "link", "alink", "vlink", "style", "Style", "colo", "styl", "x", "font", "td", "a",
        "#fff", "red", "rgb(1, 2, 3)", "/", "-->", "<!--", "<p>", "</p>"};
    const std::vector<std::string> utf8 = {"\xE8\x89\xB2", "\xC3\xA9", Kelvin, LongS, "lin" + Kelvin,
                                           LongS + "tyle", "\xC2\xA0"};
    const std::vector<std::string> sjis = {"\x83\x7C", "\x90\x46", "\x83\x73", "\x83\x41", "\xB1",
                                           "\x82\xA0", "\x81"};
    const std::vector<std::string> eucjp = {"\xBF\xA7", "\xA4\xA2", "\x8E\xB1"};
    const struct {
        TTextEncoding Encoding;
        const std::vector<std::string>* Own;
    } encodings[] = {{UTF8, &utf8}, {SJIS, &sjis}, {EUCJP, &eucjp}};

    const std::vector<std::string> spaces = {" ", "\t", "\n", "\r", "\v", "\f", "", "x"};
    const std::vector<std::string> allNames = {"color", "bgColor", "BORDERCOLOR", "bordercolordark", "bordercolorlight",
                                            "text", "link", "alink", "vlink", "style", "href", "colour"};
    std::mt19937 random(20261209);
    int pages = 0, tags = 0;
    for (const auto& e : encodings) {
        std::vector<std::string> pieces = common;
        pieces.insert(pieces.end(), e.Own->begin(), e.Own->end());
        std::vector<std::string> names = allNames;
        if (e.Encoding == UTF8)
            names.insert(names.end(), {"lin" + Kelvin, LongS + "tyle", "bordercolordar" + Kelvin});
        for (int page = 0; page < 1500; ++page) {
            std::string text;
            const int length = 1 + static_cast<int>(random() % 40);
            const auto piece = [&](const std::vector<std::string>& From) { return From[random() % From.size()]; };
            for (int k = 0; k < length; ++k) {
                if (random() % 3 != 0) {
                    text += piece(pieces);
                    continue;
                }
                // Something with the shape of a tag, often one the command finds.
                text += "<" + piece({"font", "td", "body", "!x", "", " ", "p"});
                for (int a = static_cast<int>(random() % 3); a >= 0; --a)
                    text += piece(spaces) + piece(names) + piece({"", " ", "\n"}) + piece({"=", "=", ""}) +
                            piece({"", " "}) + piece(pieces);
                text += piece({">", ">", "", "/>"});
            }
            const auto refuseOdd = [](const TTextSpan& Tag) { return Tag.Begin % 2 == 0; };
            for (const bool filter : {false, true}) {
                std::vector<TTextSpan> direct, matched;
                std::function<bool(const TTextSpan&)> accept;
                if (filter)
                    accept = refuseOdd;
                try {
                    direct = CollectColourTags(text, e.Encoding, accept);
                    matched = WithMatcher(text, e.Encoding, accept);
                } catch (const EMatcherError& error) {
                    ADD_FAILURE() << error.Message() << " for " << text;
                    continue;
                }
                ASSERT_EQ(Describe(text, direct), Describe(text, matched)) << text;
                tags += static_cast<int>(direct.size());
            }
            ++pages;
        }
    }
    // The pieces make tags often enough for the comparison to mean something.
    EXPECT_GT(tags, pages / 2);
}

// The first classic rgb() function of Text as the rgb command finds it on the matcher, as
// "[function]", or "-" for none.
std::string RgbWithMatcher(const std::string& Text, TTextEncoding Encoding)
{
    TMatcher matcher;
    if (!matcher.Match(TColourValueConverter::RgbFunctionCommand, Text, Encoding))
        return "-";
    return "[" + Text.substr(matcher.MatchPos() - 1, matcher.MatchLength()) + "]";
}

std::string RgbDirect(const std::string& Text, TTextEncoding Encoding)
{
    std::size_t begin = 0, length = 0;
    if (!FindClassicRgbFunction(Text, Encoding, begin, length))
        return "-";
    return "[" + Text.substr(begin, length) + "]";
}

TEST(RgbFunctions, HandWrittenCases)
{
    const std::string po = "\x83r";  // a Shift-JIS double-byte character whose second byte is "r"
    const struct {
        std::string Text;
        TTextEncoding Encoding;
        std::string Found;
    } cases[] = {
        {"rgb(1,2,3)", SJIS, "[rgb(1,2,3)]"},
        {"color: RGB ( 10 % , 20%,\t255 ) ;", SJIS, "[RGB ( 10 % , 20%,\t255 )]"},
        {"rgb(1,2,3", SJIS, "-"},
        {"rgb(1000,2,3) rgb(4,5,6)", SJIS, "[rgb(4,5,6)]"},
        {"rgb(1.5,2,3)", SJIS, "-"},
        {"rgb(1 2 3)", SJIS, "-"},
        {"xrgb(1,2,3)", SJIS, "[rgb(1,2,3)]"},
        {"rgbrgb(1,2,3)", UTF8, "[rgb(1,2,3)]"},
        {"rgb(1,2,3%%)", EUCJP, "-"},
        {"rgb(\n1\v,\f2\r,3\n)", UTF8, "[rgb(\n1\v,\f2\r,3\n)]"},
        {po + "gb(1,2,3)", SJIS, "-"},
        {po + "gb(1,2,3)", EUCJP, "[rgb(1,2,3)]"},
        {po + "gb(1,2,3) rgb(7,8,9)", SJIS, "[rgb(7,8,9)]"},
        {"\xE8\x89\xB2 rgb(0, 0, 0)", UTF8, "[rgb(0, 0, 0)]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RgbDirect(c.Text, c.Encoding), c.Found) << c.Text;
        EXPECT_EQ(RgbWithMatcher(c.Text, c.Encoding), c.Found) << c.Text;
    }
}

TEST(RgbFunctions, AgreeWithTheMatcherOnManyValues)
{
    const std::vector<std::string> pieces = {"rgb", "RGB", "rGb", "rgb", "r", "gb", "(", "(", ")", ")", ",", ",",
                                             " ", "\t", "\n", "%", "0", "1", "25", "255", "256", "1000", ".",
                                             "a", "-", "#fff", "rgba", "\x83", "\xE8\x89\xB2", "\xA4\xA2"};
    std::mt19937 random(9120612);
    int found = 0, texts = 0;
    for (const TTextEncoding encoding : {SJIS, UTF8, EUCJP}) {
        for (int n = 0; n < 4000; ++n) {
            std::string text;
            const int length = 1 + static_cast<int>(random() % 24);
            const auto piece = [&] {
                std::string p = pieces[random() % pieces.size()];
                if (encoding == UTF8 && p == "\x83")
                    p = "\xC3\xA9";  // pieces of UTF-8 text stay valid UTF-8
                if (encoding == UTF8 && p == "\xA4\xA2")
                    p = "\xE3\x81\x82";
                return p;
            };
            for (int k = 0; k < length; ++k) {
                if (random() % 4 == 0) {
                    // Something with the shape of a function, often one the command finds.
                    text += "rgb(" + std::to_string(random() % 300) + piece() + "," + std::to_string(random() % 300) +
                            " , " + std::to_string(random() % 300) + ")";
                    continue;
                }
                text += piece();
            }
            const std::string direct = RgbDirect(text, encoding);
            ASSERT_EQ(direct, RgbWithMatcher(text, encoding)) << text;
            found += direct != "-";
            ++texts;
        }
    }
    EXPECT_GT(found, texts / 4);
}

}  // namespace
