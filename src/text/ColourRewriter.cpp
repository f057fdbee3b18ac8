#include "text/ColourRewriter.h"

#include "colour/HexColour.h"
#include "text/CssColorFunction.h"
#include "text/SvgScanner.h"
#include "text/ValueTokens.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>

namespace {

constexpr std::size_t npos = std::string_view::npos;

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IsAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

bool IsWord(std::string_view s) noexcept { return !s.empty() && std::all_of(s.begin(), s.end(), IsAsciiLetter); }

bool EqualNoCase(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithNoCase(std::string_view s, std::size_t Pos, std::string_view Prefix) noexcept
{
    return Pos <= s.size() && s.size() - Pos >= Prefix.size() && EqualNoCase(s.substr(Pos, Prefix.size()), Prefix);
}

bool EndsWithNoCase(std::string_view s, std::string_view Suffix) noexcept
{
    return s.size() >= Suffix.size() && EqualNoCase(s.substr(s.size() - Suffix.size()), Suffix);
}

// The attributes whose values are colours, or declarations for `style`.
constexpr std::array<std::string_view, 10> ColourAttributes = {
    "color", "bgcolor", "bordercolor", "text", "link", "alink", "vlink", "bordercolordark", "bordercolorlight", "style"};

bool IsColourAttribute(std::string_view Name) noexcept
{
    return std::any_of(ColourAttributes.begin(), ColourAttributes.end(),
                       [&](std::string_view a) { return EqualNoCase(Name, a); });
}

// Where a colour function of a text of data ends: "rgb", "rgba", "hsl" or "hsla" at Pos, "("
// right after it (after "rgb" also spaces), and up to the first ")" a function the converter
// reads. 0 when there is none.
std::size_t DataFunctionEnd(std::string_view Text, std::size_t Pos)
{
    const bool rgb = StartsWithNoCase(Text, Pos, "rgb");
    if (!rgb && !StartsWithNoCase(Text, Pos, "hsl"))
        return 0;
    std::size_t open = Pos + 3;
    if (open < Text.size() && Lower(Text[open]) == 'a')
        ++open;
    else if (rgb)
        while (open < Text.size() && (Text[open] == ' ' || (Text[open] >= '\t' && Text[open] <= '\r')))
            ++open;
    if (open >= Text.size() || Text[open] != '(')
        return 0;
    const std::size_t close = Text.find_first_of("()", open + 1);
    if (close == npos || Text[close] != ')')
        return 0;
    const std::string_view function = Text.substr(Pos, close + 1 - Pos);
    return IsClassicRgbFunction(function) || ParseCssColorFunction(function) ? close + 1 : 0;
}

// The name of the property whose declaration starts at the colon at Colon: the identifier right
// before it, white space between allowed.
std::string_view PropertyName(std::string_view Text, std::size_t Colon) noexcept
{
    std::size_t end = Colon;
    while (end > 0 && static_cast<unsigned char>(Text[end - 1]) <= ' ')
        --end;
    std::size_t begin = end;
    while (begin > 0 && IsIdentifierByte(Text[begin - 1]))
        --begin;
    return Text.substr(begin, end - begin);
}

// The value of a declaration from its colon to its end, without the spaces around it.
TTextSpan DeclarationValue(std::string_view Text, TTextSpan Declaration) noexcept
{
    std::size_t begin = Declaration.Begin + 1, end = Declaration.End;
    while (begin < end && static_cast<unsigned char>(Text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(Text[end - 1]) <= ' ')
        --end;
    return {begin, end};
}

// Whether a page's layout (ReadHtmlLayout) reads past an attribute value's New bytes as past its
// Old ones. Between quotes only the closing quote ends a value; without them white space and
// ">" end it, a quote at its start would open one, and one that starts with "rgb" runs on to a
// ")".
bool KeepsLayout(std::string_view Old, std::string_view New, char Quote) noexcept
{
    if (Quote != 0)
        return Old.find(Quote) == npos && New.find(Quote) == npos;
    constexpr std::string_view Structure = " \t\n\r\f>()\"'";
    return Old.find_first_of(Structure) == npos && New.find_first_of(Structure) == npos;
}

// A plain number: digits, perhaps a sign before and a point and more digits after them.
struct TPlainNumber {
    TTextSpan Span;
    long double Value = 0;
    int Decimals = 0;
};

bool ReadPlainNumber(std::string_view Text, std::size_t Pos, std::size_t End, TPlainNumber& Number)
{
    std::size_t i = Pos;
    bool negative = false;
    if (i < End && (Text[i] == '+' || Text[i] == '-'))
        negative = Text[i++] == '-';
    const std::size_t digits = i;
    long double value = 0;
    while (i < End && IsDigit(Text[i]))
        value = value * 10 + (Text[i++] - '0');
    bool any = i > digits;
    int decimals = 0;
    if (i + 1 < End && Text[i] == '.' && IsDigit(Text[i + 1])) {
        ++i;
        long double scale = 1;
        while (i < End && IsDigit(Text[i]) && decimals < 12) {
            scale /= 10;
            value += (Text[i++] - '0') * scale;
            ++decimals;
        }
        if (i < End && IsDigit(Text[i]))
            return false;
        any = true;
    }
    if (!any)
        return false;
    Number = {{Pos, i}, negative ? -value : value, decimals};
    return true;
}

// The three numbers of "R, G, B" or "R G B" that make up all of Value: whole numbers 0..255,
// the separators all commas (spaces around them allowed) or all spaces.
bool ReadRgbParts(std::string_view Text, TTextSpan Value, TTextSpan (&Numbers)[3], int (&Channels)[3])
{
    std::size_t i = Value.Begin;
    int commas = 0;
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            const std::size_t separator = i;
            while (i < Value.End && static_cast<unsigned char>(Text[i]) <= ' ')
                ++i;
            if (i < Value.End && Text[i] == ',') {
                ++commas;
                ++i;
                while (i < Value.End && static_cast<unsigned char>(Text[i]) <= ' ')
                    ++i;
            }
            if (i == separator)
                return false;
        }
        const std::size_t start = i;
        int channel = 0;
        while (i < Value.End && IsDigit(Text[i]) && i - start < 3)
            channel = channel * 10 + (Text[i++] - '0');
        if (i == start || channel > 255 || (i < Value.End && IsDigit(Text[i])))
            return false;
        Numbers[k] = {start, i};
        Channels[k] = channel;
    }
    return i == Value.End && (commas == 0 || commas == 2);
}

// Value rounded to Decimals digits after the point.
long double RoundDecimals(long double Value, int Decimals)
{
    long double scale = 1;
    for (int i = 0; i < Decimals; ++i)
        scale *= 10;
    return static_cast<long double>(std::llround(Value * scale)) / scale;
}

// Value with Decimals digits after the point (none and no point for 0), rounded to the nearest.
// Modulo: a value that rounds to it is written as 0 (a hue of 360).
std::string FormatDecimals(long double Value, int Decimals, long double Modulo = 0)
{
    long double scale = 1;
    for (int i = 0; i < Decimals; ++i)
        scale *= 10;
    long long units = std::llround(Value * scale);
    if (Modulo != 0 && units >= std::llround(Modulo * scale))
        units -= std::llround(Modulo * scale);
    std::string digits = std::to_string(units);
    if (Decimals == 0)
        return digits;
    if (digits.size() <= static_cast<std::size_t>(Decimals))
        digits.insert(0, static_cast<std::size_t>(Decimals) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(Decimals), 1, '.');
    return digits;
}

}  // namespace

TColourRewriter::TColourRewriter(std::int32_t HueOffset, std::int32_t SatOffset, std::int32_t BrightOffset,
                                 std::span<const TRGBColor> Before, std::span<const TRGBColor> After,
                                 std::span<const bool> Adjust, TMatcher& Matcher)
    : TColourValueConverter(HueOffset, SatOffset, BrightOffset, Before, After, Adjust, Matcher)
{
}

TColourRewriter::~TColourRewriter() = default;

std::string TColourRewriter::ReplaceAll(std::string_view Text)
{
    TEncodingScope scope(*this, Text);
    std::string result;
    if (!LooksLikeHtml(Text, Encoding())) {
        result.reserve(Text.size() + Text.size() / 64);
        BlockPassInto(Text, result);
        return result;
    }
    // A page: the tag pass over all of it, then the block pass over its style sheets only. The
    // tag pass rewrites attribute values alone, so the page keeps its elements. Where every new
    // value is read past as the old one was, they stand where they stood, moved by the edits
    // before them; otherwise they are found again in the pass's output.
    THtmlLayout layout = ReadHtmlLayout(Text);
    std::string tagged;
    std::string_view page = Text;
    tagged.reserve(Text.size() + Text.size() / 64);
    if (TagPassInto(Text, tagged, layout)) {
        page = tagged;
        if (FLayoutKept) {
            auto shift = FShifts.cbegin();
            std::ptrdiff_t by = 0;
            const auto moved = [&](std::size_t Pos) {
                for (; shift != FShifts.cend() && shift->After <= Pos; ++shift)
                    by = shift->By;
                return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(Pos) + by);
            };
            for (TTextSpan& style : layout.Styles)
                style = {moved(style.Begin), moved(style.End)};
#ifndef NDEBUG
            const THtmlLayout again = ReadHtmlLayout(page);
            assert(std::equal(layout.Styles.begin(), layout.Styles.end(), again.Styles.begin(), again.Styles.end(),
                              [](const TTextSpan& a, const TTextSpan& b) { return a.Begin == b.Begin && a.End == b.End; }));
#endif
        } else {
            layout = {};  // its tags, as many as a page has, go before the next reading
            layout = ReadHtmlLayout(page);
        }
        if (layout.Styles.empty())
            return tagged;
    } else {
        std::string().swap(tagged);
    }
    result.reserve(page.size() + page.size() / 64);
    std::size_t copied = 0;
    for (const TTextSpan& style : layout.Styles) {
        result.append(page.substr(copied, style.Begin - copied));
        BlockPassInto(page.substr(style.Begin, style.End - style.Begin), result);
        copied = style.End;
    }
    result.append(page.substr(copied));
    return result;
}

std::string TColourRewriter::ReplaceSvg(std::string_view Text)
{
    TEncodingScope scope(*this, Text);
    const std::vector<TSvgPlace> places = ReadSvgPlaces(Text, Encoding());
    std::string result;
    result.reserve(Text.size() + Text.size() / 64);
    std::size_t copied = 0;
    for (const TSvgPlace& place : places) {
        result.append(Text.substr(copied, place.Span.Begin - copied));
        const std::string_view text = Text.substr(place.Span.Begin, place.Span.End - place.Span.Begin);
        switch (place.Kind) {
        case TSvgPlaceKind::spColour:
            ColourValuePassInto(text, result);
            break;
        case TSvgPlaceKind::spStyle:
            DeclarationPassInto(text, false, result);
            break;
        case TSvgPlaceKind::spStyleSheet:
            BlockPassInto(text, result);
            break;
        }
        copied = place.Span.End;
    }
    result.append(Text.substr(copied));
    return result;
}

std::string TColourRewriter::ReplacePass(std::string_view Text, TPassKind Kind)
{
    TEncodingScope scope(*this, Text);
    std::string out;
    out.reserve(Text.size());
    switch (Kind) {
    case TPassKind::pkTags:
        TagPassInto(Text, out, ReadHtmlLayout(Text));
        break;
    case TPassKind::pkAttributes:
        AttributePassInto(Text, out);
        break;
    case TPassKind::pkBlocks:
        BlockPassInto(Text, out);
        break;
    case TPassKind::pkDeclarations: {
        const bool block = !Text.empty() && Text.front() == '{' && Text.back() == '}';
        DeclarationPassInto(Text, block, out);
        break;
    }
    case TPassKind::pkValues:
        ValuePassInto(TCssScanner(Text, Encoding()), {0, Text.size()}, out);
        break;
    default:
        out.assign(Text);
        break;
    }
    return out;
}

// Tags with a colour attribute; each has its colour attributes rewritten. Inside a style element
// there are no tags; inside a script element only what has the shape of a start tag is one
// (markup the script writes), not the "<" of a comparison. True when anything changed.
bool TColourRewriter::TagPassInto(std::string_view Text, std::string& Out, const THtmlLayout& Layout)
{
    // The tags of svg elements with colours and the theme-colour metas are read on their own,
    // every attribute by its rules there.
    const auto startsSpan = [](const std::vector<TTextSpan>& Spans, std::size_t Pos) {
        const auto it = std::lower_bound(Spans.begin(), Spans.end(), Pos,
                                         [](const TTextSpan& s, std::size_t p) { return s.Begin < p; });
        return it != Spans.end() && it->Begin == Pos;
    };
    const auto accept = [&](const TTextSpan& Tag) {
        if (InSpans(Layout.Styles, Tag.Begin))
            return false;
        if (InSpans(Layout.Scripts, Tag.Begin))
            return IsStartTagAt(Text, Tag.Begin);
        return !startsSpan(Layout.SvgTags, Tag.Begin) && !startsSpan(Layout.ThemeColourMetas, Tag.Begin);
    };
    const std::vector<TTextSpan> matches = CollectColourTags(Text, Encoding(), accept);
    // An edit keeps the layout when it lies in a tag the layout was read past (so that both
    // read its attributes alike) and its new bytes are read past as the old ones.
    FShifts.clear();
    FLayoutKept = true;
    std::ptrdiff_t moved = 0;
    bool changed = false;
    std::size_t copied = 0;
    auto match = matches.begin();
    auto svg = Layout.SvgTags.begin();
    auto meta = Layout.ThemeColourMetas.begin();
    const auto beginOf = [](auto It, const auto& List) { return It == List.end() ? npos : It->Begin; };
    for (;;) {
        const std::size_t next[3] = {beginOf(match, matches), beginOf(svg, Layout.SvgTags),
                                     beginOf(meta, Layout.ThemeColourMetas)};
        const int which = static_cast<int>(std::min_element(std::begin(next), std::end(next)) - std::begin(next));
        if (next[which] == npos)
            break;
        const TTextSpan tag = which == 0 ? *match++ : which == 1 ? *svg++ : *meta++;
        if (tag.Begin < copied)
            continue;  // within a tag the matcher found, which ran on past its own ">"
        Out.append(Text.substr(copied, tag.Begin - copied));
        const std::string_view text = Text.substr(tag.Begin, tag.End - tag.Begin);
        const TTagKind kind = which == 0 ? TTagKind::Html : which == 1 ? TTagKind::Svg : TTagKind::ThemeColourMeta;
        changed = AttributePassInto(text, Out, kind) || changed;
        if (!FTagEdits.empty()) {
            const bool read = std::binary_search(Layout.StartTags.begin(), Layout.StartTags.end(), tag.Begin);
            for (const TTagEdit& edit : FTagEdits) {
                FLayoutKept = FLayoutKept && read && edit.KeepsLayout;
                moved += edit.Growth;
                FShifts.push_back({tag.Begin + edit.End, moved});
            }
        }
        copied = tag.End;
    }
    Out.append(Text.substr(copied));
    return changed;
}

// An attribute text whose value is one CSS value, its colours converted. A value with a character
// reference stays as written, as in an SVG document. A value without quotes that could not stay
// so (a space in rgba()) gets them.
bool TColourRewriter::EditValueAttribute(std::string_view A, TValueEdit& Edit)
{
    const std::optional<TAttributeValue> value = ReadAttributeValue(A, Encoding());
    if (!value || value->Value.find('&') != npos)
        return false;
    std::string& rewritten = Edit.Text;
    rewritten.clear();
    ColourValuePassInto(value->Value, rewritten);
    if (rewritten == value->Value)
        return false;
    if (value->QuotesDoubled())
        rewritten = DoubleQuotes(rewritten, value->Quote);
    const bool quote = value->Quote == 0 && rewritten.find_first_of(" \t\n\r\f\"'=<>`") != npos;
    if (quote && rewritten.find('"') != npos)
        return false;
    if (quote) {
        rewritten.insert(rewritten.begin(), '"');
        rewritten.push_back('"');
    }
    Edit.Span = value->Span;
    Edit.Quote = value->Quote;
    return true;
}

// One value of a presentation attribute (or a theme colour): its value tokens that are colours
// converted, as in a declaration; "none", "currentColor", "inherit" and url() references kept.
void TColourRewriter::ColourValuePassInto(std::string_view Value, std::string& Out)
{
    ValuePassInto(TCssScanner(Value, Encoding()), {0, Value.size()}, Out);
}

// The attributes of a tag that hold colours, rewritten: a presentation attribute of an svg element
// (or the content of a theme-colour meta) as a CSS value, an old colour attribute as in any tag.
bool TColourRewriter::AttributePassInto(std::string_view Tag, std::string& Out, TTagKind Kind)
{
    bool changed = false;
    std::size_t copied = 0;
    FTagEdits.clear();
    ReadTagAttributes(Tag, FAttributes);
    for (const THtmlAttribute& a : FAttributes) {
        if (a.Whole.End == a.Name.End)
            continue;
        const std::string_view name = Tag.substr(a.Name.Begin, a.Name.End - a.Name.Begin);
        const std::string_view text = Tag.substr(a.Whole.Begin, a.Whole.End - a.Whole.Begin);
        bool edited;
        if (Kind == TTagKind::Svg ? IsSvgColourAttribute(name, true)
                                  : Kind == TTagKind::ThemeColourMeta && EqualNoCase(name, "content"))
            edited = EditValueAttribute(text, FEdit);
        else if (IsColourAttribute(name))
            edited = EditColourAttribute(text, FEdit);
        else
            continue;
        if (!edited)
            continue;
        Out.append(Tag.substr(copied, a.Whole.Begin + FEdit.Span.Begin - copied));
        Out.append(FEdit.Text);
        copied = a.Whole.Begin + FEdit.Span.End;
        changed = true;
        const std::string_view old = text.substr(FEdit.Span.Begin, FEdit.Span.End - FEdit.Span.Begin);
        FTagEdits.push_back({copied, static_cast<std::ptrdiff_t>(FEdit.Text.size()) - static_cast<std::ptrdiff_t>(old.size()),
                             KeepsLayout(old, FEdit.Text, FEdit.Quote)});
    }
    Out.append(Tag.substr(copied));
    return changed;
}

std::string TColourRewriter::ReplaceAttribute(std::string_view A)
{
    TValueEdit edit;
    if (!EditColourAttribute(A, edit))
        return std::string(A);
    std::string result;
    result.reserve(A.size() + edit.Text.size());
    result.append(A.substr(0, edit.Span.Begin));
    result.append(edit.Text);
    result.append(A.substr(edit.Span.End));
    return result;
}

bool TColourRewriter::EditColourAttribute(std::string_view A, TValueEdit& Edit)
{
    TEncodingScope scope(*this, A);
    const std::optional<TAttributeValue> value = ReadAttributeValue(A, Encoding());
    if (!value)
        return false;

    std::string& rewritten = Edit.Text;
    rewritten.clear();
    if (StartsWithStyle(A, Encoding())) {  // StyleCommand
        // A style value is rewritten declaration by declaration, everything else kept.
        DeclarationPassInto(value->Value, false, rewritten);
    } else if (!ConvertAttributeData(value->Value, rewritten)) {
        return false;
    }
    if (rewritten == value->Value)
        return false;
    if (value->QuotesDoubled())
        rewritten = DoubleQuotes(rewritten, value->Quote);
    Edit.Span = value->Span;
    Edit.Quote = value->Quote;
    return true;
}

// The value of a colour attribute: a colour name as a whole, or else each colour where it stands
// (see ReplaceAttribute). True, with the rewritten value, when any colour changed.
bool TColourRewriter::ConvertAttributeData(std::string_view Value, std::string& Rewritten)
{
    if (IsWord(Value))
        return ConvertValueToken(Value, true, Rewritten);

    static constexpr std::string_view EntityQuote = "&quot;";
    const std::size_t n = Value.size();
    const bool byteWise = Encoding() == TTextEncoding::UTF8 || IsASCII(Value);
    std::string out, token;
    std::size_t copied = 0;
    bool afterIdentifier = false;
    std::size_t i = 0;
    while (i < n) {
        const char c = Value[i];
        std::size_t begin = i, end = 0, next = 0;
        bool word = false;
        if (c == '#' && !afterIdentifier && !(i > 0 && Value[i - 1] == '&')) {
            std::size_t j = i + 1;
            while (j < n && IsHexDigit(Value[j]))
                ++j;
            if (j > i + 1 && !(j < n && (IsIdentifierByte(Value[j]) || Value[j] == '(')))
                end = next = j;
        } else if (!afterIdentifier && (Lower(c) == 'r' || Lower(c) == 'h')) {
            end = next = DataFunctionEnd(Value, i);
        } else if (c == '"' || c == '\'' || (c == '&' && Value.compare(i, EntityQuote.size(), EntityQuote) == 0)) {
            const std::string_view quote = c == '&' ? EntityQuote : Value.substr(i, 1);
            std::size_t j = i + quote.size();
            while (j < n && IsAsciiLetter(Value[j]))
                ++j;
            if (j > i + quote.size() && Value.compare(j, quote.size(), quote) == 0) {
                begin = i + quote.size();
                end = j;
                next = j + quote.size();
                word = true;
            }
        }
        if (end != 0) {
            if (ConvertValueToken(Value.substr(begin, end - begin), word, token)) {
                out.append(Value.substr(copied, begin - copied));
                out.append(token);
                copied = end;
            }
            i = next;
            afterIdentifier = false;
            continue;
        }
        afterIdentifier = IsIdentifierByte(c);
        i += byteWise ? 1 : CharLengthAt(Value, i, Encoding());
    }
    if (copied == 0)
        return false;
    out.append(Value.substr(copied));
    Rewritten = std::move(out);
    return true;
}

// Brace blocks; each has its declarations rewritten. The urls and strings of the whole text,
// found with the blocks, are those of each block.
void TColourRewriter::BlockPassInto(std::string_view Text, std::string& Out)
{
    std::vector<TTextSpan> protect;
    const std::vector<TTextSpan> blocks = CollectBlocks(Text, Encoding(), &protect);  // BlocksCommand
    auto next = protect.begin();
    std::size_t copied = 0;
    for (const TTextSpan& block : blocks) {
        Out.append(Text.substr(copied, block.Begin - copied));
        while (next != protect.end() && next->Begin < block.Begin)
            ++next;
        std::vector<TTextSpan> inside;
        for (; next != protect.end() && next->Begin < block.End; ++next)
            inside.push_back({next->Begin - block.Begin, std::min(next->End, block.End) - block.Begin});
        const std::string_view text = Text.substr(block.Begin, block.End - block.Begin);
        DeclarationPassInto(TCssScanner(text, Encoding(), std::move(inside)), true, Out);
        copied = block.End;
    }
    Out.append(Text.substr(copied));
}

void TColourRewriter::DeclarationPassInto(std::string_view Text, bool Block, std::string& Out)
{
    DeclarationPassInto(TCssScanner(Text, Encoding()), Block, Out);
}

// Declarations of a brace block (Block) or of a style value, each with its value tokens
// rewritten, and the colour parts its custom properties hold.
void TColourRewriter::DeclarationPassInto(const TCssScanner& Scanner, bool Block, std::string& Out)
{
    const std::string_view text = Scanner.Text();
    std::vector<TTextSpan>& declarations = FDeclarations;
    Scanner.Declarations(Block, declarations);
    if (declarations.empty()) {
        Out.append(text);
        return;
    }
    const TPartEdits edits = ColourPartEdits(Scanner);
    auto edit = edits.begin();
    std::size_t copied = 0;
    for (const TTextSpan& d : declarations) {
        Out.append(text.substr(copied, d.Begin - copied));
        ValuePassInto(Scanner, d, Out, &edit, edits.end());
        copied = d.End;
    }
    Out.append(text.substr(copied));
}

// The value tokens of one declaration (a span of the scanner's text) that are colours,
// converted; everything else in it kept. Edit, when given, points at the next of the sorted
// edits of colour parts, which are written in their places too.
void TColourRewriter::ValuePassInto(const TCssScanner& Scanner, TTextSpan Declaration, std::string& Out,
                                    TPartEdits::const_iterator* Edit, TPartEdits::const_iterator EditsEnd)
{
    const std::string_view text = Scanner.Text();
    std::size_t copied = Declaration.Begin;
    const auto editsBefore = [&](std::size_t Pos) {
        for (; Edit && *Edit != EditsEnd && (*Edit)->Span.Begin < Pos; ++*Edit) {
            Out.append(text.substr(copied, (*Edit)->Span.Begin - copied));
            Out.append((*Edit)->Text);
            copied = (*Edit)->Span.End;
        }
    };
    std::string rewritten;
    Scanner.ValueTokens(Declaration, {}, FTokens);
    for (const TCssScanner::TValueToken& token : FTokens) {
        editsBefore(token.Span.Begin);
        const std::string_view value = text.substr(token.Span.Begin, token.Span.End - token.Span.Begin);
        if (token.Span.Begin < copied || !ConvertValueToken(value, token.Name, rewritten))
            continue;
        Out.append(text.substr(copied, token.Span.Begin - copied));
        Out.append(rewritten);
        copied = token.Span.End;
    }
    editsBefore(Declaration.End);
    Out.append(text.substr(copied, Declaration.End - copied));
}

// Colours that frameworks keep in parts, in the custom properties of one rule:
// - "--name-rgb: R, G, B" (or "R G B"), three whole numbers 0..255, beside the colour itself for
//   rgba(var(--name-rgb), .5); written back in the same form;
// - "--name-h", "--name-s" and "--name-l" with one stem, hue (a number, perhaps in "deg"),
//   saturation and lightness (percentages): one colour in HSL, each part written back in its
//   unit with as many decimals as it had. A grey keeps its hue as written.
// A part repeated or missing, or a value that is not a plain number in its unit, leaves the
// parts as they are; so does a colour that converts to itself. The edits come in text order.
TColourRewriter::TPartEdits TColourRewriter::ColourPartEdits(const TCssScanner& Scanner)
{
    const std::string_view text = Scanner.Text();
    TPartEdits edits;
    struct THslParts {
        std::string_view Stem;
        TTextSpan Value[3] = {};
        bool Found[3] = {};
        bool Repeated = false;
    };
    std::vector<THslParts> groups;
    for (const TTextSpan& d : Scanner.CustomProperties()) {
        const std::string_view name = PropertyName(text, d.Begin);
        if (name.size() < 5)
            continue;
        const TTextSpan value = DeclarationValue(text, d);
        if (name.size() > 6 && EndsWithNoCase(name, "-rgb")) {
            TTextSpan numbers[3];
            int channels[3];
            if (!ReadRgbParts(text, value, numbers, channels))
                continue;
            const std::uint32_t rgb = PackRGB({channels[0], channels[1], channels[2]});
            const TRGBColor converted = UnpackRGB(ConvertedRGB(rgb));
            if (PackRGB(converted) == rgb)
                continue;
            const std::int32_t out[3] = {converted.R, converted.G, converted.B};
            for (int c = 0; c < 3; ++c)
                if (out[c] != channels[c])
                    edits.push_back({numbers[c], std::to_string(out[c])});
            continue;
        }
        const char part = Lower(name.back());
        if (name[name.size() - 2] != '-' || (part != 'h' && part != 's' && part != 'l'))
            continue;
        const std::string_view stem = name.substr(0, name.size() - 2);
        auto group = std::find_if(groups.begin(), groups.end(), [&](const THslParts& g) { return g.Stem == stem; });
        if (group == groups.end()) {
            groups.push_back({stem});
            group = groups.end() - 1;
        }
        const int index = part == 'h' ? 0 : part == 's' ? 1 : 2;
        group->Repeated = group->Repeated || group->Found[index];
        group->Found[index] = true;
        group->Value[index] = value;
    }

    for (const THslParts& g : groups) {
        if (g.Repeated || !g.Found[0] || !g.Found[1] || !g.Found[2])
            continue;
        TPlainNumber number[3];
        bool plain = true;
        for (int k = 0; k < 3 && plain; ++k) {
            const TTextSpan v = g.Value[k];
            plain = ReadPlainNumber(text, v.Begin, v.End, number[k]);
            if (!plain)
                break;
            const std::string_view unit = text.substr(number[k].Span.End, v.End - number[k].Span.End);
            plain = k == 0 ? unit.empty() || EqualNoCase(unit, "deg")
                           : unit == "%" && number[k].Value >= 0 && number[k].Value <= 100;
        }
        if (!plain)
            continue;
        const std::uint32_t rgb = PackRGB(HslToRgb(number[0].Value, number[1].Value, number[2].Value));
        const std::uint32_t converted = ConvertedRGB(rgb);
        if (converted == rgb)
            continue;
        // Each part moves as far as the colour's own hue, saturation and lightness moved, so
        // that it keeps the digits the rounding of the channels would take from it (a change of
        // hue alone leaves saturation and lightness as written). Where that does not give the
        // converted colour, the parts are the converted colour's own. A grey keeps its hue.
        const THslColor from = RgbToHsl(UnpackRGB(rgb));
        const THslColor to = RgbToHsl(UnpackRGB(converted));
        const auto rounded = [&](long double H, long double S, long double L) {
            std::array<long double, 3> parts = {to.S == 0 ? number[0].Value : H, S, L};
            parts[0] = std::fmod(parts[0], 360.0L);
            if (parts[0] < 0)
                parts[0] += 360;
            for (int k = 0; k < 3; ++k)
                parts[k] = RoundDecimals(k == 0 ? parts[k] : std::clamp(parts[k], 0.0L, 100.0L), number[k].Decimals);
            return parts;
        };
        std::array<long double, 3> parts =
            rounded(from.S == 0 ? to.H : number[0].Value + (to.H - from.H), number[1].Value + (to.S - from.S),
                    number[2].Value + (to.L - from.L));
        if (PackRGB(HslToRgb(parts[0], parts[1], parts[2])) != converted)
            parts = rounded(to.H, to.S, to.L);
        std::string written[3];
        for (int k = 0; k < 3; ++k)
            written[k] = FormatDecimals(parts[k], number[k].Decimals, k == 0 ? 360 : 0);
        for (int k = 0; k < 3; ++k) {
            const TTextSpan span = number[k].Span;
            if (text.substr(span.Begin, span.End - span.Begin) != written[k])
                edits.push_back({span, written[k]});
        }
    }
    std::sort(edits.begin(), edits.end(), [](const TPartEdit& a, const TPartEdit& b) { return a.Span.Begin < b.Span.Begin; });
    return edits;
}
