#include "batch/BinaryContent.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A page of ordinary text: lines of letters with tabs, line breaks and carriage returns, and an
// escape sequence as ISO-2022-JP text has them.
std::string Page(std::size_t Size)
{
    const std::string line = "\t<p style=\"color:red\">Spring news \x1B$B$\"\x1B(B and more</p>\r\n";
    std::string page;
    while (page.size() < Size)
        page += line;
    page.resize(Size);
    return page;
}

TEST(BinaryContent, ControlBytesMakeDataWhenThereAreEightAndMoreThanOneInSixteen)
{
    EXPECT_FALSE(HasBinaryControlBytes(Page(5000)));
    EXPECT_FALSE(HasBinaryControlBytes(""));

    // Eight control bytes in 100: binary; seven are not enough, however short the text.
    std::string shortText = Page(100);
    for (std::size_t k = 0; k < 7; ++k)
        shortText[k * 13 + 1] = '\x01';
    EXPECT_FALSE(HasBinaryControlBytes(shortText));
    shortText[99] = '\x1F';  // in the bytes after the last whole word of eight
    EXPECT_TRUE(HasBinaryControlBytes(shortText));

    // Every control byte counts wherever it stands among the words of eight bytes (and each
    // kind of them: NUL to backspace, shift out to substitute, file to unit separator); the
    // share is of the first 8192 bytes only.
    for (const char control : {'\0', '\x08', '\x0E', '\x1A', '\x1C', '\x1F'}) {
        for (std::size_t offset = 0; offset < 8; ++offset) {
            std::string page = Page(1600);
            for (std::size_t k = 0; k < 100; ++k)
                page[k * 16 + offset] = control;
            SCOPED_TRACE(offset);
            EXPECT_FALSE(HasBinaryControlBytes(page));  // 100 in 1600: one in sixteen exactly
            page[1599 - offset] = control;
            EXPECT_TRUE(HasBinaryControlBytes(page));
        }
    }
    std::string late = Page(20000);
    for (std::size_t k = 8192; k < 20000; k += 2)
        late[k] = '\0';
    EXPECT_FALSE(HasBinaryControlBytes(late));
    late[8191] = late[8190] = '\x02';
    EXPECT_FALSE(HasBinaryControlBytes(late));
}

}  // namespace
