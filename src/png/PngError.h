#pragma once
// The PNG codec's error kind and its messages.

#include "base/Exceptions.h"

class PngError : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

namespace PngMessage {
inline constexpr const char* NotPng = "PNG LoadStream: Not PNG Format";
inline constexpr const char* TwoIhdr = "Read Header(PNG): appear two IHDR";
inline constexpr const char* ColorType = "Read Header(PNG): Error ColorType";
inline constexpr const char* Compression = "Read Header(PNG): not support Compression";
inline constexpr const char* Filter = "Read Header(PNG): not supprt Filter";
inline constexpr const char* Interlace = "Read Header(PNG): not interlace type";
inline constexpr const char* GreyBitdepth = "Read Header(PNG): Error Bitdepth";
inline constexpr const char* GreyAlphaDepth = "Read Header(PNG): not Use AlphaChannel";
inline constexpr const char* ColourBitDepth = "Read Header(PNG): Error BitDepth";
inline constexpr const char* TooLarge = "Read Header(PNG): Image too large";
inline constexpr const char* Zlib = "PNG LoadStream: Error ZLIB";
inline constexpr const char* ReadError = "Read Image (PNG): Read Error";
inline constexpr const char* IdatSize = "Write PNG Param: Err IDAT Size(min:256  max:100000)";
inline constexpr const char* WriteError = "Write Image (PNG): Write Error";
}  // namespace PngMessage
