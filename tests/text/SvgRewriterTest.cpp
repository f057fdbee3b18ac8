// SVG documents through the rewriter: which places of the markup are style (presentation
// attributes, style attributes, the style sheets of style elements) and which are not
// (comments, processing instructions, the doctype, CDATA outside style, script code, text, other
// attributes), one construct a case; markup that cannot be read is refused, never half done.
//
// Expected colours are those of a hue turn of 120 degrees on the primary and secondary colours,
// which need no arithmetic: red to lime, lime to blue, blue to red, yellow to aqua, aqua to
// fuchsia, fuchsia to yellow; greys stay.

#include "text/ColourRewriter.h"
#include "text/SvgScanner.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Svg(std::string_view Text, int Hue = 120)
{
    TColourRewriter r(Hue, 0, 0, {}, {}, {});
    return r.ReplaceSvg(Text);
}

struct TSvgCase {
    const char* Name;
    const char* In;
    const char* Out;  // nullptr: the same as In
};

class SvgConstructTest : public ::testing::TestWithParam<TSvgCase> {};

TEST_P(SvgConstructTest, ConvertsOnlyStyle)
{
    const TSvgCase& c = GetParam();
    EXPECT_EQ(Svg(c.In), c.Out ? c.Out : c.In) << c.Name;
}

const TSvgCase ConstructCases[] = {
    {"fill hex", R"~(<rect fill="#ff0000"/>)~", R"~(<rect fill="#00FF00"/>)~"},
    {"fill short hex", R"~(<rect fill="#f00"/>)~", R"~(<rect fill="#00FF00"/>)~"},
    {"stroke name", R"~(<path stroke="blue" d="M0 0"/>)~", R"~(<path stroke="#FF0000" d="M0 0"/>)~"},
    {"single quotes", R"~(<path stroke='yellow'/>)~", R"~(<path stroke='#00FFFF'/>)~"},
    {"spaces around =", "<circle fill = \"#00ff00\"\n r=\"4\"/>", "<circle fill = \"#0000FF\"\n r=\"4\"/>"},
    {"stop-color", R"~(<stop offset="0" stop-color="rgb(255,0,0)"/>)~", R"~(<stop offset="0" stop-color="#00FF00"/>)~"},
    {"flood-color", R"~(<feFlood flood-color="aqua" flood-opacity=".5"/>)~",
     R"~(<feFlood flood-color="#FF00FF" flood-opacity=".5"/>)~"},
    {"lighting-color", R"~(<feDiffuseLighting lighting-color="#FF00FF"/>)~",
     R"~(<feDiffuseLighting lighting-color="#FFFF00"/>)~"},
    {"color", R"~(<g color="red"><rect fill="currentColor"/></g>)~", R"~(<g color="#00FF00"><rect fill="currentColor"/></g>)~"},
    {"rgba keeps alpha", R"~(<rect fill="rgba(0, 0, 255, 0.5)"/>)~", R"~(<rect fill="rgba(255, 0, 0, 0.5)"/>)~"},
    {"url with fallback", R"~(<rect fill="url(#red) #0000ff"/>)~", R"~(<rect fill="url(#red) #FF0000"/>)~"},
    {"keywords stay", R"~(<rect fill="none" stroke="inherit" color="currentColor"/>)~", nullptr},
    {"url reference stays", R"~(<rect fill="url(#grad-ff0000)"/>)~", nullptr},
    {"grey stays as written", R"~(<rect fill="#808080" stroke="gray"/>)~", nullptr},
    {"other attributes stay", R"~(<rect id="red" class="blue" data-c="#ff0000" opacity="1"/>)~", nullptr},
    {"style attribute", R"~(<rect style="fill:#ff0000;stroke:blue;stroke-width:2"/>)~",
     R"~(<rect style="fill:#00FF00;stroke:#FF0000;stroke-width:2"/>)~"},
    {"style attribute single quotes", R"~(<rect style='fill: lime; font-family: "Red Hat"'/>)~",
     R"~(<rect style='fill: #0000FF; font-family: "Red Hat"'/>)~"},
    {"style element", "<style>.a{fill:#ff0000}.b{stroke:blue}</style>", "<style>.a{fill:#00FF00}.b{stroke:#FF0000}</style>"},
    {"style element in CDATA", "<style type=\"text/css\"><![CDATA[\n.st0{fill:#FFFF00;}\n]]></style>",
     "<style type=\"text/css\"><![CDATA[\n.st0{fill:#00FFFF;}\n]]></style>"},
    {"comment inside style stays", "<style><!-- .x{fill:red} -->.y{fill:red}</style>",
     "<style><!-- .x{fill:red} -->.y{fill:#00FF00}</style>"},
    {"prefixed style element", "<svg:style>.a{fill:red}</svg:style><svg:rect fill=\"red\"/>",
     "<svg:style>.a{fill:#00FF00}</svg:style><svg:rect fill=\"#00FF00\"/>"},
    {"comment", "<!-- fill=\"#ff0000\" <rect fill=\"red\"/> --><rect fill=\"red\"/>",
     "<!-- fill=\"#ff0000\" <rect fill=\"red\"/> --><rect fill=\"#00FF00\"/>"},
    {"processing instruction", "<?xml version=\"1.0\"?><?xml-stylesheet href=\"a.css\" fill=\"red\"?><rect fill=\"red\"/>",
     "<?xml version=\"1.0\"?><?xml-stylesheet href=\"a.css\" fill=\"red\"?><rect fill=\"#00FF00\"/>"},
    {"doctype with internal subset",
     "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\" [\n<!ENTITY red \"<rect fill='red'/>\">\n"
     "<!-- ] > -->\n]><svg><rect fill=\"red\"/></svg>",
     "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\" [\n<!ENTITY red \"<rect fill='red'/>\">\n"
     "<!-- ] > -->\n]><svg><rect fill=\"#00FF00\"/></svg>"},
    {"CDATA outside style", "<text><![CDATA[ <rect fill=\"red\"/> .a{fill:red} ]]></text>", nullptr},
    {"script", "<script><![CDATA[ el.setAttribute('fill', '#ff0000'); if (a < b) {} ]]></script>", nullptr},
    {"script without CDATA", "<script>var c = {fill: 'red'};</script>", nullptr},
    {"text", "<text x=\"1\">fill: red; #ff0000 { color: blue }</text>", nullptr},
    {"title", "<title>Red {fill:red}</title>", nullptr},
    {"entity in value stays", R"~(<rect fill="&#x23;ff0000" stroke="red&#59;" style="fill:red;font-family:&quot;A&quot;"/>)~",
     nullptr},
    {"prefixed attribute stays", R"~(<rect svg:fill="red" xlink:href="#red"/>)~", nullptr},
    {"upper-case attribute stays", R"~(<rect FILL="red"/>)~", nullptr},
    {"> in a quoted value", R"~(<rect data-x="a>b" fill="red"/>)~", R"~(<rect data-x="a>b" fill="#00FF00"/>)~"},
    {"unclosed elements", "<svg><g><rect fill=\"red\">", "<svg><g><rect fill=\"#00FF00\">"},
};

INSTANTIATE_TEST_SUITE_P(Constructs, SvgConstructTest, ::testing::ValuesIn(ConstructCases));

struct TBrokenCase {
    const char* Name;
    const char* In;
};

class SvgBrokenTest : public ::testing::TestWithParam<TBrokenCase> {};

TEST_P(SvgBrokenTest, IsRefused)
{
    const TBrokenCase& c = GetParam();
    EXPECT_THROW(Svg(c.In), ESvgSyntax) << c.Name;
}

const TBrokenCase BrokenCases[] = {
    {"stray <", "<svg><text>a < b</text><rect fill=\"red\"/></svg>"},
    {"< at the end", "<svg><rect fill=\"red\"/><"},
    {"tag cut off", "<svg><rect fill=\"red\"/><rect fill=\"red\""},
    {"value does not close", "<svg><rect fill=\"red/></svg>"},
    {"value without quotes", "<svg><rect fill=red/></svg>"},
    {"attribute without value", "<svg><rect hidden fill=\"red\"/></svg>"},
    {"< inside a value", "<svg><rect title=\"<\" fill=\"red\"/></svg>"},
    {"comment does not close", "<svg><!-- <rect fill=\"red\"/></svg>"},
    {"CDATA does not close", "<svg><style><![CDATA[ .a{fill:red} </style></svg>"},
    {"processing instruction does not close", "<?xml version=\"1.0\"<svg/>"},
    {"doctype does not close", "<!DOCTYPE svg [ <!ENTITY a \"b\"> <svg/>"},
    {"end tag does not close", "<svg><g></g</svg>"},
    {"attributes run together", "<svg><rect fill=\"red\"stroke=\"blue\"/></svg>"},
};

INSTANTIATE_TEST_SUITE_P(Markup, SvgBrokenTest, ::testing::ValuesIn(BrokenCases));

// Style element contents met in several pieces: text, CDATA and text again, each a style sheet.
TEST(SvgScannerTest, StyleSheetPieces)
{
    const std::string text = "<style>.a{fill:red}<![CDATA[.b{fill:red}]]><!--c-->.d{}</style><text>.e{}</text>";
    const std::vector<TSvgPlace> places = ReadSvgPlaces(text, TTextEncoding::UTF8);
    std::vector<std::string> sheets;
    for (const TSvgPlace& p : places) {
        EXPECT_EQ(p.Kind, TSvgPlaceKind::spStyleSheet);
        sheets.push_back(text.substr(p.Span.Begin, p.Span.End - p.Span.Begin));
    }
    EXPECT_EQ(sheets, (std::vector<std::string>{".a{fill:red}", ".b{fill:red}", ".d{}"}));
}

// In Shift-JIS a "]" can be the second byte of a character: a CDATA section in a style element
// whose text holds one ("ソ" is 0x83 0x5C, "ー" 0x81 0x5B, "ゼ" 0x83 0x5D) does not end there.
TEST(SvgScannerTest, ShiftJisTrailBytesEndNoSection)
{
    const std::string text = "<style><![CDATA[/* \x83\x5D]> */ .a{fill:red} ]]></style>";
    TColourRewriter r(120, 0, 0, {}, {}, {});
    const std::vector<TSvgPlace> places = ReadSvgPlaces(text, TTextEncoding::ShiftJIS);
    ASSERT_EQ(places.size(), 1u);
    EXPECT_EQ(text.substr(places[0].Span.Begin, places[0].Span.End - places[0].Span.Begin),
              "/* \x83\x5D]> */ .a{fill:red} ");
}

TEST(SvgScannerTest, ColourAttributes)
{
    for (const char* name : {"fill", "stroke", "stop-color", "flood-color", "lighting-color", "color"})
        EXPECT_TRUE(IsSvgColourAttribute(name)) << name;
    for (const char* name : {"style", "opacity", "fill-opacity", "stroke-width", "Fill", "svg:fill", "class"})
        EXPECT_FALSE(IsSvgColourAttribute(name)) << name;
}

}  // namespace
