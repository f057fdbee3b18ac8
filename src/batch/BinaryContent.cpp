#include "batch/BinaryContent.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

using namespace std::string_view_literals;

constexpr std::size_t SampleBytes = 8192;

struct TMagic {
    std::size_t Offset;
    std::string_view Bytes;
};

constexpr TMagic Magics[] = {
    {0, "\xFF\xD8\xFF"sv},                    // JPEG
    {0, "\x89PNG\r\n\x1A\n"sv},               // PNG
    {0, "GIF87a"sv}, {0, "GIF89a"sv},         // GIF
    {0, "II*\0"sv}, {0, "MM\0*"sv},           // TIFF
    {0, "\0\0\1\0"sv}, {0, "\0\0\2\0"sv},     // ICO, CUR
    {0, "%PDF-"sv},                           // PDF
    {0, "PK\3\4"sv}, {0, "PK\5\6"sv}, {0, "PK\7\x08"sv},  // ZIP (and Office, EPUB, JAR)
    {0, "\x1F\x8B"sv},                        // gzip
    {0, "BZh"sv},                             // bzip2 (with its block magic, see below)
    {0, "\xFD" "7zXZ\0"sv},                   // xz
    {0, "7z\xBC\xAF\x27\x1C"sv},              // 7z
    {0, "\x28\xB5\x2F\xFD"sv},                // Zstandard
    {0, "Rar!\x1A\x07"sv},                    // RAR
    {0, "\x7F" "ELF"sv},                      // ELF
    {0, "\xCE\xFA\xED\xFE"sv}, {0, "\xCF\xFA\xED\xFE"sv}, {0, "\xFE\xED\xFA\xCE"sv},
    {0, "\xFE\xED\xFA\xCF"sv},                // Mach-O
    {0, "\xCA\xFE\xBA\xBE"sv},                // Java class, universal Mach-O
    {0, "\0asm"sv},                           // WebAssembly
    {0, "SQLite format 3\0"sv},
    {0, "wOFF"sv}, {0, "wOF2"sv}, {0, "OTTO"sv}, {0, "\0\1\0\0\0"sv},  // fonts
    {0, "OggS"sv}, {0, "ID3"sv}, {0, "\x1A\x45\xDF\xA3"sv},  // audio, Matroska/WebM
    {0, "RIFF"sv},                            // WebP, WAVE, AVI
    {0, "FWS"sv}, {0, "CWS"sv}, {0, "ZWS"sv},  // Flash
    {0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv},  // old Office documents
    {4, "ftyp"sv},                            // MP4, MOV, HEIF, AVIF
};

bool At(std::string_view Bytes, std::size_t Offset, std::string_view Magic) noexcept
{
    return Bytes.size() >= Offset + Magic.size() && Bytes.substr(Offset, Magic.size()) == Magic;
}

bool IsAlphanumeric(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsControl(unsigned char Byte) noexcept
{
    return Byte <= 0x08 || (Byte >= 0x0E && Byte <= 0x1A) || (Byte >= 0x1C && Byte <= 0x1F);
}

}  // namespace

bool HasBinaryMagic(std::string_view Bytes) noexcept
{
    for (const TMagic& m : Magics) {
        if (!At(Bytes, m.Offset, m.Bytes))
            continue;
        // "BZh", "ID3", "OggS" and the like could begin a line of text; the bytes after them
        // tell: a bzip2 block size digit and block magic, or a binary field.
        if (m.Bytes == "BZh"sv)
            return Bytes.size() >= 10 && Bytes[3] >= '1' && Bytes[3] <= '9' && At(Bytes, 4, "1AY&SY"sv);
        if (m.Bytes == "RIFF"sv)
            return Bytes.size() >= 12 && static_cast<unsigned char>(Bytes[7]) < 0x20;
        if (m.Offset == 0 && m.Bytes.size() <= 4 && std::all_of(m.Bytes.begin(), m.Bytes.end(), IsAlphanumeric) &&
            !m.Bytes.starts_with("wOF"))
            return Bytes.size() > m.Bytes.size() && static_cast<unsigned char>(Bytes[m.Bytes.size()]) < 0x20;
        return true;
    }
    // BMP: "BM", the file size, and two reserved words of zero.
    if (At(Bytes, 0, "BM"sv) && At(Bytes, 6, "\0\0\0\0"sv))
        return true;
    // Windows programs and libraries: "MZ" and the offset of the PE header.
    if (At(Bytes, 0, "MZ"sv) && Bytes.size() >= 64)
        return Bytes.find('\0') < 64;
    return false;
}

bool HasBinaryControlBytes(std::string_view Bytes) noexcept
{
    const std::string_view sample = Bytes.substr(0, SampleBytes);
    // Text has a byte below 0x20 (a line break, a tab) only every few dozen bytes: the words of
    // eight bytes without any are passed over at once, the others looked at byte by byte.
    std::size_t control = 0;
    std::size_t i = 0;
    for (; i + 8 <= sample.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, sample.data() + i, 8);
        constexpr std::uint64_t Ones = 0x0101010101010101ULL, Highs = 0x8080808080808080ULL;
        if (((word - 0x20 * Ones) & ~word & Highs) == 0)
            continue;
        for (std::size_t k = i; k < i + 8; ++k)
            control += IsControl(static_cast<unsigned char>(sample[k]));
    }
    for (; i < sample.size(); ++i)
        control += IsControl(static_cast<unsigned char>(sample[i]));
    return control >= 8 && control * 16 > sample.size();
}
