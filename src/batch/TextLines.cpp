#include "batch/TextLines.h"

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
    std::string out;
    out.reserve(Text.size() + Text.size() / 32 + 2);
    const std::size_t n = Text.size();
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < n) {
        const char c = Text[i];
        if (c == '\r' || c == '\n') {
            out.append(Text.substr(start, i - start));
            out += "\r\n";
            if (c == '\r' && i + 1 < n && Text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < n) {
        out.append(Text.substr(start));
        out += "\r\n";
    }
    return out;
}
