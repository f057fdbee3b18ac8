#pragma once
// A text as a list of lines, the way text files are loaded and saved: a line ends at a
// carriage return, a line feed or the pair of them, and every line is written back followed
// by carriage return and line feed. Bytes pass through unchanged (no character-set
// conversion); a NUL byte is kept like any other.

#include <string>
#include <string_view>
#include <vector>

class TTextLines {
public:
    // Replaces the lines by those of Text. A text that ends with a line break has no empty
    // line after it; an empty text has no lines.
    void SetText(std::string_view Text);
    // All lines, each followed by carriage return and line feed.
    std::string Text() const;

    void Clear() { FLines.clear(); }
    std::size_t Count() const { return FLines.size(); }
    const std::string& operator[](std::size_t Index) const { return FLines[Index]; }

    // Text with every line break made a carriage return and line feed, and one after the last
    // line: what SetText followed by Text gives, without building the list.
    static std::string Normalize(std::string_view Text);

private:
    std::vector<std::string> FLines;
};
