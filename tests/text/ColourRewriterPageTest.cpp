// Where a page keeps its style: colour attributes of its tags, in any quoting, and its style
// elements. Script code, comments, the text of the page and data in attributes that is not a
// colour are left as they are. At hue 120 each colour (r, g, b) becomes (b, r, g): red becomes
// lime, lime blue, blue red, and #0d6efd #FD0D6E.

#include "text/ColourRewriter.h"

#include "text/HtmlScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Rewrite(std::string_view Text, int Hue = 120)
{
    TColourRewriter r(Hue, 0, 0, {}, {}, {});
    return r.ReplaceAll(Text);
}

struct TCase {
    const char* Input;
    const char* Output;
};

void ExpectCases(const std::vector<TCase>& Cases, int Hue = 120)
{
    for (const TCase& c : Cases)
        EXPECT_EQ(Rewrite(c.Input, Hue), c.Output) << "input: " << c.Input;
}

// The same text, unchanged at hue 120.
void ExpectUnchanged(const std::vector<const char*>& Texts)
{
    for (const char* text : Texts)
        EXPECT_EQ(Rewrite(text), text);
}

// ---- What is a page ----

TEST(ColourRewriterPage, PageOrStylesheet)
{
    const struct {
        const char* Text;
        bool Html;
    } cases[] = {
        {"<!DOCTYPE html>\n<html><head>", true},
        {"<p>A fragment of a page, included by the server.</p>", true},
        {"Text first, then <b>bold</b>", true},
        {"</div>\n</body>", true},
        {"<br/>", true},
        {"<td\nbgcolor=red>", true},
        // Style sheets: "<" in comments and strings, the markers old sheets kept from the style
        // elements they came from, comparisons in media queries and IE expressions.
        {"/* Use with <div class=\"row\"> */\n.row { color: red }", false},
        {".tag::before { content: \"<b>\"; color: red }", false},
        {"<!--\nbody { color: red }\n-->", false},
        {"@media (400px <= width < 700px) { .a { color: red } }", false},
        {".w { width: expression(document.body.clientWidth<document.body.scrollWidth ? \"1px\" : \"auto\") }", false},
        {"a < b", false},
        {"", false},
        // A quote opens a CSS string up to the end of its line: the tag after it on that line
        // is hidden, one on the next line is not.
        {"don't <b>\n", false},
        {"don't\n<b>", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LooksLikeHtml(c.Text, TTextEncoding::UTF8), c.Html) << c.Text;
}

TEST(ColourRewriterPage, StylesheetsAreStyleThroughout)
{
    ExpectCases({
        {"/* Use with <font color=\"red\"> */\n.row { color: red }", "/* Use with <font color=\"red\"> */\n.row { color: #00FF00 }"},
        {"<!--\nbody { color: red; background: blue }\n-->", "<!--\nbody { color: #00FF00; background: #FF0000 }\n-->"},
        {".tag::before { content: \"<b>\"; color: red }", ".tag::before { content: \"<b>\"; color: #00FF00 }"},
    });
}

// ---- Scripts ----

TEST(ColourRewriterPage, ScriptCodeIsNoStyle)
{
    // Each was rewritten as if it were CSS: "setTheme(#FF0000)", "#000000: blackColor",
    // "#00FF00[0].className".
    ExpectUnchanged({
        "<script>setTheme(blue);</script>",
        "<script>var chart = new Chart({fill: blueColor, black: blackColor});</script>",
        "<script>var red = document.getElementsByClassName('red'); red[0].className = 'on';</script>",
        "<script type=\"text/javascript\">\n<!--\nvar siteColors = { main: \"#336699\", text: black };\n// -->\n</script>",
        "<script>var theme = {\"primary\": \"#0d6efd\", \"danger\": \"red\"};</script>",
        "<script>for (var i = 0; i < n; i++) { if (i > 1) { x.color = red; } }</script>",
        "<script>for(i=0;i<n;i++){el.style.color=red}</script>",
        "<SCRIPT LANGUAGE=\"JavaScript\">function hl(el) { el.style.background = navy; }</SCRIPT>",
        // A script that is never closed runs to the end of the page.
        "<p>x</p><script>if (a) { b = { c: red } }",
        // Markup in a script's strings is no style element either.
        "<script>document.write('<style>p { color: red }</style>');</script>",
        "<script>var css = '.a { color: red }';</script>",
    });
}

TEST(ColourRewriterPage, MarkupWrittenByScripts)
{
    ExpectCases({
        // Tags in script strings are converted like any other: they end up in the page.
        {"<script>document.write('<font color=\"red\">' + text + '</font>');</script>",
         "<script>document.write('<font color=\"#00FF00\">' + text + '</font>');</script>"},
        {"<script>el.innerHTML = '<span style=\"color: blue\">' + n + '</span>';</script>",
         "<script>el.innerHTML = '<span style=\"color: #FF0000\">' + n + '</span>';</script>"},
        // Templates kept in scripts are markup.
        {"<script type=\"text/x-template\" id=\"row\"><tr><td bgcolor=\"#0d6efd\">{{ name }}</td></tr></script>",
         "<script type=\"text/x-template\" id=\"row\"><tr><td bgcolor=\"#FD0D6E\">{{ name }}</td></tr></script>"},
        // A comparison is no tag, however the attributes after it look.
        {"<script>if (i<n) { color=red; } x = '>';</script>", "<script>if (i<n) { color=red; } x = '>';</script>"},
        {"<script>if (a < b) { color = 'red'; } s = '>';</script>", "<script>if (a < b) { color = 'red'; } s = '>';</script>"},
    });
}

// ---- Comments, text and code samples ----

TEST(ColourRewriterPage, CommentsAndTextAreNoStyle)
{
    ExpectUnchanged({
        "<p>x</p><!-- old theme: body { color: red } -->",
        "<!-- <style>p { color: red }</style> -->",
        "<p>Write {color: red; background: blue} in the rule.</p>",
        "<pre>\n.button {\n  color: red;\n  background: #0d6efd;\n}\n</pre>",
        "<p>Use <code>a:hover { color: rgb(255, 0, 0) }</code> for links.</p>",
        "<pre><code class=\"language-css\">:root { --brand-rgb: 13, 110, 253; }</code></pre>",
        "<textarea name=\"css\">.a { color: red }\n<style>p { color: blue }</style></textarea>",
        "<title>Colours {red}</title><p>x</p>",
        "<xmp><style>p { color: red }</style></xmp>",
        // An HTML comment in a script is script code.
        "<script><!-- if (x) { y = { c: red } } //--></script>",
    });
}

TEST(ColourRewriterPage, StyleElements)
{
    ExpectCases({
        {"<style>p { color: red }</style><p>{ color: red }</p>", "<style>p { color: #00FF00 }</style><p>{ color: red }</p>"},
        {"<STYLE TYPE=\"text/css\">\n<!--\nbody { background: blue }\n-->\n</STYLE>",
         "<STYLE TYPE=\"text/css\">\n<!--\nbody { background: #FF0000 }\n-->\n</STYLE>"},
        {"<style media=\"print\">a { color: red }</style ><style>b { color: blue }</style>",
         "<style media=\"print\">a { color: #00FF00 }</style ><style>b { color: #FF0000 }</style>"},
        // The contents of a style element are CSS: a "<" or a comment marker inside is no markup.
        {"<style>a::after { content: \"</p>\"; color: red }</style>", "<style>a::after { content: \"</p>\"; color: #00FF00 }</style>"},
        // Conditional comments of old pages hold style for the browsers they name.
        {"<!--[if lt IE 8]><style>.nav { background: red }</style><![endif]-->",
         "<!--[if lt IE 8]><style>.nav { background: #00FF00 }</style><![endif]-->"},
        {"<!--[if !IE]><!--><style>.nav { color: blue }</style><!--<![endif]-->",
         "<!--[if !IE]><!--><style>.nav { color: #FF0000 }</style><!--<![endif]-->"},
        // In SVG and in templates.
        {"<svg viewBox=\"0 0 8 8\"><style>.dot { fill: red }</style></svg>", "<svg viewBox=\"0 0 8 8\"><style>.dot { fill: #00FF00 }</style></svg>"},
        {"<template id=\"card\"><style>.card { color: blue }</style><div class=\"card\"></div></template>",
         "<template id=\"card\"><style>.card { color: #FF0000 }</style><div class=\"card\"></div></template>"},
        // A style element that is never closed runs to the end of the page.
        {"<p>x</p><style>p { color: red }", "<p>x</p><style>p { color: #00FF00 }"},
        // A tag's quoted value may hold ">": the style element starts after the tag.
        {"<style title=\"a > b\">p { color: red }</style>", "<style title=\"a > b\">p { color: #00FF00 }</style>"},
    });
}

// ---- Quoting of attribute values ----

TEST(ColourRewriterPage, EveryQuotingAlike)
{
    ExpectCases({
        // A single-quoted style value was not converted at all.
        {"<h3 style='background-color:blue;'>", "<h3 style='background-color:#FF0000;'>"},
        {"<h3 style=\"background-color:blue;\">", "<h3 style=\"background-color:#FF0000;\">"},
        {"<h3 style=background-color:blue;>", "<h3 style=background-color:#FF0000;>"},
        {"<td style='color: red; font-family: \"MS PGothic\", sans-serif; background: blue'>",
         "<td style='color: #00FF00; font-family: \"MS PGothic\", sans-serif; background: #FF0000'>"},
        {"<td style=\"color: red; font-family: 'MS PGothic', sans-serif; background: blue\">",
         "<td style=\"color: #00FF00; font-family: 'MS PGothic', sans-serif; background: #FF0000\">"},
        // An unquoted value runs to white space or ">", as a browser reads it: there "red" is
        // an attribute of its own.
        {"<td style=color:red;background:blue width=10>", "<td style=color:#00FF00;background:#FF0000 width=10>"},
        {"<td style=color: red>", "<td style=color: red>"},
        // Colour attributes alike.
        {"<font color='red' size='2'>", "<font color='#00FF00' size='2'>"},
        {"<font color=\"red\" size=\"2\">", "<font color=\"#00FF00\" size=\"2\">"},
        {"<font color=red size=2>", "<font color=#00FF00 size=2>"},
        {"<td bgcolor='#0d6efd'>", "<td bgcolor='#FD0D6E'>"},
        {"<td bgcolor = '#0d6efd' >", "<td bgcolor = '#FD0D6E' >"},
        {"<body bgcolor='white' text='#000' link='blue' vlink='purple' alink='red'>",
         "<body bgcolor='white' text='#000' link='#FF0000' vlink='#808000' alink='#00FF00'>"},
    });
}

TEST(ColourRewriterPage, OnlyColourAttributes)
{
    ExpectUnchanged({
        // Names of colour attributes inside other attributes' values are no attributes.
        "<a title=\"set color=red\" style=\"margin:0\">",
        "<img alt=\"text='blue'\" style=\"border:0\">",
        // Attributes whose names merely end in a colour attribute's name hold data or script.
        "<div data-color=\"red\" style=\"margin:0\">",
        "<div :style=\"{ color: red }\" style=\"margin:0\">",
        "<div ng-style=\"{'color': red}\" style=\"margin:0\">",
        "<td xcolor=red style=\"margin:0\">",
    });
}

// ---- Attribute values that are data ----

TEST(ColourRewriterPage, ColourAttributesHoldingData)
{
    ExpectCases({
        // Each colour where it stands, the data around it kept (it was cut down to its first
        // colour).
        {"<chart-area color=\"{ 'type': 'linear', 'colors': [{ 'offset': 0, 'color': '#ff0000' }, { 'offset': 1, 'color': '#0000ff' }] }\">",
         "<chart-area color=\"{ 'type': 'linear', 'colors': [{ 'offset': 0, 'color': '#00FF00' }, { 'offset': 1, 'color': '#FF0000' }] }\">"},
        {"<x-gauge color='{\"from\": \"red\", \"to\": \"rgba(0, 0, 255, .5)\"}'>",
         "<x-gauge color='{\"from\": \"#00FF00\", \"to\": \"rgba(255, 0, 0, .5)\"}'>"},
        {"<x-badge color=\"{&quot;fill&quot;:&quot;red&quot;,&quot;stroke&quot;:&quot;#00f&quot;}\">",
         "<x-badge color=\"{&quot;fill&quot;:&quot;#00FF00&quot;,&quot;stroke&quot;:&quot;#FF0000&quot;}\">"},
        {"<x-bar color=\"[hsl(0, 100%, 50%), hsl(240 100% 50%)]\">", "<x-bar color=\"[#00FF00, #FF0000]\">"},
        {"<font color=\"#ff0000 bold\">", "<font color=\"#00FF00 bold\">"},
        {"<td bgcolor=\"#ff0000;\">", "<td bgcolor=\"#00FF00;\">"},
        {"<td bgcolor=\" #0000ff \">", "<td bgcolor=\" #FF0000 \">"},
        {"<body text=\"&#160;#f00\">", "<body text=\"&#160;#00FF00\">"},
    });
    // Data that is no colour stays: names outside quotes, words, links, templates, entities.
    ExpectUnchanged({
        "<v-icon color=\"red darken-2\">",
        "<v-btn color=\"primary\">",
        "<my-button text=\"Order the red one\">",
        "<body link=\"page.html#abc\">",
        "<td bgcolor=\"{{ row.colour }}\">",
        "<td bgcolor=\"<?php echo $colour; ?>\">",
        "<td bgcolor=\"<%= row.bg %>\">",
        "<font color=\"#18799\">",
        "<font color=\"#ffcc0\">",
        "<body text=\"&#160;\">",
        "<x-tag color=\"{'name': 'redwood', 'shade': 'tan2'}\">",
    });
}

// A colour attribute with the grey values of a chart's data: the colours convert to themselves
// at any hue, but a pair for each shows that both are found where they stand.
TEST(ColourRewriterPage, GreysInDataConvertedByPairs)
{
    const std::vector<TRGBColor> before{{0x60, 0x60, 0x60}, {0x70, 0x70, 0x70}};
    const std::vector<TRGBColor> after{{0x12, 0x34, 0x56}, {0x65, 0x43, 0x21}};
    const bool adjust[] = {false, false};
    TColourRewriter r(0, 0, 0, before, after, adjust);
    EXPECT_EQ(r.ReplaceAll("<x-chart color=\"{ 'type': 'linear', 'colors': [{ 'offset': 0, 'color': '#606060' }, "
                           "{ 'offset': 1, 'color': '#707070' }] }\">"),
              "<x-chart color=\"{ 'type': 'linear', 'colors': [{ 'offset': 0, 'color': '#123456' }, "
              "{ 'offset': 1, 'color': '#654321' }] }\">");
}

// The elements of a page as ReadHtmlLayout finds them.
TEST(HtmlScanner, Layout)
{
    const std::string page =
        "<html><head><style>a{}</style><!-- <style>b{}</style> --><script>if(a<b){}</script>"
        "<!--[if IE]><STYLE media=x>c{}</STYLE><![endif]--></head><body><textarea><style>d{}</style></textarea>"
        "<p title='<style>'>e</p><script src=x.js></script><style>f{}";
    const THtmlLayout layout = ReadHtmlLayout(page);
    std::vector<std::string> styles, scripts;
    for (const TTextSpan& s : layout.Styles)
        styles.push_back(page.substr(s.Begin, s.End - s.Begin));
    for (const TTextSpan& s : layout.Scripts)
        scripts.push_back(page.substr(s.Begin, s.End - s.Begin));
    EXPECT_EQ(styles, (std::vector<std::string>{"a{}", "c{}", "f{}"}));
    EXPECT_EQ(scripts, (std::vector<std::string>{"if(a<b){}", ""}));
}

TEST(HtmlScanner, TagAttributes)
{
    const std::string tag = "<td bgcolor = '#fff' style=\"a:b\" nowrap width=10 color=rgb(1, 2, 3) title='x>y'>";
    std::vector<std::string> names, wholes;
    for (const THtmlAttribute& a : ReadTagAttributes(tag)) {
        names.push_back(tag.substr(a.Name.Begin, a.Name.End - a.Name.Begin));
        wholes.push_back(tag.substr(a.Whole.Begin, a.Whole.End - a.Whole.Begin));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"bgcolor", "style", "nowrap", "width", "color", "title"}));
    EXPECT_EQ(wholes, (std::vector<std::string>{"bgcolor = '#fff'", "style=\"a:b\"", "nowrap", "width=10",
                                                "color=rgb(1, 2, 3)", "title='x>y'"}));
    // A quoted value that does not close ends the reading.
    EXPECT_EQ(ReadTagAttributes("<font size=2 color=\"red>").size(), 1u);
    for (const char* start : {"<p>", "<td\n", "<my-el ", "<h1/>"})
        EXPECT_TRUE(IsStartTagAt(start, 0)) << start;
    for (const char* other : {"< p>", "<1>", "<n;", "<b)", "<", "a<b"})
        EXPECT_FALSE(IsStartTagAt(other, 0)) << other;
}

}  // namespace

namespace {

// Pieces of pages: tags with colours in every quoting (some rewritten into bytes that read
// otherwise, as rgba() with spaces in a value without quotes), style elements, and markup a
// page hides in comments, scripts, other elements' text and other tags' values.
constexpr const char* PagePieces[] = {
    "<font color=red>", "<font color=\"#abc\">", "<td bgcolor='#A0B0C0' width=20>", "<p style=\"color: rgb(1, 2, 3)\">",
    "<p style=color:red>", "<body text=#123456 link=\"rgb(10,20,30)\" vlink=rgb( 1 , 2 , 3 ) alink=hsla(120,50%,50%,.5)>",
    "<font color=x,hsla(1,2%,3%,.5)=\"a b>", "<font color=\"\"\"red\"\"\">", "<font color=\"&quot;red&quot;\">",
    "<svg><rect fill=red stroke=\"#00f\"/><circle fill=hsla(1,2%,3%,.5) r=1/></svg>", "<svg fill=#fff/>",
    "<meta name=\"theme-color\" content=\"#336699\">", "<meta name=theme-color content=hsla(9,9%,9%,.1)>",
    "<style>a{color:red}</style>", "<style color=blue>b{background:#0f0}</style>", "<STYLE>i{color:navy}",
    "</style>", "<style>", "<!-- <font color=red> -->", "<!-- <style>s{color:red}</style> -->", "<!--", "-->",
    "<script>x=\"<font color=red>\";</script>", "<script>if(a<b)c=1</script>", "<title><style>t{color:red}</title>",
    "<div title=\"<font color=red>\">", "<div title=<font color=#abc>", "<p color=red <style>", "\">", "'>", "\"", "'",
    "<", ">", " ", "\n", "text ", "<br color=#abc/>", "<font size=\"2 color=red>", "<font color=\"x>y\" size=2>",
    "<textarea><font color=red></textarea>", "<?php color=red ?>", "< font color=red>", "<rgb (1,2,3)>",
};

}  // namespace

// A page's style sheets are converted wherever the tag pass left them: the same text comes out
// as when the page is read again after the tag pass, whether the tag pass moved them along or
// changed how the page reads (a value without quotes rewritten with spaces in it).
TEST(ColourRewriterPage, StyleSheetsAreFoundWhereTheTagPassLeftThem)
{
    std::uint32_t random = 2024;
    const auto next = [&](std::uint32_t Below) {
        random = random * 1664525u + 1013904223u;
        return (random >> 8) % Below;
    };
    constexpr std::size_t Pieces = sizeof PagePieces / sizeof PagePieces[0];
    for (int n = 0; n < 3000; ++n) {
        std::string page = "<html>";
        for (std::uint32_t k = 0, count = 2 + next(12); k < count; ++k)
            page += PagePieces[next(Pieces)];
        TColourRewriter r(120, 0, 0, {}, {}, {});
        const std::string tagged = r.ReplacePass(page, TPassKind::pkTags);
        std::string expected;
        std::size_t copied = 0;
        for (const TTextSpan& style : ReadHtmlLayout(tagged).Styles) {
            expected += tagged.substr(copied, style.Begin - copied);
            expected += r.ReplacePass(tagged.substr(style.Begin, style.End - style.Begin), TPassKind::pkBlocks);
            copied = style.End;
        }
        expected += tagged.substr(copied);
        ASSERT_EQ(r.ReplaceAll(page), expected) << "page: " << page;
    }
    // One that reads otherwise once rewritten: the style element stays inside a quoted value.
    const std::string hidden = "<html><font color=x,hsla(1,2%,3%,.5)=\"a b><style>p{color:red}</style>\">";
    EXPECT_EQ(Rewrite(hidden),
              "<html><font color=x,rgba(7, 8, 8, .5)=\"a b><style>p{color:red}</style>\">");
}
