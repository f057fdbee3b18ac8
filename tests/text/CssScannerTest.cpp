// The scanners the rewriter's passes read their way with: the protected parts, declarations
// and value tokens of CSS, and the value of an HTML attribute.

#include "text/CssScanner.h"
#include "text/HtmlScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The pieces of Text that Spans cover.
std::vector<std::string> Pieces(std::string_view Text, const std::vector<TTextSpan>& Spans)
{
    std::vector<std::string> pieces;
    for (const TTextSpan& s : Spans)
        pieces.emplace_back(Text.substr(s.Begin, s.End - s.Begin));
    return pieces;
}

using TPieces = std::vector<std::string>;

TEST(CssScanner, ProtectedStringsUrlsAndComments)
{
    const std::string_view text =
        "a: \"x;y\" 'it\\'s' url(a;b) myurl(c) /* 'no string' */ URL( \"d)\" ) \\\"e";
    const TCssScanner scanner(text, TTextEncoding::ShiftJIS);
    // A comment is left alone as a whole (it was only passed over for its quotes).
    EXPECT_EQ(Pieces(text, scanner.Protected()),
              (TPieces{"\"x;y\"", "'it\\'s'", "url(a;b)", "/* 'no string' */", "URL( \"d)\" )"}));
}

TEST(CssScanner, UnclosedStringEndsAtTheEndOfItsLine)
{
    for (const std::string lineEnd : {"\n", "\r\n", "\r", "\f"}) {
        const std::string text = "a: \"b c" + lineEnd + "d: 'e" + lineEnd + "f";
        const TCssScanner scanner(text, TTextEncoding::ShiftJIS);
        EXPECT_EQ(Pieces(text, scanner.Protected()), (TPieces{"\"b c", "'e"})) << "line end " << int(lineEnd[0]);
    }
    // At the end of the text the string ends with it.
    const std::string_view text = "a: url(\"b\nc) 'd";
    const TCssScanner scanner(text, TTextEncoding::UTF8);
    EXPECT_EQ(Pieces(text, scanner.Protected()), (TPieces{"url(\"b\nc)", "'d"}));
}

TEST(CssScanner, Declarations)
{
    const std::string_view block = "{ a: url(x;y) b; c: d; e: f }";
    EXPECT_EQ(Pieces(block, TCssScanner(block, TTextEncoding::ShiftJIS).Declarations(true)),
              (TPieces{": url(x;y) b;", ": d;", ": f "}));
    // A style value has no closing brace; a semicolon in a string that runs to the end ends nothing.
    const std::string_view style = "a: b; c: \"d; e: f";
    EXPECT_EQ(Pieces(style, TCssScanner(style, TTextEncoding::ShiftJIS).Declarations(false)),
              (TPieces{": b;", ": \"d; e: f"}));
    EXPECT_TRUE(TCssScanner("{ red }", TTextEncoding::ShiftJIS).Declarations(true).empty());
}

TEST(CssScanner, ValueTokens)
{
    const std::string_view text = ": red bg-white red2 #f00 rgb(1,2,3) hsla(0 0% 0%) 'blue' x_navy teal;";
    const TCssScanner scanner(text, TTextEncoding::ShiftJIS);
    const auto tokens = scanner.ValueTokens({0, text.size()}, {});
    std::vector<std::string> pieces;
    std::vector<bool> names;
    for (const auto& t : tokens) {
        pieces.emplace_back(text.substr(t.Span.Begin, t.Span.End - t.Span.Begin));
        names.push_back(t.Name);
    }
    EXPECT_EQ(pieces, (TPieces{"red", "#f00", "rgb(1,2,3)", "hsla(0 0% 0%)", "teal"}));
    EXPECT_EQ(names, (std::vector<bool>{true, false, false, false, true}));

    // Nothing that starts in a span to skip.
    const TTextSpan skip[] = {{2, 5}};
    const auto rest = scanner.ValueTokens({0, text.size()}, skip);
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(text.substr(rest.front().Span.Begin, rest.front().Span.End - rest.front().Span.Begin), "#f00");
}

TEST(HtmlScanner, AttributeValues)
{
    struct TCase {
        const char* Attribute;
        const char* Value;
        bool Doubled;
    };
    for (const TCase& c : std::initializer_list<TCase>{{"color=red", "red", false},
                                                        {"color = \" red \"", " red ", false},
                                                        {"bgcolor=\"#ff0000\"", "#ff0000", false},
                                                        {"color=\"\"", "\"\"", false},
                                                        {"color='red'", "red", false},
                                                        {"color=''", "''", false},
                                                        {"style='content:''a'''", "content:'a'", true},
                                                        {"style='content:\"a\"'", "content:\"a\"", false},
                                                        {"style=\"content:\"\"a\"\"\"", "content:\"a\"", true},
                                                        {"color=\t\"red\" x", "red", false}}) {
        const auto value = ReadAttributeValue(c.Attribute, TTextEncoding::ShiftJIS);
        ASSERT_TRUE(value) << c.Attribute;
        EXPECT_EQ(value->Value, c.Value) << c.Attribute;
        EXPECT_EQ(value->QuotesDoubled(), c.Doubled) << c.Attribute;
    }
    EXPECT_FALSE(ReadAttributeValue("color", TTextEncoding::ShiftJIS));
    EXPECT_EQ(DoubleQuotes("a\"b\"\""), "a\"\"b\"\"\"\"");
    EXPECT_EQ(DoubleQuotes("a'b\"", '\''), "a''b\"");
    // Single quotes are taken off as double ones are (they stayed on the value).
    const auto single = ReadAttributeValue("style = 'color:red' ", TTextEncoding::ShiftJIS);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->Quote, '\'');
    EXPECT_EQ(single->Span.Begin, 9u);
    EXPECT_EQ(single->Span.End, 18u);
}

}  // namespace
