// Colour functions of current CSS: rgba(), hsl(), hsla() and the space-separated forms, in
// declarations and in colour attributes; the reader of those functions on its own.

#include "text/ColourRewriter.h"

#include "base/Exceptions.h"
#include "text/CssColorFunction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Rewrite(std::string_view Text, int Hue = 0)
{
    TColourRewriter r(Hue, 0, 0, {}, {}, {});
    return r.ReplaceAll(Text);
}

struct TCase {
    const char* Input;
    int Hue;
    const char* Output;
};

void ExpectCases(const std::vector<TCase>& Cases)
{
    for (const TCase& c : Cases)
        EXPECT_EQ(Rewrite(c.Input, c.Hue), c.Output) << "input: " << c.Input << ", hue " << c.Hue;
}

TEST(ColourRewriterModern, RgbWithAlpha)
{
    ExpectCases({
        // With every setting at zero the function keeps its spelling (was "rgba(255, 0, 0, 0.5)").
        {"p{color:rgba(255,0,0,0.5)}", 0, "p{color:rgba(255,0,0,0.5)}"},
        {"p{color:rgba(255,0,0,0.5)}", 180, "p{color:rgba(0, 255, 255, 0.5)}"},
        {"p{color:rgba(255,0,0,0.5)}", 120, "p{color:rgba(0, 255, 0, 0.5)}"},
        {"p { color: RGBA(255, 0, 0, .5); }", 120, "p { color: rgba(0, 255, 0, .5); }"},
        {"p { color: Rgba( 0 , 0 , 255 , 50% ) }", 120, "p { color: rgba(255, 0, 0, 50%) }"},
        // rgb() with four values and rgba() with three are the same functions.
        {"p{color:rgb(255,0,0,0.5)}", 180, "p{color:rgba(0, 255, 255, 0.5)}"},
        {"p{color:rgba(255,0,0)}", 120, "p{color:#00FF00}"},
        // The alpha value is written back exactly as it stood.
        {"p{color:rgba(0,0,255,1.0)}", 180, "p{color:rgba(255, 255, 0, 1.0)}"},
        {"p{color:rgba(0,0,255,+.3e0)}", 180, "p{color:rgba(255, 255, 0, +.3e0)}"},
    });
}

TEST(ColourRewriterModern, SpaceSeparatedRgb)
{
    ExpectCases({
        {"p{color:rgb(255 0 0)}", 120, "p{color:#00FF00}"},
        {"p{color:RGB(255 0 0 / 50%)}", 180, "p{color:rgba(0, 255, 255, 50%)}"},
        {"p{color:rgb(255 0 0/.25)}", 120, "p{color:rgba(0, 255, 0, .25)}"},
        // rgb(255, 128, 0).
        {"p{color:rgb(100% 50% 0%)}", 180, "p{color:#007FFF}"},
        // The space form may mix numbers and percentages.
        {"p{color:rgb(100% 128 0)}", 180, "p{color:#007FFF}"},
        {"p { box-shadow: 0 0 0 .25rem rgb(13 110 253 / 25%) }", 180,
         "p { box-shadow: 0 0 0 .25rem rgba(253, 156, 13, 25%) }"},
    });
}

TEST(ColourRewriterModern, DecimalsRoundToTheNearestChannel)
{
    ExpectCases({
        // The classic form refused decimals; they are colours now: rgb(2, 0, 0), rgb(128, 0, 0),
        // rgb(0, 255, 100), rgb(129, 0, 0) and rgb(85, 170, 255), each at hue 180.
        {"p{color:rgb(1.5,0,0)}", 180, "p{color:#000202}"},
        {"p{color:rgb(127.5, 0, 0)}", 180, "p{color:#008080}"},
        {"p{color:rgb(0.4 254.6 1e2)}", 180, "p{color:#FF009B}"},
        {"p{color:rgb(50.5% 0% 0%)}", 180, "p{color:#008181}"},
        {"p{color:rgb(33.3%, 66.6%, 99.9%)}", 180, "p{color:#FFAA55}"},
    });
}

TEST(ColourRewriterModern, HslForms)
{
    ExpectCases({
        // Each colour at hue 180 becomes its complement: hsl(120, 100%, 50%) is #00FF00, and
        // hsl(210, 50%, 40%) #336699.
        {"p{color:hsl(120, 100%, 50%)}", 180, "p{color:#FF00FF}"},
        {"p{color:hsl(120, 100%, 50%)}", 120, "p{color:#0000FF}"},
        {"p{color:HSL(0 100% 50%)}", 180, "p{color:#00FFFF}"},
        {"p{color:hsl(210, 50%, 40%)}", 180, "p{color:#996633}"},
        {"p{color:hsl(210deg 50% 40%)}", 180, "p{color:#996633}"},
        {"p{color:hsl(0.5turn 100% 50%)}", 180, "p{color:#FF0000}"},
        {"p{color:hsl(200grad 100% 50%)}", 180, "p{color:#FF0000}"},
        {"p{color:hsl(-120 100% 50%)}", 180, "p{color:#FFFF00}"},
        {"p{color:hsl(480, 100%, 50%)}", 180, "p{color:#FF00FF}"},
        // White converts to itself and keeps its spelling (was "#FFFFFF").
        {"p{color:hsl(0 0% 100%)}", 180, "p{color:hsl(0 0% 100%)}"},
        // 127.5 is a tie: to the even channel, as for percentages in rgb(): rgb(128, 0, 0).
        {"p{color:hsl(0, 100%, 25%)}", 180, "p{color:#008080}"},
        {"p{color:hsla(240, 100%, 50%, 0.25)}", 120, "p{color:rgba(255, 0, 0, 0.25)}"},
        {"p{color:HSLA(240,100%,50%,.25)}", 180, "p{color:rgba(255, 255, 0, .25)}"},
        {"p{color:hsl(240deg 100% 50% / 25%)}", 180, "p{color:rgba(255, 255, 0, 25%)}"},
        // The space form also takes plain numbers for saturation and lightness.
        {"p{color:hsl(120 100 50)}", 180, "p{color:#FF00FF}"},
    });
}

TEST(ColourRewriterModern, MinifiedRulesAndGradients)
{
    ExpectCases({
        // Black and white convert to themselves and keep their spelling.
        {".a{color:rgba(0,0,0,.5);background:hsl(0 0% 100%)}.b{border-color:hsla(0,100%,50%,.1)}", 120,
         ".a{color:rgba(0,0,0,.5);background:hsl(0 0% 100%)}.b{border-color:rgba(0, 255, 0, .1)}"},
        {".g{background:linear-gradient(to right,rgba(255,0,0,.8) 0%,hsl(240 100% 50%) 100%)}", 120,
         ".g{background:linear-gradient(to right,rgba(0, 255, 0, .8) 0%,#FF0000 100%)}"},
        {".m{color:color-mix(in srgb, red 50%, blue)}", 120, ".m{color:color-mix(in srgb, #00FF00 50%, #FF0000)}"},
        {".h{font-family:hsl;color:hsl}", 120, ".h{font-family:hsl;color:hsl}"},
        {".u{background:url(img/hsl(0,100%,50%).png) hsl(0,100%,50%)}", 120,
         ".u{background:url(img/hsl(0,100%,50%).png) #00FF00}"},
    });
}

TEST(ColourRewriterModern, AttributesAndStyleValues)
{
    ExpectCases({
        {R"~(<div style="color: hsl(0, 100%, 50%); background: rgba(0,0,255,.1)">)~", 120,
         R"~(<div style="color: #00FF00; background: rgba(255, 0, 0, .1)">)~"},
        {R"~(<p style="border:1px solid rgb(0 0 255 / 10%)">)~", 120, R"~(<p style="border:1px solid rgba(255, 0, 0, 10%)">)~"},
        {R"~(<font color="rgba(255,0,0,0.5)">)~", 120, R"~(<font color="rgba(0, 255, 0, 0.5)">)~"},
        {R"~(<font color="hsl(120,100%,50%)">)~", 120, R"~(<font color="#0000FF">)~"},
        {R"~(<td bgcolor=hsl(120,100%,50%)>)~", 120, R"~(<td bgcolor=#0000FF>)~"},
    });
}

// A malformed function is no error: it stays as written, as a browser would ignore it.
TEST(ColourRewriterModern, MalformedFunctionsStay)
{
    for (const char* value : {
             "rgba(255 0 0 0.5)",          // four values without "/"
             "hsl(120, 100, 50)",          // the comma form needs percentages
             "rgb(100%, 0.5, 0)",          // the comma form does not mix numbers and percentages
             "rgb(1 2 3 / )",              // no alpha after "/"
             "rgb(1 2 3 / 0.5 0.5)",       // two alphas
             "rgb(1 2 3 / 4 / 5)",
             "rgba(300, 0, 0, .5)",        // channels out of range are not rounded into it
             "rgb(-1 0 0)",
             "rgb(1000,0,0)",
             "hsl(120 101% 50%)",
             "hsl(120 100% 50% / none)",
             "hsl(120deg, 100%)",
             "rgb(1,2,3,4,5)",
             "rgb(1 2)",
             "rgb()",
             "hsl(120px 100% 50%)",
             "rgb(1..2 0 0)",
             "rgb(. 0 0)",
             "rgb(1,2,3,)",
             "rgb(var(--r), 0, 0)",
             "hsl(calc(10deg + 5deg) 100% 50%)",
         }) {
        const std::string css = std::string("p{color:") + value + "}";
        EXPECT_EQ(Rewrite(css, 120), css);
    }
    // Keywords other than the named colours stay too.
    ExpectCases({
        {"p{color:transparent;background:currentColor;border-color:inherit;outline-color:var(--x)}", 120,
         "p{color:transparent;background:currentColor;border-color:inherit;outline-color:var(--x)}"},
        {"p{color:rgba(0,0,0,.5}", 0, "p{color:rgba(0,0,0,.5}"},
    });
}

// The classic form keeps its results and its two errors.
TEST(ColourRewriterModern, ClassicRgbUnchanged)
{
    ExpectCases({
        {"p{color:rgb(255,0,0)}", 120, "p{color:#00FF00}"},
        {"p{color:rgb(100%, 0, 0)}", 120, "p{color:#00FF00}"},
        // rgb(76, 26, 178).
        {"p{color:rgb(30%,10%,70%)}", 180, "p{color:#80B21A}"},
    });
    TColourRewriter r(0, 0, 0, {}, {}, {});
    EXPECT_THROW(r.ReplaceAll("p{color:rgb(300,0,0)}"), EConvertError);
    EXPECT_THROW(r.ReplaceAll("p{color:rgb(10 %,0,0)}"), EConvertError);
    // ReplaceColorFunction on its own: the first function found is the colour, the rest goes.
    EXPECT_EQ(r.ReplaceColorFunction("rgba(255,0,0,.5) solid"), "rgba(255, 0, 0, .5)");
    EXPECT_EQ(r.ReplaceColorFunction("xrgb(1 2 3) hsl(0 0% 0%)"), "#000000");
    EXPECT_EQ(r.ReplaceColorFunction("no colour"), "no colour");
}

TEST(CssColorFunction, Reads)
{
    const auto f = ParseCssColorFunction("hsla(120deg 100% 25% / 0.5)");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Color, (TRGBColor{0, 128, 0}));
    EXPECT_TRUE(f->HasAlpha);
    EXPECT_EQ(f->Alpha, "0.5");

    const auto g = ParseCssColorFunction("rgb( 10 , 20 , 30 )");
    ASSERT_TRUE(g);
    EXPECT_EQ(g->Color, (TRGBColor{10, 20, 30}));
    EXPECT_FALSE(g->HasAlpha);

    const auto h = ParseCssColorFunction("RGBA(\t0%\n, 100% ,50%, 0)");
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Color, (TRGBColor{0, 255, 128}));
    EXPECT_EQ(h->Alpha, "0");

    EXPECT_FALSE(ParseCssColorFunction("rgb(1 2 3) "));
    EXPECT_FALSE(ParseCssColorFunction("rgb (1 2 3)"));
    EXPECT_FALSE(ParseCssColorFunction("hwb(0 0% 0%)"));
    EXPECT_FALSE(ParseCssColorFunction("rgb(1e999 0 0)"));
}

TEST(CssColorFunction, HslToRgbFollowsTheCssFormula)
{
    EXPECT_EQ(HslToRgb(0, 100, 50), (TRGBColor{255, 0, 0}));
    EXPECT_EQ(HslToRgb(60, 100, 50), (TRGBColor{255, 255, 0}));
    EXPECT_EQ(HslToRgb(180, 100, 50), (TRGBColor{0, 255, 255}));
    EXPECT_EQ(HslToRgb(300, 100, 50), (TRGBColor{255, 0, 255}));
    EXPECT_EQ(HslToRgb(30, 100, 50), (TRGBColor{255, 128, 0}));  // 127.5 to the even 128
    EXPECT_EQ(HslToRgb(0, 0, 50), (TRGBColor{128, 128, 128}));
    EXPECT_EQ(HslToRgb(45, 80, 70), (TRGBColor{240, 209, 117}));
    EXPECT_EQ(HslToRgb(330, 40, 80), (TRGBColor{224, 184, 204}));
    EXPECT_EQ(HslToRgb(720 + 120, 100, 50), (TRGBColor{0, 255, 0}));
    EXPECT_EQ(HslToRgb(120, 100, 100), (TRGBColor{255, 255, 255}));
    EXPECT_EQ(HslToRgb(120, 100, 0), (TRGBColor{0, 0, 0}));
}

}  // namespace
