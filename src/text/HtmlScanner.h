#pragma once
// Reading HTML for its colour attributes: the tags and attributes the rewriter's match commands
// find, and the value of one attribute as the rewriter takes it.

#include "text/Matcher.h"
#include "text/TextEncoding.h"
#include "text/TextSpan.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every match of Command in Text, left to right, none overlapping. A match of the commands
// given First and Last (the tag command: "<" and ">") begins with First and ends with Last:
// where no First is followed by a Last, nothing can match, and the matcher is not asked to find
// that out the slow way. 0 for both when there is no such rule.
std::vector<TTextSpan> CollectMatches(TMatcher& Matcher, std::string_view Command, std::string_view Text,
                                      TTextEncoding Encoding, char First = 0, char Last = 0);

// The value of an attribute text such as `bgcolor="#ff0000"`: what follows the first "=",
// without the spaces (and control characters) around it. Of a double-quoted value it is what
// stands between its quotes, a doubled quote inside counting as one; an empty one stays as it
// is, quotes and all, and single quotes are not taken off.
struct TAttributeValue {
    std::string Value;
    TTextSpan Span;  // where the value stands in the attribute text

    // Quotes inside the value were doubled in the attribute, and must be doubled again.
    bool QuotesDoubled() const noexcept { return Value.size() != Span.End - Span.Begin; }
};

// Nothing when the attribute text has no "=".
std::optional<TAttributeValue> ReadAttributeValue(std::string_view Attribute, TTextEncoding Encoding);

// Value with every double quote doubled.
std::string DoubleQuotes(std::string_view Value);
