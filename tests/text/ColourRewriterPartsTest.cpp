// Colours kept in parts by current frameworks: "--name-rgb: R, G, B" beside the colour itself,
// and "--name-h", "--name-s", "--name-l" of one rule. At hue 120 each colour (r, g, b) becomes
// (b, r, g) and its HSL hue grows by 120 degrees; at hue 180 it becomes its complement and its
// hue grows by 180 degrees, saturation and lightness staying.

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

void ExpectCases(const std::vector<TCase>& Cases, int Hue = 120)
{
    for (const TCase& c : Cases)
        EXPECT_EQ(Rewrite(c.Input, Hue), c.Output) << "input: " << c.Input << ", hue " << Hue;
}

TEST(ColourRewriterParts, RgbPartsBesideTheColour)
{
    ExpectCases({
        // The colour changed and its parts did not: rgba(var(--bs-primary-rgb), .5) kept the
        // old colour.
        {":root{--bs-primary:#0d6efd;--bs-primary-rgb:13,110,253}", ":root{--bs-primary:#FD0D6E;--bs-primary-rgb:253,13,110}"},
        {":root {\n  --bs-danger: #dc3545;\n  --bs-danger-rgb: 220, 53, 69;\n}",
         ":root {\n  --bs-danger: #45DC35;\n  --bs-danger-rgb: 69, 220, 53;\n}"},
        // Written back in the same form: spaces, or commas with the spaces around them.
        {".a{--brand-rgb: 220 53 69}", ".a{--brand-rgb: 69 220 53}"},
        {".a{--brand-rgb:  13 ,110 ,  253 ;}", ".a{--brand-rgb:  253 ,13 ,  110 ;}"},
        {".a{--Brand-RGB: 255, 0, 0}", ".a{--Brand-RGB: 0, 255, 0}"},
        // Where they are used they stay as written.
        {".btn{background-color:rgba(var(--bs-primary-rgb),var(--bs-bg-opacity,1))}",
         ".btn{background-color:rgba(var(--bs-primary-rgb),var(--bs-bg-opacity,1))}"},
        // Inside a rule inside @media, where the first declaration the block pass sees starts at
        // the colon of ":root".
        {"@media (prefers-color-scheme: dark) {\n  :root { --x-rgb: 255, 0, 0; --x: red; }\n}",
         "@media (prefers-color-scheme: dark) {\n  :root { --x-rgb: 0, 255, 0; --x: #00FF00; }\n}"},
        // In a style attribute too.
        {"<div style=\"--x-rgb: 255, 0, 0; color: rgb(var(--x-rgb))\">", "<div style=\"--x-rgb: 0, 255, 0; color: rgb(var(--x-rgb))\">"},
    });
}

TEST(ColourRewriterParts, HslPartsOfOneRule)
{
    // hsl(171deg 100% 41%) is #00D1B2, hsl(204 86% 53%) #209CEE.
    ExpectCases({
        {":root{--bulma-primary-h:171deg;--bulma-primary-s:100%;--bulma-primary-l:41%}",
         ":root{--bulma-primary-h:291deg;--bulma-primary-s:100%;--bulma-primary-l:41%}"},
        {".theme {\n  --link-l: 53%;\n  --link-h: 204;\n  --link-s: 86%;\n}", ".theme {\n  --link-l: 53%;\n  --link-h: 324;\n  --link-s: 86%;\n}"},
        // Decimals as they were written.
        {".t{--c-h:204;--c-s:86.5%;--c-l:53.2%}", ".t{--c-h:324;--c-s:86.5%;--c-l:53.2%}"},
        {".t{--c-h:204.0;--c-s:86.5%;--c-l:53.25%}", ".t{--c-h:324.0;--c-s:86.5%;--c-l:53.25%}"},
        {".t{--c-h:204.25deg;--c-s:86.5%;--c-l:53.25%}", ".t{--c-h:324.25deg;--c-s:86.5%;--c-l:53.25%}"},
        {".t{--c-h:171DEG;--c-s:100%;--c-l:41%}", ".t{--c-h:291DEG;--c-s:100%;--c-l:41%}"},
        {"@media (prefers-color-scheme: dark) { :root { --s-h: 0; --s-s: 100%; --s-l: 50%; } }",
         "@media (prefers-color-scheme: dark) { :root { --s-h: 120; --s-s: 100%; --s-l: 50%; } }"},
        // Two colours in one rule, each with its own stem.
        {":root{--a-h:0;--a-s:100%;--a-l:50%;--b-h:240;--b-s:100%;--b-l:50%}", ":root{--a-h:120;--a-s:100%;--a-l:50%;--b-h:0;--b-s:100%;--b-l:50%}"},
    });
    ExpectCases({{":root{--bulma-primary-h:171deg;--bulma-primary-s:100%;--bulma-primary-l:41%}",
                  ":root{--bulma-primary-h:351deg;--bulma-primary-s:100%;--bulma-primary-l:41%}"}},
                180);
}

TEST(ColourRewriterParts, AmbiguousPartsStay)
{
    for (const char* css : {
             // A part missing, or in another rule.
             ":root{--x-h:171deg;--x-s:100%}",
             ".a{--x-h:171deg}.b{--x-s:100%;--x-l:41%}",
             // A part repeated.
             ":root{--x-h:171deg;--x-s:100%;--x-l:41%;--x-l:45%}",
             // Values that are not plain numbers in their units.
             ":root{--x-h:var(--h);--x-s:100%;--x-l:41%}",
             ":root{--x-h:171deg;--x-s:100%;--x-l:calc(41% + 5%)}",
             ":root{--x-h:0.5turn;--x-s:100%;--x-l:41%}",
             ":root{--x-h:171deg;--x-s:100;--x-l:41%}",
             ":root{--x-h:171deg;--x-s:100%;--x-l:41% !important}",
             ":root{--x-h:171deg;--x-s:120%;--x-l:41%}",
             ":root{--x-h:1e2;--x-s:100%;--x-l:41%}",
             // Parts of something else ("-l" of a light variant with no "-h" or "-s").
             ":root{--bulma-primary-light-l:96%;--bulma-primary-invert-l:100%}",
             ".a{--h:10;--s:50%;--l:50%}",
             // "-rgb" values that are not three whole numbers 0..255.
             ":root{--x-rgb:13,110}",
             ":root{--x-rgb:13,110,253,1}",
             ":root{--x-rgb:13,110,256}",
             ":root{--x-rgb:13.5,110,253}",
             ":root{--x-rgb:5%,43%,99%}",
             ":root{--x-rgb:13, 110 253}",
             ":root{--x-rgb:13,,110,253}",
             ":root{--x-rgb:var(--r),110,253}",
             ":root{--x-rgb:\"13,110,253\"}",
             // Not a custom property.
             ".a{x-rgb:13,110,253}",
         })
        EXPECT_EQ(Rewrite(css), css);
}

TEST(ColourRewriterParts, UnchangedColoursAndGreys)
{
    const char* const css = ":root{--x-rgb:13,110,253;--x-h:171deg;--x-s:100%;--x-l:41%}";
    EXPECT_EQ(Rewrite(css, 0), css);
    // Greys convert to themselves at any hue.
    for (const char* grey : {":root{--g-rgb:128, 128, 128}", ":root{--g-h:210;--g-s:0%;--g-l:50%}",
                             ":root{--w-h:0;--w-s:100%;--w-l:100%}"})
        EXPECT_EQ(Rewrite(grey), grey);
}

// Pairs decide exactly what a colour becomes: the parts follow, and a colour made grey keeps its
// hue as written.
TEST(ColourRewriterParts, PartsFollowPairs)
{
    const std::vector<TRGBColor> before{{13, 110, 253}, {0, 209, 178}};
    const std::vector<TRGBColor> after{{1, 2, 3}, {128, 128, 128}};
    const bool adjust[] = {false, false};
    TColourRewriter r(0, 0, 0, before, after, adjust);
    EXPECT_EQ(r.ReplaceAll(":root{--bs-primary:#0d6efd;--bs-primary-rgb:13, 110, 253}"),
              ":root{--bs-primary:#010203;--bs-primary-rgb:1, 2, 3}");
    EXPECT_EQ(r.ReplaceAll(":root{--p-h:171deg;--p-s:100%;--p-l:41%}"), ":root{--p-h:171deg;--p-s:0%;--p-l:50%}");
}

}  // namespace
