// The value token scanner against the matcher running the rewriter's value command: on random
// declarations in each encoding, every token from every start offset must be the same.

#include "text/Matcher.h"
#include "text/ColourRewriter.h"
#include "text/ValueTokens.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Pieces that declarations are made of: the characters the value command cares about, letters
// of both cases, hexadecimal digits, and characters of several bytes -- in UTF-8 the Kelvin
// sign and the long s (case partners of "k" and "s"), in Shift-JIS double-byte characters
// whose second byte is a letter, "{", "\" or "|".
std::vector<std::string> Pieces(TTextEncoding Encoding, bool Ascii)
{
    std::vector<std::string> pieces = {"#",   "(",   ")",  "rgb", "RGB", "rGb", "rg", "gb",  "a",
                                       "F",   "k",   "s",  "x",   "Z",   "0",   "9",  " ",   ",",
                                       ";",   ":",   "%",  "-",   "\n",  "\r",  "\t", "red", "#f0c",
                                       "url", "\"",  "'",  "/",   "\\",  "_",   "."};
    if (Ascii)
        return pieces;
    if (Encoding == TTextEncoding::UTF8) {
        for (const char* p : {"\xE2\x84\xAA", "\xC5\xBF", "\xC3\xA9", "\xC4\xB0", "\xE2\x84\xAB",
                              "\xE3\x81\x82", "\xF0\x9F\x98\x80", "\xEF\xBC\x88"})
            pieces.emplace_back(p);
    } else {
        for (const char* p : {"\x83\x41", "\x83\x7B", "\x95\x5C", "\x83\x7C", "\x82\x72",
                              "\x82\x61", "\xB1", "\x81\x69", "\x83\x62", "\x88\x9F"})
            pieces.emplace_back(p);
    }
    return pieces;
}

std::string RandomText(std::mt19937& Random, const std::vector<std::string>& Pieces, std::size_t Count)
{
    std::uniform_int_distribution<std::size_t> pick(0, Pieces.size() - 1);
    std::string text;
    for (std::size_t i = 0; i < Count; ++i)
        text += Pieces[pick(Random)];
    return text;
}

void ExpectSameTokens(const std::string& Text, TTextEncoding Encoding)
{
    TMatcher matcher;
    TValueTokenScanner scanner(Text, Encoding);
    for (std::size_t from = 0; from <= Text.size(); ++from) {
        if (!IsCharBoundary(Text, from, Encoding))
            continue;
        const bool expected = matcher.MatchFrom(TColourRewriter::ValuesCommand, Text, from, Encoding);
        std::size_t begin = 0, end = 0;
        const bool found = scanner.Next(from, begin, end);
        ASSERT_EQ(found, expected) << "from " << from << " in \"" << Text << "\"";
        if (expected) {
            ASSERT_EQ(begin, matcher.MatchPos() - 1) << "from " << from << " in \"" << Text << "\"";
            ASSERT_EQ(end - begin, matcher.MatchLength()) << "from " << from << " in \"" << Text << "\"";
        }
    }
}

}  // namespace

TEST(ValueTokens, AgreeWithTheValueCommandOnRandomText)
{
    std::mt19937 random(20261207);
    const struct {
        TTextEncoding Encoding;
        bool Ascii;
    } kinds[] = {{TTextEncoding::ShiftJIS, true}, {TTextEncoding::ShiftJIS, false}, {TTextEncoding::UTF8, false}};
    for (const auto& kind : kinds) {
        const std::vector<std::string> pieces = Pieces(kind.Encoding, kind.Ascii);
        for (int round = 0; round < 300; ++round) {
            std::string text = RandomText(random, pieces, 1 + round % 40);
            if (kind.Encoding == TTextEncoding::UTF8 && IsASCII(text))
                text += "\xC3\xA9";
            ExpectSameTokens(text, kind.Encoding);
            if (HasFatalFailure())
                return;
        }
    }
}

// Blocks and declarations found without the matcher: the same spans as the block and the
// declaration command give, from every start offset, with "{", "}" and "|" also standing as
// second bytes of Shift-JIS characters.
TEST(ValueTokens, DelimitedSpansAgreeWithTheCommands)
{
    std::mt19937 random(7);
    const struct {
        TTextEncoding Encoding;
        bool Ascii;
    } kinds[] = {{TTextEncoding::ShiftJIS, true}, {TTextEncoding::ShiftJIS, false}, {TTextEncoding::UTF8, false}};
    const struct {
        std::string_view Command;
        char First, Last;
    } commands[] = {{TColourRewriter::BlocksCommand, '{', '}'}, {TColourRewriter::DeclarationsCommand, ':', ';'}};
    for (const auto& kind : kinds) {
        std::vector<std::string> pieces = Pieces(kind.Encoding, kind.Ascii);
        for (const char* p : {"{", "}", ":", ";", "{", "}", ":", ";", "\x83{", "\x83}", "\x81\x81", "\xE0"})
            if (kind.Encoding == TTextEncoding::ShiftJIS || static_cast<unsigned char>(p[0]) < 0x80)
                if (!kind.Ascii || static_cast<unsigned char>(p[0]) < 0x80)
                    pieces.emplace_back(p);
        for (int round = 0; round < 200; ++round) {
            std::string text = RandomText(random, pieces, 1 + round % 30);
            if (kind.Encoding == TTextEncoding::UTF8 && IsASCII(text))
                text += "\xC3\xA9";
            for (const auto& command : commands) {
                TMatcher matcher;
                for (std::size_t from = 0; from <= text.size(); ++from) {
                    if (!IsCharBoundary(text, from, kind.Encoding))
                        continue;
                    const bool expected = matcher.MatchFrom(command.Command, text, from, kind.Encoding);
                    std::size_t begin = 0, end = 0;
                    const bool found = FindDelimited(text, command.First, command.Last, from, kind.Encoding, begin, end);
                    ASSERT_EQ(found, expected) << command.Command << " from " << from << " in \"" << text << "\"";
                    if (expected) {
                        ASSERT_EQ(begin, matcher.MatchPos() - 1) << command.Command << " in \"" << text << "\"";
                        ASSERT_EQ(end - begin, matcher.MatchLength()) << command.Command << " in \"" << text << "\"";
                    }
                }
            }
        }
    }
}

TEST(ValueTokens, StyleAgreesWithTheStyleCommand)
{
    std::mt19937 random(99);
    const std::vector<std::string> starts = {"style", "STYLE", "StYlE", "styl", "tyle", "styles", " style",
                                             "\xC5\xBFtyle", "\xC5\xBFTYLE", "\xC5tyle", "\xE2\x84\xAAstyle",
                                             "\x83style", "s", "", "\xEF\xBD\x93tyle", "sty\xC5\xBF" "e"};
    TMatcher matcher;
    for (const TTextEncoding encoding : {TTextEncoding::ShiftJIS, TTextEncoding::UTF8}) {
        const std::vector<std::string> pieces = Pieces(encoding, false);
        for (const std::string& start : starts) {
            for (int round = 0; round < 20; ++round) {
                std::string text = start + RandomText(random, pieces, round % 4);
                if (encoding == TTextEncoding::UTF8 && (IsASCII(text) || !IsValidUTF8(text)))
                    continue;
                EXPECT_EQ(StartsWithStyle(text, encoding), matcher.Match(TColourRewriter::StyleCommand, text, encoding))
                    << "\"" << text << "\"";
            }
        }
    }
}

TEST(ValueTokens, HexColourAgreesWithTheHexCommand)
{
    std::mt19937 random(5);
    std::vector<std::string> pieces = Pieces(TTextEncoding::ShiftJIS, false);
    for (const char* p : {"#", "#", "a", "B", "c", "D", "e", "F", "g", "0", "5", "9", "\x83#"})
        pieces.emplace_back(p);
    TMatcher matcher;
    for (int round = 0; round < 3000; ++round) {
        const std::string text = RandomText(random, pieces, 1 + round % 25);
        const bool expected = matcher.Match(TColourRewriter::HexCommand, text, TTextEncoding::ShiftJIS);
        std::size_t begin = 0, length = 0;
        ASSERT_EQ(FindHexColor(text, begin, length), expected) << "\"" << text << "\"";
        if (expected) {
            ASSERT_EQ(begin, matcher.MatchPos() - 1) << "\"" << text << "\"";
            ASSERT_EQ(length, matcher.MatchLength()) << "\"" << text << "\"";
        }
    }
}

TEST(ValueTokens, KnownTokens)
{
    const auto tokens = [](std::string_view Text, TTextEncoding Encoding) {
        TValueTokenScanner scanner(Text, Encoding);
        std::vector<std::string> found;
        std::size_t begin = 0, end = 0;
        for (std::size_t from = 0; scanner.Next(from, begin, end); from = end)
            found.emplace_back(Text.substr(begin, end - begin));
        return found;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(tokens(": 1px solid #F0c;", TTextEncoding::ShiftJIS), (V{"px", "solid", "#F0c"}));
    EXPECT_EQ(tokens(":RGB (1, 2,3) rgb# (x", TTextEncoding::ShiftJIS), (V{"RGB (1, 2,3)", "rgb", "x"}));
    EXPECT_EQ(tokens(":rgb rgb(1) x", TTextEncoding::ShiftJIS), (V{"rgb rgb(1)", "x"}));
    // The second byte of a double-byte character is no letter; the Kelvin sign in UTF-8 is.
    EXPECT_EQ(tokens(":\x83\x41red", TTextEncoding::ShiftJIS), (V{"red"}));
    EXPECT_EQ(tokens(":\xE2\x84\xAAred #", TTextEncoding::UTF8), (V{"\xE2\x84\xAAred"}));
}

// Thousands of "rgb" words and no "(" after them: the same tokens as the matcher gives for a
// short one, each word on its own (the scanner answers in linear time; the matcher would take
// seconds here).
TEST(ValueTokens, ManyRgbWordsWithoutBracket)
{
    std::string text = ":";
    for (int i = 0; i < 40000; ++i)
        text += i % 7 == 0 ? " rgb)" : " rgb";
    text += " (";
    ExpectSameTokens(":" + text.substr(1, 60) + " (", TTextEncoding::ShiftJIS);
    TValueTokenScanner scanner(text, TTextEncoding::ShiftJIS);
    std::size_t count = 0, begin = 0, end = 0;
    for (std::size_t from = 0; scanner.Next(from, begin, end); from = end) {
        ASSERT_EQ(text.substr(begin, end - begin), "rgb");
        ++count;
    }
    EXPECT_EQ(count, 40000u);
}
