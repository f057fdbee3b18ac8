#pragma once
// The bytes and bit fields of the GIF file format (GIF87a and GIF89a): the bytes that start
// each kind of block, the labels of the extensions, the fixed block sizes, and the masks of
// the packed flag bytes. A multi-bit field is read as (Flags & Mask) >> Shift.

#include <cstdint>

namespace GifFormat {

// ---------------------------------------------------------------------------------------------
// Signature

inline constexpr const char* Signature87a = "GIF87a";  // version without extensions
inline constexpr const char* Signature89a = "GIF89a";  // version with extensions
inline constexpr int SignatureSize = 6;                // "GIF" and three version bytes

// ---------------------------------------------------------------------------------------------
// Block introducers: the first byte of every block after the logical screen

inline constexpr std::uint8_t ExtensionIntroducer = 0x21;  // '!': an extension block
inline constexpr std::uint8_t ImageSeparator = 0x2C;       // ',': an image descriptor
inline constexpr std::uint8_t Trailer = 0x3B;              // ';': the end of the file
inline constexpr std::uint8_t BlockTerminator = 0x00;      // a zero-length sub-block: end of data

// The longest data sub-block (its count byte is one byte).
inline constexpr int MaxSubBlockSize = 255;

// ---------------------------------------------------------------------------------------------
// Extension labels: the byte after the extension introducer

inline constexpr std::uint8_t PlainTextLabel = 0x01;       // plain text
inline constexpr std::uint8_t GraphicControlLabel = 0xF9;  // graphic control
inline constexpr std::uint8_t CommentLabel = 0xFE;         // comment
inline constexpr std::uint8_t ApplicationLabel = 0xFF;     // application

// ---------------------------------------------------------------------------------------------
// Colour tables: red, green and blue bytes per entry; 2, 4, 8, ... 256 entries.

inline constexpr int ColorTableEntrySize = 3;     // bytes per entry
inline constexpr int MaxColorTableEntries = 256;  // entries of the largest table

// ---------------------------------------------------------------------------------------------
// Logical screen descriptor: width, height (16 bits each), packed flags, background colour
// index, pixel aspect ratio; the global colour table follows when its flag is set.

inline constexpr int ScreenDescriptorSize = 7;                  // bytes after the signature
inline constexpr std::uint8_t GlobalColorTableFlag = 0x80;      // global colour table present
inline constexpr std::uint8_t ColorResolutionMask = 0x70;       // colour resolution - 1
inline constexpr int ColorResolutionShift = 4;                  // colour resolution position
inline constexpr std::uint8_t GlobalSortFlag = 0x08;            // global table sorted by use
inline constexpr std::uint8_t GlobalColorTableSizeMask = 0x07;  // table has 2 << n entries

// ---------------------------------------------------------------------------------------------
// Image descriptor: the separator, left, top, width, height (16 bits each), packed flags; the
// local colour table follows when its flag is set, then the image data.

inline constexpr int ImageDescriptorSize = 10;                 // bytes, separator included
inline constexpr std::uint8_t LocalColorTableFlag = 0x80;      // local colour table present
inline constexpr std::uint8_t InterlaceFlag = 0x40;            // rows stored in four passes
inline constexpr std::uint8_t LocalSortFlag = 0x20;            // local table sorted by use
inline constexpr std::uint8_t LocalColorTableSizeMask = 0x07;  // table has 2 << n entries

// ---------------------------------------------------------------------------------------------
// Graphic control extension: block size, packed flags, delay (16 bits), transparent colour
// index, block terminator.

inline constexpr std::uint8_t GraphicControlBlockSize = 4;  // bytes of flags, delay and index
inline constexpr std::uint8_t DisposalMask = 0x1C;          // disposal method
inline constexpr int DisposalShift = 2;                     // disposal method position
inline constexpr std::uint8_t UserInputFlag = 0x02;         // wait for user input
inline constexpr std::uint8_t TransparentColorFlag = 0x01;  // transparent index is valid

// ---------------------------------------------------------------------------------------------
// Plain text extension: block size, then the text grid (left, top, width, height, cell width
// and height, foreground and background indices); the text follows in sub-blocks.

inline constexpr std::uint8_t PlainTextBlockSize = 12;  // bytes of the text grid

// ---------------------------------------------------------------------------------------------
// Application extension: block size, 8 bytes of application name and 3 of authentication
// code; the application's data follows in sub-blocks.

inline constexpr std::uint8_t ApplicationBlockSize = 11;  // bytes of name and code
// Some writers give a 10-byte identifier block; it is read, and its missing byte comes from
// the data.
inline constexpr std::uint8_t ShortApplicationBlockSize = 10;

// NETSCAPE2.0 (and ANIMEXTS1.0) data sub-blocks: the low bits of the first byte tell which.
inline constexpr std::uint8_t NetscapeSubBlockIdMask = 0x07;  // sub-block id
inline constexpr std::uint8_t NetscapeLoopId = 1;              // loop count (16 bits)
inline constexpr std::uint8_t NetscapeLoopBlockSize = 3;       // id and loop count
inline constexpr std::uint8_t NetscapeBufferId = 2;            // buffer size (32 bits)
inline constexpr std::uint8_t NetscapeBufferBlockSize = 5;     // id and buffer size

// ---------------------------------------------------------------------------------------------
// Packed fields

// The value of the field Mask, whose lowest bit is at Shift.
constexpr int FieldValue(std::uint8_t Flags, std::uint8_t Mask, int Shift = 0)
{
    return (Flags & Mask) >> Shift;
}

// Value placed in the field Mask, whose lowest bit is at Shift; bits beyond the field are
// dropped (-1 fills the field).
constexpr std::uint8_t PackField(int Value, std::uint8_t Mask, int Shift = 0)
{
    return static_cast<std::uint8_t>((static_cast<unsigned>(Value) << Shift) & Mask);
}

} // namespace GifFormat
