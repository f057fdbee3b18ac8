// Large inputs that once took the rewriter far longer than their size suggests: the results
// must be the same as for their small forms.

#include "text/ColourRewriter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Rewrite(std::string_view Text, int Hue = 0)
{
    TColourRewriter r(Hue, 0, 0, {}, {}, {});
    return r.ReplaceAll(Text);
}

}  // namespace

// Thousands of "rgb" words with no "(" after them in one declaration: every word stays, the
// colours among them are converted, and the same holds inside a style attribute.
TEST(ColourRewriterLarge, ManyRgbWordsInOneDeclaration)
{
    std::string words, converted;
    for (int i = 0; i < 50000; ++i) {
        words += i % 1000 == 0 ? " red" : i % 3 == 0 ? " RGB," : " rgb";
        converted += i % 1000 == 0 ? " #00FF00" : i % 3 == 0 ? " RGB," : " rgb";
    }
    ASSERT_GT(words.size(), 200000u);
    EXPECT_EQ(Rewrite(".a { color:" + words + " }", 120), ".a { color:" + converted + " }");
    EXPECT_EQ(Rewrite(".a{color:" + words + ";background: rgb(0,0,255)}", 120),
              ".a{color:" + converted + ";background: #FF0000}");
    EXPECT_EQ(Rewrite("<p style=\"color:" + words + "\">", 120), "<p style=\"color:" + converted + "\">");
    // A ")" before the words and a "(" after them make no rgb function either.
    EXPECT_EQ(Rewrite(".a{x:) " + words + " (}", 120), ".a{x:) " + converted + " (}");
    // The small form, at hue 120, for comparison with the large one.
    EXPECT_EQ(Rewrite(".a{color: rgb rgb red RGB}", 120), ".a{color: rgb rgb #00FF00 RGB}");
}
