// Hexadecimal colour text, read and written in one place for the rewriter, the command line
// and the windows.

#include "colour/HexColour.h"

#include "base/Exceptions.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct TParseCase {
    const char* Text;
    std::optional<TRGBColor> Colour;  // nothing: refused
};

TEST(HexColour, ParseTable)
{
    const TParseCase cases[] = {
        // With and without "#", digits in either case.
        {"#0aF1b2", TRGBColor{0x0A, 0xF1, 0xB2}},
        {"0AF1B2", TRGBColor{0x0A, 0xF1, 0xB2}},
        {"#abcdef", TRGBColor{0xAB, 0xCD, 0xEF}},
        {"ABCDEF", TRGBColor{0xAB, 0xCD, 0xEF}},
        {"ffffff", TRGBColor{255, 255, 255}},
        {"#000000", TRGBColor{0, 0, 0}},
        {"123456", TRGBColor{0x12, 0x34, 0x56}},
        // Anything but six digits after an optional "#".
        {"", std::nullopt},
        {"#", std::nullopt},
        {"#fff", std::nullopt},
        {"fff", std::nullopt},
        {"#fffff", std::nullopt},
        {"##ffffff", std::nullopt},
        {"fffffff", std::nullopt},
        {"#fffffff", std::nullopt},
        {"fffffg", std::nullopt},
        {"#GG0000", std::nullopt},
        {" ffffff", std::nullopt},
        {"ffffff ", std::nullopt},
        {"ff ffff", std::nullopt},
        {"0xffff", std::nullopt},
        {"+fffff", std::nullopt},
        {"ffffff#", std::nullopt},
        {"\xEF\xBC\xA6\xEF\xBC\xA6", std::nullopt},  // full-width "FF"
    };
    for (const TParseCase& c : cases) {
        TRGBColor colour{-1, -1, -1};
        EXPECT_EQ(ParseHexColor(c.Text, colour), c.Colour.has_value()) << '"' << c.Text << '"';
        EXPECT_EQ(colour, c.Colour.value_or(TRGBColor{-1, -1, -1})) << '"' << c.Text << '"';
    }
}

TEST(HexColour, DigitsWithoutSharpAndShortDigits)
{
    std::uint32_t v = 0xDEADBEEF;
    EXPECT_TRUE(ParseHexDigits("Ff8000", v));
    EXPECT_EQ(v, 0xFF8000u);
    for (const char* bad : {"#FF8000", "FF800", "FF80000", "FF800G", ""}) {
        std::uint32_t w = 0xDEADBEEF;
        EXPECT_FALSE(ParseHexDigits(bad, w)) << bad;
        EXPECT_EQ(w, 0xDEADBEEFu) << bad;
    }
    EXPECT_TRUE(ParseShortHexDigits("f8A", v));
    EXPECT_EQ(v, 0xFF88AAu);
    for (const char* bad : {"#f8a", "f8", "f8a0", "f8g"}) {
        std::uint32_t w = 0xDEADBEEF;
        EXPECT_FALSE(ParseShortHexDigits(bad, w)) << bad;
        EXPECT_EQ(w, 0xDEADBEEFu) << bad;
    }
}

TEST(HexColour, FormatIsUpperCaseAndKeepsTheLowestByte)
{
    EXPECT_EQ(FormatHexColor({0x0A, 0xF1, 0xB2}), "#0AF1B2");
    EXPECT_EQ(FormatHexColor({0, 0, 0}), "#000000");
    EXPECT_EQ(FormatHexColor({255, 255, 255}), "#FFFFFF");
    EXPECT_EQ(FormatHexColor({0x1FF, -1, 0x100}), "#FFFF00");
    EXPECT_EQ(FormatHexDigits(0x0080FFu), "0080FF");
    EXPECT_EQ(FormatHexDigits(0x020080FFu), "0080FF");
    char out[8] = "xxxxxxx";
    WriteHexColor(0xABCDEFu, out);
    EXPECT_STREQ(out, "#ABCDEF");

    // Every colour written reads back as itself.
    for (std::uint32_t v = 0; v < 0x1000000; v += 0x010307) {
        TRGBColor c;
        ASSERT_TRUE(ParseHexColor(FormatHexColor(UnpackRGB(v)), c)) << v;
        EXPECT_EQ(PackRGB(c), v);
    }
}

TEST(HexColour, DigitsValue)
{
    EXPECT_EQ(HexDigitsValue("ff"), 255);
    EXPECT_EQ(HexDigitsValue("0A"), 10);
    EXPECT_EQ(HexDigitsValue("f"), 15);
    EXPECT_EQ(HexDigitsValue("7FFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(HexDigitsValue("FFFFFFFF"), -1);
    for (const char* bad : {"", "g0", "0x", " f", "f ", "-1", "123456789"}) {
        try {
            HexDigitsValue(bad);
            ADD_FAILURE() << "no error for \"" << bad << "\"";
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), "16進文字から数字に変換できませんでした");
        }
    }
}

TEST(HexColour, SwapHexOrderReversesTheThreeGroups)
{
    EXPECT_EQ(SwapHexOrder("0080FF"), "FF8000");
    EXPECT_EQ(SwapHexOrder("FF8000"), "0080FF");
    EXPECT_EQ(SwapHexOrder("#FF8000"), "0080FF");
    EXPECT_EQ(SwapHexOrder("20080FF"), "FF8000");
    EXPECT_EQ(SwapHexOrder("xyz123456"), "563412");
    try {
        SwapHexOrder("FF80");
        ADD_FAILURE() << "no error for four characters";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "文字数6個に満たない");
    }
    EXPECT_THROW(SwapHexOrder(""), EConvertError);
}

}  // namespace
