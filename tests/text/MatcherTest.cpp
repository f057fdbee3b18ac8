#include "text/Matcher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// The commands the colour rewriter runs.
const std::string TagsCommand =
    "m/<[^!][^<>]*?\\s(color|bgcolor|bordercolor|text|link|alink|vlink|bordercolordark|"
    "bordercolorlight|style)\\s*=(.|\\n)*?>/ki";
const std::string AttributesCommand =
    "m/(color|bgcolor|bordercolor|text|link|alink|vlink|bordercolordark|bordercolorlight|style)"
    "\\s*?=\\s*?(\"(.|\\n)*?\"|rgb(.|\\n)*?\\((.|\\n)*?\\)|[^>\\s]+)/ki";
const std::string BlocksCommand = "m/{(.|\\n)*?}/ki";
const std::string DeclarationsCommand = "m/:(.|\\n)*?;/ki";
const std::string ValuesCommand = "m/(#[0-9a-f]+|rgb(.|\\n)*?\\((.|\\n)*?\\)|[a-z]+)/ki";
const std::string StyleCommand = "m/^style/ki";
const std::string RgbCommand =
    "m/rgb\\s*?\\(\\s*?[0-9]{1,3}\\s*?%?\\s*?\\,\\s*?[0-9]{1,3}\\s*?%?\\s*?\\,\\s*?[0-9]{1,3}"
    "\\s*?%?\\s*?\\)/ki";
const std::string HexCommand = "m/#([0-9a-f]{6}|[0-9a-f]{3})/ki";

const std::vector<std::string> RewriterCommands = {
    TagsCommand, AttributesCommand, BlocksCommand, DeclarationsCommand,
    ValuesCommand, StyleCommand, RgbCommand, HexCommand};

// Shift-JIS double-byte characters whose second byte is an ASCII character.
const std::string Bo = "\x83\x7B";    // katakana BO, second byte "{"
const std::string Po = "\x83\x7C";    // katakana PO, second byte "|"
const std::string Ma = "\x83\x7D";    // katakana MA, second byte "}"
const std::string Hyo = "\x95\x5C";   // kanji "table", second byte "\"
const std::string So = "\x83\x5C";    // katakana SO, second byte "\"
const std::string A = "\x83\x41";     // katakana A, second byte "A"
const std::string Te = "\x83\x65";    // katakana TE, second byte "e"
const std::string Iro = "\x90\x46";   // kanji "colour", second byte "F"
const std::string HalfA = "\xB1";     // half-width katakana A, one byte

constexpr auto SJIS = TTextEncoding::ShiftJIS;
constexpr auto UTF8 = TTextEncoding::UTF8;

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EMatcherError& e) {
        return e.Message();
    }
    return "(no error)";
}

struct TFound {
    std::size_t Pos;
    std::size_t Length;
    std::vector<std::string> Strings;
    bool operator==(const TFound&) const = default;
};

TFound Result(const TMatcher& r, std::size_t Offset = 0)
{
    TFound f{r.MatchPos() + Offset, r.MatchLength(), {}};
    for (int i = 0; i < r.GroupCount(); ++i)
        f.Strings.push_back(r.MatchStrings(i));
    return f;
}

TEST(Matcher, ResultsOfTheHexCommand)
{
    TMatcher r;
    ASSERT_TRUE(r.Match(HexCommand, "x #ABCDEF"));
    EXPECT_EQ(r.MatchPos(), 3u);
    EXPECT_EQ(r.MatchLength(), 7u);
    EXPECT_EQ(r.GroupCount(), 2);
    EXPECT_EQ(r.MatchStrings(0), "#ABCDEF");
    EXPECT_EQ(r.MatchStrings(1), "ABCDEF");
    EXPECT_EQ(ErrorOf([&] { r.MatchStrings(2); }), "index out of range");
    EXPECT_EQ(ErrorOf([&] { r.MatchStrings(-1); }), "index out of range");
    EXPECT_EQ(r.GroupStart(1), 3u);
    EXPECT_EQ(r.GroupLength(1), 6u);

    // Six digits are tried before three.
    ASSERT_TRUE(r.Match(HexCommand, "#abcd"));
    EXPECT_EQ(r.MatchStrings(0), "#abc");
}

TEST(Matcher, NoResultsWithoutASuccessfulMatch)
{
    TMatcher r;
    EXPECT_EQ(r.GroupCount(), 0);
    EXPECT_EQ(ErrorOf([&] { r.MatchPos(); }), "no match pos");
    EXPECT_EQ(ErrorOf([&] { r.MatchStrings(0); }), "no strings now");

    ASSERT_TRUE(r.Match(HexCommand, "#fff"));
    EXPECT_FALSE(r.Match(HexCommand, "no colour here"));
    EXPECT_EQ(ErrorOf([&] { r.MatchPos(); }), "no match pos");
    EXPECT_EQ(ErrorOf([&] { r.MatchLength(); }), "no match length");
    EXPECT_EQ(ErrorOf([&] { r.MatchStrings(0); }), "no strings now");
    EXPECT_EQ(ErrorOf([&] { r.GroupMatched(0); }), "no strings now");
    // The group count belongs to the command, matched or not.
    EXPECT_EQ(r.GroupCount(), 2);
}

TEST(Matcher, EmptySubjectMatchesNoRewriterCommand)
{
    TMatcher r;
    for (const auto& command : RewriterCommands) {
        for (auto encoding : {SJIS, UTF8}) {
            EXPECT_FALSE(r.Match(command, "", encoding)) << command;
            EXPECT_FALSE(r.Match(command, std::string_view(), encoding)) << command;
        }
    }
    // An empty subject is empty: nothing stands in it, not even a zero byte.
    EXPECT_FALSE(r.Match("m/[^a]/", ""));
    ASSERT_TRUE(r.Match("m/^$/", ""));
    EXPECT_EQ(r.MatchPos(), 1u);
    EXPECT_EQ(r.MatchLength(), 0u);
    EXPECT_EQ(r.MatchStrings(0), "");
}

TEST(Matcher, SameCommandIsCompiledOnce)
{
    TMatcher r;
    r.Match(HexCommand, "#123");
    r.Match(HexCommand, "#456");
    EXPECT_EQ(r.CompileCount(), 1u);
    r.Match(BlocksCommand, "{}");
    EXPECT_EQ(r.CompileCount(), 2u);
    // The rewriter's commands alternate; all of them stay compiled.
    for (int round = 0; round < 3; ++round)
        for (const auto& command : RewriterCommands)
            r.Match(command, "<p style=\"color: red;\">");
    EXPECT_EQ(r.CompileCount(), RewriterCommands.size());
    // A different command text is a different command, even when it means the same.
    r.Match("m/#([0-9a-f]{6}|[0-9a-f]{3})/ik", "#123");
    EXPECT_EQ(r.CompileCount(), RewriterCommands.size() + 1);
    // The results follow the command actually matched last.
    ASSERT_TRUE(r.Match(HexCommand, "#123"));
    EXPECT_EQ(r.GroupCount(), 2);
    ASSERT_TRUE(r.Match("m/x/", "axb"));
    EXPECT_EQ(r.GroupCount(), 1);
    EXPECT_EQ(r.MatchPos(), 2u);
}

TEST(Matcher, ErrorsCarryAMessageAndLeaveNoResult)
{
    TMatcher r;
    ASSERT_TRUE(r.Match("m/a/", "a"));
    EXPECT_EQ(ErrorOf([&] { r.Match("m/(a/", "a"); }), "missing closing parenthesis");
    EXPECT_EQ(ErrorOf([&] { r.MatchPos(); }), "no match pos");
    EXPECT_EQ(r.GroupCount(), 0);
    EXPECT_EQ(ErrorOf([&] { r.Match("m/[a/", "a"); }),
              "missing terminating ] for character class");
    EXPECT_EQ(ErrorOf([&] { r.Match("m/a{2,1}/", "a"); }),
              "numbers out of order in {} quantifier");

    EXPECT_EQ(ErrorOf([&] { r.Match("", "a"); }), "invalid match command");
    EXPECT_EQ(ErrorOf([&] { r.Match("m", "a"); }), "invalid match command");
    EXPECT_EQ(ErrorOf([&] { r.Match("abc", "a"); }), "invalid match command");
    EXPECT_EQ(ErrorOf([&] { r.Match("m/abc", "a"); }),
              "missing closing delimiter in match command");
    EXPECT_EQ(ErrorOf([&] { r.Match("m/a/q", "a"); }), "unknown flag \"q\" in match command");
    // A failed command is not kept: the next good one still matches.
    EXPECT_TRUE(r.Match("m/a/", "a"));

    // Other forms of the command.
    EXPECT_TRUE(r.Match("/b/", "abc"));
    EXPECT_EQ(r.MatchPos(), 2u);
    EXPECT_TRUE(r.Match("m#a/b#", "xa/b"));
    EXPECT_EQ(r.MatchStrings(0), "a/b");
    EXPECT_TRUE(r.Match("m/a\\/b/", "a/b"));
}

TEST(Matcher, PerlMatchingRules)
{
    TMatcher r;
    // Ordered alternation, not the longest: "a" is tried before "ab".
    ASSERT_TRUE(r.Match("m/(a|ab)(c|bcd)/", "abcd"));
    EXPECT_EQ(r.MatchStrings(0), "abcd");
    EXPECT_EQ(r.MatchStrings(1), "a");
    EXPECT_EQ(r.MatchStrings(2), "bcd");
    // Leftmost wins over longer matches further on.
    ASSERT_TRUE(r.Match("m/x+/", "ax bxxxx"));
    EXPECT_EQ(r.MatchPos(), 2u);
    EXPECT_EQ(r.MatchLength(), 1u);
    // Lazy quantifiers take as little as possible; the group holds its last repetition.
    ASSERT_TRUE(r.Match(BlocksCommand, "a { b\n c } d } e"));
    EXPECT_EQ(r.MatchStrings(0), "{ b\n c }");
    EXPECT_EQ(r.MatchStrings(1), " ");
    ASSERT_TRUE(r.Match(DeclarationsCommand, "{ color: red; background: blue; }"));
    EXPECT_EQ(r.MatchStrings(0), ": red;");
    // "." takes a carriage return but not a line feed; "\s" takes both.
    EXPECT_TRUE(r.Match("m/a.b/", "a\rb"));
    EXPECT_FALSE(r.Match("m/a.b/", "a\nb"));
    EXPECT_FALSE(r.Match("m/a.b/k", "a\nb"));
    EXPECT_TRUE(r.Match("m/a\\s\\sb/", "a\r\nb"));
    EXPECT_TRUE(r.Match("m/a.b/s", "a\nb"));
    // "$" before a final line feed, "^" only at the start of the subject.
    EXPECT_TRUE(r.Match("m/b$/", "a\nb\n"));
    EXPECT_FALSE(r.Match("m/^b/", "a\nb"));
    EXPECT_TRUE(r.Match("m/^b/m", "a\nb"));
    // Case-insensitive letters, in classes too; not without the flag.
    EXPECT_TRUE(r.Match("m/^[a-z]+$/i", "AbC"));
    EXPECT_FALSE(r.Match("m/^[a-z]+$/", "AbC"));
    EXPECT_TRUE(r.Match("m/[^a-z]/i", "abcD1"));
    EXPECT_EQ(r.MatchStrings(0), "1");
    EXPECT_TRUE(r.Match(StyleCommand, "STYLE=\"x\""));
    EXPECT_FALSE(r.Match(StyleCommand, " style"));
    // Escaped punctuation, counted repetition, braces that count nothing are literal.
    ASSERT_TRUE(r.Match(RgbCommand, "color: RGB ( 10 %, 20,30% ) x"));
    EXPECT_EQ(r.MatchStrings(0), "RGB ( 10 %, 20,30% )");
    EXPECT_FALSE(r.Match(RgbCommand, "rgb(1000,0,0)"));
    EXPECT_FALSE(r.Match(RgbCommand, "rgb(1.5,0,0)"));
    EXPECT_TRUE(r.Match("m/a{2}/", "caab"));
    EXPECT_FALSE(r.Match("m/a{2}/", "a{2}"));
    EXPECT_TRUE(r.Match("m/^{}$/", "{}"));
    EXPECT_TRUE(r.Match("m/x{a}/", "x{a}"));
    EXPECT_TRUE(r.Match("m/x{1,/", "x{1,"));
    // A tag is found only with white space before the attribute name, never a "<!".
    ASSERT_TRUE(r.Match(TagsCommand, "<a href=\"x?color=red\"> <FONT\r\nColor = red>"));
    EXPECT_EQ(r.MatchStrings(0), "<FONT\r\nColor = red>");
    EXPECT_EQ(r.MatchStrings(1), "Color");
    EXPECT_FALSE(r.Match(TagsCommand, "<!DOCTYPE html color=x>"));
    ASSERT_TRUE(r.Match(TagsCommand, "<!-- <font color=\"red\"> -->"));
    EXPECT_EQ(r.MatchStrings(0), "<font color=\"red\">");
}

TEST(Matcher, AttributeAndValueCommands)
{
    TMatcher r;
    ASSERT_TRUE(r.Match(AttributesCommand, "<body bgcolor=\"White\" link=#00f>"));
    EXPECT_EQ(r.MatchStrings(0), "bgcolor=\"White\"");
    EXPECT_EQ(r.MatchStrings(1), "bgcolor");
    EXPECT_EQ(r.GroupCount(), 6);
    EXPECT_TRUE(r.GroupMatched(3));
    EXPECT_FALSE(r.GroupMatched(4));
    EXPECT_EQ(r.MatchStrings(4), "");
    EXPECT_EQ(r.GroupStart(4), std::string_view::npos);
    EXPECT_EQ(r.GroupLength(4), 0u);

    ASSERT_TRUE(r.Match(AttributesCommand, "<font color=rgb(255,0,0)>"));
    EXPECT_EQ(r.MatchStrings(0), "color=rgb(255,0,0)");
    ASSERT_TRUE(r.Match(AttributesCommand, "<body text='#000'>"));
    EXPECT_EQ(r.MatchStrings(0), "text='#000'");

    // The value command takes the first token: a hexadecimal run, an rgb() function or a word.
    const std::string values = ": 1px solid #ABCDEF rgb(1, 2, 3) navy;";
    std::vector<std::string> tokens;
    for (std::size_t start = 0; r.MatchFrom(ValuesCommand, values, start, SJIS);
         start = r.MatchPos() - 1 + r.MatchLength())
        tokens.push_back(r.MatchStrings(0));
    EXPECT_EQ(tokens, (std::vector<std::string>{"px", "solid", "#ABCDEF", "rgb(1, 2, 3)", "navy"}));
}

TEST(Matcher, ShiftJISSecondBytesAreNeverCharacters)
{
    TMatcher r;
    // A "{" or "}" as a second byte neither opens nor closes a block.
    const std::string hidden = "p:" + Bo + "; " + Ma + " x";
    EXPECT_FALSE(r.Match(BlocksCommand, hidden, SJIS));
    EXPECT_TRUE(r.Match("m/{(.|\\n)*?}/i", hidden, SJIS));  // byte-wise without "k"

    const std::string block = "a{" + Ma + Bo + "}b";
    ASSERT_TRUE(r.Match(BlocksCommand, block, SJIS));
    EXPECT_EQ(r.MatchPos(), 2u);
    EXPECT_EQ(r.MatchStrings(0), "{" + Ma + Bo + "}");
    EXPECT_EQ(r.MatchStrings(1), Bo);

    // A "\" or a letter as second byte is no escape and no letter.
    EXPECT_FALSE(r.Match("m/\\\\/k", Hyo + So, SJIS));
    ASSERT_TRUE(r.Match("m/\\\\/k", Hyo + "\\", SJIS));
    EXPECT_EQ(r.MatchPos(), 3u);
    const std::string declaration = ": " + Te + A + Iro + " red;";
    ASSERT_TRUE(r.Match(ValuesCommand, declaration, SJIS));
    EXPECT_EQ(r.MatchStrings(0), "red");
    EXPECT_EQ(r.MatchPos(), 10u);
    ASSERT_TRUE(r.Match("m/[a-z]+/i", declaration, SJIS));  // byte-wise finds the "e" of TE
    EXPECT_EQ(r.MatchPos(), 4u);

    // "|" as second byte right before a match, and "." or a negated class takes both bytes.
    ASSERT_TRUE(r.Match(TagsCommand, "<" + Po + " color=" + Iro + ">", SJIS));
    EXPECT_EQ(r.MatchPos(), 1u);
    EXPECT_EQ(r.MatchLength(), 13u);
    ASSERT_TRUE(r.Match("m/a.b/k", "a" + Hyo + "b", SJIS));
    EXPECT_EQ(r.MatchLength(), 4u);
    EXPECT_FALSE(r.Match("m/a.b/", "a" + Hyo + "b", SJIS));
    const std::string tag = "<" + Iro + Ma + ">";
    ASSERT_TRUE(r.Match("m/[^<>]+/k", tag, SJIS));
    EXPECT_EQ(r.MatchStrings(0), Iro + Ma);
}

TEST(Matcher, ShiftJISPatterns)
{
    TMatcher r;
    // Pattern characters whose second byte is "|", "\" or "{" stay characters.
    ASSERT_TRUE(r.Match("m/" + Po + "/k", "x" + Po, SJIS));
    EXPECT_EQ(r.MatchPos(), 2u);
    EXPECT_EQ(r.MatchLength(), 2u);
    EXPECT_FALSE(r.Match("m/" + Po + "/k", "x\x83", SJIS));
    ASSERT_TRUE(r.Match("m/" + Hyo + "n/k", Hyo + "n", SJIS));
    EXPECT_EQ(r.MatchLength(), 3u);
    ASSERT_TRUE(r.Match("m/" + Bo + "2/k", Bo + "2", SJIS));
    EXPECT_EQ(ErrorOf([&] { r.Match("m/(" + So + ")/k", "x", SJIS); }), "(no error)");
    // Ranges keep the order of the code: hiragana KA (82 A9) and NA (82 C8) lie within
    // small A (82 9F) to N (82 F1); katakana does not.
    ASSERT_TRUE(r.Match("m/[\x82\x9F-\x82\xF1]+/k", A + "\x82\xA9\x82\xC8" + Te, SJIS));
    EXPECT_EQ(r.MatchPos(), 3u);
    EXPECT_EQ(r.MatchLength(), 4u);
    ASSERT_TRUE(r.Match("m/" + Iro + "+/k", Iro + Iro + "F", SJIS));
    EXPECT_EQ(r.MatchLength(), 4u);
}

TEST(Matcher, ShiftJISSingleBytesAndCase)
{
    TMatcher r;
    // Half-width katakana is one byte; a lead byte at the end, or before a byte that cannot
    // follow it, is one character.
    ASSERT_TRUE(r.Match("m/^.$/k", HalfA, SJIS));
    EXPECT_EQ(r.MatchLength(), 1u);
    ASSERT_TRUE(r.Match("m/.$/k", "ab\x83", SJIS));
    EXPECT_EQ(r.MatchPos(), 3u);
    ASSERT_TRUE(r.Match("m/</k", "\x83<x", SJIS));
    EXPECT_EQ(r.MatchPos(), 2u);
    ASSERT_TRUE(r.Match("m/^..$/k", "\xFD\xFE", SJIS));
    // Case folding is ASCII only: no case partners among mapped characters, and a second
    // byte "A" never meets "a".
    EXPECT_FALSE(r.Match("m/\xC0/ki", "\xE0", SJIS));
    EXPECT_FALSE(r.Match("m/\xDD/ki", "\xFD", SJIS));
    EXPECT_FALSE(r.Match("m/\x82\x81/ki", "\x82\x60", SJIS));  // full-width a and A
    EXPECT_FALSE(r.Match("m/a/ki", A, SJIS));
    EXPECT_TRUE(r.Match("m/" + Iro + "a/ki", Iro + "A", SJIS));
}

TEST(Matcher, UTF8Text)
{
    TMatcher r;
    // "\xE3\x81\x82" is hiragana A; read as Shift-JIS its last byte would swallow the "{".
    const std::string text = "\xE3\x81\x82{\xC3\xA9}";
    EXPECT_FALSE(r.Match(BlocksCommand, text, SJIS));
    ASSERT_TRUE(r.Match(BlocksCommand, text, UTF8));
    EXPECT_EQ(r.MatchPos(), 4u);
    EXPECT_EQ(r.MatchLength(), 4u);
    EXPECT_EQ(r.MatchStrings(1), "\xC3\xA9");

    const std::string html = "\xE6\x97\xA5\xE6\x9C\xAC<font color=#abc>\xE8\x89\xB2#fff";
    ASSERT_TRUE(r.Match(TagsCommand, html, UTF8));
    EXPECT_EQ(r.MatchPos(), 7u);
    EXPECT_EQ(r.MatchStrings(0), "<font color=#abc>");
    ASSERT_TRUE(r.MatchFrom(HexCommand, html, 23, UTF8));
    EXPECT_EQ(r.MatchPos(), 27u);
    EXPECT_EQ(r.MatchStrings(0), "#fff");
    ASSERT_TRUE(r.Match("m/<[^!]/k", "<\xE6\x97\xA5>", UTF8));
    EXPECT_EQ(r.MatchLength(), 4u);
    ASSERT_TRUE(r.Match("m/^.$/k", "\xF0\x9F\x8E\xA8", UTF8));
    EXPECT_FALSE(r.Match("m/^.$/", "\xF0\x9F\x8E\xA8", UTF8));
    // A byte order mark is an ordinary character at the start.
    ASSERT_TRUE(r.Match("m/^.a/k", "\xEF\xBB\xBF" "a", UTF8));
    EXPECT_EQ(r.MatchLength(), 4u);
    // A pattern in UTF-8.
    ASSERT_TRUE(r.Match("m/\xE8\x89\xB2+/k", "x\xE8\x89\xB2\xE8\x89\xB2", UTF8));
    EXPECT_EQ(r.MatchLength(), 6u);

    EXPECT_EQ(ErrorOf([&] { r.Match(BlocksCommand, "{\x83\x7B}", UTF8); }),
              "the text is not valid UTF-8");
    EXPECT_EQ(ErrorOf([&] { r.MatchFrom(BlocksCommand, html, 1, UTF8); }),
              "start offset inside a character");
}

TEST(Matcher, MatchFromSeesNothingBeforeStart)
{
    TMatcher r;
    const std::string text = "ab\nab";
    ASSERT_TRUE(r.MatchFrom("m/^a/", text, 3, SJIS));
    EXPECT_EQ(r.MatchPos(), 4u);
    EXPECT_FALSE(r.MatchFrom("m/(?<=b)a/", "ba", 1, SJIS));
    EXPECT_TRUE(r.MatchFrom("m/\\ba/", "ba", 1, SJIS));
    EXPECT_FALSE(r.MatchFrom("m/a/", text, 5, SJIS));
    EXPECT_TRUE(r.MatchFrom("m/^$/", text, 5, SJIS));
    EXPECT_EQ(r.MatchPos(), 6u);
    EXPECT_EQ(ErrorOf([&] { r.MatchFrom("m/a/", text, 6, SJIS); }),
              "start offset beyond the end of the text");
    const std::string sjis = "x" + Hyo + "{}";
    EXPECT_EQ(ErrorOf([&] { r.MatchFrom(BlocksCommand, sjis, 2, SJIS); }),
              "start offset inside a character");
    ASSERT_TRUE(r.MatchFrom(BlocksCommand, sjis, 3, SJIS));
    EXPECT_EQ(r.MatchPos(), 4u);
}

TEST(Matcher, TextChangedInPlaceIsReadAgainFromTheStart)
{
    TMatcher r;
    std::string buffer = "{" + Bo + "}   ";
    ASSERT_TRUE(r.Match(BlocksCommand, buffer, SJIS));
    EXPECT_EQ(r.MatchLength(), 4u);
    buffer = "ab{" + Iro + "}{";  // same size, same storage
    ASSERT_TRUE(r.Match(BlocksCommand, buffer, SJIS));
    EXPECT_EQ(r.MatchPos(), 3u);
    EXPECT_EQ(r.MatchStrings(0), "{" + Iro + "}");
    ASSERT_TRUE(r.MatchFrom("m/{/k", buffer, 6, SJIS));
    EXPECT_EQ(r.MatchPos(), 7u);
}

// Every match of Command over Text by MatchFrom, and by Match on a copy of the rest of the
// text (the plain loop); both must give the same matches.
void ExpectSameMatches(TMatcher& r, const std::string& Command, const std::string& Text,
                       TTextEncoding Encoding)
{
    const bool characterWise = Command.back() == 'k' || Command.ends_with("ki");
    const auto step = [&](std::size_t Begin, std::size_t Length) -> std::size_t {
        if (Length > 0)
            return Begin + Length;
        if (Begin == Text.size())
            return Begin + 1;
        return Begin + (characterWise ? CharLengthAt(Text, Begin, Encoding) : 1);
    };
    std::vector<TFound> fromStart;
    for (std::size_t start = 0; start <= Text.size() &&
                                r.MatchFrom(Command, Text, start, Encoding);) {
        fromStart.push_back(Result(r));
        const std::size_t begin = r.MatchPos() - 1;
        if (characterWise) {
            ASSERT_TRUE(IsCharBoundary(Text, begin, Encoding)) << Command;
            ASSERT_TRUE(IsCharBoundary(Text, begin + r.MatchLength(), Encoding)) << Command;
        }
        start = step(begin, r.MatchLength());
    }
    std::vector<TFound> rest;
    for (std::size_t start = 0; start <= Text.size();) {
        const std::string copy = Text.substr(start);
        if (!r.Match(Command, copy, Encoding))
            break;
        rest.push_back(Result(r, start));
        const std::size_t begin = start + r.MatchPos() - 1;
        start = step(begin, r.MatchLength());
    }
    EXPECT_EQ(fromStart.size(), rest.size()) << Command;
    EXPECT_TRUE(fromStart == rest) << Command;
}

std::string GeneratedText(std::mt19937& Random, const std::vector<std::string>& Pieces,
                          std::size_t Count)
{
    std::string text;
    std::uniform_int_distribution<std::size_t> pick(0, Pieces.size() - 1);
    for (std::size_t i = 0; i < Count; ++i)
        text += Pieces[pick(Random)];
    return text;
}

TEST(Matcher, MatchFromEqualsMatchingTheRest)
{
    const std::vector<std::string> ascii = {
        "{", "}", "|", "\\", "<", ">", "!", "#", ":", ";", " ", "\n", "\r\n", "=", "\"", "(",
        ")", ",", "%", "a", "F", "0", "9", "rgb", "RGB(1,2,3)", "color", " style=", "#AbC",
        "red", "<p ", " bgcolor="};
    std::vector<std::string> sjis = ascii;
    for (const auto& piece : {Bo, Po, Ma, Hyo, So, A, Te, Iro, HalfA, std::string("\x83"),
                              std::string("\xE0"), std::string("\x82\xA9\x82\xC8")})
        sjis.push_back(piece);
    std::vector<std::string> utf8 = ascii;
    for (const char* piece : {"\xC3\xA9", "\xE3\x81\x82", "\xE6\x97\xA5", "\xF0\x9F\x8E\xA8",
                              "\xEF\xBB\xBF"})
        utf8.push_back(piece);
    const std::vector<std::string> commands = {
        TagsCommand,  AttributesCommand, BlocksCommand, DeclarationsCommand, ValuesCommand,
        RgbCommand,   HexCommand,        "m/[^<>]+/k",  "m/./k",            "m/^.|x*/k",
        "m/(.)\\1/ki", "m/\\w+/k"};

    std::mt19937 random(20261207);
    TMatcher r;
    for (int round = 0; round < 12; ++round) {
        const std::string s = GeneratedText(random, sjis, 400);
        const std::string u = GeneratedText(random, utf8, 400);
        ASSERT_EQ(DetectTextEncoding(u), UTF8);
        for (const auto& command : commands) {
            ExpectSameMatches(r, command, s, SJIS);
            ExpectSameMatches(r, command, u, UTF8);
        }
        ExpectSameMatches(r, BlocksCommand, u, SJIS);
        ExpectSameMatches(r, "m/{(.|\\n)*?}/i", s, SJIS);
    }
}

// Every match of each command over Text as Perl itself finds it, by the loop over the rest of
// the text: one line per match, "begin,end" per group in bytes or "-" for an unset group. Flag
// "k" is left to Perl's own reading of the text: bytes, or characters decoded from Encoding
// ("UTF-8" or "cp932").
std::vector<std::string> PerlMatches(const std::vector<std::string>& Commands,
                                     const std::string& Text, const std::string& Encoding = "")
{
    static int serial = 0;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tessival-matcher-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(dir);
    {
        std::ofstream(dir / "text", std::ios::binary) << Text;
        std::ofstream commands(dir / "commands", std::ios::binary);
        for (const auto& command : Commands)
            commands << command << "\n";
        std::ofstream(dir / "match.pl", std::ios::binary) << R"PERL(
use strict; use warnings; no warnings 'regexp'; use Encode;
my ($dir, $encoding) = @ARGV;
open(my $tf, '<:raw', "$dir/text") or die; local $/; my $t = <$tf>; close $tf;
$t = decode($encoding, $t, Encode::FB_CROAK) if $encoding;
my @bytes = (0);
if ($encoding) { for my $i (0 .. length($t) - 1) { push @bytes, $bytes[-1] + length(encode($encoding, substr($t, $i, 1))); } }
else { @bytes = (0 .. length($t)); }
open(my $cf, '<:raw', "$dir/commands") or die; $/ = "\n";
while (my $command = <$cf>) {
    chomp $command;
    my ($pattern, $flags) = $command =~ m{^m/(.*)/([a-z]*)$} or die;
    $flags =~ s/k//g;
    my $re = $flags eq '' ? qr/$pattern/ : qr/(?$flags)$pattern/;
    print "command\n";
    my $off = 0;
    while ($off <= length($t)) {
        last unless substr($t, $off) =~ $re;
        print join(' ', map { defined $-[$_] ? $bytes[$off + $-[$_]] . ',' . $bytes[$off + $+[$_]] : '-' } 0 .. $#+), "\n";
        $off += $+[0] > $-[0] ? $+[0] : $-[0] + 1;
    }
}
)PERL";
    }
    std::vector<std::string> lines;
    const std::string run = "/usr/bin/perl " + (dir / "match.pl").string() + " " + dir.string() +
                            " '" + Encoding + "' 2>&1";
    if (FILE* pipe = popen(run.c_str(), "r")) {
        std::string line;
        for (int c; (c = std::fgetc(pipe)) != EOF;) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line.push_back(static_cast<char>(c));
            }
        }
        pclose(pipe);
    }
    std::filesystem::remove_all(dir);
    return lines;
}

std::vector<std::string> OurMatches(TMatcher& r, const std::vector<std::string>& Commands,
                                    const std::string& Text, TTextEncoding Encoding)
{
    std::vector<std::string> lines;
    for (const auto& command : Commands) {
        lines.push_back("command");
        for (std::size_t start = 0; start <= Text.size() && r.MatchFrom(command, Text, start, Encoding);) {
            std::string line;
            for (int i = 0; i < r.GroupCount(); ++i) {
                if (i > 0)
                    line += ' ';
                line += r.GroupMatched(i) ? std::to_string(r.GroupStart(i)) + "," +
                                                std::to_string(r.GroupStart(i) + r.GroupLength(i))
                                          : "-";
            }
            lines.push_back(line);
            const std::size_t begin = r.MatchPos() - 1;
            start = r.MatchLength() > 0 ? begin + r.MatchLength()
                    : begin < Text.size() ? begin + CharLengthAt(Text, begin, Encoding)
                                          : begin + 1;
        }
    }
    return lines;
}

TEST(Matcher, AgreesWithPerl)
{
    if (!std::filesystem::exists("/usr/bin/perl"))
        FAIL() << "/usr/bin/perl is not installed";
    std::vector<std::string> commands = RewriterCommands;
    for (const char* extra : {"m/(a|ab)(c|bcd)?/", "m/[^<>]+?>/k", "m/(.)(.)?x/ki", "m/\\s+/k"})
        commands.push_back(extra);
    const std::vector<std::string> pieces = {
        "{", "}", "<", ">", "!", "#", ":", ";", " ", "\n", "\r\n", "\t", "=", "\"", "(", ")", ",",
        "%", "a", "b", "c", "d", "X", "F", "0", "9", "rgb", "RGB (1 ,2,30% )", "Color", " style=",
        "#AbC", "#abcdef12", "red", "<p ", " BgColor=", "<!x ", " text = ", "rgb(300,0,0)"};
    std::vector<std::string> utf8Pieces = pieces;
    for (const char* piece : {"\xC3\xA9", "\xE3\x81\x82", "\xE6\x97\xA5", "\xF0\x9F\x8E\xA8"})
        utf8Pieces.push_back(piece);

    std::vector<std::string> sjisPieces = pieces;
    for (const auto& piece : {Bo, Po, Ma, Hyo, So, A, Te, Iro, HalfA, std::string("\xDF")})
        sjisPieces.push_back(piece);

    std::mt19937 random(99);
    TMatcher r;
    for (int round = 0; round < 4; ++round) {
        const std::string ascii = GeneratedText(random, pieces, 300);
        const std::vector<std::string> perl = PerlMatches(commands, ascii);
        ASSERT_GT(perl.size(), commands.size()) << (perl.empty() ? "" : perl.front());
        EXPECT_EQ(OurMatches(r, commands, ascii, SJIS), perl);

        const std::string utf8 = GeneratedText(random, utf8Pieces, 300);
        EXPECT_EQ(OurMatches(r, commands, utf8, UTF8), PerlMatches(commands, utf8, "UTF-8"));

        // Perl reads Shift-JIS characters only once the text is decoded; the characters here
        // have no case, so Perl's Unicode case rules and our ASCII ones agree on them.
        const std::string sjis = GeneratedText(random, sjisPieces, 300);
        EXPECT_EQ(OurMatches(r, commands, sjis, SJIS), PerlMatches(commands, sjis, "cp932"));
    }
}

TEST(Matcher, LongBlocksAndTexts)
{
    TMatcher r;
    // One block of two megabytes spans far more than a default machine stack of matching.
    const std::string block = "x {" + std::string(2'000'000, 'a') + "\r\n}";
    ASSERT_TRUE(r.Match(BlocksCommand, block, SJIS));
    EXPECT_EQ(r.MatchPos(), 3u);
    EXPECT_EQ(r.MatchLength(), block.size() - 2);

    // Offsets far into a long Shift-JIS text come back exact.
    std::string text;
    for (int i = 0; i < 50'000; ++i)
        text += Hyo + HalfA + "a" + Bo;
    const std::size_t at = text.size();
    text += "{" + Ma + "}";
    ASSERT_TRUE(r.Match(BlocksCommand, text, SJIS));
    EXPECT_EQ(r.MatchPos(), at + 1);
    EXPECT_EQ(r.MatchLength(), 4u);
    ASSERT_TRUE(r.MatchFrom("m/a/k", text, at - 300, SJIS));
    EXPECT_EQ(r.MatchPos(), at - 300 + 4);
}

TEST(Matcher, EveryCharacterOfAMixedText)
{
    // "." steps through the text one character at a time, exactly as a walk from the start
    // does, wherever the characters fall against the converter's internal spacing.
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += std::string(static_cast<std::size_t>(i % 7), 'a');
        text += (i % 3 == 0) ? Hyo : (i % 3 == 1) ? HalfA + Bo : "\x83" + std::string(i % 2 ? "<" : "");
    }
    TMatcher r;
    std::size_t from = 0;
    while (r.MatchFrom("m/./ks", text, from, SJIS)) {
        ASSERT_EQ(r.MatchPos() - 1, from);
        ASSERT_EQ(r.MatchLength(), CharLengthAt(text, from, SJIS)) << from;
        from += r.MatchLength();
    }
    EXPECT_EQ(from, text.size());
}

TEST(Matcher, SharedInstance)
{
    EXPECT_EQ(&SharedRegExp(), &SharedRegExp());
    ASSERT_TRUE(SharedRegExp().Match(HexCommand, "#123456"));
    EXPECT_EQ(SharedRegExp().MatchStrings(1), "123456");
}

}  // namespace
