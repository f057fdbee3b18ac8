#include "text/TextTranscoding.h"

#include "text/TextEncoding.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr std::string_view Placeholder = "\xE3\x80\x93";  // U+3013
constexpr std::size_t SampleBytes = 8192;

bool IsUTF16(TTextForm Form) noexcept { return Form == TTextForm::UTF16LE || Form == TTextForm::UTF16BE; }

std::size_t UnitSize(TTextForm Form) noexcept { return IsUTF16(Form) ? 2 : 4; }

bool BigEndian(TTextForm Form) noexcept { return Form == TTextForm::UTF16BE || Form == TTextForm::UTF32BE; }

std::uint32_t UnitAt(std::string_view Text, std::size_t Pos, TTextForm Form) noexcept
{
    const std::size_t size = UnitSize(Form);
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < size; ++k) {
        const std::uint32_t b = static_cast<unsigned char>(Text[Pos + (BigEndian(Form) ? k : size - 1 - k)]);
        v = (v << 8) | b;
    }
    return v;
}

void PutUnit(std::string& Out, std::uint32_t Unit, TTextForm Form)
{
    const std::size_t size = UnitSize(Form);
    for (std::size_t k = 0; k < size; ++k) {
        const std::size_t shift = 8 * (BigEndian(Form) ? size - 1 - k : k);
        Out.push_back(static_cast<char>((Unit >> shift) & 0xFF));
    }
}

void PutUTF8(std::string& Out, char32_t c)
{
    if (c < 0x80) {
        Out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        Out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        Out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        Out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        Out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool DecodesIn(std::string_view Text, TTextForm Form)
{
    try {
        DecodeToUTF8(Text, Form);
        return true;
    } catch (const ETextEncodingError&) {
        return false;
    }
}

// Whether three quarters of the code units of the first 8 KB are ASCII characters in Form.
bool MostlyAsciiUnits(std::string_view Text, TTextForm Form)
{
    const std::size_t size = UnitSize(Form);
    if (Text.size() % size != 0 || Text.size() < 2 * size)
        return false;
    const std::size_t sample = std::min(Text.size(), SampleBytes) / size * size;
    // A unit that is an ASCII character has a NUL byte: without one, nearly every page, none is.
    if (Text.substr(0, sample).find('\0') == std::string_view::npos)
        return false;
    std::size_t units = 0, ascii = 0;
    for (std::size_t i = 0; i < sample; i += size, ++units) {
        const std::uint32_t u = UnitAt(Text, i, Form);
        if (u >= 0x01 && u <= 0x7F)
            ++ascii;
    }
    return ascii * 4 >= units * 3;
}

// ESC and what follows it when it switches into a set of double-byte or katakana characters.
std::size_t ShiftOutLength(std::string_view Text, std::size_t Pos) noexcept
{
    for (std::string_view s : {"\x1B$@", "\x1B$B", "\x1B(I", "\x1B$(D", "\x1B$(O", "\x1B$(P", "\x1B$(Q"})
        if (Text.substr(Pos, s.size()) == s)
            return s.size();
    return 0;
}

bool IsShiftBack(std::string_view Text, std::size_t Pos) noexcept
{
    const std::string_view s = Text.substr(Pos, 3);
    return s == "\x1B(B" || s == "\x1B(J";
}

struct TRun {
    std::size_t Begin;
    std::size_t End;
};

// The opaque runs of an ISO-2022-JP text, in order; runs that touch are one.
std::vector<TRun> OpaqueRuns(std::string_view Text)
{
    std::vector<TRun> runs;
    std::size_t i = 0;
    while ((i = Text.find('\x1B', i)) != std::string_view::npos) {
        if (ShiftOutLength(Text, i) == 0) {
            ++i;
            continue;
        }
        const std::size_t begin = i;
        std::size_t end = Text.size();
        for (std::size_t j = Text.find('\x1B', i + 1); j != std::string_view::npos; j = Text.find('\x1B', j + 1))
            if (IsShiftBack(Text, j)) {
                end = j + 3;
                break;
            }
        if (!runs.empty() && runs.back().End == begin)
            runs.back().End = end;
        else
            runs.push_back({begin, end});
        i = end;
    }
    return runs;
}

std::string RewriteISO2022JP(std::string_view Text, const std::function<std::string(std::string_view)>& Rewrite)
{
    const std::vector<TRun> runs = OpaqueRuns(Text);
    std::string masked;
    masked.reserve(Text.size());
    std::size_t copied = 0;
    for (const TRun& r : runs) {
        masked.append(Text.substr(copied, r.Begin - copied));
        masked.append(Placeholder);
        copied = r.End;
    }
    masked.append(Text.substr(copied));

    const std::string rewritten = Rewrite(masked);
    if (rewritten == masked)
        return std::string(Text);
    // Every byte above 0x7F that comes back must be a placeholder, one for each run, in order.
    std::string out;
    out.reserve(rewritten.size() + Text.size() - masked.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < rewritten.size();) {
        if (static_cast<unsigned char>(rewritten[i]) < 0x80) {
            out.push_back(rewritten[i++]);
            continue;
        }
        if (next == runs.size() || rewritten.compare(i, Placeholder.size(), Placeholder) != 0)
            throw ETextEncodingError("ISO-2022-JP text lost a run of its characters");
        out.append(Text.substr(runs[next].Begin, runs[next].End - runs[next].Begin));
        ++next;
        i += Placeholder.size();
    }
    if (next != runs.size())
        throw ETextEncodingError("ISO-2022-JP text lost a run of its characters");
    return out;
}

}  // namespace

std::string DecodeToUTF8(std::string_view Text, TTextForm Form)
{
    const std::size_t size = UnitSize(Form);
    if (Text.size() % size != 0)
        throw ETextEncodingError("text ends inside a code unit");
    std::string out;
    out.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); i += size) {
        char32_t c = UnitAt(Text, i, Form);
        if (IsUTF16(Form) && c >= 0xD800 && c <= 0xDBFF) {
            const char32_t low = i + 2 < Text.size() ? UnitAt(Text, i + 2, Form) : 0;
            if (low < 0xDC00 || low > 0xDFFF)
                throw ETextEncodingError("unpaired surrogate");
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            throw ETextEncodingError("not a character");
        }
        PutUTF8(out, c);
    }
    return out;
}

std::string EncodeFromUTF8(std::string_view Text, TTextForm Form)
{
    if (!IsValidUTF8(Text))
        throw ETextEncodingError("not valid UTF-8");
    std::string out;
    out.reserve(Text.size() * UnitSize(Form));
    const auto* s = reinterpret_cast<const unsigned char*>(Text.data());
    for (std::size_t i = 0; i < Text.size();) {
        const std::size_t len = CharLengthAt(Text, i, TTextEncoding::UTF8);
        char32_t c = len == 1 ? s[i] : s[i] & (0xFF >> (len + 1));
        for (std::size_t k = 1; k < len; ++k)
            c = (c << 6) | (s[i + k] & 0x3F);
        i += len;
        if (IsUTF16(Form) && c >= 0x10000) {
            PutUnit(out, 0xD800 + ((c - 0x10000) >> 10), Form);
            PutUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF), Form);
        } else {
            PutUnit(out, c, Form);
        }
    }
    return out;
}

TTextLayout DetectTextLayout(std::string_view Text)
{
    // UTF-32LE's mark begins with UTF-16LE's, so it is looked for first.
    if (Text.starts_with(std::string_view("\xFF\xFE\x00\x00", 4)))
        return {TTextForm::UTF32LE, 4};
    if (Text.starts_with(std::string_view("\x00\x00\xFE\xFF", 4)))
        return {TTextForm::UTF32BE, 4};
    if (Text.starts_with("\xFF\xFE"))
        return {TTextForm::UTF16LE, 2};
    if (Text.starts_with("\xFE\xFF"))
        return {TTextForm::UTF16BE, 2};
    for (TTextForm form : {TTextForm::UTF32LE, TTextForm::UTF32BE, TTextForm::UTF16LE, TTextForm::UTF16BE})
        if (MostlyAsciiUnits(Text, form) && DecodesIn(Text, form))
            return {form, 0};
    if (IsASCII(Text)) {
        for (std::size_t i = Text.find('\x1B'); i != std::string_view::npos; i = Text.find('\x1B', i + 1))
            if (ShiftOutLength(Text, i) != 0)
                return {TTextForm::ISO2022JP, 0};
    }
    return {};
}

std::string RewriteInLayout(std::string_view Text, const TTextLayout& Layout,
                            const std::function<std::string(std::string_view)>& Rewrite)
{
    switch (Layout.Form) {
    case TTextForm::Bytes:
        return Rewrite(Text);
    case TTextForm::ISO2022JP:
        return RewriteISO2022JP(Text, Rewrite);
    default:
        break;
    }
    const std::string_view bom = Text.substr(0, Layout.BomSize);
    const std::string decoded = DecodeToUTF8(Text.substr(Layout.BomSize), Layout.Form);
    const std::string rewritten = Rewrite(decoded);
    if (rewritten == decoded)
        return std::string(Text);
    return std::string(bom) + EncodeFromUTF8(rewritten, Layout.Form);
}
