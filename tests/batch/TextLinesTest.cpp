#include "batch/TextLines.h"

#include <gtest/gtest.h>

namespace {

struct TCase {
    std::string In;
    std::string Out;
};

TEST(TextLines, EveryLineEndsWithCarriageReturnAndLineFeed)
{
    const TCase cases[] = {
        {"", ""},
        {"abc", "abc\r\n"},
        {"abc\r\n", "abc\r\n"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\rb", "a\r\nb\r\n"},
        {"a\r\n\r\nb", "a\r\n\r\nb\r\n"},
        {"a\n\rb", "a\r\n\r\nb\r\n"},  // LF then CR: two breaks
        {"\n", "\r\n"},
        {"\r\n\r\n", "\r\n\r\n"},
        {"x\r", "x\r\n"},
        {std::string("nul\0inside\nrest", 15), std::string("nul\0inside\r\nrest\r\n", 18)},
        {"\x82\xa0\x82\xa2\n\x93\xfa", "\x82\xa0\x82\xa2\r\n\x93\xfa\r\n"},  // Shift-JIS bytes pass
    };
    for (const TCase& c : cases) {
        TTextLines lines;
        lines.SetText(c.In);
        EXPECT_EQ(lines.Text(), c.Out) << "input: " << testing::PrintToString(c.In);
        EXPECT_EQ(TTextLines::Normalize(c.In), c.Out) << "input: " << testing::PrintToString(c.In);
    }
}

TEST(TextLines, LinesAreSplitAtEachKindOfBreak)
{
    TTextLines lines;
    lines.SetText("one\r\ntwo\nthree\rfour");
    ASSERT_EQ(lines.Count(), 4u);
    EXPECT_EQ(lines[0], "one");
    EXPECT_EQ(lines[1], "two");
    EXPECT_EQ(lines[2], "three");
    EXPECT_EQ(lines[3], "four");
    lines.SetText("");
    EXPECT_EQ(lines.Count(), 0u);
}

}  // namespace
