#include "text/ColourRewriter.h"

#include "text/HtmlScanner.h"
#include "text/ValueTokens.h"

#include <algorithm>

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsWord(std::string_view s) noexcept { return !s.empty() && std::all_of(s.begin(), s.end(), IsAsciiLetter); }

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
    // A text without "<" has no tag, and one whose tags kept every attribute comes out of the
    // tag pass as it went in: the block pass then reads the text itself, not a copy.
    std::string tagged;
    std::vector<TTextSpan> converted;
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
    case TPassKind::pkValues:
        ValuePassInto(TCssScanner(Text, Encoding()), {0, Text.size()}, {}, out);
        break;
    default:
        out.assign(Text);
        break;
    }
    return out;
}

// Tags with a colour attribute; each has its colour attributes rewritten. Converted receives
// the ranges of Out that hold rewritten attributes, so that the block pass leaves them alone.
void TColourRewriter::TagPassInto(std::string_view Text, std::string& Out, std::vector<TTextSpan>* Converted)
{
    std::size_t copied = 0;
    for (const TTextSpan& tag : CollectMatches(Matcher(), TagsCommand, Text, Encoding(), '<', '>')) {
        Out.append(Text.substr(copied, tag.Begin - copied));
        AttributePassInto(Text.substr(tag.Begin, tag.End - tag.Begin), Out, Converted);
        copied = tag.End;
    }
    Out.append(Text.substr(copied));
}

void TColourRewriter::AttributePassInto(std::string_view Tag, std::string& Out, std::vector<TTextSpan>* Converted)
{
    std::size_t copied = 0;
    for (const TTextSpan& a : CollectMatches(Matcher(), AttributesCommand, Tag, Encoding())) {
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

std::string TColourRewriter::ReplaceAttribute(std::string_view A)
{
    TEncodingScope scope(*this, A);
    const std::optional<TAttributeValue> value = ReadAttributeValue(A, Encoding());
    if (!value)
        return std::string(A);

    std::string rewritten;
    if (StartsWithStyle(A, Encoding())) {  // StyleCommand
        // A style value is rewritten declaration by declaration, everything else kept.
        DeclarationPassInto(value->Value, false, rewritten, {});
    } else if (!ConvertValueToken(value->Value, IsWord(value->Value), rewritten)) {
        return std::string(A);
    }
    if (rewritten == value->Value)
        return std::string(A);
    if (value->QuotesDoubled())
        rewritten = DoubleQuotes(rewritten);
    std::string result;
    result.reserve(A.size() + rewritten.size());
    result.append(A.substr(0, value->Span.Begin));
    result.append(rewritten);
    result.append(A.substr(value->Span.End));
    return result;
}

// Brace blocks; each has its declarations rewritten. Converted holds the sorted ranges of Text
// that an earlier pass has rewritten already: nothing in them is converted a second time.
void TColourRewriter::BlockPassInto(std::string_view Text, std::string& Out, std::span<const TTextSpan> Converted)
{
    std::size_t copied = 0;
    std::vector<TTextSpan> skip;
    auto next = Converted.begin();
    for (const TTextSpan& block : CollectDelimited(Text, '{', '}', Encoding())) {  // BlocksCommand
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

// Declarations of a brace block (Block) or of a style value, each with its value tokens
// rewritten. Skip: sorted ranges of Text that are not to be converted again.
void TColourRewriter::DeclarationPassInto(std::string_view Text, bool Block, std::string& Out,
                                          std::span<const TTextSpan> Skip)
{
    const TCssScanner scanner(Text, Encoding());
    const std::vector<TTextSpan> declarations = scanner.Declarations(Block);
    if (declarations.empty()) {
        Out.append(Text);
        return;
    }
    std::size_t copied = 0;
    for (const TTextSpan& d : declarations) {
        Out.append(Text.substr(copied, d.Begin - copied));
        ValuePassInto(scanner, d, Skip, Out);
        copied = d.End;
    }
    Out.append(Text.substr(copied));
}

// The value tokens of one declaration (a span of the scanner's text) that are colours,
// converted; everything else in it kept.
void TColourRewriter::ValuePassInto(const TCssScanner& Scanner, TTextSpan Declaration,
                                    std::span<const TTextSpan> Skip, std::string& Out)
{
    const std::string_view text = Scanner.Text();
    std::size_t copied = Declaration.Begin;
    std::string rewritten;
    for (const TCssScanner::TValueToken& token : Scanner.ValueTokens(Declaration, Skip)) {
        const std::string_view value = text.substr(token.Span.Begin, token.Span.End - token.Span.Begin);
        if (!ConvertValueToken(value, token.Name, rewritten))
            continue;
        Out.append(text.substr(copied, token.Span.Begin - copied));
        Out.append(rewritten);
        copied = token.Span.End;
    }
    Out.append(text.substr(copied, Declaration.End - copied));
}
