#pragma once
// Texts the colour rewriter cannot read as they are, and the form it reads them in.
//
// UTF-16 and UTF-32 are decoded to UTF-8, rewritten, and encoded back in the same form and
// byte order, after the same byte order mark (or none). They are recognised by their byte
// order mark, or without one when at least three quarters of the code units of the first
// 8 KB are ASCII characters (U+0001-U+007F) in one form and byte order and the whole text
// decodes in it.
//
// ISO-2022-JP keeps its double-byte characters in runs of 7-bit bytes between escape
// sequences, where "{", ":", "#" or "<" are halves of characters. Each run -- from an escape
// sequence into JIS X 0208, JIS X 0212 or the katakana set, through the escape sequence back
// to ASCII or JIS-Roman (or the end of the text) -- is opaque: the rewriter is given the text
// with each run replaced by one "〓" (U+3013, in UTF-8), and each comes back as it was. A text
// is ISO-2022-JP when it has no byte above 0x7F and such an escape sequence.

#include "base/Exceptions.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// A UTF-16 or UTF-32 text that does not decode, or a rewritten text that cannot be put back
// into the file's encoding.
class ETextEncodingError : public Exception {
public:
    using Exception::Exception;
};

enum class TTextForm { Bytes, UTF16LE, UTF16BE, UTF32LE, UTF32BE, ISO2022JP };

struct TTextLayout {
    TTextForm Form = TTextForm::Bytes;
    std::size_t BomSize = 0;  // bytes of the byte order mark the text begins with
};

// The form of a file's bytes; Bytes for every text the rewriter reads as it is.
TTextLayout DetectTextLayout(std::string_view Text);

// Text rewritten by Rewrite in the form the rewriter reads, and given back in its own. Raises
// ETextEncodingError when Text does not decode in Layout's form or what Rewrite gives back
// cannot be encoded in it.
std::string RewriteInLayout(std::string_view Text, const TTextLayout& Layout,
                            const std::function<std::string(std::string_view)>& Rewrite);

// The UTF-8 form of a UTF-16 or UTF-32 text without its byte order mark, and back
// (ETextEncodingError when it does not decode or encode).
std::string DecodeToUTF8(std::string_view Text, TTextForm Form);
std::string EncodeFromUTF8(std::string_view Text, TTextForm Form);
