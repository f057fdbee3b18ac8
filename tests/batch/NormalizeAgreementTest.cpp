// The one-pass line break normalisation against the line list it stands for.

#include "batch/TextLines.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string ThroughLines(const std::string& Text)
{
    TTextLines lines;
    lines.SetText(Text);
    return lines.Text();
}

TEST(NormalizeAgreement, RandomTextsOfLineBreaksGiveWhatTheLineListGives)
{
    std::mt19937 rng(20261207);
    const char alphabet[] = {'\r', '\n', 'a', '\0', '\x82'};
    for (int round = 0; round < 20000; ++round) {
        std::string text(rng() % 24, ' ');
        for (char& c : text) c = alphabet[rng() % sizeof alphabet];
        ASSERT_EQ(TTextLines::Normalize(text), ThroughLines(text)) << testing::PrintToString(text);
    }
}

TEST(NormalizeAgreement, LongTextsOfOneKindOfBreak)
{
    for (const std::string br : {"\r", "\n", "\r\n", "\n\r"}) {
        std::string text;
        for (int i = 0; i < 5000; ++i) text += std::string(i % 7, 'x') + br;
        EXPECT_EQ(TTextLines::Normalize(text), ThroughLines(text));
        text += "tail";
        EXPECT_EQ(TTextLines::Normalize(text), ThroughLines(text));
    }
}

}  // namespace
