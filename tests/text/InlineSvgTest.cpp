// SVG inside pages and the colour of the browser's frame: in a page, the presentation
// attributes of every element inside an svg element are colours as in an SVG document, and so is
// the content of a theme-color meta; "fill" on other elements, svg markup in comments, scripts
// and text, and every other meta stay as written. One construct a case, then a page of the kind
// current sites have, converted token for token.
//
// Expected colours of the cases are those of a hue turn of 120 degrees on the primary and
// secondary colours, which need no arithmetic: red to lime, lime to blue, blue to red, yellow to
// aqua, aqua to fuchsia, fuchsia to yellow; greys stay.

#include "text/ColourRewriter.h"
#include "text/HtmlScanner.h"

#include "colour/HexColour.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

std::string Page(std::string_view Text, int Hue = 120)
{
    TColourRewriter r(Hue, 0, 0, {}, {}, {});
    return r.ReplaceAll(Text);
}

struct TPageCase {
    const char* Name;
    const char* In;
    const char* Out;  // nullptr: the same as In
};

class InlineSvgTest : public ::testing::TestWithParam<TPageCase> {};

TEST_P(InlineSvgTest, ConvertsPresentationAttributesInsideSvgOnly)
{
    const TPageCase& c = GetParam();
    EXPECT_EQ(Page(c.In), c.Out ? c.Out : c.In) << c.Name;
}

const TPageCase SvgCases[] = {
    {"fill in double quotes", R"~(<p>Hi</p><svg viewBox="0 0 8 8"><path fill="#ff0000" d="M0 0h8v8z"/></svg>)~",
     R"~(<p>Hi</p><svg viewBox="0 0 8 8"><path fill="#00FF00" d="M0 0h8v8z"/></svg>)~"},
    {"stroke in single quotes", "<svg><circle r='3' stroke='blue'/></svg>", "<svg><circle r='3' stroke='#FF0000'/></svg>"},
    {"value without quotes", "<svg><rect fill=yellow width=4></svg>", "<svg><rect fill=#00FFFF width=4></svg>"},
    {"value without quotes that needs them", "<svg><rect fill=hsla(0,100%,50%,.5)></svg>",
     "<svg><rect fill=\"rgba(0, 255, 0, .5)\"></svg>"},
    {"spaces around =", "<svg><rect fill = \"#f00\"\n  stroke\t=\t'#0f0'></svg>",
     "<svg><rect fill = \"#00FF00\"\n  stroke\t=\t'#0000FF'></svg>"},
    {"stop-color", R"~(<svg><linearGradient id="g"><stop offset="0" stop-color="rgb(255, 0, 0)"/><stop offset="1" stop-color="hsl(240 100% 50%)"/></linearGradient></svg>)~",
     R"~(<svg><linearGradient id="g"><stop offset="0" stop-color="#00FF00"/><stop offset="1" stop-color="#FF0000"/></linearGradient></svg>)~"},
    {"flood-color and lighting-color", R"~(<svg><filter id="f"><feFlood flood-color="aqua" flood-opacity=".4"/><feDiffuseLighting lighting-color="#FF00FF"/></filter></svg>)~",
     R"~(<svg><filter id="f"><feFlood flood-color="#FF00FF" flood-opacity=".4"/><feDiffuseLighting lighting-color="#FFFF00"/></filter></svg>)~"},
    {"color", R"~(<svg color="red"><path fill="currentColor"/></svg>)~", R"~(<svg color="#00FF00"><path fill="currentColor"/></svg>)~"},
    {"alpha kept", R"~(<svg><rect fill="#ff000080" stroke="rgba(0, 0, 255, 0.25)"/></svg>)~",
     R"~(<svg><rect fill="#00FF0080" stroke="rgba(255, 0, 0, 0.25)"/></svg>)~"},
    {"keywords stay", R"~(<svg fill="none"><path fill="currentColor" stroke="inherit" color="transparent"/></svg>)~", nullptr},
    {"url reference stays, fallback converted", R"~(<svg><rect fill="url(#red)"/><rect fill="url(#g) #0000ff"/></svg>)~",
     R"~(<svg><rect fill="url(#red)"/><rect fill="url(#g) #FF0000"/></svg>)~"},
    {"grey keeps its spelling", R"~(<svg><path fill="#808080" stroke="gray"/></svg>)~", nullptr},
    {"character reference stays", R"~(<svg><path fill="&#35;ff0000" stroke="&quot;red&quot;"/></svg>)~", nullptr},
    {"other attributes stay", R"~(<svg><path id="red" class="blue" data-fill="#ff0000" fill-opacity="1" d="M0 0"/></svg>)~", nullptr},
    {"style attribute and style element", R"~(<svg><style>.a{fill:red}</style><g style="stroke:lime"></g></svg>)~",
     R"~(<svg><style>.a{fill:#00FF00}</style><g style="stroke:#0000FF"></g></svg>)~"},
    {"uppercase tags and names", R"~(<SVG><G FILL="RED"><PATH Stroke="Blue"/></G></SVG><p fill="red">)~",
     R"~(<SVG><G FILL="#00FF00"><PATH Stroke="#FF0000"/></G></SVG><p fill="red">)~"},
    {"nested svg", R"~(<svg><svg x="1"><path fill="red"/></svg><path fill="blue"/></svg><div fill="red"></div>)~",
     R"~(<svg><svg x="1"><path fill="#00FF00"/></svg><path fill="#FF0000"/></svg><div fill="red"></div>)~"},
    {"empty svg closes itself", R"~(<svg/><div fill="red" stroke="blue"></div><svg fill="red"/><i fill="red">)~",
     R"~(<svg/><div fill="red" stroke="blue"></div><svg fill="#00FF00"/><i fill="red">)~"},
    {"a / ending a value without quotes closes nothing", "<svg width=8/><path fill=red>", "<svg width=8/><path fill=#00FF00>"},
    {"svg not closed runs to the end", "<body><svg><g fill=\"red\">\n<path stroke=\"blue\">\n",
     "<body><svg><g fill=\"#00FF00\">\n<path stroke=\"#FF0000\">\n"},
    {"fill on html elements is no colour", R"~(<div fill="red" stroke="#00f"><input fill="red"></div><svg></svg><span fill="blue">)~", nullptr},
    {"svg in a comment", R"~(<!-- <svg><path fill="red"/></svg> --><p>x</p>)~", nullptr},
    {"svg in a script string", R"~(<script>const icon = '<svg><path fill="red"/></svg>';</script>)~", nullptr},
    {"script inside svg", R"~(<svg><script>el.innerHTML = '<path fill="red">';</script><path fill="red"/></svg>)~",
     R"~(<svg><script>el.innerHTML = '<path fill="red">';</script><path fill="#00FF00"/></svg>)~"},
    {"svg in a textarea", R"~(<textarea><svg><path fill="red"/></svg></textarea>)~", nullptr},
    {"text and title inside svg", R"~(<svg><title>red icon</title><text fill="blue">red #ff0000</text></svg>)~",
     R"~(<svg><title>red icon</title><text fill="#FF0000">red #ff0000</text></svg>)~"},
    {"value with > in quotes", R"~(<svg><path d="M0 0" aria-label="a>b" fill="red"/></svg>)~",
     R"~(<svg><path d="M0 0" aria-label="a>b" fill="#00FF00"/></svg>)~"},
    {"old colour attributes on svg tags", R"~(<svg><g style="color: blue" bgcolor="red"/></svg>)~",
     R"~(<svg><g style="color: #FF0000" bgcolor="#00FF00"/></svg>)~"},
    {"end tag with spaces", "<svg><path fill=\"red\"/></svg ><i fill=\"red\">", "<svg><path fill=\"#00FF00\"/></svg ><i fill=\"red\">"},
    {"svg-like names are no svg", R"~(<svgx><p fill="red"></p></svgx><my-svg fill="red"></my-svg>)~", nullptr},
    {"html inside foreignObject", R"~(<svg><foreignObject fill="red"><div fill="red" style="color:blue"><svg><path fill="red"/></svg></div></foreignObject><path fill="red"/></svg>)~",
     R"~(<svg><foreignObject fill="#00FF00"><div fill="red" style="color:#FF0000"><svg><path fill="#00FF00"/></svg></div></foreignObject><path fill="#00FF00"/></svg>)~"},
    {"svg in a conditional comment", R"~(<!--[if IE]><svg><path fill="red"/></svg><![endif]-->)~",
     R"~(<!--[if IE]><svg><path fill="#00FF00"/></svg><![endif]-->)~"},
};

INSTANTIATE_TEST_SUITE_P(Constructs, InlineSvgTest, ::testing::ValuesIn(SvgCases));

class ThemeColourTest : public ::testing::TestWithParam<TPageCase> {};

TEST_P(ThemeColourTest, ConvertsTheContentOfThemeColourMetasOnly)
{
    const TPageCase& c = GetParam();
    EXPECT_EQ(Page(c.In), c.Out ? c.Out : c.In) << c.Name;
}

const TPageCase ThemeCases[] = {
    {"theme-color", R"~(<head><meta name="theme-color" content="#ff0000"></head>)~",
     R"~(<head><meta name="theme-color" content="#00FF00"></head>)~"},
    {"content first, name in any case", R"~(<meta content='blue' NAME='Theme-Color' media="(prefers-color-scheme: dark)">)~",
     R"~(<meta content='#FF0000' NAME='Theme-Color' media="(prefers-color-scheme: dark)">)~"},
    {"without quotes", "<meta name=theme-color content=yellow>", "<meta name=theme-color content=#00FFFF>"},
    {"tile colour", R"~(<meta name="msapplication-TileColor" content="#00f"/>)~",
     R"~(<meta name="msapplication-TileColor" content="#FF0000"/>)~"},
    {"navigation button colour", R"~(<meta name="msapplication-navbutton-color" content="rgb(0,255,0)">)~",
     R"~(<meta name="msapplication-navbutton-color" content="#0000FF">)~"},
    {"grey keeps its spelling", R"~(<meta name="theme-color" content="#fff">)~", nullptr},
    {"other metas stay", R"~(<meta name="description" content="red shoes"><meta property="og:color" content="#ff0000"><meta name="theme-color-x" content="red"><meta name="color-scheme" content="light dark">)~", nullptr},
    {"meta in a comment", R"~(<!-- <meta name="theme-color" content="#ff0000"> -->)~", nullptr},
    {"meta in a script", R"~(<script>document.write('<meta name="theme-color" content="#ff0000">')</script>)~", nullptr},
    {"mask icon colour, as an old colour attribute",
     R"~(<link rel="mask-icon" href="/safari-pinned-tab.svg" color="#ff0000"><link rel="icon" href="red.svg">)~",
     R"~(<link rel="mask-icon" href="/safari-pinned-tab.svg" color="#00FF00"><link rel="icon" href="red.svg">)~"},
};

INSTANTIATE_TEST_SUITE_P(Metas, ThemeColourTest, ::testing::ValuesIn(ThemeCases));

// The tags ReadHtmlLayout finds for reading on their own: those of svg elements with a colour
// attribute, and theme-colour metas.
TEST(HtmlScanner, SvgTagsAndThemeColourMetas)
{
    const std::string page = "<meta name=theme-color content=red><meta name=x content=red><!-- <svg fill=a> -->"
                             "<script>'<svg fill=b>'</script><svg fill=c><svg Fill='d'/><svg><g></g><path stroke=e></svg>"
                             "<g fill=f></svg><svg color='g'/><meta name='MSApplication-TileColor' content=p><p fill=h>"
                             "<Svg><foreignObject fill=i><div fill=j><svg><i color=k>"
                             "</svg><b fill=l></foreignObject><path stop-color=m style=n><path style=o>"
                             "<meta name=theme-color content=q>";
    const THtmlLayout layout = ReadHtmlLayout(page);
    std::vector<std::string> svgTags, metas;
    for (const TTextSpan& t : layout.SvgTags)
        svgTags.push_back(page.substr(t.Begin, t.End - t.Begin));
    for (const TTextSpan& t : layout.ThemeColourMetas)
        metas.push_back(page.substr(t.Begin, t.End - t.Begin));
    EXPECT_EQ(svgTags, (std::vector<std::string>{"<svg fill=c>", "<svg Fill='d'/>", "<path stroke=e>", "<g fill=f>",
                                                 "<svg color='g'/>", "<foreignObject fill=i>", "<i color=k>",
                                                 "<path stop-color=m style=n>"}));
    EXPECT_EQ(metas, (std::vector<std::string>{"<meta name=theme-color content=red>",
                                               "<meta name='MSApplication-TileColor' content=p>"}));
    for (const char* name : {"theme-color", "THEME-COLOR", "msapplication-tilecolor", "msapplication-navbutton-color"})
        EXPECT_TRUE(IsThemeColourMetaName(name)) << name;
    for (const char* name : {"theme", "theme-colour", " theme-color", "msapplication-TileImage", ""})
        EXPECT_FALSE(IsThemeColourMetaName(name)) << name;
}

// A page as current sites write them: a theme colour for the browser, a header with an inline
// logo and icons from a sprite of symbols, a card with an illustration, a script that builds an
// icon from a string, and the sprite itself at the end of the body. Colours in style are
// written "[[#rrggbb]]": the converted page must be the page with each of them converted by the
// colour adjuster, and everything else byte for byte.
const char* const SitePage = R"~(<!doctype html>
<html lang="en">
<head>
  <meta charset="utf-8">
  <meta name="viewport" content="width=device-width, initial-scale=1">
  <meta name="theme-color" content="[[#1a73e8]]">
  <meta name="theme-color" media="(prefers-color-scheme: dark)" content="[[#202124]]">
  <meta name="description" content="Northwind Outfitters: red and green tents since 1998">
  <link rel="mask-icon" href="/safari-pinned-tab.svg" color="[[#c5221f]]">
  <title>Northwind Outfitters</title>
  <style>
    :root { --brand: [[#1a73e8]]; }
    .nav a:hover { color: var(--brand); }
  </style>
</head>
<body>
<header class="site-header">
  <a class="logo" href="/" aria-label="Northwind home">
    <svg width="132" height="32" viewBox="0 0 132 32" role="img" xmlns="http://www.w3.org/2000/svg">
      <title>Northwind (red mark)</title>
      <defs>
        <linearGradient id="lg-peak" x1="0" x2="0" y1="0" y2="1">
          <stop offset="0%" stop-color="[[#34a853]]"/>
          <stop offset="100%" stop-color="[[#0b8043]]" stop-opacity=".8"/>
        </linearGradient>
      </defs>
      <path d="M2 30 L14 6 L26 30 Z" fill="url(#lg-peak)"/>
      <path d="M10 30 L18 14 L26 30 Z" fill='[[#fbbc04]]' stroke="[[#e37400]]" stroke-width="1.5"/>
      <text x="34" y="22" font-family="Inter, sans-serif" font-size="16" fill="[[#3c4043]]">Northwind</text>
    </svg>
  </a>
  <nav class="nav" fill="#ff0000">
    <a href="/cart" class="icon-link"><svg class="icon" aria-hidden="true"><use href="#icon-cart" fill="currentColor"></use></svg> Cart</a>
    <a href="/search" class="icon-link"><svg class="icon" aria-hidden="true" stroke="[[#5f6368]]"><use xlink:href="#icon-search"/></svg> Search</a>
  </nav>
</header>
<main>
  <article class="card">
    <svg viewBox="0 0 64 64" width="64" height="64" aria-hidden="true">
      <filter id="shadow"><feDropShadow dx="0" dy="1" stdDeviation="1" flood-color="[[rgba(60,64,67,.3)]]"/></filter>
      <circle cx="32" cy="32" r="30" fill=[[#e8f0fe]] stroke="none"/>
      <g filter="url(#shadow)" fill="[[rgb(26, 115, 232)]]" style="stroke: [[#174ea6]]; stroke-width: 2">
        <rect x="20" y="20" width="24" height="24" rx="4"/>
      </g>
    </svg>
    <h2 style="color: [[#202124]]">Red Ridge 2 tent</h2>
    <p>Pick the <b>red</b> or the <i>green</i> fly: <code>&lt;path fill="#c5221f"&gt;</code></p>
  </article>
</main>
<!-- old logo: <svg><path fill="#ea4335"/></svg> -->
<script>
  const spinner = '<svg class="spin" viewBox="0 0 24 24"><circle r="10" stroke="#1a73e8" fill="none"/></svg>';
  document.querySelector('.card').insertAdjacentHTML('beforeend', spinner);
  if (window.matchMedia('(prefers-color-scheme: dark)').matches) meta.content = "#202124";
</script>
<svg xmlns="http://www.w3.org/2000/svg" style="display:none">
  <symbol id="icon-cart" viewBox="0 0 24 24"><path d="M7 18a2 2 0 1 0 0 4 2 2 0 0 0 0-4z" stroke="[[#188038]]" fill="none"/></symbol>
  <symbol id="icon-search" viewBox="0 0 24 24">
    <circle cx="11" cy="11" r="7" fill="none" stroke="currentColor" stroke-width="2"/>
    <path d="M21 21l-4.35-4.35" stroke="[[tomato]]" stroke-linecap="round"/>
  </symbol>
</svg>
<footer fill="red"><small>&copy; Northwind. Colours: #1a73e8 on #ffffff.</small></footer>
</body>
</html>
)~";

// The page with each "[[colour]]" as written (Converted false) or as the adjuster converts it.
std::string SitePageAs(bool Converted, const TColourAdjuster& Adjuster)
{
    static const std::regex marked(R"(\[\[([^\]]*)\]\])");
    const std::string text = SitePage;
    std::string out;
    std::size_t copied = 0;
    for (auto m = std::sregex_iterator(text.begin(), text.end(), marked); m != std::sregex_iterator(); ++m) {
        out += text.substr(copied, static_cast<std::size_t>(m->position()) - copied);
        std::string colour = (*m)[1].str();
        if (Converted) {
            static const std::regex rgb(R"(rgba?\((\d+),\s*(\d+),\s*(\d+)(,\s*([.\d]+))?\))");
            static const std::map<std::string, TRGBColor> names = {{"tomato", {255, 99, 71}}};
            std::smatch parts;
            TRGBColor from{};
            std::string alpha;
            if (std::regex_match(colour, parts, rgb)) {
                from = {std::stoi(parts[1]), std::stoi(parts[2]), std::stoi(parts[3])};
                alpha = parts[5].str();
            } else if (names.count(colour)) {
                from = names.at(colour);
            } else {
                EXPECT_TRUE(ParseHexColor(colour, from)) << colour;
            }
            const TRGBColor to = Adjuster.Convert(from);
            if (PackRGB(to) == PackRGB(from))
                ;  // a colour that converts to itself keeps its spelling
            else if (!alpha.empty())
                colour = "rgba(" + std::to_string(to.R) + ", " + std::to_string(to.G) + ", " + std::to_string(to.B) + ", " + alpha + ")";
            else
                colour = FormatHexColor(to);
        }
        if (Converted && colour.find(' ') != std::string::npos && text[static_cast<std::size_t>(m->position()) - 1] == '=')
            colour = '"' + colour + '"';
        out += colour;
        copied = static_cast<std::size_t>(m->position() + m->length());
    }
    return out + text.substr(copied);
}

TEST(InlineSvgSite, EveryMarkedColourConvertedAndNothingElse)
{
    for (const int hue : {120, -45}) {
        TColourRewriter r(hue, hue < 0 ? 30 : 0, hue < 0 ? -20 : 0, {}, {}, {});
        const std::string in = SitePageAs(false, r.Converter());
        const std::string expected = SitePageAs(true, r.Converter());
        ASSERT_NE(in, expected) << hue;
        EXPECT_EQ(r.ReplaceAll(in), expected) << hue;
    }
}

}  // namespace
