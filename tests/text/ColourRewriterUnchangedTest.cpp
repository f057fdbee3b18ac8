// A colour whose converted value is its original value keeps its spelling: with every setting at
// zero, for greys under a change of hue, and for colours that no pair concerns when only pairs
// convert. A colour that changes is written as always ("#RRGGBB", or rgba() with the alpha
// value as written). Each of these texts was rewritten before: "red" became "#FF0000" with every
// setting at zero.

#include "text/ColourRewriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Texts in every form a colour takes, in stylesheets and pages.
const std::vector<std::string> Texts = {
    "p{color:red;background:RED;border-color:Navy}",
    "p{color:#333;background:#AbC;border-color:#ffcc00;outline-color:#ff000080;x:#f00a}",
    "p{color:rgb(0, 0, 0);background:RGB( 255 ,0,0 );border-color:rgb(100%,50%,0%)}",
    "p{color:rgba(13,110,253,.5);background:rgb(13 110 253 / 25%);border-color:rgb(1.5,0,0)}",
    "p{color:hsl(120deg 100% 50% / .5);background:HSLA(240,100%,50%,0.25);border-color:hsl(0.5turn 100% 50%)}",
    ":root{--bs-primary:#0d6efd;--bs-primary-rgb:13, 110, 253;--x-h:171deg;--x-s:100%;--x-l:41%}",
    "p { color: red !important; background: url(img/red.gif) #fff no-repeat }",
    "<font color=Red><td bgcolor='#f00' text=\"#Ff0000\"><body link=rgb(0,0,255) vlink=\"hsl(0, 100%, 50%)\">",
    "<p style=\"color:red;background:#00F\"><p style='color: rgb(255, 0, 0)'><p style=color:BLUE>",
    "<x-chart color=\"{ 'colors': ['red', '#00f', 'rgba(0,0,255,.5)'] }\">",
    "<style>\n<!--\nbody { color: navy; background: white }\n-->\n</style>",
};

TEST(ColourRewriterUnchanged, EverySettingAtZero)
{
    TColourRewriter r(0, 0, 0, {}, {}, {});
    for (const std::string& text : Texts)
        EXPECT_EQ(r.ReplaceAll(text), text);
}

TEST(ColourRewriterUnchanged, PairsThatDoNotConcernTheColours)
{
    // Pairs only: a colour without a pair converts to itself; the pairs' colours are no colour
    // of the texts.
    const std::vector<TRGBColor> before{{1, 2, 3}, {4, 5, 6}};
    const std::vector<TRGBColor> after{{7, 8, 9}, {10, 11, 12}};
    const bool adjust[] = {false, false};
    TColourRewriter r(0, 0, 0, before, after, adjust);
    for (const std::string& text : Texts)
        EXPECT_EQ(r.ReplaceAll(text), text);
    // A pair that concerns one colour changes that colour alone.
    const std::vector<TRGBColor> red{{255, 0, 0}};
    const std::vector<TRGBColor> teal{{0, 128, 128}};
    const bool fixed[] = {false};
    TColourRewriter p(0, 0, 0, red, teal, fixed);
    EXPECT_EQ(p.ReplaceAll("p{color:red;background:RED;border-color:Navy;outline-color:#ff000080}"),
              "p{color:#008080;background:#008080;border-color:Navy;outline-color:#00808080}");
    EXPECT_EQ(p.ReplaceAll("p{color:rgb(0, 0, 0);background:RGB( 255 ,0,0 );x:hsla(0, 100%, 50%, .5)}"),
              "p{color:rgb(0, 0, 0);background:#008080;x:rgba(0, 128, 128, .5)}");
}

TEST(ColourRewriterUnchanged, GreysUnderAChangeOfHue)
{
    TColourRewriter r(120, 0, 0, {}, {}, {});
    const struct {
        const char* Input;
        const char* Output;
    } cases[] = {
        {"p{color:white;background:#FFF;border:1px solid gray;outline-color:rgb(0, 0, 0)}",
         "p{color:white;background:#FFF;border:1px solid gray;outline-color:rgb(0, 0, 0)}"},
        {"p{color:hsl(0 0% 20%);background:rgba(0,0,0,.5);border-color:#33333380}",
         "p{color:hsl(0 0% 20%);background:rgba(0,0,0,.5);border-color:#33333380}"},
        // Next to a colour that changes.
        {"p{color:Silver;background:red}", "p{color:Silver;background:#00FF00}"},
        {"<td bgcolor=White style='color:#999;border-color:blue'>", "<td bgcolor=White style='color:#999;border-color:#FF0000'>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(r.ReplaceAll(c.Input), c.Output) << c.Input;
}

}  // namespace
