// The rewriter pass by pass: colour attributes of tags, brace blocks and their declarations,
// value tokens, the colour forms and the errors. Where the expectation differs from the
// original design of the rewriter, the comment says which rule changed it.

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
        {R"(<font color="red">)", 0, R"(<font color="#FF0000">)"},
        {R"(<font color="red">)", 120, R"(<font color="#00FF00">)"},
        {R"(<body bgcolor=#fff text='#000'>)", 0, R"(<body bgcolor=#FFFFFF text=#000000>)"},
        {R"(<body bgcolor="White" link="#00f" vlink="purple">)", 120,
         R"(<body bgcolor="#FFFFFF" link="#FF0000" vlink="#808000">)"},
        {R"(<font color=rgb(255,0,0)>)", 0, R"(<font color=#FF0000>)"},
        {R"~(<font color="rgb(0, 0, 255)">)~", 120, R"(<font color="#FF0000">)"},
        {R"(<p style="color: navy;">)", 0, R"(<p style="color: #000080;">)"},
    });
}

TEST(ColourRewriterTags, WhichTagsAndAttributesAreFound)
{
    ExpectCases({
        // Attribute names in any case.
        {R"(<td BGCOLOR="RED">)", 0, R"(<td BGCOLOR="#FF0000">)"},
        {R"(<TABLE BorderColorDark=navy bordercolorlight="#ABC">)", 0,
         R"(<TABLE BorderColorDark=#000080 bordercolorlight="#AABBCC">)"},
        // The attribute name needs white space before it for the tag to be found.
        {R"(<a href="x?color=red">)", 0, R"(<a href="x?color=red">)"},
        // Spaces and a line break around "=".
        {"<font\ncolor = \"red\"\n>", 0, "<font\ncolor = \"#FF0000\"\n>"},
        // A tag inside a comment is rewritten like any other; the comment itself is no tag.
        {R"(<!-- <font color="red"> -->)", 0, R"(<!-- <font color="#FF0000"> -->)"},
        {R"(<!DOCTYPE html color=red>)", 0, R"(<!DOCTYPE html color=red>)"},
        // Values that are not colours stay as they are.
        {R"(<body text="Hello" link=visited>)", 0, R"(<body text="Hello" link=visited>)"},
        {R"(<font color="">)", 0, R"(<font color="">)"},
        {R"(<font color="transparent">)", 120, R"(<font color="transparent">)"},
        // Single-quoted values are not unquoted: 'red' is no name, and a converted value loses its quotes.
        {R"(<font color='red'>)", 0, R"(<font color='red'>)"},
        {R"(<font color='#f00'>)", 0, R"(<font color=#FF0000>)"},
        // Only the colour of an unquoted value is kept, as before.
        {R"(<font color="#ff0000 bold">)", 0, R"(<font color="#FF0000">)"},
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
    // The attribute pass also finds "color=red" inside the face value; the second, real
    // attribute has the same text and must be rewritten in its own place.
    // (Its own match, "color=red\"", holds no colour.)
    EXPECT_EQ(Rewrite(R"(<font face="color=red" color=red>)"), R"(<font face="color=red" color=#FF0000>)");
    // Identical tags one after another are each converted once.
    EXPECT_EQ(Rewrite(R"(<font color=red><font color=red><font color=red>)", 120),
              R"(<font color=#00FF00><font color=#00FF00><font color=#00FF00>)");
}

// A style value is rewritten declaration by declaration; everything else in it is kept.
TEST(ColourRewriterTags, StyleValueDeclarationByDeclaration)
{
    ExpectCases({
        {R"(<p style="color:#f00; background:#0f0">)", 0, R"(<p style="color:#FF0000; background:#00FF00">)"},
        {R"(<p style="color:#f00; background:#0f0">)", 120, R"(<p style="color:#00FF00; background:#0000FF">)"},
        {R"(<div STYLE="border: 1px solid rgb(255,0,0); margin: 0 auto; color: red">)", 0,
         R"(<div STYLE="border: 1px solid #FF0000; margin: 0 auto; color: #FF0000">)"},
        {R"(<p style="background: url(img/red.gif) no-repeat; color: white">)", 0,
         R"(<p style="background: url(img/red.gif) no-repeat; color: #FFFFFF">)"},
        {R"(<p style=color:red>)", 0, R"(<p style=color:#FF0000>)"},
        {R"(<p style="red">)", 0, R"(<p style="red">)"},
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
        {"p { color: rgb(100%, 50%, 0%); }", 0, "p { color: #FF8000; }"},
        {"p { color: rgb(30%, 10%, 70%); }", 0, "p { color: #4C1AB2; }"},
        // Four digits keep their alpha digit after the converted colour (was "#AABBCC").
        {"a { border: 1px solid #abcd; }", 0, "a { border: 1px solid #AABBCCDD; }"},
    });
}

TEST(ColourRewriterBlocks, LastDeclarationWithoutSemicolon)
{
    ExpectCases({
        {"a:hover { color: red }", 0, "a:hover { color: #FF0000 }"},
        {".a{color:#f00;background:#0f0}", 0, ".a{color:#FF0000;background:#00FF00}"},
        {".a{color:#f00}.b{color:#0f0}", 120, ".a{color:#00FF00}.b{color:#0000FF}"},
        {"p {\r\n  color: navy;\r\n  border-color: teal\r\n}\r\n", 0,
         "p {\r\n  color: #000080;\r\n  border-color: #008080\r\n}\r\n"},
        // Nothing after the last semicolon, or no colon at all.
        {"p { color: red; }", 0, "p { color: #FF0000; }"},
        {"{ red }", 0, "{ red }"},
        {"{}", 0, "{}"},
        // A block with no closing brace is no block.
        {"p { color: red", 0, "p { color: red"},
    });
}

TEST(ColourRewriterBlocks, StyleElementsScriptsAndPlainText)
{
    ExpectCases({
        {"<style>\nbody { background: white; color: black; }\n</style>", 0,
         "<style>\nbody { background: #FFFFFF; color: #000000; }\n</style>"},
        // Braces in script code are blocks like any other; strings in them are left alone.
        {"<script>function f() { var c = ok ? 'red' : \"blue\"; }</script>", 0,
         "<script>function f() { var c = ok ? 'red' : \"blue\"; }</script>"},
        {"<script>var o = { fg: red, bg: '#fff' };</script>", 0,
         "<script>var o = { fg: #FF0000, bg: '#fff' };</script>"},
    });
}

// A colour the tag pass has converted is not converted again when its tag stands in braces.
TEST(ColourRewriterBlocks, TagInsideBracesConvertedOnce)
{
    EXPECT_EQ(Rewrite(R"({<span style="color:red">x</span>})", 120), R"({<span style="color:#00FF00">x</span>})");
    EXPECT_EQ(Rewrite(R"({ b: <font color=red> red })", 120), R"({ b: <font color=#00FF00> #00FF00 })");
}

// ---- Value tokens ----

TEST(ColourRewriterValues, UrlsStringsAndWordsThatAreNotColourNames)
{
    ExpectCases({
        {"p { background: url(img/red.gif) red; }", 0, "p { background: url(img/red.gif) #FF0000; }"},
        {"p { background: URL( \"red white.png\" ) white; }", 0,
         "p { background: URL( \"red white.png\" ) #FFFFFF; }"},
        {"p { background-image: url(bg-white.png); }", 0, "p { background-image: url(bg-white.png); }"},
        {"p { background: bg-white.png; }", 0, "p { background: bg-white.png; }"},
        {"p { color: var(--red); }", 0, "p { color: var(--red); }"},
        {"p { color: red2; x: .white; y: #red; z: \\red; w: a_red; }", 0,
         "p { color: red2; x: .white; y: #red; z: \\red; w: a_red; }"},
        {"p { border: 1px solid red; }", 0, "p { border: 1px solid #FF0000; }"},
        {"p { color: red!important; }", 0, "p { color: #FF0000!important; }"},
        {"p { font-family: \"Red Sans\", 'white', tan; }", 0, "p { font-family: \"Red Sans\", 'white', #D2B48C; }"},
        {"p { content: \"a \\\" red\"; color: red; }", 0, "p { content: \"a \\\" red\"; color: #FF0000; }"},
        // A url holding a semicolon does not end the protection early.
        {"p { background: url(data:image/png;base64,red) red; }", 0,
         "p { background: url(data:image/png;base64,red) #FF0000; }"},
        // What follows a url or a string is read afresh after it.
        {"p { background: url(img/rgb-x.png) rgb(255,0,0); }", 120, "p { background: url(img/rgb-x.png) #00FF00; }"},
        {"p { content: \"rgb(\" ; color: rgb(0,0,255) }", 120, "p { content: \"rgb(\" ; color: #FF0000 }"},
        // A colour word touched by "-" is part of a longer word; the other one converts.
        {"p { x: x-red red; }", 0, "p { x: x-red #FF0000; }"},
        // Not inside comments: an apostrophe there opens no string.
        {"p { /* don't */ color: red; }", 0, "p { /* don't */ color: #FF0000; }"},
    });
}

// A quote with no closing quote opens a string that ends at the end of its line, as CSS has it:
// a colour later on that line is inside the string and stays, one on the next line is converted.
TEST(ColourRewriterValues, UnclosedStringEndsAtTheEndOfItsLine)
{
    ExpectCases({
        {"p { content: \"a red;\n  color: blue; }", 0, "p { content: \"a red;\n  color: #0000FF; }"},
        {"p { content: 'a red;\r\n  color: blue; }", 0, "p { content: 'a red;\r\n  color: #0000FF; }"},
        {"p { content: \"a red;\r  color: blue; }", 0, "p { content: \"a red;\r  color: #0000FF; }"},
        {"p { content: \"a red;\f  color: blue; }", 0, "p { content: \"a red;\f  color: #0000FF; }"},
        // Inside a url, and in a style attribute.
        {"p { background: url(\"a red.png\n) red; }", 0, "p { background: url(\"a red.png\n) #FF0000; }"},
        {"<p style=\"content: 'a red;\ncolor: blue\">", 0, "<p style=\"content: 'a red;\ncolor: #0000FF\">"},
        // Closed on its line, the string ends at its quote.
        {"p { content: \"a\" red;\n  color: blue; }", 0, "p { content: \"a\" #FF0000;\n  color: #0000FF; }"},
    });
}

TEST(ColourRewriterValues, ColourForms)
{
    ExpectCases({
        {"p{color:#ABCDEF}", 0, "p{color:#ABCDEF}"},
        {"p{color:#abcdef}", 0, "p{color:#ABCDEF}"},
        {"p{color:#f00}", 120, "p{color:#00FF00}"},
        // Eight digits keep their alpha after the converted colour (was the colour alone).
        {"p{color:#ff000080}", 0, "p{color:#FF000080}"},
        {"p{color:#ff000080}", 120, "p{color:#00FF0080}"},
        {"p{color:#abcd}", 120, "p{color:#CCAABBDD}"},
        // Other lengths as before: five digits give the first three, seven the first six.
        {"p{color:#abcde}", 0, "p{color:#AABBCC}"},
        {"p{color:#abcdef1}", 0, "p{color:#ABCDEF}"},
        {"p{color:#ab}", 0, "p{color:#ab}"},
        {"p{color:rgb(255,0,0)}", 120, "p{color:#00FF00}"},
        {"p{color:RGB( 0 , 128 , 255 )}", 0, "p{color:#0080FF}"},
        {"p{color:rgb(50%,10%,90%)}", 0, "p{color:#801AE6}"},
        {"p{color:Navy;b:NAVY;c:LightGoldenRodYellow}", 0, "p{color:#000080;b:#000080;c:#FAFAD2}"},
        // Both spellings of the greys, and rebeccapurple (these "grey" forms and lightgray once stayed).
        {"p{a:grey;b:lightgray;c:darkgrey;d:gray;e:lightgrey;f:darkgray}", 0,
         "p{a:#808080;b:#D3D3D3;c:#A9A9A9;d:#808080;e:#D3D3D3;f:#A9A9A9}"},
        {"p{color:RebeccaPurple}", 0, "p{color:#663399}"},
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
    EXPECT_EQ(r.ReplaceAll("p{a:red;b:blue;c:lime}<font color=#f00>"), "p{a:#010203;b:#00FF00;c:#0000FF}<font color=#010203>");
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
    TColourRewriter r(0, 0, 0, {}, {}, {});
    EXPECT_EQ(r.ReplaceAttribute("bgcolor=\"#ff0000\""), "bgcolor=\"#FF0000\"");
    EXPECT_EQ(r.ReplaceAttribute("color = \" red \""), "color = \" red \"");  // " red " is no name
    EXPECT_EQ(r.ReplaceAttribute("color=\"\"\"red\"\"\""), "color=\"\"\"red\"\"\"");
    // A doubled quote inside a double-quoted value counts as one and stays doubled.
    EXPECT_EQ(r.ReplaceAttribute("style=\"content:\"\"a\"\"; color:red\""), "style=\"content:\"\"a\"\"; color:#FF0000\"");
    EXPECT_EQ(r.NameToHex("darkseagreen"), "#8FBC8B");
    EXPECT_EQ(r.NameToHex("red "), "red ");
    EXPECT_EQ(r.NameToHex(""), "");
    EXPECT_EQ(r.ColorNames().size(), 296u);
    EXPECT_EQ(r.ReplacePass("<a><font color=red>", TPassKind::pkTags), "<a><font color=#FF0000>");
    EXPECT_EQ(r.ReplacePass("{color:red}", TPassKind::pkBlocks), "{color:#FF0000}");
    EXPECT_EQ(r.ReplacePass("{color:red}", TPassKind::pkDeclarations), "{color:#FF0000}");
    EXPECT_EQ(r.ReplacePass("red url(red) 'red' red", TPassKind::pkValues), "#FF0000 url(red) 'red' #FF0000");
}

// ---- Text as bytes ----

TEST(ColourRewriterText, NulBytesKeptAndPassedOver)
{
    using namespace std::string_literals;
    const std::string input = "a\0b{color:red}\0<font color=red>\0{x:\0 blue}"s;
    const std::string expected = "a\0b{color:#FF0000}\0<font color=#FF0000>\0{x:\0 #0000FF}"s;
    ASSERT_EQ(input.size(), 42u);
    EXPECT_EQ(Rewrite(input), expected);
}

TEST(ColourRewriterText, ShiftJISSecondBytesAreNotPunctuation)
{
    // "ボ" is 83 7B and "マ" 83 7D in Shift-JIS: the second bytes look like braces but are none.
    const std::string notBlock = "<p>\x83\x7B color: red; \x83\x7D</p>";
    EXPECT_EQ(Rewrite(notBlock), notBlock);
    // "ソ" is 83 5C: its second byte is no backslash, so "red" after it stands as a word.
    EXPECT_EQ(Rewrite("p{color:\x83\x5Cred; x:\\red}"), "p{color:\x83\x5C#FF0000; x:\\red}");
    // Japanese text around real blocks and tags.
    EXPECT_EQ(Rewrite("\x93\xFA\x96\x7B{color:red}<font color=\"blue\">\x8C\xEA</font>"),
              "\x93\xFA\x96\x7B{color:#FF0000}<font color=\"#0000FF\">\x8C\xEA</font>");
}

TEST(ColourRewriterText, UTF8Text)
{
    const std::string input = "<p style=\"color:red\">日本語の{文章}</p>\n.a { color: blue; content: \"青\" }";
    const std::string expected = "<p style=\"color:#FF0000\">日本語の{文章}</p>\n.a { color: #0000FF; content: \"青\" }";
    EXPECT_EQ(Rewrite(input), expected);
}

}  // namespace
