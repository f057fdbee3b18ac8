#include "batch/TextLines.h"

#include <cstring>

void TTextLines::SetText(std::string_view Text)
{
    FLines.clear();
    std::size_t start = 0;
    const std::size_t n = Text.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = Text[i];
        if (c == '\r' || c == '\n') {
            FLines.emplace_back(Text.substr(start, i - start));
            if (c == '\r' && i + 1 < n && Text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < n) FLines.emplace_back(Text.substr(start));
}

std::string TTextLines::Text() const
{
    std::size_t size = 0;
    for (const std::string& line : FLines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : FLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string TTextLines::Normalize(std::string_view Text)
{
    // Whole runs of bytes between line breaks are found by memchr and copied at once. The
    // next line feed is looked up only when the text has gone past the last one found, so a
    // text of bare carriage returns is still read once.
    std::string out;
    out.reserve(Text.size() + Text.size() / 32 + 2);
    const char* const p = Text.data();
    const std::size_t n = Text.size();
    std::size_t lineFeed = 0;
    bool lineFeedKnown = false;
    std::size_t start = 0;
    while (start < n) {
        if (!lineFeedKnown || lineFeed < start) {
            const void* lf = std::memchr(p + start, '\n', n - start);
            lineFeed = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - p) : n;
            lineFeedKnown = true;
        }
        const void* cr = std::memchr(p + start, '\r', lineFeed - start);
        const std::size_t end = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - p) : lineFeed;
        out.append(p + start, end - start);
        out += "\r\n";
        if (end == n) break;
        start = end + 1;
        if (p[end] == '\r' && start < n && p[start] == '\n') ++start;
    }
    return out;
}
