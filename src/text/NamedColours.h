#pragma once
// The named colour table and the lookup of a name in it. The table is the resource "colorlist"
// compiled into the program: 296 lines separated by CR LF (none after the last), alternating a
// lower-case colour name and its value "#RRGGBB", 148 entries (the names of CSS Color Level 4);
// a name inside a longer name stands after it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The exact bytes of the resource (2,948 bytes of ASCII text).
std::string_view ColorListResource();

class TNamedColours {
public:
    // The table List holds (the resource unless another is given): one item to a line, lines
    // ending at CR, LF or CR LF.
    explicit TNamedColours(std::string_view List = ColorListResource());

    // The "#RRGGBB" value of a colour name when Name is the whole of it, in any ASCII case;
    // nullptr for anything else. Of two equal names the first counts.
    const std::string* Find(std::string_view Name) const noexcept;

    // Names at even indexes, their values at odd indexes.
    const std::vector<std::string>& Lines() const noexcept { return FLines; }

    // Every name is a word of letters and every value "#" with six hexadecimal digits, so a
    // word is a colour only when Find finds it, and its value is a plain hexadecimal colour.
    bool Plain() const noexcept { return FPlain; }

private:
    std::vector<std::string> FLines;
    // Open addressing over the names without regard to case: index + 1 into FLines, 0 free.
    std::vector<std::uint16_t> FSlots;
    std::vector<std::string> FKeys;  // lower-case names, at the index of their name
    std::size_t FLongestName = 0;
    bool FPlain = true;
};
