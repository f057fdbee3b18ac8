#include "text/TextEncoding.h"

#include <cstdint>
#include <cstring>

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

TTextEncoding DetectTextEncoding(std::string_view Text)
{
    return !IsASCII(Text) && IsValidUTF8(Text) ? TTextEncoding::UTF8 : TTextEncoding::ShiftJIS;
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
