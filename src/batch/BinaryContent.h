#pragma once
// Whether the bytes of a file to be converted as text are no text at all: a picture, an
// archive, a document or a program that happens to be named .html or .css, or was listed
// by hand. Such a file is refused (ENotText) and left alone.
//
// The rule: a file is binary when it begins with the magic number of a common binary format
// (JPEG, PNG, GIF, WebP and other RIFF files, BMP, TIFF, ICO, PDF, ZIP, gzip, bzip2, xz, 7z,
// Zstandard, RAR, ELF, Windows and Mach-O programs, Java classes, WebAssembly, SQLite, fonts,
// audio and video containers), or when at least 8 of the first 8 KB are control bytes
// (0x00-0x08, 0x0E-0x1A, 0x1C-0x1F: all but the white space and ESC, which ISO-2022-JP uses)
// and they make more than 1 in 16 of them. A page with a few stray NUL bytes stays text;
// compressed or machine data has about one control byte in ten. UTF-16 and UTF-32 texts,
// whose halves of characters are NUL bytes, are recognised before this is asked
// (text/TextTranscoding.h).

#include "base/Exceptions.h"

#include <string_view>

class ENotText : public Exception {
public:
    using Exception::Exception;
};

// Begins with the magic number of a binary format.
bool HasBinaryMagic(std::string_view Bytes) noexcept;
// Has the share of control bytes told above.
bool HasBinaryControlBytes(std::string_view Bytes) noexcept;
