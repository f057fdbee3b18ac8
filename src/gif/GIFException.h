#pragma once
// The GIF codec's error kind and its messages: an invalid graphic, with the codec's own
// English message. The same texts serve the warnings a load or save may give.

#include "base/Exceptions.h"

class GIFException : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

namespace GifMessage {
// Reading the blocks
inline constexpr const char* PrematureEnd = "Premature end of data";
inline constexpr const char* BadSignature = "Invalid GIF signature";
inline constexpr const char* BadIntroducer = "Invalid extension introducer";
inline constexpr const char* UnknownExtension = "Unknown extension type";
inline constexpr const char* ExtensionMismatch = "Internal error: Extension Instance does not match Extension Label";
inline constexpr const char* AppBlockSize = "Unsupported Application Extension block size";
inline constexpr const char* InvalidData = "Invalid GIF data";
inline constexpr const char* CircularTable = "Circular decoder table entry";
// Sizes and pixels
inline constexpr const char* TooLarge = "Image too large";
inline constexpr const char* WidthTooSmall = "Image width too small for contained frames";
inline constexpr const char* HeightTooSmall = "Image height too small for contained frames";
inline constexpr const char* ImageEmpty = "Image is empty";
inline constexpr const char* PixelPosition = "Invalid pixel position";
// Colour maps
inline constexpr const char* TableOverflow = "Color table overflow";
inline constexpr const char* TableEmpty = "Color table is empty";
inline constexpr const char* ColorIndex = "Invalid color index";
inline constexpr const char* NoColorTable = "No global or local color table defined";
inline constexpr const char* ColorNotInTable = "Color not in color table";
// Colour reduction
inline constexpr const char* ReductionMethod = "Unsupported color reduction method";
inline constexpr const char* ReductionDepth = "Invalid reduction depth";
inline constexpr const char* ColorCount = "Invalid color count";
inline constexpr const char* DitherMethod = "Unsupported dither method";
inline constexpr const char* NoCustomPalette = "No custom palette";
// Writing and other use
inline constexpr const char* CompressionMethod = "Unsupported compression method";
inline constexpr const char* Version = "Unsupported GIF version";
inline constexpr const char* StreamOperation = "Invalid stream operation";
inline constexpr const char* ObjectType = "Object type not supported for operation";
// Warnings only
inline constexpr const char* ExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* BadTrailer = "Invalid Image trailer";
inline constexpr const char* UnknownBlock = "Unknown GIF block type";
inline constexpr const char* BitBufferUnderrun = "Decoder bit buffer under-run";
}  // namespace GifMessage
