#include "text/TextEncoding.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

bool IsContinuation(unsigned char Byte) noexcept { return (Byte & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at Pos (RFC 3629), 0 when there is none.
std::size_t UTF8SequenceLength(std::string_view Text, std::size_t Pos) noexcept
{
    const auto* s = reinterpret_cast<const unsigned char*>(Text.data());
    const std::size_t n = Text.size();
    const unsigned char b0 = s[Pos];
    if (b0 < 0x80)
        return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0;  // overlong
        else if (b0 == 0xED)
            hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90;  // overlong
        else if (b0 == 0xF4)
            hi = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (n - Pos < len)
        return 0;
    if (s[Pos + 1] < lo || s[Pos + 1] > hi)
        return 0;
    for (std::size_t i = 2; i < len; ++i)
        if (!IsContinuation(s[Pos + i]))
            return 0;
    return len;
}

}  // namespace

bool IsASCII(std::string_view Text) noexcept
{
    const char* p = Text.data();
    std::size_t n = Text.size();
    while (n >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL)
            return false;
        p += 8;
        n -= 8;
    }
    for (; n > 0; ++p, --n)
        if (static_cast<unsigned char>(*p) & 0x80)
            return false;
    return true;
}

bool IsValidUTF8(std::string_view Text) noexcept
{
    const auto* s = reinterpret_cast<const unsigned char*>(Text.data());
    const std::size_t n = Text.size();
    std::size_t i = 0;
    while (i < n) {
        if (n - i >= 8) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = UTF8SequenceLength(Text, i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

namespace {

bool IsEUCJPByte(unsigned char Byte) noexcept { return Byte >= 0xA1 && Byte <= 0xFE; }

// Length of the well-formed EUC-JP character at Pos, 0 when there is none.
std::size_t EUCJPSequenceLength(std::string_view Text, std::size_t Pos) noexcept
{
    const auto* s = reinterpret_cast<const unsigned char*>(Text.data());
    const std::size_t n = Text.size();
    const unsigned char b0 = s[Pos];
    if (b0 < 0x80)
        return 1;
    if (b0 == 0x8E)
        return n - Pos >= 2 && s[Pos + 1] >= 0xA1 && s[Pos + 1] <= 0xDF ? 2 : 0;
    if (b0 == 0x8F)
        return n - Pos >= 3 && IsEUCJPByte(s[Pos + 1]) && IsEUCJPByte(s[Pos + 2]) ? 3 : 0;
    return IsEUCJPByte(b0) && n - Pos >= 2 && IsEUCJPByte(s[Pos + 1]) ? 2 : 0;
}

// Read as Shift-JIS: whether every byte above 0x7F is a half-width katakana or part of a
// double-byte character, and how many of each there are.
struct TShiftJISReading {
    bool WellFormed = true;
    std::size_t Katakana = 0;
    std::size_t DoubleByte = 0;
};

TShiftJISReading ReadAsShiftJIS(std::string_view Text) noexcept
{
    TShiftJISReading r;
    const auto* s = reinterpret_cast<const unsigned char*>(Text.data());
    const std::size_t n = Text.size();
    for (std::size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            ++i;
        } else if (s[i] >= 0xA1 && s[i] <= 0xDF) {
            ++r.Katakana;
            ++i;
        } else if (IsShiftJISLeadByte(s[i]) && i + 1 < n && IsShiftJISTrailByte(s[i + 1])) {
            ++r.DoubleByte;
            i += 2;
        } else {
            r.WellFormed = false;
            ++i;
        }
    }
    return r;
}

char LowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsValidEUCJP(std::string_view Text) noexcept
{
    for (std::size_t i = 0; i < Text.size();) {
        const std::size_t len = EUCJPSequenceLength(Text, i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::optional<TTextEncoding> DeclaredTextEncoding(std::string_view Text)
{
    std::string head(Text.substr(0, 4096));
    for (char& c : head)
        c = LowerAscii(c);
    for (std::size_t at = head.find("charset"); at != std::string::npos; at = head.find("charset", at + 1)) {
        std::size_t i = at + 7;
        while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '=' || head[i] == '"' ||
                                   head[i] == '\''))
            ++i;
        std::size_t end = i;
        while (end < head.size() && ((head[end] >= 'a' && head[end] <= 'z') || (head[end] >= '0' && head[end] <= '9') ||
                                     head[end] == '-' || head[end] == '_'))
            ++end;
        const std::string_view name = std::string_view(head).substr(i, end - i);
        if (name == "euc-jp" || name == "x-euc-jp" || name == "eucjp" || name == "euc_jp" || name == "ujis" ||
            name == "cseucpkdfmtjapanese")
            return TTextEncoding::EUCJP;
        if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis" ||
            name == "windows-31j" || name == "cp932" || name == "ms_kanji" || name == "csshiftjis")
            return TTextEncoding::ShiftJIS;
        if (name == "utf-8" || name == "utf8")
            return TTextEncoding::UTF8;
    }
    return std::nullopt;
}

TTextEncoding DetectTextEncoding(std::string_view Text)
{
    if (IsASCII(Text))
        return TTextEncoding::ShiftJIS;
    const std::optional<TTextEncoding> declared = DeclaredTextEncoding(Text);
    if (declared == TTextEncoding::EUCJP && IsValidEUCJP(Text))
        return TTextEncoding::EUCJP;
    if (IsValidUTF8(Text))
        return TTextEncoding::UTF8;
    if (declared != TTextEncoding::ShiftJIS && IsValidEUCJP(Text)) {
        const TShiftJISReading sjis = ReadAsShiftJIS(Text);
        if (!sjis.WellFormed || (sjis.Katakana >= 8 && sjis.Katakana > 2 * sjis.DoubleByte))
            return TTextEncoding::EUCJP;
    }
    return TTextEncoding::ShiftJIS;
}

bool IsShiftJISLeadByte(unsigned char Byte) noexcept
{
    return (Byte >= 0x81 && Byte <= 0x9F) || (Byte >= 0xE0 && Byte <= 0xFC);
}

bool IsShiftJISTrailByte(unsigned char Byte) noexcept
{
    return (Byte >= 0x40 && Byte <= 0x7E) || (Byte >= 0x80 && Byte <= 0xFC);
}

std::size_t CharLengthAt(std::string_view Text, std::size_t Pos, TTextEncoding Encoding) noexcept
{
    const auto b = static_cast<unsigned char>(Text[Pos]);
    if (b < 0x80)
        return 1;
    if (Encoding == TTextEncoding::EUCJP) {
        const std::size_t len = EUCJPSequenceLength(Text, Pos);
        return len == 0 ? 1 : len;
    }
    if (Encoding == TTextEncoding::ShiftJIS) {
        if (IsShiftJISLeadByte(b) && Pos + 1 < Text.size() &&
            IsShiftJISTrailByte(static_cast<unsigned char>(Text[Pos + 1])))
            return 2;
        return 1;
    }
    const std::size_t len = UTF8SequenceLength(Text, Pos);
    return len == 0 ? 1 : len;
}

bool IsCharBoundary(std::string_view Text, std::size_t Pos, TTextEncoding Encoding) noexcept
{
    if (Pos >= Text.size())
        return Pos == Text.size();
    if (Pos == 0)
        return true;
    if (Encoding == TTextEncoding::UTF8)
        return !IsContinuation(static_cast<unsigned char>(Text[Pos]));
    if (Encoding == TTextEncoding::EUCJP) {
        // Characters start at the beginning of the run of bytes above 0x7F that holds Pos.
        if (static_cast<unsigned char>(Text[Pos]) < 0x80)
            return true;
        std::size_t start = Pos;
        while (start > 0 && static_cast<unsigned char>(Text[start - 1]) >= 0x80)
            --start;
        while (start < Pos)
            start += CharLengthAt(Text, start, Encoding);
        return start == Pos;
    }

    // A byte that cannot be a lead byte always ends a character, so a character starts right
    // after the last such byte before Pos. From there the bytes up to Pos are all lead-byte
    // values, which are trail-byte values too, and pair up two by two.
    if (!IsShiftJISTrailByte(static_cast<unsigned char>(Text[Pos])))
        return true;
    std::size_t start = Pos;
    while (start > 0 && IsShiftJISLeadByte(static_cast<unsigned char>(Text[start - 1])))
        --start;
    return (Pos - start) % 2 == 0;
}

std::size_t FindOnCharBoundary(std::string_view Haystack, std::string_view Needle,
                               std::size_t From, TTextEncoding Encoding)
{
    if (From > Haystack.size())
        return std::string_view::npos;
    if (Needle.empty()) {
        while (From < Haystack.size() && !IsCharBoundary(Haystack, From, Encoding))
            ++From;
        return From;
    }
    if (Needle.size() == 1) {
        // A byte that is never part of a longer character is a character wherever it stands:
        // below 0x80 in UTF-8 and EUC-JP, and in Shift-JIS what no double-byte character ends
        // with (the punctuation of markup and style: ":", ";", "(", ")", "<", ">", "#", quotes).
        const auto byte = static_cast<unsigned char>(Needle[0]);
        if (Encoding == TTextEncoding::ShiftJIS ? !IsShiftJISTrailByte(byte) : byte < 0x80)
            return Haystack.find(Needle[0], From);
        for (std::size_t pos = Haystack.find(Needle[0], From); pos != std::string_view::npos;
             pos = Haystack.find(Needle[0], pos + 1)) {
            if (IsCharBoundary(Haystack, pos, Encoding))
                return pos;
        }
        return std::string_view::npos;
    }
    for (std::size_t pos = Haystack.find(Needle, From); pos != std::string_view::npos;
         pos = Haystack.find(Needle, pos + 1)) {
        if (IsCharBoundary(Haystack, pos, Encoding))
            return pos;
    }
    return std::string_view::npos;
}
