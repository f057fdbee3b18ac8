// The rewriter pass by pass: colour attributes of tags, brace blocks and their declarations,
// value tokens, the colour forms and the errors. Where the expectation differs from the
// original design of the rewriter, the comment says which rule changed it.
//
// At hue 180 every colour becomes its complement (each channel c becomes max + min - c), at
// hue 120 red becomes lime, lime blue and blue red; a colour that converts to itself (every
// colour with all settings at zero, greys at any hue) keeps its spelling.

#include "text/ColourRewriter.h"

#include "base/Exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Rewrite(std::string_view Text, int Hue = 0, int Sat = 0, int Bright = 0)
{
    TColourRewriter r(Hue, Sat, Bright, {}, {}, {});
    return r.ReplaceAll(Text);
}

// Runs ReplaceAll expecting EConvertError and gives its message.
std::string ConvertErrorOf(std::string_view Text)
{
    TColourRewriter r(0, 0, 0, {}, {}, {});
    try {
        const std::string result = r.ReplaceAll(Text);
        ADD_FAILURE() << "no error; the text came back as " << result;
    } catch (const EConvertError& e) {
        return e.what();
    }
    return {};
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

// ---- Tag pass and colour attributes ----

TEST(ColourRewriterTags, WorkedExamples)
{
    ExpectCases({
        // With every setting at zero nothing changes (was "#FF0000").
        {R"(<font color="red">)", 0, R"(<font color="red">)"},
        {R"(<font color="red">)", 120, R"(<font color="#00FF00">)"},
        // Single quotes stay (they were dropped).
        {R"(<body bgcolor=#ffc text='#036'>)", 180, R"(<body bgcolor=#CCCCFF text='#663300'>)"},
        // White is a grey: it keeps its spelling (was "#FFFFFF").
        {R"(<body bgcolor="White" link="#00f" vlink="purple">)", 120,
         R"(<body bgcolor="White" link="#FF0000" vlink="#808000">)"},
        {R"(<font color=rgb(255,0,0)>)", 120, R"(<font color=#00FF00>)"},
        {R"(<font color=rgb(255, 0, 0) size=2>)", 120, R"(<font color=#00FF00 size=2>)"},
        {R"~(<font color="rgb(0, 0, 255)">)~", 120, R"(<font color="#FF0000">)"},
        {R"(<p style="color: navy;">)", 180, R"(<p style="color: #808000;">)"},
    });
}

TEST(ColourRewriterTags, WhichTagsAndAttributesAreFound)
{
    ExpectCases({
        // Attribute names in any case.
        {R"(<td BGCOLOR="RED">)", 120, R"(<td BGCOLOR="#00FF00">)"},
        {R"(<TABLE BorderColorDark=navy bordercolorlight="#ABC">)", 180,
         R"(<TABLE BorderColorDark=#808000 bordercolorlight="#CCBBAA">)"},
        // The attribute name needs white space before it for the tag to be found.
        {R"(<a href="x?color=red">)", 120, R"(<a href="x?color=red">)"},
        // Spaces and a line break around "=".
        {"<font\ncolor = \"red\"\n>", 120, "<font\ncolor = \"#00FF00\"\n>"},
        // A tag inside a comment is rewritten like any other; the comment itself is no tag.
        {R"(<!-- <font color="red"> -->)", 120, R"(<!-- <font color="#00FF00"> -->)"},
        {R"(<!DOCTYPE html color=red>)", 120, R"(<!DOCTYPE html color=red>)"},
        // Values that are not colours stay as they are.
        {R"(<body text="Hello" link=visited>)", 120, R"(<body text="Hello" link=visited>)"},
        {R"(<font color="">)", 120, R"(<font color="">)"},
        {R"(<font color='' size=2>)", 120, R"(<font color='' size=2>)"},
        {R"(<font color="transparent">)", 120, R"(<font color="transparent">)"},
        // Single-quoted values are read like double-quoted ones, quotes kept (the value 'red'
        // was no name, and a converted value lost its quotes).
        {R"(<font color='red'>)", 120, R"(<font color='#00FF00'>)"},
        {R"(<font color='#f00'>)", 120, R"(<font color='#00FF00'>)"},
        // The colour is converted where it stands and the rest of the value kept (the value was
        // cut down to its colour).
        {R"(<font color="#ff0000 bold">)", 120, R"(<font color="#00FF00 bold">)"},
    });
}

TEST(ColourRewriterTags, NoTagsAndNoBracesMeansNoChange)
{
    EXPECT_EQ(Rewrite(""), "");
    EXPECT_EQ(Rewrite("plain text, red and #fff and rgb(1,2,3)"), "plain text, red and #fff and rgb(1,2,3)");
    EXPECT_EQ(Rewrite("<p class=\"red\">red</p>", 120), "<p class=\"red\">red</p>");
}

// Each match is rewritten where it was found, not at an earlier occurrence of the same text.
TEST(ColourRewriterTags, MatchRewrittenWhereFound)
{
    // "color=red" inside the face value is no attribute; the second, real attribute has the
    // same text and must be rewritten in its own place.
    EXPECT_EQ(Rewrite(R"(<font face="color=red" color=red>)", 120), R"(<font face="color=red" color=#00FF00>)");
    // Identical tags one after another are each converted once.
    EXPECT_EQ(Rewrite(R"(<font color=red><font color=red><font color=red>)", 120),
              R"(<font color=#00FF00><font color=#00FF00><font color=#00FF00>)");
}

// A style value is rewritten declaration by declaration; everything else in it is kept.
TEST(ColourRewriterTags, StyleValueDeclarationByDeclaration)
{
    ExpectCases({
        {R"(<p style="color:#f00; background:#0f0">)", 180, R"(<p style="color:#00FFFF; background:#FF00FF">)"},
        {R"(<p style="color:#f00; background:#0f0">)", 120, R"(<p style="color:#00FF00; background:#0000FF">)"},
        {R"(<div STYLE="border: 1px solid rgb(255,0,0); margin: 0 auto; color: red">)", 120,
         R"(<div STYLE="border: 1px solid #00FF00; margin: 0 auto; color: #00FF00">)"},
        {R"(<p style="background: url(img/red.gif) no-repeat; color: blue">)", 120,
         R"(<p style="background: url(img/red.gif) no-repeat; color: #FF0000">)"},
        {R"(<p style=color:red>)", 120, R"(<p style=color:#00FF00>)"},
        {R"(<p style="red">)", 120, R"(<p style="red">)"},
    });
}

// Values of any length come back whole.
TEST(ColourRewriterTags, LongStyleValueKeptWhole)
{
    std::string declarations;
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        declarations += "padding-left: " + std::to_string(i) + "px; border-top: 1px dotted #00f; ";
        expected += "padding-left: " + std::to_string(i) + "px; border-top: 1px dotted #FF0000; ";
    }
    ASSERT_GT(declarations.size(), 1000u);
    const std::string input = "<div style=\"" + declarations + "color: blue\">text</div>";
    EXPECT_EQ(Rewrite(input, 120), "<div style=\"" + expected + "color: #FF0000\">text</div>");

    const std::string longValue = "<font color=\"" + std::string(300, 'x') + "\">";
    EXPECT_EQ(Rewrite(longValue), longValue);
}

// ---- Block pass and declarations ----

TEST(ColourRewriterBlocks, WorkedExamples)
{
    ExpectCases({
        // The last declaration has no semicolon: converted all the same.
        {"h1 { color: red; background: #00f }", 120, "h1 { color: #00FF00; background: #FF0000 }"},
        // rgb(255, 128, 0) and rgb(76, 26, 178).
        {"p { color: rgb(100%, 50%, 0%); }", 180, "p { color: #007FFF; }"},
        {"p { color: rgb(30%, 10%, 70%); }", 180, "p { color: #80B21A; }"},
        // Four digits keep their alpha digit after the converted colour (was "#AABBCC").
        {"a { border: 1px solid #abcd; }", 180, "a { border: 1px solid #CCBBAADD; }"},
    });
}

TEST(ColourRewriterBlocks, LastDeclarationWithoutSemicolon)
{
    ExpectCases({
        {"a:hover { color: red }", 120, "a:hover { color: #00FF00 }"},
        {".a{color:#f00;background:#0f0}", 120, ".a{color:#00FF00;background:#0000FF}"},
        {".a{color:#f00}.b{color:#0f0}", 120, ".a{color:#00FF00}.b{color:#0000FF}"},
        {"p {\r\n  color: navy;\r\n  border-color: teal\r\n}\r\n", 180,
         "p {\r\n  color: #808000;\r\n  border-color: #800000\r\n}\r\n"},
        // Nothing after the last semicolon, or no colon at all.
        {"p { color: red; }", 120, "p { color: #00FF00; }"},
        {"{ red }", 120, "{ red }"},
        {"{}", 120, "{}"},
        // A block with no closing brace is no block.
        {"p { color: red", 120, "p { color: red"},
    });
}

TEST(ColourRewriterBlocks, StyleElementsScriptsAndPlainText)
{
    ExpectCases({
        {"<style>\nbody { background: yellow; color: navy; }\n</style>", 180,
         "<style>\nbody { background: #0000FF; color: #808000; }\n</style>"},
        // Braces in script code are no blocks: nothing in a script is converted (a name in
        // them was).
        {"<script>function f() { var c = ok ? 'red' : \"blue\"; }</script>", 120,
         "<script>function f() { var c = ok ? 'red' : \"blue\"; }</script>"},
        {"<script>var o = { fg: red, bg: '#f00' };</script>", 120,
         "<script>var o = { fg: red, bg: '#f00' };</script>"},
    });
}

// A colour attribute stands in a tag; braces in the text of a page around it are no block
// (the text was converted too).
TEST(ColourRewriterBlocks, TagInsideBracesConvertedOnce)
{
    EXPECT_EQ(Rewrite(R"({<span style="color:red">x</span>})", 120), R"({<span style="color:#00FF00">x</span>})");
    EXPECT_EQ(Rewrite(R"({ b: <font color=red> red })", 120), R"({ b: <font color=#00FF00> red })");
}

// ---- Value tokens ----

TEST(ColourRewriterValues, UrlsStringsAndWordsThatAreNotColourNames)
{
    ExpectCases({
        {"p { background: url(img/red.gif) red; }", 120, "p { background: url(img/red.gif) #00FF00; }"},
        {"p { background: URL( \"red blue.png\" ) blue; }", 120,
         "p { background: URL( \"red blue.png\" ) #FF0000; }"},
        {"p { background-image: url(bg-red.png); }", 120, "p { background-image: url(bg-red.png); }"},
        {"p { background: bg-red.png; }", 120, "p { background: bg-red.png; }"},
        {"p { color: var(--red); }", 120, "p { color: var(--red); }"},
        {"p { color: red2; x: .blue; y: #red; z: \\red; w: a_red; }", 120,
         "p { color: red2; x: .blue; y: #red; z: \\red; w: a_red; }"},
        {"p { border: 1px solid red; }", 120, "p { border: 1px solid #00FF00; }"},
        {"p { color: red!important; }", 120, "p { color: #00FF00!important; }"},
        {"p { font-family: \"Red Sans\", 'orange', tan; }", 180, "p { font-family: \"Red Sans\", 'orange', #8CAAD2; }"},
        {"p { content: \"a \\\" red\"; color: red; }", 120, "p { content: \"a \\\" red\"; color: #00FF00; }"},
        // A url holding a semicolon does not end the protection early.
        {"p { background: url(data:image/png;base64,red) red; }", 120,
         "p { background: url(data:image/png;base64,red) #00FF00; }"},
        // What follows a url or a string is read afresh after it.
        {"p { background: url(img/rgb-x.png) rgb(255,0,0); }", 120, "p { background: url(img/rgb-x.png) #00FF00; }"},
        {"p { content: \"rgb(\" ; color: rgb(0,0,255) }", 120, "p { content: \"rgb(\" ; color: #FF0000 }"},
        // A colour word touched by "-" is part of a longer word; the other one converts.
        {"p { x: x-red red; }", 120, "p { x: x-red #00FF00; }"},
        // Not inside comments: an apostrophe there opens no string.
        {"p { /* don't */ color: red; }", 120, "p { /* don't */ color: #00FF00; }"},
    });
}

// A quote with no closing quote opens a string that ends at the end of its line, as CSS has it:
// a colour later on that line is inside the string and stays, one on the next line is converted.
TEST(ColourRewriterValues, UnclosedStringEndsAtTheEndOfItsLine)
{
    ExpectCases({
        {"p { content: \"a red;\n  color: blue; }", 120, "p { content: \"a red;\n  color: #FF0000; }"},
        {"p { content: 'a red;\r\n  color: blue; }", 120, "p { content: 'a red;\r\n  color: #FF0000; }"},
        {"p { content: \"a red;\r  color: blue; }", 120, "p { content: \"a red;\r  color: #FF0000; }"},
        {"p { content: \"a red;\f  color: blue; }", 120, "p { content: \"a red;\f  color: #FF0000; }"},
        // Inside a url, and in a style attribute.
        {"p { background: url(\"a red.png\n) red; }", 120, "p { background: url(\"a red.png\n) #00FF00; }"},
        {"<p style=\"content: 'a red;\ncolor: blue\">", 120, "<p style=\"content: 'a red;\ncolor: #FF0000\">"},
        // Closed on its line, the string ends at its quote.
        {"p { content: \"a\" red;\n  color: blue; }", 120, "p { content: \"a\" #00FF00;\n  color: #FF0000; }"},
    });
}

TEST(ColourRewriterValues, ColourForms)
{
    ExpectCases({
        {"p{color:#ABCDEF}", 0, "p{color:#ABCDEF}"},
        // A colour that converts to itself keeps its spelling (was "#ABCDEF").
        {"p{color:#abcdef}", 0, "p{color:#abcdef}"},
        {"p{color:#abcdef}", 180, "p{color:#EFCDAB}"},
        {"p{color:#f00}", 120, "p{color:#00FF00}"},
        // Eight digits keep their alpha after the converted colour (was the colour alone).
        {"p{color:#ff000080}", 0, "p{color:#ff000080}"},
        {"p{color:#ff000080}", 120, "p{color:#00FF0080}"},
        {"p{color:#abcd}", 120, "p{color:#CCAABBDD}"},
        // Other lengths are no colours: "#abcde" is not "#abc" and "de" (five digits gave the
        // first three, seven the first six).
        {"p{color:#abcde}", 180, "p{color:#abcde}"},
        {"p{color:#abcdef1}", 180, "p{color:#abcdef1}"},
        {"p{color:#ab}", 180, "p{color:#ab}"},
        {"p{color:rgb(255,0,0)}", 120, "p{color:#00FF00}"},
        // rgb(0, 128, 255) and rgb(128, 26, 230).
        {"p{color:RGB( 0 , 128 , 255 )}", 180, "p{color:#FF7F00}"},
        {"p{color:rgb(50%,10%,90%)}", 180, "p{color:#80E61A}"},
        {"p{color:Navy;b:NAVY;c:LightGoldenRodYellow}", 180, "p{color:#808000;b:#808000;c:#D2D2FA}"},
        // The greys keep their spelling at any hue; each of their names is a colour all the
        // same (see GreySpellingsAreOneColour).
        {"p{a:grey;b:lightgray;c:darkgrey;d:gray;e:lightgrey;f:darkgray}", 120,
         "p{a:grey;b:lightgray;c:darkgrey;d:gray;e:lightgrey;f:darkgray}"},
        {"p{color:RebeccaPurple}", 180, "p{color:#669933}"},
        {"p{color:rgb(1000,0,0)}", 0, "p{color:rgb(1000,0,0)}"},
        {"p{color:transparent;border-color:currentColor;background:inherit}", 120,
         "p{color:transparent;border-color:currentColor;background:inherit}"},
    });
}

// Every spelling of a named grey is that grey: a pair for the grey converts each of them.
TEST(ColourRewriterValues, GreySpellingsAreOneColour)
{
    const std::vector<TRGBColor> before{{0x80, 0x80, 0x80}, {0xA9, 0xA9, 0xA9}, {0x2F, 0x4F, 0x4F},
                                        {0x69, 0x69, 0x69}, {0xD3, 0xD3, 0xD3}, {0x77, 0x88, 0x99},
                                        {0x70, 0x80, 0x90}, {0x66, 0x33, 0x99}};
    const std::vector<TRGBColor> after{{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0},
                                       {5, 0, 0}, {6, 0, 0}, {7, 0, 0}, {8, 0, 0}};
    const bool adjust[] = {false, false, false, false, false, false, false, false};
    TColourRewriter r(0, 0, 0, before, after, adjust);
    EXPECT_EQ(r.ReplaceAll(".a{color:grey;background:GRAY}.b{color:darkgrey;background:darkgray}"),
              ".a{color:#010000;background:#010000}.b{color:#020000;background:#020000}");
    EXPECT_EQ(r.ReplaceAll(".c{color:darkslategrey;background:darkslategray}.d{color:DimGrey;background:dimgray}"),
              ".c{color:#030000;background:#030000}.d{color:#040000;background:#040000}");
    EXPECT_EQ(r.ReplaceAll(".e{color:lightgrey;background:lightgray}.f{color:lightslategrey;background:lightslategray}"),
              ".e{color:#050000;background:#050000}.f{color:#060000;background:#060000}");
    EXPECT_EQ(r.ReplaceAll(".g{color:slategrey;background:slategray}.h{color:rebeccapurple}"),
              ".g{color:#070000;background:#070000}.h{color:#080000}");
    EXPECT_EQ(r.ReplaceAll("<font color=\"Grey\"><td bgcolor=lightgray>"),
              "<font color=\"#010000\"><td bgcolor=#050000>");
}

TEST(ColourRewriterValues, SpecificColourPairs)
{
    const std::vector<TRGBColor> before{{255, 0, 0}, {0, 0, 255}};
    const std::vector<TRGBColor> after{{1, 2, 3}, {255, 0, 0}};
    const bool adjust[] = {false, true};
    TColourRewriter r(120, 0, 0, before, after, adjust);
    EXPECT_EQ(r.ReplaceAll("p{a:red;b:blue;c:lime}"), "p{a:#010203;b:#00FF00;c:#0000FF}");
    EXPECT_EQ(r.ReplaceAll("<font color=#f00><style>p{a:red}</style>"), "<font color=#010203><style>p{a:#010203}</style>");
}

// ---- Errors ----

TEST(ColourRewriterErrors, RgbFunctionErrorsEndTheRewrite)
{
    EXPECT_EQ(ConvertErrorOf("p { color: rgb(300, 0, 0); }"), "RGB関数の数字がたぶん大きすぎ");
    EXPECT_EQ(ConvertErrorOf("p{color:rgb(101%,0,0);}"), "RGB関数の数字がたぶん大きすぎ");
    EXPECT_EQ(ConvertErrorOf("p { color: rgb(10 %, 0, 0); }"), "RGB関数の中身が変");
    EXPECT_EQ(ConvertErrorOf("<font color=\"rgb(0, 256, 0)\">"), "RGB関数の数字がたぶん大きすぎ");
    // A fault late in a long text still ends the whole rewrite.
    EXPECT_EQ(ConvertErrorOf(std::string(5000, ' ') + "p{color:red}\nq{color:rgb(0,0,999)}"),
              "RGB関数の数字がたぶん大きすぎ");
}

TEST(ColourRewriterErrors, HexadecimalDigits)
{
    TColourRewriter r(0, 0, 0, {}, {}, {});
    EXPECT_EQ(r.HexToInt("ff"), 255);
    EXPECT_EQ(r.HexToInt("0A"), 10);
    for (const char* bad : {"", "g0", "0x", " f"}) {
        try {
            r.HexToInt(bad);
            ADD_FAILURE() << "no error for \"" << bad << "\"";
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), "16進文字から数字に変換できませんでした");
        }
    }
    EXPECT_THROW(r.ConvertHex("#12"), EConvertError);
}

// ---- The single operations ----

TEST(ColourRewriterOperations, RgbFunctionToHex)
{
    TColourRewriter r(120, 0, 0, {}, {}, {});
    EXPECT_EQ(r.RgbFunctionToHex("rgb(255,0,0)"), "#FF0000");  // not yet converted
    EXPECT_EQ(r.RgbFunctionToHex("rgb( 1 ,\n2 , 3\t)"), "#010203");
    EXPECT_EQ(r.RgbFunctionToHex("rgb(50%, 10%, 90%)"), "#801AE6");
    EXPECT_EQ(r.RgbFunctionToHex("rgb(30%,70%,100%)"), "#4CB2FF");
    EXPECT_THROW(r.RgbFunctionToHex("rgb(1,2)"), EConvertError);
    EXPECT_THROW(r.RgbFunctionToHex("rgb(1,,3)"), EConvertError);
}

TEST(ColourRewriterOperations, AttributeAndNames)
{
    TColourRewriter r(120, 0, 0, {}, {}, {});
    EXPECT_EQ(r.ReplaceAttribute("bgcolor=\"#ff0000\""), "bgcolor=\"#00FF00\"");
    EXPECT_EQ(r.ReplaceAttribute("color = \" red \""), "color = \" red \"");  // " red " is no name
    // The value is "red" with its quotes: a quoted name in data is a colour (it stayed).
    EXPECT_EQ(r.ReplaceAttribute("color=\"\"\"red\"\"\""), "color=\"\"\"#00FF00\"\"\"");
    // A doubled quote inside a quoted value counts as one and stays doubled.
    EXPECT_EQ(r.ReplaceAttribute("style=\"content:\"\"a\"\"; color:red\""), "style=\"content:\"\"a\"\"; color:#00FF00\"");
    EXPECT_EQ(r.ReplaceAttribute("style='content:''a''; color:red'"), "style='content:''a''; color:#00FF00'");
    EXPECT_EQ(r.NameToHex("darkseagreen"), "#8FBC8B");
    EXPECT_EQ(r.NameToHex("red "), "red ");
    EXPECT_EQ(r.NameToHex(""), "");
    EXPECT_EQ(r.ColorNames().size(), 296u);
    EXPECT_EQ(r.ReplacePass("<a><font color=red>", TPassKind::pkTags), "<a><font color=#00FF00>");
    EXPECT_EQ(r.ReplacePass("<font color=red size=2>", TPassKind::pkAttributes), "<font color=#00FF00 size=2>");
    EXPECT_EQ(r.ReplacePass("{color:red}", TPassKind::pkBlocks), "{color:#00FF00}");
    EXPECT_EQ(r.ReplacePass("{color:red}", TPassKind::pkDeclarations), "{color:#00FF00}");
    EXPECT_EQ(r.ReplacePass("red url(red) 'red' red", TPassKind::pkValues), "#00FF00 url(red) 'red' #00FF00");
}

// ---- Text as bytes ----

TEST(ColourRewriterText, NulBytesKeptAndPassedOver)
{
    using namespace std::string_literals;
    const std::string input = "a\0b{color:red}\0{x:\0 blue}"s;
    const std::string expected = "a\0b{color:#00FF00}\0{x:\0 #FF0000}"s;
    ASSERT_EQ(input.size(), 25u);
    EXPECT_EQ(Rewrite(input, 120), expected);
    // A page: its braces are text, its tags and style elements are converted.
    const std::string page = "a\0b{color:red}\0<font color=red>\0<style>{x:\0 blue}</style>"s;
    EXPECT_EQ(Rewrite(page, 120), "a\0b{color:red}\0<font color=#00FF00>\0<style>{x:\0 #FF0000}</style>"s);
}

TEST(ColourRewriterText, ShiftJISSecondBytesAreNotPunctuation)
{
    // "ボ" is 83 7B and "マ" 83 7D in Shift-JIS: the second bytes look like braces but are none.
    const std::string notBlock = "<p>\x83\x7B color: red; \x83\x7D</p>";
    EXPECT_EQ(Rewrite(notBlock), notBlock);
    // "ソ" is 83 5C: its second byte is no backslash, so "red" after it stands as a word.
    EXPECT_EQ(Rewrite("p{color:\x83\x5Cred; x:\\red}", 120), "p{color:\x83\x5C#00FF00; x:\\red}");
    // Japanese text around real blocks and tags; in a page the braces of its text are no block.
    EXPECT_EQ(Rewrite("\x93\xFA\x96\x7B{color:red}<font color=\"blue\">\x8C\xEA</font>", 120),
              "\x93\xFA\x96\x7B{color:red}<font color=\"#FF0000\">\x8C\xEA</font>");
    EXPECT_EQ(Rewrite("<style>/* \x93\xFA\x96\x7B */ p{color:red; content:'\x83\x7D'}</style>", 120),
              "<style>/* \x93\xFA\x96\x7B */ p{color:#00FF00; content:'\x83\x7D'}</style>");
}

TEST(ColourRewriterText, UTF8Text)
{
    const std::string input = "<p style=\"color:red\">日本語の{文章}</p>\n<style>.a { color: blue; content: \"青\" }</style>";
    const std::string expected = "<p style=\"color:#00FF00\">日本語の{文章}</p>\n<style>.a { color: #FF0000; content: \"青\" }</style>";
    EXPECT_EQ(Rewrite(input, 120), expected);
}

}  // namespace
