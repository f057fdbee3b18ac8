#pragma once
// Reading an SVG document (XML) for the places that may hold colours: the presentation
// attributes that take a colour (fill, stroke, stop-color, flood-color, lighting-color, color),
// style attributes, and the style sheets of style elements. Comments, processing instructions,
// the doctype with its internal subset, CDATA sections outside style elements, the text of
// every other element (script code, the words of a chart) and every other attribute hold none.
//
// A style element's style sheet is its text and the contents of its CDATA sections (where
// editors put their rules), comments left out. An attribute value with an entity or character
// reference ("&#x23;ff0000", "&quot;") is left as written: the reference would have to be
// written back as it was, and a colour hidden in one is rare.
//
// Everything that decides the structure is ASCII. A "]" can be the trail byte of a Shift-JIS
// character, so the ends of CDATA sections and of the internal subset are found on character
// boundaries.

#include "base/Exceptions.h"
#include "text/TextEncoding.h"
#include "text/TextSpan.h"

#include <cstdint>
#include <string_view>
#include <vector>

// Markup that cannot be read as XML: a comment, CDATA section, processing instruction,
// declaration, tag or attribute value that does not close, a "<" that starts no markup, an
// attribute without a quoted value. Where the markup is unclear, nothing is rewritten.
class ESvgSyntax : public Exception {
public:
    using Exception::Exception;
};

enum class TSvgPlaceKind : std::uint8_t {
    spColour = 0,      // the value of a presentation attribute: one CSS value
    spStyle = 1,       // the value of a style attribute: declarations
    spStyleSheet = 2,  // a stretch of a style element's style sheet
};

struct TSvgPlace {
    TSvgPlaceKind Kind;
    TTextSpan Span;  // of an attribute: its value between the quotes
};

// The places of Text, in text order. Raises ESvgSyntax.
std::vector<TSvgPlace> ReadSvgPlaces(std::string_view Text, TTextEncoding Encoding);

// Whether Name (an attribute name as written) is a presentation attribute that takes a colour.
// AnyCase: the name as HTML reads it, in any case (an svg element inside a page).
bool IsSvgColourAttribute(std::string_view Name, bool AnyCase = false) noexcept;
