#include "text/NamedColours.h"

#include "colour/HexColour.h"

#include <algorithm>

namespace {

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IsAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Hash of a name without regard to ASCII case (FNV-1a over the lower-case bytes).
std::uint32_t NameHash(std::string_view s) noexcept
{
    std::uint32_t h = 2166136261u;
    for (char c : s)
        h = (h ^ static_cast<unsigned char>(Lower(c))) * 16777619u;
    return h;
}

// A power of two at least four times the number of names.
std::size_t NameSlotCount(std::size_t Lines)
{
    std::size_t n = 16;
    while (n < Lines * 2)
        n *= 2;
    return n;
}

}  // namespace

TNamedColours::TNamedColours(std::string_view List)
{
    std::size_t i = 0;
    while (i < List.size()) {
        std::size_t end = List.find_first_of("\r\n", i);
        if (end == std::string_view::npos)
            end = List.size();
        FLines.emplace_back(List.substr(i, end - i));
        i = end;
        if (i < List.size() && List[i] == '\r')
            ++i;
        if (i < List.size() && List[i] == '\n')
            ++i;
    }
    FKeys.resize(FLines.size());
    FSlots.assign(NameSlotCount(FLines.size()), 0);
    const std::size_t mask = FSlots.size() - 1;
    for (std::size_t k = 0; k + 1 < FLines.size(); k += 2) {
        const std::string& name = FLines[k];
        const std::string& value = FLines[k + 1];
        FLongestName = std::max(FLongestName, name.size());
        std::uint32_t rgb;
        FPlain = FPlain && !name.empty() && std::all_of(name.begin(), name.end(), IsAsciiLetter) &&
                 value.size() == 7 && value[0] == '#' && ParseHexDigits(std::string_view(value).substr(1), rgb);
        if (Find(name))
            continue;  // the first equal name wins
        std::string key = name;
        std::transform(key.begin(), key.end(), key.begin(), Lower);
        FKeys[k] = std::move(key);
        std::size_t slot = NameHash(name) & mask;
        while (FSlots[slot] != 0)
            slot = (slot + 1) & mask;
        FSlots[slot] = static_cast<std::uint16_t>(k + 1);
    }
}

const std::string* TNamedColours::Find(std::string_view Name) const noexcept
{
    if (Name.empty() || Name.size() > FLongestName || FSlots.empty())
        return nullptr;
    const std::size_t mask = FSlots.size() - 1;
    for (std::size_t slot = NameHash(Name) & mask; FSlots[slot] != 0; slot = (slot + 1) & mask) {
        const std::size_t k = FSlots[slot] - 1u;
        const std::string& key = FKeys[k];
        if (key.size() == Name.size() &&
            std::equal(key.begin(), key.end(), Name.begin(), [](char a, char b) { return a == Lower(b); }))
            return &FLines[k + 1];
    }
    return nullptr;
}
