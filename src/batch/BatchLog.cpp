#include "batch/BatchLog.h"

#include "batch/BatchErrors.h"
#include "batch/BinaryContent.h"
#include "batch/FileSearch.h"
#include "batch/GzipMember.h"
#include "text/SvgScanner.h"
#include "text/TextTranscoding.h"

#include <cerrno>
#include <cstdint>

namespace {

struct TRange {
    char32_t First;
    char32_t Last;
};

// Code points that take two columns (two bytes in Shift-JIS, or wide in East Asian text).
constexpr TRange WideRanges[] = {
    {0x00A7, 0x00A8}, {0x00B0, 0x00B1}, {0x00B4, 0x00B4}, {0x00B6, 0x00B6},
    {0x00D7, 0x00D7}, {0x00F7, 0x00F7},                    // JIS symbols in Latin-1
    {0x0391, 0x03C9},                                      // Greek
    {0x0401, 0x0401}, {0x0410, 0x044F}, {0x0451, 0x0451},  // Cyrillic
    {0x1100, 0x115F},                                      // hangul jamo
    {0x2010, 0x2312},  // punctuation, letterlike, number forms, arrows, mathematics
    {0x2460, 0x24FF},  // enclosed numbers
    {0x2500, 0x266F},  // box drawing, shapes, symbols
    {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xA960, 0xA97F}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
    {0xFE10, 0xFE19}, {0xFE30, 0xFE6F},
    {0xFF01, 0xFF60},  // full-width forms (half-width katakana follow at FF61 and take one)
    {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

bool IsWide(char32_t c)
{
    for (const TRange& r : WideRanges) {
        if (c < r.First) return false;
        if (c <= r.Last) return true;
    }
    return false;
}

// Decodes one UTF-8 character at Text[i]; returns its length, or 0 when the bytes there are
// not a valid (shortest-form) encoding.
std::size_t DecodeUtf8(std::string_view Text, std::size_t i, char32_t& Out)
{
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(Text[k]); };
    const std::uint8_t b0 = byte(i);
    std::size_t len;
    char32_t c;
    if (b0 < 0x80) {
        Out = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        c = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > Text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < Smallest[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    Out = c;
    return len;
}

}  // namespace

int DisplayWidth(std::string_view Text)
{
    int width = 0;
    std::size_t i = 0;
    while (i < Text.size()) {
        char32_t c = 0;
        const std::size_t len = DecodeUtf8(Text, i, c);
        if (len == 0) {
            ++width;
            ++i;
            continue;
        }
        width += IsWide(c) ? 2 : 1;
        i += len;
    }
    return width;
}

std::string EscapeForLog(std::string_view Text)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Text.size());
    std::size_t i = 0;
    while (i < Text.size()) {
        char32_t c = 0;
        const std::size_t len = DecodeUtf8(Text, i, c);
        if (len == 0 || c < 0x20 || c == 0x7F) {
            const auto byte = static_cast<std::uint8_t>(Text[i]);
            if (byte == '\n')
                out += "\\n";
            else if (byte == '\r')
                out += "\\r";
            else if (byte == '\t')
                out += "\\t";
            else {
                out += "\\x";
                out += Hex[byte >> 4];
                out += Hex[byte & 0x0F];
            }
            ++i;
            continue;
        }
        if (c == '\\')
            out += "\\\\";
        else
            out.append(Text, i, len);
        i += len;
    }
    return out;
}

std::string LinePrefix(const std::string& Path)
{
    std::string prefix = EscapeForLog(ExtractFileName(Path));
    const int width = DisplayWidth(prefix);
    if (width < BatchLog::NameColumns) prefix.append(BatchLog::NameColumns - width, ' ');
    prefix += BatchLog::NameSeparator;
    prefix += EscapeForLog(Path);
    return prefix;
}

std::string_view ErrnoReason(int Errno)
{
    switch (Errno) {
    case EACCES:
    case EPERM:
        return BatchLog::ReasonNoAccess;
    case ENOENT:
        return BatchLog::ReasonNoFile;
    case EROFS:
        return BatchLog::ReasonReadOnly;
    case ENOSPC:
    case EDQUOT:
        return BatchLog::ReasonNoSpace;
    case EFBIG:
        return BatchLog::ReasonFileTooLarge;
    case ENAMETOOLONG:
        return BatchLog::ReasonNameTooLong;
    case EMFILE:
    case ENFILE:
        return BatchLog::ReasonTooManyOpen;
    default:
        return {};
    }
}

std::string_view SkipReason(const TSkippedEntry& Entry)
{
    switch (Entry.Kind) {
    case TSkipKind::DanglingLink:
        return BatchLog::ReasonDanglingLink;
    case TSkipKind::OutsideFolder:
        return BatchLog::ReasonOutsideFolder;
    case TSkipKind::Unreadable:
        break;
    }
    const std::string_view known = ErrnoReason(Entry.Errno);
    return known.empty() ? BatchLog::ReasonUnreadable : known;
}

std::string_view FailureReason(const std::exception_ptr& Error)
{
    try {
        std::rethrow_exception(Error);
    } catch (const EBackupError&) {
        return BatchLog::ReasonBackup;
    } catch (const EFileLocked&) {
        return BatchLog::ReasonLocked;
    } catch (const EFileChanged&) {
        return BatchLog::ReasonChanged;
    } catch (const ENeedsBackup&) {
        return BatchLog::ReasonNeedsBackup;
    } catch (const Exception& e) {
        const std::string_view known = ErrnoReason(e.Errno());
        if (!known.empty()) return known;
    } catch (...) {
    }
    try {
        std::rethrow_exception(Error);
    } catch (const EConvertError&) {
        return BatchLog::ReasonHtml;
    } catch (const ESvgSyntax&) {
        return BatchLog::ReasonSvg;
    } catch (const EGzipError&) {
        return BatchLog::ReasonGzip;
    } catch (const EInOutError&) {
        return BatchLog::ReasonInOut;
    } catch (const EAnimationInvalid&) {
        return BatchLog::ReasonAnimationInvalid;
    } catch (const EJpegCmykRefused&) {
        return BatchLog::ReasonCmykJpeg;
    } catch (const EJpegPrecisionRefused&) {
        return BatchLog::ReasonJpegPrecision;
    } catch (const EPictureTooLarge&) {
        return BatchLog::ReasonTooLarge;
    } catch (const EInvalidGraphic&) {
        return BatchLog::ReasonBadImage;
    } catch (const ENotText&) {
        return BatchLog::ReasonNotText;
    } catch (const ETextEncodingError&) {
        return BatchLog::ReasonEncoding;
    } catch (...) {
        return BatchLog::ReasonUnknown;
    }
}

std::string SuccessLine(const std::string& Path)
{
    return std::string(BatchLog::SuccessHead) + LinePrefix(Path);
}

std::string FailureLine(const std::string& Path, const std::exception_ptr& Error)
{
    return std::string(BatchLog::FailureHead) + LinePrefix(Path) + std::string(FailureReason(Error));
}

std::string SummaryLine(int Successes, int Total)
{
    return std::to_string(Successes) + "/" + std::to_string(Total) + std::string(BatchLog::SummaryTail);
}
