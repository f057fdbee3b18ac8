// EUC-JP: how a text is found to be in it, and its character boundaries.

#include "text/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr auto SJIS = TTextEncoding::ShiftJIS;
constexpr auto UTF8 = TTextEncoding::UTF8;
constexpr auto EUC = TTextEncoding::EUCJP;

TEST(EucJpEncoding, Detection)
{
    struct TCase {
        const char* What;
        std::string Text;
        TTextEncoding Expected;
    };
    const std::vector<TCase> cases = {
        // "色見本" and "の" in EUC-JP: read as Shift-JIS they are all half-width katakana.
        {"kanji and kana", "\xBF\xA7\xB8\xAB\xCB\xDC\xA4\xCE{color:red}", EUC},
        // "あ" (0x82 0xA0) is no EUC-JP.
        {"Shift-JIS hiragana", "\x82\xA0{color:red}", SJIS},
        // "漢字" in Shift-JIS: 0x8A 0xBF 0x8E 0x9A; 0x8E 0x9A is no EUC-JP half-width katakana.
        {"Shift-JIS kanji", "\x8A\xBF\x8E\x9A", SJIS},
        {"valid UTF-8", "\xE8\x89\xB2{color:red}", UTF8},
        // "む{" is well-formed in both: only a declaration tells.
        {"short, undeclared", "\xA4\xE0{color:red}", SJIS},
        {"meta charset", "<meta charset=\"euc-jp\">\xA4\xE0{color:red}", EUC},
        {"http-equiv", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">\xA4\xE0", EUC},
        {"@charset", "@charset \"x-euc-jp\";\xA4\xE0{}", EUC},
        // A declaration does not hold for bytes that are no EUC-JP.
        {"declared but Shift-JIS", "<meta charset=euc-jp>\x82\xA0", SJIS},
        {"declared Shift-JIS", "<meta charset=Shift_JIS>\xBF\xA7\xB8\xAB\xCB\xDC\xA4\xCE", SJIS},
        // "é" in UTF-8 is C3 A9, a well-formed EUC-JP pair too: the declaration decides.
        {"declared, also UTF-8", "@charset \"EUC-JP\";\xC3\xA9", EUC},
        {"undeclared, also UTF-8", "\xC3\xA9", UTF8},
        {"ASCII", "<meta charset=euc-jp>", SJIS},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(DetectTextEncoding(c.Text), c.Expected) << c.What;
}

TEST(EucJpEncoding, CharacterLengthsAndBoundaries)
{
    // "む", "{", half-width "ｱ" (8E B1), JIS X 0212 "丂" (8F B0 A1), a stray A4, "a".
    const std::string text = "\xA4\xE0{\x8E\xB1\x8F\xB0\xA1\xA4" "a";
    const std::vector<std::size_t> lengths = {2, 1, 2, 3, 1, 1};
    std::vector<std::size_t> got;
    for (std::size_t i = 0; i < text.size(); i += got.back())
        got.push_back(CharLengthAt(text, i, EUC));
    EXPECT_EQ(got, lengths);
    const std::vector<bool> boundary = {true, false, true, true, false, true, false, false, true, true, true};
    for (std::size_t p = 0; p <= text.size(); ++p)
        EXPECT_EQ(IsCharBoundary(text, p, EUC), boundary[p]) << p;
    // Read as Shift-JIS, E0 and "{" would be one character.
    EXPECT_EQ(FindOnCharBoundary(text, "{", 0, SJIS), std::string::npos);
    EXPECT_EQ(FindOnCharBoundary(text, "{", 0, EUC), 2u);
    EXPECT_TRUE(IsValidEUCJP("\xA4\xE0{\x8E\xB1\x8F\xB0\xA1"));
    EXPECT_FALSE(IsValidEUCJP("\xA4"));
    EXPECT_FALSE(IsValidEUCJP("\x8E\xE0"));
    EXPECT_FALSE(IsValidEUCJP("\x8F\xB0"));
}

}  // namespace
