#include "text/HtmlScanner.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;

}  // namespace

std::vector<TTextSpan> CollectMatches(TMatcher& Matcher, std::string_view Command, std::string_view Text,
                                      TTextEncoding Encoding, char First, char Last)
{
    std::vector<TTextSpan> found;
    std::size_t pos = 0;
    while (pos < Text.size()) {
        std::size_t start = pos;
        if (First) {
            start = FindOnCharBoundary(Text, std::string_view(&First, 1), pos, Encoding);
            if (start == npos ||
                FindOnCharBoundary(Text, std::string_view(&Last, 1), start + 1, Encoding) == npos)
                break;
        }
        // The first search of a text starts at 0, so that the matcher reads this text afresh
        // rather than what it prepared for another one that happened to lie at the same address.
        if (found.empty())
            start = 0;
        if (!Matcher.MatchFrom(Command, Text, start, Encoding))
            break;
        const std::size_t begin = Matcher.MatchPos() - 1;
        const std::size_t length = Matcher.MatchLength();
        found.push_back({begin, begin + length});
        pos = begin + length;
        if (length == 0) {
            if (begin >= Text.size())
                break;
            pos += CharLengthAt(Text, begin, Encoding);
        }
    }
    return found;
}

std::optional<TAttributeValue> ReadAttributeValue(std::string_view Attribute, TTextEncoding Encoding)
{
    const std::size_t equals = FindOnCharBoundary(Attribute, "=", 0, Encoding);
    if (equals == npos)
        return std::nullopt;

    // Delphi-style trimming: every byte up to and including the space goes at both ends.
    std::size_t begin = equals + 1, end = Attribute.size();
    while (begin < end && static_cast<unsigned char>(Attribute[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(Attribute[end - 1]) <= ' ')
        --end;
    TAttributeValue value{std::string(Attribute.substr(begin, end - begin)), {begin, end}};
    if (!value.Value.empty() && value.Value.front() == '"') {
        std::string inner;
        std::size_t j = begin + 1;
        while (j < end) {
            if (Attribute[j] == '"') {
                if (j + 1 < end && Attribute[j + 1] == '"') {
                    inner.push_back('"');
                    j += 2;
                    continue;
                }
                break;
            }
            inner.push_back(Attribute[j]);
            ++j;
        }
        if (!inner.empty())
            value = {std::move(inner), {begin + 1, j}};
    }
    return value;
}

std::string DoubleQuotes(std::string_view Value)
{
    std::string doubled;
    doubled.reserve(Value.size());
    for (char c : Value) {
        doubled.push_back(c);
        if (c == '"')
            doubled.push_back('"');
    }
    return doubled;
}
