// Which tokens of a declaration are colours: function names, longer tokens, colour functions
// inside other functions, and braces and colours inside strings and comments, in the shapes of
// current and minified stylesheets. At hue 120 each colour (r, g, b) becomes (b, r, g).

#include "text/ColourRewriter.h"

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

void ExpectCases(const std::vector<TCase>& Cases)
{
    for (const TCase& c : Cases)
        EXPECT_EQ(Rewrite(c.Input), c.Output) << "input: " << c.Input;
}

TEST(ColourRewriterTokens, FunctionNamesAreNoColours)
{
    ExpectCases({
        // Each name was converted as a colour: "#808080()" and so on.
        {".a{filter:gray()}", ".a{filter:gray()}"},
        {".b{transform:rotate(calc(tan(45deg) * 1rad))}", ".b{transform:rotate(calc(tan(45deg) * 1rad))}"},
        {".d{filter:url(#f) red(2)}", ".d{filter:url(#f) red(2)}"},
        {".e{background:#abc(1)}", ".e{background:#abc(1)}"},
        // The colour name itself, also in functions of colours.
        {".f{color:tan;border-color:TAN}", ".f{color:#8CD2B4;border-color:#8CD2B4}"},
        {".g{color:color-mix(in srgb, red 40%, blue)}", ".g{color:color-mix(in srgb, #00FF00 40%, #FF0000)}"},
        {".h{color:light-dark(red, blue)}", ".h{color:light-dark(#00FF00, #FF0000)}"},
    });
}

TEST(ColourRewriterTokens, HexadecimalDigitsAndLongerTokens)
{
    ExpectCases({
        // Three, four, six or eight digits standing apart; "#18799" was "#187" and "99" and
        // came out as "#771188".
        {".a{color:#18799}", ".a{color:#18799}"},
        {".a{color:#ff0000ff0}", ".a{color:#ff0000ff0}"},
        {".a{color:#fffg;b:#f00-x;c:#f00_1}", ".a{color:#fffg;b:#f00-x;c:#f00_1}"},
        {".a{color:#f00;b:#f00f;c:#ff0000;d:#ff000080}", ".a{color:#00FF00;b:#00FF00FF;c:#00FF00;d:#00FF0080}"},
        // Minified and hacked forms around a colour that stands apart.
        {".a{border:1px solid#f00}", ".a{border:1px solid#00FF00}"},
        {".a{color:#f00\\9;*color:#00f}", ".a{color:#00FF00\\9;*color:#FF0000}"},
        {".a{color:#f00!important}", ".a{color:#00FF00!important}"},
        {".a{box-shadow:0 0 0 1px#f00,inset 0 1px#00f}", ".a{box-shadow:0 0 0 1px#00FF00,inset 0 1px#FF0000}"},
        // A character reference is no colour.
        {"<p style=\"content:&#160;;color:#f00\">", "<p style=\"content:&#160;;color:#00FF00\">"},
    });
}

TEST(ColourRewriterTokens, ColourFunctionsInsideOtherFunctions)
{
    ExpectCases({
        // The fallback of var() is converted on its own (the rgb of the name ran into it:
        // "var(--text-rgba(0, 0, 0, .5))").
        {".a{color:var(--text-rgb, rgba(13,110,253,.5))}", ".a{color:var(--text-rgb, rgba(253, 13, 110, .5))}"},
        {".a{color:var(--text-rgb, rgba(0,0,0,.5))}", ".a{color:var(--text-rgb, rgba(0,0,0,.5))}"},
        {".a{color:var(--link-color, red)}", ".a{color:var(--link-color, #00FF00)}"},
        {".a{color:var(--x,var(--y,#0d6efd))}", ".a{color:var(--x,var(--y,#FD0D6E))}"},
        // Functions whose parts are not numbers are no colours; colours in them are.
        {".a{color:rgba(var(--bs-primary-rgb), .5)}", ".a{color:rgba(var(--bs-primary-rgb), .5)}"},
        {".a{color:rgb(var(--r) 0 0)}", ".a{color:rgb(var(--r) 0 0)}"},
        {".a{color:rgb(from #f00 r g b / 50%)}", ".a{color:rgb(from #00FF00 r g b / 50%)}"},
        {".a{color:hsl(from red calc(h + 30) s l)}", ".a{color:hsl(from #00FF00 calc(h + 30) s l)}"},
        {".a{color:hsl(var(--h), 100%, 50%)}", ".a{color:hsl(var(--h), 100%, 50%)}"},
        // A name that merely ends in "rgb" or "hsl" is no function of colours.
        {".a{x:myrgb(255,0,0);y:--hsl(0,100%,50%);z:_rgb(255,0,0)}", ".a{x:myrgb(255,0,0);y:--hsl(0,100%,50%);z:_rgb(255,0,0)}"},
        // "rgb" with spaces before "(" is the classic form; "rgba" takes "(" right after it.
        {".a{color:rgb (255,0,0);b:rgba (255,0,0,.5)}", ".a{color:#00FF00;b:rgba (255,0,0,.5)}"},
        // Words before a function are words, also "rgb" itself.
        {".a{font:rgb x #f00 (a)}", ".a{font:rgb x #00FF00 (a)}"},
        {".a{grid-area:rgb;color:rgb(0,0,255)}", ".a{grid-area:rgb;color:#FF0000}"},
    });
}

TEST(ColourRewriterTokens, BracesInStringsAndComments)
{
    ExpectCases({
        // A brace in a string neither ends nor starts a rule (the rest of the rule was text,
        // and a string's "{" started one).
        {"p{content:'}'; color:red}", "p{content:'}'; color:#00FF00}"},
        {".icon::before{content:\"{\"}.b{color:red}", ".icon::before{content:\"{\"}.b{color:#00FF00}"},
        {"a[title=\"}\"]{color:red}", "a[title=\"}\"]{color:#00FF00}"},
        {"@import url(\"theme{1}.css\");p{color:red}", "@import url(\"theme{1}.css\");p{color:#00FF00}"},
        {".a{background:url(img/a}b.png) red}", ".a{background:url(img/a}b.png) #00FF00}"},
        {".a{font-family:\"Font}Name\",serif;color:blue}", ".a{font-family:\"Font}Name\",serif;color:#FF0000}"},
        // Nor in a comment.
        {"/* } */ p{color:red}", "/* } */ p{color:#00FF00}"},
        {"p{color:red /* } */;background:blue}", "p{color:#00FF00 /* } */;background:#FF0000}"},
        // A string that does not close ends with its line.
        {"p{content:\"a}\ncolor:red}", "p{content:\"a}\ncolor:#00FF00}"},
    });
}

TEST(ColourRewriterTokens, CommentsHoldNoColours)
{
    ExpectCases({
        {"p{color:red /* was blue */}", "p{color:#00FF00 /* was blue */}"},
        {"p{color:red;/* background: blue; */border:1px solid blue}", "p{color:#00FF00;/* background: blue; */border:1px solid #FF0000}"},
        {"p{/* note: x */color:red}", "p{/* note: x */color:#00FF00}"},
        // A commented-out rule is no rule (its colours were converted).
        {"/* .old { color: red } */\n.new { color: red }", "/* .old { color: red } */\n.new { color: #00FF00 }"},
    });
}

}  // namespace
