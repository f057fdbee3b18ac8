#include "text/Matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Compiled commands kept for reuse. The rewriter alternates among about eight commands while it
// works through one text, so keeping only the last would compile again for nearly every value.
constexpr std::size_t CompiledCacheSize = 16;

// The JIT machine stack grows on demand up to this size. A lazy group such as "(.|\n)*?"
// needs a few words per character it spans, and one brace block may span megabytes of text.
constexpr std::size_t JitStackStart = 32 * 1024;
constexpr std::size_t JitStackMax = 512 * 1024 * 1024;

// Shift-JIS text with flag "k" is matched as code points in PCRE2's UTF mode. Every character
// that is not ASCII becomes one code point of the supplementary private use plane 15 -- a
// double-byte character U+F0000 + (lead << 8 | trail), any other byte U+F0000 + byte -- where
// no code point has a case partner, so "i" stays ASCII-only, and the order of the bytes is kept
// for class ranges. Each such code point takes four bytes of UTF-8.
constexpr char32_t MappedPlane = 0xF0000;
constexpr std::size_t MappedCharSize = 4;

// Offsets are converted between an original text and its mapped form by scanning from the
// nearest checkpoint: the character that contains every CheckpointSpan-th byte, recorded with
// its offset in both texts, once indexed by original bytes and once by mapped bytes.
constexpr std::size_t CheckpointSpan = 64;

struct TCheckpoints {
    std::vector<std::size_t> Orig;
    std::vector<std::size_t> Mapped;

    void Clear()
    {
        Orig.clear();
        Mapped.clear();
    }
    void Add(std::size_t O, std::size_t M)
    {
        Orig.push_back(O);
        Mapped.push_back(M);
    }
    std::size_t Next() const noexcept { return Orig.size() * CheckpointSpan; }
};

enum class TMode { Bytes, ShiftJIS, UTF8 };

struct TParsedCommand {
    std::string_view Pattern;
    std::uint32_t Options = 0;
    bool CharacterWise = false;
};

TParsedCommand ParseCommand(std::string_view Command)
{
    std::size_t open = 0;
    if (!Command.empty() && Command[0] == 'm')
        open = 1;
    if (open >= Command.size())
        throw EMatcherError("invalid match command");
    const char delimiter = Command[open];
    const auto d = static_cast<unsigned char>(delimiter);
    if ((open == 0 && delimiter != '/') || d <= ' ' || d >= 0x7F || delimiter == '\\' ||
        (d >= '0' && d <= '9') || (d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z'))
        throw EMatcherError("invalid match command");
    const std::size_t close = Command.rfind(delimiter);
    if (close == open)
        throw EMatcherError("missing closing delimiter in match command");

    TParsedCommand parsed;
    parsed.Pattern = Command.substr(open + 1, close - open - 1);
    for (char flag : Command.substr(close + 1)) {
        switch (flag) {
        case 'i': parsed.Options |= PCRE2_CASELESS; break;
        case 'm': parsed.Options |= PCRE2_MULTILINE; break;
        case 's': parsed.Options |= PCRE2_DOTALL; break;
        case 'x': parsed.Options |= PCRE2_EXTENDED; break;
        case 'k': parsed.CharacterWise = true; break;
        default:
            throw EMatcherError(std::string("unknown flag \"") + flag + "\" in match command");
        }
    }
    return parsed;
}

std::string ErrorText(int Code)
{
    PCRE2_UCHAR buffer[256];
    if (pcre2_get_error_message(Code, buffer, sizeof buffer) < 0)
        return "regular expression error " + std::to_string(Code);
    return reinterpret_cast<const char*>(buffer);
}

void AppendMapped(std::string& Out, char32_t Value)
{
    const char32_t cp = MappedPlane + Value;
    const char bytes[MappedCharSize] = {
        static_cast<char>(0xF0 | (cp >> 18)),
        static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
        static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
        static_cast<char>(0x80 | (cp & 0x3F)),
    };
    Out.append(bytes, MappedCharSize);
}

// Number of original bytes behind the mapped code point whose UTF-8 form starts at P.
std::size_t OriginalLengthOfMapped(const unsigned char* P) noexcept
{
    const char32_t value = (char32_t(P[1] & 0x0F) << 12) | (char32_t(P[2] & 0x3F) << 6) |
                           char32_t(P[3] & 0x3F);
    return value < 0x100 ? 1 : 2;
}

std::size_t NextHighByte(const unsigned char* S, std::size_t I, std::size_t N) noexcept
{
    while (N - I >= 8) {
        std::uint64_t word;
        std::memcpy(&word, S + I, 8);
        if (word & 0x8080808080808080ULL)
            break;
        I += 8;
    }
    while (I < N && S[I] < 0x80)
        ++I;
    return I;
}

// Maps Shift-JIS text to UTF-8 as described above; records checkpoints when asked.
void MapShiftJIS(std::string_view Text, std::string& Out, TCheckpoints* ByOrig,
                 TCheckpoints* ByMapped)
{
    Out.clear();
    Out.reserve(Text.size() + Text.size() / 2);
    const auto* s = reinterpret_cast<const unsigned char*>(Text.data());
    const std::size_t n = Text.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t m = Out.size();
        if (s[i] < 0x80) {
            const std::size_t j = NextHighByte(s, i, n);
            if (ByOrig) {
                for (std::size_t p = ByOrig->Next(); p < j; p = ByOrig->Next())
                    ByOrig->Add(p, m + (p - i));
                for (std::size_t q = ByMapped->Next(); q < m + (j - i); q = ByMapped->Next())
                    ByMapped->Add(i + (q - m), q);
            }
            Out.append(Text.data() + i, j - i);
            i = j;
            continue;
        }
        const std::size_t length =
            IsShiftJISLeadByte(s[i]) && i + 1 < n && IsShiftJISTrailByte(s[i + 1]) ? 2 : 1;
        if (ByOrig) {
            while (ByOrig->Next() < i + length)
                ByOrig->Add(i, m);
            while (ByMapped->Next() < m + MappedCharSize)
                ByMapped->Add(i, m);
        }
        AppendMapped(Out, length == 2 ? (char32_t(s[i]) << 8) | s[i + 1] : char32_t(s[i]));
        i += length;
    }
}

}  // namespace

struct TMatcher::TPcre {
    pcre2_compile_context* Compile = nullptr;
    pcre2_match_context* Match = nullptr;
    pcre2_jit_stack* JitStack = nullptr;

    TPcre()
    {
        Compile = pcre2_compile_context_create(nullptr);
        Match = pcre2_match_context_create(nullptr);
        if (!Compile || !Match)
            throw EMatcherError("out of memory for the regular expression library");
        pcre2_set_newline(Compile, PCRE2_NEWLINE_LF);
        JitStack = pcre2_jit_stack_create(JitStackStart, JitStackMax, nullptr);
        if (JitStack)
            pcre2_jit_stack_assign(Match, nullptr, JitStack);
    }
    ~TPcre()
    {
        pcre2_jit_stack_free(JitStack);
        pcre2_match_context_free(Match);
        pcre2_compile_context_free(Compile);
    }
    TPcre(const TPcre&) = delete;
    TPcre& operator=(const TPcre&) = delete;
};

struct TMatcher::TCompiled {
    std::string Command;
    TTextEncoding Encoding;
    TMode Mode = TMode::Bytes;
    pcre2_code* Code = nullptr;
    pcre2_match_data* Data = nullptr;
    int Groups = 0;

    ~TCompiled()
    {
        pcre2_match_data_free(Data);
        pcre2_code_free(Code);
    }
};

// The text of the last match, with what was prepared to match it.
struct TMatcher::TSubject {
    std::string_view Text;
    TMode Mode = TMode::Bytes;
    std::size_t CheckedFrom = npos;  // UTF-8: the text is valid from this offset on
    bool Mapped = false;             // Shift-JIS: false when the text is ASCII and used as it is
    std::string MappedText;
    TCheckpoints ByOrig;
    TCheckpoints ByMapped;

    bool IsSame(std::string_view Other, TMode OtherMode) const noexcept
    {
        return Mode == OtherMode && Text.data() == Other.data() && Text.size() == Other.size();
    }

    void Prepare(std::string_view NewText, TMode NewMode)
    {
        // Nothing is taken for prepared until the mapping is complete.
        Text = std::string_view();
        CheckedFrom = npos;
        Mapped = NewMode == TMode::ShiftJIS && !IsASCII(NewText);
        MappedText.clear();
        ByOrig.Clear();
        ByMapped.Clear();
        if (Mapped)
            MapShiftJIS(NewText, MappedText, &ByOrig, &ByMapped);
        Text = NewText;
        Mode = NewMode;
    }

    // Offset in MappedText of the character at original offset Pos; npos when Pos is inside a
    // double-byte character.
    std::size_t ToMapped(std::size_t Pos) const noexcept
    {
        if (Pos == Text.size())
            return MappedText.size();
        const std::size_t k = Pos / CheckpointSpan;
        std::size_t o = ByOrig.Orig[k];
        std::size_t m = ByOrig.Mapped[k];
        while (o < Pos) {
            if (static_cast<unsigned char>(Text[o]) < 0x80) {
                ++o;
                ++m;
            } else {
                o += CharLengthAt(Text, o, TTextEncoding::ShiftJIS);
                m += MappedCharSize;
            }
        }
        return o == Pos ? m : npos;
    }

    // Original offset of the mapped offset MappedPos, which is a character boundary.
    std::size_t ToOriginal(std::size_t MappedPos) const noexcept
    {
        if (MappedPos == MappedText.size())
            return Text.size();
        const std::size_t k = MappedPos / CheckpointSpan;
        std::size_t o = ByMapped.Orig[k];
        std::size_t m = ByMapped.Mapped[k];
        const auto* mapped = reinterpret_cast<const unsigned char*>(MappedText.data());
        while (m < MappedPos) {
            if (mapped[m] < 0x80) {
                ++o;
                ++m;
            } else {
                o += OriginalLengthOfMapped(mapped + m);
                m += MappedCharSize;
            }
        }
        return o;
    }
};

TMatcher::TMatcher() : FPcre(std::make_unique<TPcre>()) {}

TMatcher::~TMatcher() = default;

TMatcher::TCompiled& TMatcher::Compiled(std::string_view Command, TTextEncoding Encoding)
{
    for (std::size_t i = 0; i < FCompiled.size(); ++i) {
        // Sizes first: the commands in use mostly differ in length, and all begin alike.
        const TCompiled& c = *FCompiled[i];
        if (c.Command.size() == Command.size() && c.Encoding == Encoding &&
            std::memcmp(c.Command.data(), Command.data(), Command.size()) == 0) {
            if (i > 0)
                std::rotate(FCompiled.begin(), FCompiled.begin() + i, FCompiled.begin() + i + 1);
            return *FCompiled.front();
        }
    }

    const TParsedCommand parsed = ParseCommand(Command);
    auto compiled = std::make_unique<TCompiled>();
    compiled->Command.assign(Command);
    compiled->Encoding = Encoding;
    // EUC-JP is matched byte by byte: no byte of its multi-byte characters is below 0x80, so
    // a match, which begins and ends at ASCII characters, never splits one.
    compiled->Mode = !parsed.CharacterWise || Encoding == TTextEncoding::EUCJP ? TMode::Bytes
                     : Encoding == TTextEncoding::UTF8                         ? TMode::UTF8
                                                                               : TMode::ShiftJIS;
    std::uint32_t options = parsed.Options;
    std::string_view pattern = parsed.Pattern;
    std::string mappedPattern;
    if (compiled->Mode != TMode::Bytes) {
        // "\C" would match a single byte of a character and split it.
        options |= PCRE2_UTF | PCRE2_NEVER_BACKSLASH_C;
        if (compiled->Mode == TMode::ShiftJIS && !IsASCII(pattern)) {
            MapShiftJIS(pattern, mappedPattern, nullptr, nullptr);
            pattern = mappedPattern;
        }
    }

    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    compiled->Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   options, &error, &errorOffset, FPcre->Compile);
    if (!compiled->Code)
        throw EMatcherError(ErrorText(error));
    ++FCompileCount;
    // Without JIT support the interpreter matches alike, only slower.
    pcre2_jit_compile(compiled->Code, PCRE2_JIT_COMPLETE);
    compiled->Data = pcre2_match_data_create_from_pattern(compiled->Code, nullptr);
    if (!compiled->Data)
        throw EMatcherError("out of memory for the regular expression library");
    std::uint32_t captures = 0;
    pcre2_pattern_info(compiled->Code, PCRE2_INFO_CAPTURECOUNT, &captures);
    compiled->Groups = static_cast<int>(captures);

    if (FCompiled.size() == CompiledCacheSize)
        FCompiled.pop_back();
    FCompiled.insert(FCompiled.begin(), std::move(compiled));
    return *FCompiled.front();
}

bool TMatcher::Match(std::string_view Command, std::string_view Text, TTextEncoding Encoding)
{
    return MatchFrom(Command, Text, 0, Encoding);
}

bool TMatcher::MatchFrom(std::string_view Command, std::string_view Text, std::size_t Start,
                         TTextEncoding Encoding)
{
    FMatched = false;
    FGroupCount = 0;
    FTextStart = Text.data();
    FStarts.clear();
    FEnds.clear();

    TCompiled& compiled = Compiled(Command, Encoding);
    FGroupCount = compiled.Groups + 1;
    if (Start > Text.size())
        throw EMatcherError("start offset beyond the end of the text");

    const bool reuse = Start > 0 && FSubject && FSubject->IsSame(Text, compiled.Mode);
    if (!reuse) {
        if (!FSubject)
            FSubject = std::make_unique<TSubject>();
        FSubject->Prepare(Text, compiled.Mode);
    }
    TSubject& subject = *FSubject;

    static const char Empty[1] = {0};
    const char* data = Text.empty() ? Empty : Text.data();
    std::size_t offset = Start;
    std::size_t length = Text.size() - Start;
    std::uint32_t matchOptions = 0;
    switch (compiled.Mode) {
    case TMode::Bytes:
        break;
    case TMode::UTF8:
        if (!IsCharBoundary(Text, Start, TTextEncoding::UTF8))
            throw EMatcherError("start offset inside a character");
        if (subject.CheckedFrom == npos || Start < subject.CheckedFrom) {
            if (!IsValidUTF8(Text.substr(Start)))
                throw EMatcherError("the text is not valid UTF-8");
            subject.CheckedFrom = Start;
        }
        matchOptions = PCRE2_NO_UTF_CHECK;
        break;
    case TMode::ShiftJIS:
        if (subject.Mapped) {
            offset = subject.ToMapped(Start);
            if (offset == npos)
                throw EMatcherError("start offset inside a character");
            data = subject.MappedText.data();
            length = subject.MappedText.size() - offset;
        }
        matchOptions = PCRE2_NO_UTF_CHECK;
        break;
    }

    // The subject begins at the start offset itself, so that "^" anchors there and nothing
    // before it can be seen (no look-behind, no word boundary from the character before).
    const int rc = pcre2_match(compiled.Code, reinterpret_cast<PCRE2_SPTR>(data + offset), length,
                               0, matchOptions, compiled.Data, FPcre->Match);
    if (rc == PCRE2_ERROR_NOMATCH)
        return false;
    if (rc < 0)
        throw EMatcherError(ErrorText(rc));

    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(compiled.Data);
    FStarts.assign(static_cast<std::size_t>(FGroupCount), npos);
    FEnds.assign(static_cast<std::size_t>(FGroupCount), npos);
    for (int i = 0; i < FGroupCount && i < rc; ++i) {
        const PCRE2_SIZE begin = ovector[2 * i];
        const PCRE2_SIZE end = ovector[2 * i + 1];
        if (begin == PCRE2_UNSET)
            continue;
        if (compiled.Mode == TMode::ShiftJIS && subject.Mapped) {
            FStarts[i] = subject.ToOriginal(offset + begin);
            FEnds[i] = subject.ToOriginal(offset + end);
        } else {
            FStarts[i] = Start + begin;
            FEnds[i] = Start + end;
        }
    }
    FMatched = true;
    return true;
}

std::size_t TMatcher::MatchPos() const
{
    if (!FMatched)
        throw EMatcherError("no match pos");
    return FStarts[0] + 1;
}

std::size_t TMatcher::MatchLength() const
{
    if (!FMatched)
        throw EMatcherError("no match length");
    return FEnds[0] - FStarts[0];
}

int TMatcher::GroupCount() const { return FGroupCount; }

void TMatcher::CheckIndex(int Index) const
{
    if (!FMatched)
        throw EMatcherError("no strings now");
    if (Index < 0 || Index >= FGroupCount)
        throw EMatcherError("index out of range");
}

std::string TMatcher::MatchStrings(int Index) const
{
    CheckIndex(Index);
    const auto i = static_cast<std::size_t>(Index);
    if (FStarts[i] == npos || FEnds[i] == FStarts[i])
        return {};
    return std::string(FTextStart + FStarts[i], FEnds[i] - FStarts[i]);
}

bool TMatcher::GroupMatched(int Index) const
{
    CheckIndex(Index);
    return FStarts[static_cast<std::size_t>(Index)] != npos;
}

std::size_t TMatcher::GroupStart(int Index) const
{
    CheckIndex(Index);
    return FStarts[static_cast<std::size_t>(Index)];
}

std::size_t TMatcher::GroupLength(int Index) const
{
    CheckIndex(Index);
    const auto i = static_cast<std::size_t>(Index);
    return FStarts[i] == npos ? 0 : FEnds[i] - FStarts[i];
}

TMatcher& SharedRegExp()
{
    static TMatcher instance;
    return instance;
}
