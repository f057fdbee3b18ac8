#pragma once
// Reading HTML for its colour attributes and its style sheets: the tags the rewriter's match
// command finds, the attributes of a tag and the value of one attribute as the rewriter takes
// it, whether a text is a page at all, and where its style and script elements hold their text.
//
// Everything that decides the structure ("<", ">", "/", "!", "=", quotes, white space) is ASCII
// that can be no second byte of a Shift-JIS character, so HTML is read byte by byte in either
// encoding.

#include "text/Matcher.h"
#include "text/TextEncoding.h"
#include "text/TextSpan.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every match of Command in Text, left to right, none overlapping. A match of the commands
// given First and Last (the tag command: "<" and ">") begins with First and ends with Last:
// where no First is followed by a Last, nothing can match, and the matcher is not asked to find
// that out the slow way. 0 for both when there is no such rule.
// Accept, when given, decides about each match: one it refuses is left out, and the search goes
// on from the character after the match's first.
std::vector<TTextSpan> CollectMatches(TMatcher& Matcher, std::string_view Command, std::string_view Text,
                                      TTextEncoding Encoding, char First = 0, char Last = 0,
                                      const std::function<bool(const TTextSpan&)>& Accept = {});

// Every match of the rewriter's tag command (TColourRewriter::TagsCommand) in Text, left to
// right and none overlapping, as CollectMatches finds them with the matcher, Accept included, but
// found directly: "<" not followed by "!", then, before any further "<" or ">", white space, a
// colour attribute name (any case; in UTF-8 text also with the Kelvin sign for "k" and the long
// s for "s", as the matcher's Unicode case folding has it), white space and "=", and everything
// up to the first ">" after that "=". In UTF-8 text that is not valid UTF-8 and has a "<"
// followed by a ">", EMatcherError, as the matcher refuses it.
std::vector<TTextSpan> CollectColourTags(std::string_view Text, TTextEncoding Encoding,
                                         const std::function<bool(const TTextSpan&)>& Accept = {});
// The value of an attribute text such as `bgcolor="#ff0000"`: what follows the first "=",
// without the spaces (and control characters) around it. Of a value in double or single quotes
// it is what stands between its quotes, a doubled quote inside counting as one; an empty one
// stays as it is, quotes and all.
struct TAttributeValue {
    std::string Value;
    TTextSpan Span;   // where the value stands in the attribute text
    char Quote = 0;   // the quote around it, 0 for none

    // Quotes inside the value were doubled in the attribute, and must be doubled again.
    bool QuotesDoubled() const noexcept { return Value.size() != Span.End - Span.Begin; }
};

// Nothing when the attribute text has no "=".
std::optional<TAttributeValue> ReadAttributeValue(std::string_view Attribute, TTextEncoding Encoding);

// Value with every Quote doubled.
std::string DoubleQuotes(std::string_view Value, char Quote = '"');

// One attribute of a tag, by byte offsets in the tag's text: its name, and the whole of it from
// the name to the end of its value (the closing quote included).
struct THtmlAttribute {
    TTextSpan Name;
    TTextSpan Whole;
};

// The attributes of a tag text that starts at its "<", as a browser reads them: names end at
// white space, "/", ">" or "="; a value in double or single quotes runs to its closing quote,
// one without quotes to white space or ">". An unquoted value that starts with "rgb" runs on to
// the first ")" after its first "(", spaces and all, as colour attributes were written for old
// browsers. An attribute whose quoted value does not close within Tag is not taken, nor any
// after it.
std::vector<THtmlAttribute> ReadTagAttributes(std::string_view Tag);
// The same into Attributes, which keeps its capacity from one tag to the next.
void ReadTagAttributes(std::string_view Tag, std::vector<THtmlAttribute>& Attributes);

// Whether a start tag begins at Pos: "<", an ASCII letter, more letters, digits or "-", then
// white space, "/" or ">" -- not "a<b" or "i < n" in script code.
bool IsStartTagAt(std::string_view Text, std::size_t Pos) noexcept;

// Whether Text is a page rather than a stylesheet: somewhere outside CSS comments and strings it
// has a start tag (IsStartTagAt), an end tag ("</" and a letter) or a declaration such as
// "<!DOCTYPE". A stylesheet has none of these; "<!--" and "-->", which style sheets may hold
// around their rules, are no tags.
bool LooksLikeHtml(std::string_view Text, TTextEncoding Encoding);

// Where a page keeps text that is not markup: the contents of its style elements (a style sheet
// each) and of its script elements, between the start tag and the end tag (or the end of the
// text), in order. Elements inside comments do not count, except inside the conditional comments
// of old pages ("<!--[if IE]>...<![endif]-->"), which are read as the page. Other elements whose
// contents are plain text (textarea, title, xmp, iframe, noembed, noframes, plaintext) hold no
// style or script elements.
//
// It also finds the start tags whose attributes hold colours by other rules than the old colour
// attributes of HTML: those of an svg element and of the elements inside it (up to its matching
// "</svg>", nested svg elements counted, or to the end of the text; "<svg/>" is empty; the HTML
// inside a foreignObject is no part of it) that have a presentation attribute taking a colour
// (IsSvgColourAttribute), which is one as in an SVG document; and the metas that name the colour
// a browser paints its own frame with (IsThemeColourMetaName), whose content is one.
struct THtmlLayout {
    std::vector<TTextSpan> Styles;
    std::vector<TTextSpan> Scripts;
    std::vector<TTextSpan> SvgTags;           // from "<" to after ">", in order
    std::vector<TTextSpan> ThemeColourMetas;  // likewise
    // Where each start tag read as one begins (its "<"), in order: the tags whose names and
    // attributes the layout was read past.
    std::vector<std::size_t> StartTags;
};
THtmlLayout ReadHtmlLayout(std::string_view Text);

// Whether Name (the name of a meta, any case) is one whose content is the colour of the
// browser's frame: "theme-color", "msapplication-TileColor", "msapplication-navbutton-color".
bool IsThemeColourMetaName(std::string_view Name) noexcept;
