#include "text/TextEncoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr auto SJIS = TTextEncoding::ShiftJIS;
constexpr auto UTF8 = TTextEncoding::UTF8;
constexpr auto npos = std::string_view::npos;

// Straightforward decoder: well-formed when every sequence has the length its first byte
// announces, continuation bytes after it, the shortest form, no surrogate, at most U+10FFFF.
bool ReferenceValidUTF8(const std::string& Text)
{
    std::size_t i = 0;
    while (i < Text.size()) {
        const auto b = static_cast<unsigned char>(Text[i]);
        std::size_t length;
        char32_t cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            length = 2;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + length > Text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(Text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// Character starts by walking the text from its beginning.
std::vector<bool> ReferenceBoundaries(const std::string& Text)
{
    std::vector<bool> boundary(Text.size() + 1, false);
    for (std::size_t i = 0; i < Text.size();) {
        boundary[i] = true;
        i += CharLengthAt(Text, i, SJIS);
    }
    boundary[Text.size()] = true;
    return boundary;
}

TEST(TextEncoding, Detection)
{
    EXPECT_EQ(DetectTextEncoding(""), SJIS);
    EXPECT_EQ(DetectTextEncoding("p { color: red; }"), SJIS);
    EXPECT_EQ(DetectTextEncoding("\xE8\x89\xB2 { color: red; }"), UTF8);
    EXPECT_EQ(DetectTextEncoding("\xEF\xBB\xBF"), UTF8);                 // byte order mark
    EXPECT_EQ(DetectTextEncoding("\x90\x46 { color: red; }"), SJIS);     // Shift-JIS kanji
    EXPECT_EQ(DetectTextEncoding("\x83\x7B\x83\x7D"), SJIS);
    EXPECT_EQ(DetectTextEncoding("\xC0\xAF"), SJIS);                      // overlong "/"
    EXPECT_EQ(DetectTextEncoding("\xE0\x80\xAF"), SJIS);                  // overlong
    EXPECT_EQ(DetectTextEncoding("\xED\xA0\x80"), SJIS);                  // surrogate
    EXPECT_EQ(DetectTextEncoding("\xF4\x90\x80\x80"), SJIS);              // above U+10FFFF
    EXPECT_EQ(DetectTextEncoding("\xF4\x8F\xBF\xBF"), UTF8);              // U+10FFFF
    EXPECT_EQ(DetectTextEncoding("abcdefgh\xE3\x81"), SJIS);              // cut short
    EXPECT_EQ(DetectTextEncoding(std::string("a\0\xC3\xA9", 4)), UTF8);
    // One bad byte far into a long text decides it.
    std::string text(100'000, 'a');
    text += "\xC3\xA9";
    EXPECT_EQ(DetectTextEncoding(text), UTF8);
    text += "\xB1";
    EXPECT_EQ(DetectTextEncoding(text), SJIS);
}

TEST(TextEncoding, ValidationAgreesWithADecoderOnEveryShortSequence)
{
    std::string s(2, '\0');
    for (int a = 0x80; a < 0x100; ++a)
        for (int b = 0; b < 0x100; ++b) {
            s[0] = static_cast<char>(a);
            s[1] = static_cast<char>(b);
            ASSERT_EQ(IsValidUTF8(s), ReferenceValidUTF8(s)) << a << " " << b;
        }
    std::string t(3, '\0');
    for (int a = 0xC0; a < 0x100; ++a)
        for (int b = 0x70; b < 0xD0; ++b)
            for (int c = 0x70; c < 0xD0; ++c) {
                t[0] = static_cast<char>(a);
                t[1] = static_cast<char>(b);
                t[2] = static_cast<char>(c);
                ASSERT_EQ(IsValidUTF8(t), ReferenceValidUTF8(t)) << a << " " << b << " " << c;
                ASSERT_EQ(IsValidUTF8(t + "\x80"), ReferenceValidUTF8(t + "\x80"));
            }
}

TEST(TextEncoding, ShiftJISCharacters)
{
    EXPECT_EQ(CharLengthAt("\x90\x46", 0, SJIS), 2u);
    EXPECT_EQ(CharLengthAt("\x83\x7B", 0, SJIS), 2u);  // second byte "{"
    EXPECT_EQ(CharLengthAt("\xE0\x40", 0, SJIS), 2u);
    EXPECT_EQ(CharLengthAt("\xFC\xFC", 0, SJIS), 2u);
    EXPECT_EQ(CharLengthAt("\xB1\x46", 0, SJIS), 1u);  // half-width katakana
    EXPECT_EQ(CharLengthAt("\x83", 0, SJIS), 1u);      // lead byte at the end
    EXPECT_EQ(CharLengthAt("\x83<", 0, SJIS), 1u);     // before a byte that cannot follow
    EXPECT_EQ(CharLengthAt("\x83\x7F", 0, SJIS), 1u);
    EXPECT_EQ(CharLengthAt("\x83\xFD", 0, SJIS), 1u);
    EXPECT_EQ(CharLengthAt("\x80\x40", 0, SJIS), 1u);
    EXPECT_EQ(CharLengthAt("\xA0\x40", 0, SJIS), 1u);
    EXPECT_EQ(CharLengthAt("\xFD\x40", 0, SJIS), 1u);
    EXPECT_EQ(CharLengthAt("\xE3\x81\x82", 0, UTF8), 3u);
    EXPECT_EQ(CharLengthAt("\xE3\x81", 0, UTF8), 1u);
}

TEST(TextEncoding, ShiftJISBoundariesAgreeWithAForwardWalk)
{
    // Heavy on bytes that are both lead and trail values, where walking back is hardest.
    const unsigned char bytes[] = {0x81, 0x83, 0x9F, 0xE0, 0xFC, 0x40, 0x5C, 0x7B, 0x7D,
                                   0xA1, 0xB1, 0xDF, 0x7F, 0xFD, 0x80, 0x3C, 0x61, 0x0A};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof bytes - 1);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const std::size_t length = round % 40;
        for (std::size_t i = 0; i < length; ++i)
            text.push_back(static_cast<char>(bytes[pick(random) % (round % 3 == 0 ? 5 : sizeof bytes)]));
        const std::vector<bool> expected = ReferenceBoundaries(text);
        for (std::size_t p = 0; p <= text.size(); ++p)
            ASSERT_EQ(IsCharBoundary(text, p, SJIS), expected[p]) << round << " at " << p;
        EXPECT_FALSE(IsCharBoundary(text, text.size() + 1, SJIS));
    }
}

TEST(TextEncoding, FindOnCharBoundary)
{
    const std::string hyo = "\x95\x5C";  // second byte "\"
    const std::string bo = "\x83\x7B";   // second byte "{"
    EXPECT_EQ(FindOnCharBoundary(hyo + "\\", "\\", 0, SJIS), 2u);
    EXPECT_EQ(FindOnCharBoundary(hyo, "\\", 0, SJIS), npos);
    EXPECT_EQ(FindOnCharBoundary(bo + bo + "{", "{", 0, SJIS), 4u);
    EXPECT_EQ(FindOnCharBoundary("a{b{", "{", 2, SJIS), 3u);
    EXPECT_EQ(FindOnCharBoundary("a{b{", "{", 4, SJIS), npos);
    EXPECT_EQ(FindOnCharBoundary("a{b{", "{", 5, SJIS), npos);
    // A needle that begins with a second byte value is found only where it stands alone.
    EXPECT_EQ(FindOnCharBoundary("\x83\x41" "A", "A", 0, SJIS), 2u);
    // From may lie inside a character: the second byte there is still not a character.
    EXPECT_EQ(FindOnCharBoundary(bo + "{", "{", 1, SJIS), 2u);
    // The needle itself may hold double-byte characters.
    const std::string text = "\x81\x83\x81\x83\x81";  // 8183 8183 81: the middle "\x83\x81" is inside
    EXPECT_EQ(FindOnCharBoundary(text, "\x83\x81", 0, SJIS), npos);
    EXPECT_EQ(FindOnCharBoundary(text, "\x81\x83", 0, SJIS), 0u);
    EXPECT_EQ(FindOnCharBoundary(text, "\x81\x83", 1, SJIS), 2u);
    EXPECT_EQ(FindOnCharBoundary(text, "", 1, SJIS), 2u);
    EXPECT_EQ(FindOnCharBoundary(text, "", 5, SJIS), 5u);

    // UTF-8: a needle is never found inside a sequence.
    const std::string utf8 = "\xE3\x81\x82\x82";
    EXPECT_EQ(FindOnCharBoundary(utf8, "\x82", 0, UTF8), npos);
    EXPECT_EQ(FindOnCharBoundary("\xC3\xA9<\xC3\xA9", "<", 0, UTF8), 2u);
    EXPECT_EQ(FindOnCharBoundary("\xC3\xA9<\xC3\xA9", "\xA9", 0, UTF8), npos);
    EXPECT_EQ(FindOnCharBoundary("\xC3\xA9", "", 1, UTF8), 2u);
    // Read as Shift-JIS the same bytes hide the "<" after the hiragana.
    EXPECT_EQ(FindOnCharBoundary("\xE3\x81\x82<", "<", 0, UTF8), 3u);
    EXPECT_EQ(FindOnCharBoundary("\xE3\x81\x82{", "{", 0, SJIS), npos);
}

}  // namespace
