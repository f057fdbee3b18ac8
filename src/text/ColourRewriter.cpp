#include "text/ColourRewriter.h"

#include "base/Exceptions.h"
#include "text/CssColorFunction.h"
#include "text/ValueTokens.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t npos = std::string_view::npos;

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

char Upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool IsAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsHexDigit(char c) noexcept
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsWord(std::string_view s) noexcept { return !s.empty() && std::all_of(s.begin(), s.end(), IsAsciiLetter); }

// Characters that make a colour name part of a longer word: "red2", "bg-white", "var(--red)",
// ".white", "#red", "img/red.gif", "\red".
bool TouchesName(char c) noexcept
{
    return (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '/' || c == '#' ||
           c == '\\';
}

// A character that continues a CSS identifier (so "myurl(" is no url()).
bool IsIdentifierByte(char c) noexcept
{
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// The bytes at which a comment, a string, an escape or a url can start.
bool StartsProtected(char c) noexcept
{
    return c == '/' || c == '"' || c == '\'' || c == '\\' || c == 'u' || c == 'U';
}

bool StartsWithNoCase(std::string_view s, std::size_t Pos, std::string_view Prefix) noexcept
{
    if (Pos > s.size() || s.size() - Pos < Prefix.size())
        return false;
    for (std::size_t i = 0; i < Prefix.size(); ++i)
        if (Lower(s[Pos + i]) != Lower(Prefix[i]))
            return false;
    return true;
}

// Delphi-style trimming: every byte up to and including the space goes at both ends.
std::pair<std::size_t, std::size_t> TrimSpan(std::string_view s, std::size_t Begin, std::size_t End)
{
    while (Begin < End && static_cast<unsigned char>(s[Begin]) <= ' ')
        ++Begin;
    while (End > Begin && static_cast<unsigned char>(s[End - 1]) <= ' ')
        --End;
    return {Begin, End};
}

std::string_view Trimmed(std::string_view s)
{
    const auto [b, e] = TrimSpan(s, 0, s.size());
    return s.substr(b, e - b);
}

void AppendHex2(std::string& Out, std::int32_t Value)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    Out.push_back(Digits[(Value >> 4) & 0xF]);
    Out.push_back(Digits[Value & 0xF]);
}

std::string HexColor(const TRGBColor& c)
{
    std::string s = "#";
    AppendHex2(s, c.R);
    AppendHex2(s, c.G);
    AppendHex2(s, c.B);
    return s;
}

// The number of a classic rgb() component: decimal digits only, nothing else, not even spaces.
std::optional<std::int64_t> DecimalNumber(std::string_view s)
{
    if (s.empty() || s.size() > 12)
        return std::nullopt;
    std::int64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

// The end of the span that holds Pos, of sorted, non-overlapping spans; 0 when none holds it.
template <typename Span>
std::size_t SpanEndAt(std::span<const Span> Spans, std::size_t Pos)
{
    const auto it = std::upper_bound(Spans.begin(), Spans.end(), Pos,
                                     [](std::size_t p, const Span& s) { return p < s.Begin; });
    return it != Spans.begin() && Pos < std::prev(it)->End ? std::prev(it)->End : 0;
}

std::int32_t HexValue(char c) noexcept { return c <= '9' ? c - '0' : Lower(c) - 'a' + 10; }

template <typename Span>
bool InSpans(std::span<const Span> Spans, std::size_t Pos)
{
    return SpanEndAt(Spans, Pos) != 0;
}

}  // namespace

// While the rewriter works through one text, every part of it is read in that text's encoding.
class TColourRewriter::TEncodingScope {
public:
    TEncodingScope(TColourRewriter& Owner, std::string_view Text) : FOwner(Owner)
    {
        if (!FOwner.FEncoding) {
            FOwner.FEncoding = DetectTextEncoding(Text);
            FOwns = true;
        }
    }
    ~TEncodingScope()
    {
        if (FOwns)
            FOwner.FEncoding.reset();
    }
    TEncodingScope(const TEncodingScope&) = delete;
    TEncodingScope& operator=(const TEncodingScope&) = delete;

private:
    TColourRewriter& FOwner;
    bool FOwns = false;
};

// The text that holds a run of declarations (a brace block or a style value) with what must not
// be converted in it: urls and quoted strings, and colours an earlier pass has converted already.
struct TColourRewriter::TValueContext {
    std::string_view Text;
    std::vector<TSpan> Protected;
    std::span<const TSpan> Skip;
};

TColourRewriter::TColourRewriter(std::int32_t HueOffset, std::int32_t SatOffset, std::int32_t BrightOffset,
                           std::span<const TRGBColor> Before, std::span<const TRGBColor> After,
                           std::span<const bool> Adjust, TMatcher& Matcher)
    : FConverter(std::make_unique<TColourAdjuster>(HueOffset, SatOffset, BrightOffset, Before, After,
                                                  Adjust)),
      FMatcher(Matcher)
{
    FConvertedCache = std::make_unique<TConverted[]>(ConvertedSlots);
}

TColourRewriter::~TColourRewriter() = default;

TTextEncoding TColourRewriter::Encoding() const noexcept
{
    return FEncoding.value_or(TTextEncoding::ShiftJIS);
}

// Every match of Command in Text, left to right, none overlapping. A match of the commands that
// pass First and Last begins with First and ends with Last: where no First is followed by a
// Last, nothing can match, and the matcher is not asked to find that out the slow way.
void TColourRewriter::Collect(std::string_view Command, std::string_view Text, char First, char Last,
                           std::vector<TSpan>& Found)
{
    const TTextEncoding encoding = Encoding();
    const std::size_t first = Found.size();
    std::size_t pos = 0;
    while (pos < Text.size()) {
        std::size_t start = pos;
        if (First) {
            start = FindOnCharBoundary(Text, std::string_view(&First, 1), pos, encoding);
            if (start == npos ||
                FindOnCharBoundary(Text, std::string_view(&Last, 1), start + 1, encoding) == npos)
                break;
        }
        // The first search of a text starts at 0, so that the matcher reads this text afresh
        // rather than what it prepared for another one that happened to lie at the same address.
        if (Found.size() == first)
            start = 0;
        if (!FMatcher.MatchFrom(Command, Text, start, encoding))
            break;
        const std::size_t begin = FMatcher.MatchPos() - 1;
        const std::size_t length = FMatcher.MatchLength();
        Found.push_back({begin, begin + length});
        pos = begin + length;
        if (length == 0) {
            if (begin >= Text.size())
                break;
            pos += CharLengthAt(Text, begin, encoding);
        }
    }
}

// Every match of a command "First(.|\n)*?Last" (flag "k") in Text, as Collect finds them, but
// without the matcher: such a match runs from a First to the next Last (see FindDelimited).
void TColourRewriter::CollectDelimited(std::string_view Text, char First, char Last, std::vector<TSpan>& Found)
{
    const TTextEncoding encoding = Encoding();
    std::size_t begin = 0, end = 0;
    for (std::size_t pos = 0; FindDelimited(Text, First, Last, pos, encoding, begin, end); pos = end)
        Found.push_back({begin, end});
}

std::string TColourRewriter::ReplaceAll(std::string_view Text)
{
    TEncodingScope scope(*this, Text);
    // A text without "<" has no tag, and one whose tags kept every attribute comes out of the
    // tag pass as it went in: the block pass then reads the text itself, not a copy.
    std::string tagged;
    std::vector<TSpan> converted;
    std::string_view blockText = Text;
    if (Text.find('<') != npos) {
        tagged.reserve(Text.size() + Text.size() / 64);
        TagPassInto(Text, tagged, &converted);
        if (converted.empty())
            std::string().swap(tagged);
        else
            blockText = tagged;
    }
    std::string result;
    result.reserve(blockText.size() + blockText.size() / 64);
    BlockPassInto(blockText, result, converted);
    return result;
}

std::string TColourRewriter::ReplacePass(std::string_view Text, TPassKind Kind)
{
    TEncodingScope scope(*this, Text);
    std::string out;
    out.reserve(Text.size());
    switch (Kind) {
    case TPassKind::pkTags:
        TagPassInto(Text, out, nullptr);
        break;
    case TPassKind::pkAttributes:
        AttributePassInto(Text, out, nullptr);
        break;
    case TPassKind::pkBlocks:
        BlockPassInto(Text, out, {});
        break;
    case TPassKind::pkDeclarations: {
        const bool block = !Text.empty() && Text.front() == '{' && Text.back() == '}';
        DeclarationPassInto(Text, block, out, {});
        break;
    }
    case TPassKind::pkValues: {
        const TValueContext context{Text, ProtectedSpans(Text), {}};
        ValuePassInto(context, {0, Text.size()}, out);
        break;
    }
    default:
        out.assign(Text);
        break;
    }
    return out;
}

// Tags with a colour attribute; each has its colour attributes rewritten. Converted receives
// the ranges of Out that hold rewritten attributes, so that the block pass leaves them alone.
void TColourRewriter::TagPassInto(std::string_view Text, std::string& Out, std::vector<TSpan>* Converted)
{
    std::vector<TSpan> tags;
    Collect(TagsCommand, Text, '<', '>', tags);
    std::size_t copied = 0;
    for (const TSpan& tag : tags) {
        Out.append(Text.substr(copied, tag.Begin - copied));
        AttributePassInto(Text.substr(tag.Begin, tag.End - tag.Begin), Out, Converted);
        copied = tag.End;
    }
    Out.append(Text.substr(copied));
}

void TColourRewriter::AttributePassInto(std::string_view Tag, std::string& Out, std::vector<TSpan>* Converted)
{
    std::vector<TSpan> attributes;
    Collect(AttributesCommand, Tag, 0, 0, attributes);
    std::size_t copied = 0;
    for (const TSpan& a : attributes) {
        Out.append(Tag.substr(copied, a.Begin - copied));
        const std::string_view text = Tag.substr(a.Begin, a.End - a.Begin);
        const std::string rewritten = ReplaceAttribute(text);
        if (Converted && rewritten != text)
            Converted->push_back({Out.size(), Out.size() + rewritten.size()});
        Out.append(rewritten);
        copied = a.End;
    }
    Out.append(Tag.substr(copied));
}

// Brace blocks; each has its declarations rewritten. Converted holds the sorted ranges of Text
// that an earlier pass has rewritten already: nothing in them is converted a second time.
void TColourRewriter::BlockPassInto(std::string_view Text, std::string& Out, std::span<const TSpan> Converted)
{
    std::vector<TSpan> blocks;
    CollectDelimited(Text, '{', '}', blocks);  // BlocksCommand
    std::size_t copied = 0;
    std::vector<TSpan> skip;
    auto next = Converted.begin();
    for (const TSpan& block : blocks) {
        Out.append(Text.substr(copied, block.Begin - copied));
        skip.clear();
        while (next != Converted.end() && next->End <= block.Begin)
            ++next;
        for (auto it = next; it != Converted.end() && it->Begin < block.End; ++it)
            skip.push_back({std::max(it->Begin, block.Begin) - block.Begin,
                            std::min(it->End, block.End) - block.Begin});
        DeclarationPassInto(Text.substr(block.Begin, block.End - block.Begin), true, Out, skip);
        copied = block.End;
    }
    Out.append(Text.substr(copied));
}

// Declarations of a brace block (Block) or of a style value. Each runs from a colon to the next
// semicolon; after the last of them, the text from the next colon to the closing brace or the
// end of the style value is one more: the last declaration of a rule needs no semicolon.
void TColourRewriter::DeclarationPassInto(std::string_view Text, bool Block, std::string& Out,
                                       std::span<const TSpan> Skip)
{
    std::vector<TSpan> found;
    CollectDelimited(Text, ':', ';', found);  // DeclarationsCommand
    const std::size_t end = Block && !Text.empty() && Text.back() == '}' ? Text.size() - 1 : Text.size();
    const TValueContext context{Text, ProtectedSpans(Text), Skip};

    // A semicolon inside a url or a quoted string ("url(data:image/png;base64,...)") ends no
    // declaration: the declaration runs on to the next semicolon outside them, taking in the
    // matches that began before it.
    std::vector<TSpan> declarations;
    bool open = false;  // the last declaration runs to the end
    for (const TSpan& d : found) {
        if (open || (!declarations.empty() && d.Begin < declarations.back().End))
            continue;
        TSpan declaration = d;
        while (InSpans<TSpan>(context.Protected, declaration.End - 1)) {
            const std::size_t semicolon = NextOutside(context, ';', declaration.End);
            if (semicolon == npos) {
                declaration.End = std::max(end, declaration.Begin);
                open = true;
                break;
            }
            declaration.End = semicolon + 1;
        }
        declarations.push_back(declaration);
    }
    if (!open) {
        const std::size_t from = declarations.empty() ? 0 : declarations.back().End;
        const std::size_t colon = FindOnCharBoundary(Text, ":", from, Encoding());
        if (colon != npos && colon < end)
            declarations.push_back({colon, end});
    }
    if (declarations.empty()) {
        Out.append(Text);
        return;
    }

    std::size_t copied = 0;
    for (const TSpan& d : declarations) {
        Out.append(Text.substr(copied, d.Begin - copied));
        ValuePassInto(context, d, Out);
        copied = d.End;
    }
    Out.append(Text.substr(copied));
}

// The value tokens of one declaration (a span of Context.Text). A token that starts inside a url
// or a quoted string, or in a colour already converted, stays; so does a word touched by a
// character that makes it part of something longer.
void TColourRewriter::ValuePassInto(const TValueContext& Context, TSpan Declaration, std::string& Out)
{
    const std::string_view text = Context.Text;
    const std::string_view declaration = text.substr(Declaration.Begin, Declaration.End - Declaration.Begin);
    const TTextEncoding encoding = Encoding();

    struct TToken {
        TSpan Span;
        bool Word;      // a run of letters
        bool Function;  // hsl( or hsla( up to the first ")"
    };
    std::vector<TToken> tokens;
    // The tokens the value command finds, found without the matcher (see TValueTokenScanner).
    TValueTokenScanner scanner(declaration, encoding);
    std::size_t pos = 0;
    std::size_t tokenBegin = 0, tokenEnd = 0;
    while (pos < declaration.size() && scanner.Next(pos, tokenBegin, tokenEnd)) {
        TToken token{{tokenBegin, tokenEnd}, false, false};
        // Nothing inside a url, a string or a colour converted already is a token: the search
        // goes on after it.
        const std::size_t at = Declaration.Begin + token.Span.Begin;
        const std::size_t skipTo =
            std::max(SpanEndAt<TSpan>(Context.Protected, at), SpanEndAt<TSpan>(Context.Skip, at));
        if (skipTo != 0) {
            pos = std::max(skipTo - Declaration.Begin, token.Span.Begin + 1);
            continue;
        }
        const std::string_view found = declaration.substr(token.Span.Begin, token.Span.End - token.Span.Begin);
        token.Word = !found.empty() && IsAsciiLetter(found.front()) &&
                     std::all_of(found.begin(), found.end(), IsAsciiLetter);
        // hsl() and hsla() are colours of current CSS that the value command sees as a word.
        if (token.Word && (StartsWithNoCase(found, 0, "hsl") && (found.size() == 3 ||
                                                                (found.size() == 4 && Lower(found[3]) == 'a'))) &&
            token.Span.End < declaration.size() && declaration[token.Span.End] == '(') {
            const std::size_t close = FindOnCharBoundary(declaration, ")", token.Span.End, encoding);
            if (close != npos) {
                token.Span.End = close + 1;
                token.Function = true;
            }
        }
        tokens.push_back(token);
        pos = std::max(token.Span.End, token.Span.Begin + 1);
    }

    std::size_t copied = 0;
    std::string rewritten;
    for (const TToken& token : tokens) {
        const std::size_t begin = Declaration.Begin + token.Span.Begin;
        const std::size_t end = Declaration.Begin + token.Span.End;
        if ((token.Word || token.Function) && TouchedBefore(text, begin))
            continue;
        if (token.Word && !token.Function && end < text.size() && TouchesName(text[end]))
            continue;
        const std::string_view value = text.substr(begin, end - begin);
        if (!ConvertValueToken(value, token.Word && !token.Function, rewritten))
            continue;
        Out.append(declaration.substr(copied, token.Span.Begin - copied));
        Out.append(rewritten);
        copied = token.Span.End;
    }
    Out.append(declaration.substr(copied));
}

// What ReplaceColorValue makes of a value token, into Rewritten; false when that is the token
// itself. A word of letters (Word) and "#" with hexadecimal digits, by far the most common
// tokens, are converted directly: with plain names neither can be a colour function, so only
// the name lookup and the hexadecimal colour apply.
bool TColourRewriter::ConvertValueToken(std::string_view Value, bool Word, std::string& Rewritten)
{
    if (FNames.Plain() && Word) {
        const std::string* hex = FNames.Find(Value);
        if (!hex)
            return false;
        Rewritten.resize(7);
        ConvertHexDigits(*hex, Rewritten.data());
        return Rewritten != Value;
    }
    if (FNames.Plain() && Value.size() >= 2 && Value[0] == '#' && std::all_of(Value.begin() + 1, Value.end(), IsHexDigit)) {
        // The first "#" with six digits, or else three, is the colour; four and eight digits
        // keep their alpha digits after it.
        const std::size_t digits = Value.size() - 1;
        if (digits < 3)
            return false;
        const std::size_t length = digits >= 6 ? 7 : 4;
        Rewritten.resize(7);
        ConvertHexDigits(Value.substr(0, length), Rewritten.data());
        if (length == 7 && digits == 8) {
            Rewritten.push_back(Upper(Value[7]));
            Rewritten.push_back(Upper(Value[8]));
        } else if (length == 4 && digits == 4) {
            Rewritten.push_back(Upper(Value[4]));
            Rewritten.push_back(Upper(Value[4]));
        }
        return Rewritten != Value;
    }
    Rewritten = ReplaceColorValue(Value);
    return Rewritten != Value;
}

// The first Character at or after From that is not inside a url or a quoted string.
std::size_t TColourRewriter::NextOutside(const TValueContext& Context, char Character, std::size_t From) const
{
    for (;;) {
        const std::size_t at = FindOnCharBoundary(Context.Text, std::string_view(&Character, 1), From, Encoding());
        if (at == npos || !InSpans<TSpan>(Context.Protected, at))
            return at;
        From = at + 1;
    }
}

// Whether the character right before Pos makes the word at Pos part of a longer one. Of those
// characters only "_" and "\" can also be the second byte of a double-byte Shift-JIS character.
bool TColourRewriter::TouchedBefore(std::string_view Text, std::size_t Pos) const
{
    if (Pos == 0 || !TouchesName(Text[Pos - 1]))
        return false;
    return IsCharBoundary(Text, Pos - 1, Encoding());
}

// The urls and quoted strings of a run of declarations, as sorted spans. A string ends at its
// closing quote or at the end of the line (as CSS has it); a backslash escapes the character
// after it; comments hold no strings.
std::vector<TColourRewriter::TSpan> TColourRewriter::ProtectedSpans(std::string_view Text) const
{
    const TTextEncoding encoding = Encoding();
    std::vector<TSpan> spans;
    const std::size_t n = Text.size();

    const auto skipString = [&](std::size_t i) {
        const char quote = Text[i];
        ++i;
        while (i < n) {
            const char c = Text[i];
            if (c == quote)
                return i + 1;
            if (c == '\n' || c == '\r' || c == '\f')
                return i;
            if (c == '\\' && i + 1 < n)
                i += 1 + CharLengthAt(Text, i + 1, encoding);
            else
                i += CharLengthAt(Text, i, encoding);
        }
        return n;
    };

    // Where every byte below 0x80 is a character of its own (UTF-8, or text without such bytes),
    // the runs of bytes that start nothing are passed over at once; after such a run the last
    // byte tells whether an identifier came before, as its first byte would.
    const bool byteWise = encoding == TTextEncoding::UTF8 || IsASCII(Text);
    bool afterIdentifier = false;
    std::size_t i = 0;
    while (i < n) {
        if (byteWise) {
            const std::size_t from = i;
            while (i < n && !StartsProtected(Text[i]))
                ++i;
            if (i != from)
                afterIdentifier = IsIdentifierByte(Text[i - 1]);
            if (i == n)
                break;
        }
        const char c = Text[i];
        if (c == '/' && i + 1 < n && Text[i + 1] == '*') {
            const std::size_t close = Text.find("*/", i + 2);
            i = close == npos ? n : close + 2;
            afterIdentifier = false;
            continue;
        }
        if (c == '"' || c == '\'') {
            const std::size_t end = skipString(i);
            spans.push_back({i, end});
            i = end;
            afterIdentifier = false;
            continue;
        }
        if (c == '\\') {
            i += 1 + (i + 1 < n ? CharLengthAt(Text, i + 1, encoding) : 0);
            afterIdentifier = true;
            continue;
        }
        if (!afterIdentifier && (c == 'u' || c == 'U') && StartsWithNoCase(Text, i, "url(")) {
            std::size_t j = i + 4;
            while (j < n && static_cast<unsigned char>(Text[j]) <= ' ')
                ++j;
            if (j < n && (Text[j] == '"' || Text[j] == '\''))
                j = skipString(j);
            const std::size_t close = Text.find(')', j);
            const std::size_t end = close == npos ? n : close + 1;
            spans.push_back({i, end});
            i = end;
            afterIdentifier = false;
            continue;
        }
        afterIdentifier = IsIdentifierByte(c);
        i += CharLengthAt(Text, i, encoding);
    }
    return spans;
}

std::string TColourRewriter::ReplaceAttribute(std::string_view A)
{
    TEncodingScope scope(*this, A);
    const std::size_t equals = FindOnCharBoundary(A, "=", 0, Encoding());
    if (equals == npos)
        return std::string(A);

    auto [begin, end] = TrimSpan(A, equals + 1, A.size());
    std::string value(A.substr(begin, end - begin));
    // A double-quoted value is taken from between its quotes (a doubled quote inside counting as
    // one); an empty one stays as it is, quotes and all. Single quotes are not taken off.
    if (!value.empty() && value.front() == '"') {
        std::string inner;
        std::size_t j = begin + 1;
        while (j < end) {
            if (A[j] == '"') {
                if (j + 1 < end && A[j + 1] == '"') {
                    inner.push_back('"');
                    j += 2;
                    continue;
                }
                break;
            }
            inner.push_back(A[j]);
            ++j;
        }
        if (!inner.empty()) {
            value = std::move(inner);
            begin = begin + 1;
            end = j;
        }
    }

    std::string rewritten;
    if (StartsWithStyle(A, Encoding())) {  // StyleCommand
        // A style value is rewritten declaration by declaration, everything else kept.
        DeclarationPassInto(value, false, rewritten, {});
    } else if (!ConvertValueToken(value, IsWord(value), rewritten)) {
        return std::string(A);
    }
    if (rewritten == value)
        return std::string(A);
    // Quotes inside the value were doubled in the attribute and are doubled again.
    if (value.size() != end - begin) {
        std::string doubled;
        for (char c : rewritten) {
            doubled.push_back(c);
            if (c == '"')
                doubled.push_back('"');
        }
        rewritten = std::move(doubled);
    }
    std::string result;
    result.reserve(A.size() + rewritten.size());
    result.append(A.substr(0, begin));
    result.append(rewritten);
    result.append(A.substr(end));
    return result;
}

std::string TColourRewriter::ReplaceColorValue(std::string_view T)
{
    TEncodingScope scope(*this, T);
    const std::string named = NameToHex(T);
    std::string classic = ReplaceRgbFunction(named);
    if (classic != named)
        return ReplaceHex(classic);
    std::string modern = ReplaceColorFunction(named);
    if (modern != named)
        return modern;
    return ReplaceHex(named);
}

std::string TColourRewriter::NameToHex(std::string_view S)
{
    const std::string* hex = FNames.Find(S);
    return hex ? *hex : std::string(S);
}

std::string TColourRewriter::ReplaceRgbFunction(std::string_view S)
{
    TEncodingScope scope(*this, S);
    // Without "rgb" (any case) the command cannot match.
    bool rgb = false;
    for (std::size_t i = 0; !rgb && i + 3 <= S.size(); ++i)
        rgb = Lower(S[i]) == 'r' && StartsWithNoCase(S, i, "rgb");
    if (!rgb || !FMatcher.Match(RgbFunctionCommand, S, Encoding()))
        return std::string(S);
    const std::size_t begin = FMatcher.MatchPos() - 1;
    return RgbFunctionToHex(S.substr(begin, FMatcher.MatchLength()));
}

std::string TColourRewriter::RgbFunctionToHex(std::string_view F)
{
    TEncodingScope scope(*this, F);
    const TTextEncoding encoding = Encoding();
    const std::size_t p1 = FindOnCharBoundary(F, "(", 0, encoding);
    const std::size_t p2 = FindOnCharBoundary(F, ",", 0, encoding);
    const std::size_t p3 = p2 == npos ? npos : FindOnCharBoundary(F, ",", p2 + 1, encoding);
    const std::size_t p4 = FindOnCharBoundary(F, ")", 0, encoding);
    if (p1 == npos || p2 == npos || p3 == npos || p4 == npos || !(p1 < p2 && p2 < p3 && p3 < p4))
        throw EConvertError(std::string(RgbContentMessage));

    const std::size_t bounds[4] = {p1, p2, p3, p4};
    std::int64_t values[3];
    for (int i = 0; i < 3; ++i) {
        const std::string_view component =
            Trimmed(F.substr(bounds[i] + 1, bounds[i + 1] - bounds[i] - 1));
        const bool percent = !component.empty() && component.back() == '%';
        const auto n = DecimalNumber(percent ? component.substr(0, component.size() - 1) : component);
        if (!n)
            throw EConvertError(std::string(RgbContentMessage));
        // n * 255 / 100 to the nearest integer, ties to the even one: 50% gives 128, 30% gives 76.
        values[i] = percent ? static_cast<std::int64_t>(
                                  std::nearbyint(static_cast<long double>(*n * 255) / 100.0L))
                            : *n;
    }
    for (std::int64_t v : values)
        if (v > 255)
            throw EConvertError(std::string(RgbTooLargeMessage));
    return HexColor({static_cast<std::int32_t>(values[0]), static_cast<std::int32_t>(values[1]),
                     static_cast<std::int32_t>(values[2])});
}

std::string TColourRewriter::ReplaceHex(std::string_view S)
{
    TEncodingScope scope(*this, S);
    // The match of HexCommand, found directly; the matcher would refuse malformed UTF-8.
    if (S.find('#') == npos)
        return std::string(S);
    if (Encoding() == TTextEncoding::UTF8 && !IsValidUTF8(S))
        throw EMatcherError("the text is not valid UTF-8");
    std::size_t begin = 0, length = 0;
    if (!FindHexColor(S, begin, length))
        return std::string(S);
    std::string result = ConvertHex(S.substr(begin, length));

    // "#RGBA" and "#RRGGBBAA" keep their alpha digits after the converted colour.
    std::size_t digits = 0;
    while (begin + 1 + digits < S.size() && IsHexDigit(S[begin + 1 + digits]))
        ++digits;
    if (length == 7 && digits == 8) {
        result.push_back(Upper(S[begin + 7]));
        result.push_back(Upper(S[begin + 8]));
    } else if (length == 4 && digits == 4) {
        result.push_back(Upper(S[begin + 4]));
        result.push_back(Upper(S[begin + 4]));
    }
    return result;
}

std::string TColourRewriter::ConvertHex(std::string_view H)
{
    if ((H.size() == 7 || H.size() == 4) && std::all_of(H.begin() + 1, H.end(), IsHexDigit)) {
        std::string result(7, '#');
        ConvertHexDigits(H, result.data());
        return result;
    }
    std::string h(H);
    if (h.size() == 4)
        h = {h[0], h[1], h[1], h[2], h[2], h[3], h[3]};
    const auto digits = [&](std::size_t from) {
        return from < h.size() ? std::string_view(h).substr(from, 2) : std::string_view();
    };
    const TRGBColor c{HexToInt(digits(1)), HexToInt(digits(3)), HexToInt(digits(5))};
    return HexColor(FConverter->Convert(c));
}

// "#RRGGBB" of the converted colour of H ("#" and three or six hexadecimal digits; the first
// character is not read) into Out[0..6]. The converter gives the same colour for the same
// colour every time, so the colours of a text are converted once and then remembered.
void TColourRewriter::ConvertHexDigits(std::string_view H, char* Out)
{
    std::uint32_t rgb;
    if (H.size() == 4) {
        rgb = static_cast<std::uint32_t>(HexValue(H[1]) * 0x110000 + HexValue(H[2]) * 0x1100 + HexValue(H[3]) * 0x11);
    } else {
        rgb = 0;
        for (std::size_t i = 1; i < 7; ++i)
            rgb = rgb << 4 | static_cast<std::uint32_t>(HexValue(H[i]));
    }
    const std::uint32_t key = rgb | 0x1000000u;
    TConverted& slot = FConvertedCache[((rgb * 2654435761u) >> 20) & (ConvertedSlots - 1)];
    if (slot.Key != key) {
        const TRGBColor c = FConverter->Convert(TRGBColor{static_cast<std::int32_t>(rgb >> 16),
                                                          static_cast<std::int32_t>(rgb >> 8 & 0xFF),
                                                          static_cast<std::int32_t>(rgb & 0xFF)});
        slot.Key = key;
        slot.Value = static_cast<std::uint32_t>(c.R & 0xFF) << 16 | static_cast<std::uint32_t>(c.G & 0xFF) << 8 |
                     static_cast<std::uint32_t>(c.B & 0xFF);
    }
    static constexpr char Digits[] = "0123456789ABCDEF";
    Out[0] = '#';
    for (int i = 0; i < 6; ++i)
        Out[1 + i] = Digits[slot.Value >> (20 - 4 * i) & 0xF];
}

std::int32_t TColourRewriter::HexToInt(std::string_view D)
{
    if (D.empty() || D.size() > 8 || !std::all_of(D.begin(), D.end(), IsHexDigit))
        throw EConvertError(std::string(HexDigitsMessage));
    std::uint32_t value = 0;
    for (char c : D)
        value = value * 16 + static_cast<std::uint32_t>(c <= '9' ? c - '0' : Lower(c) - 'a' + 10);
    return static_cast<std::int32_t>(value);
}

std::string TColourRewriter::ReplaceColorFunction(std::string_view S)
{
    TEncodingScope scope(*this, S);
    if (S.find('(') == npos)
        return std::string(S);
    const TTextEncoding encoding = Encoding();
    bool afterIdentifier = false;
    for (std::size_t i = 0; i < S.size(); i += CharLengthAt(S, i, encoding)) {
        const bool start = !afterIdentifier && (StartsWithNoCase(S, i, "rgb") || StartsWithNoCase(S, i, "hsl"));
        afterIdentifier = IsIdentifierByte(S[i]);
        if (!start)
            continue;
        std::size_t open = i + 3;
        if (open < S.size() && Lower(S[open]) == 'a')
            ++open;
        if (open >= S.size() || S[open] != '(')
            continue;
        const std::size_t close = FindOnCharBoundary(S, ")", open, encoding);
        if (close == npos)
            break;
        const auto function = ParseCssColorFunction(S.substr(i, close + 1 - i));
        if (!function)
            continue;
        const TRGBColor c = FConverter->Convert(function->Color);
        if (!function->HasAlpha)
            return HexColor(c);
        std::string result = "rgba(";
        result += std::to_string(c.R) + ", " + std::to_string(c.G) + ", " + std::to_string(c.B) + ", ";
        result.append(function->Alpha);
        result.push_back(')');
        return result;
    }
    return std::string(S);
}
