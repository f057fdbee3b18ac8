#include "text/NamedColours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines()
{
    std::vector<std::string> lines;
    const std::string_view text = ColorListResource();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        lines.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 2;
    }
    return lines;
}

// Name lookup read straight from the list: the whole text, any case, first entry wins.
std::string Lookup(const std::string& Text)
{
    const std::vector<std::string> lines = Lines();
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
        const std::string& name = lines[i];
        if (name.size() == Text.size() &&
            std::equal(name.begin(), name.end(), Text.begin(), [](char a, char b) {
                return a == ((b >= 'A' && b <= 'Z') ? b - 'A' + 'a' : b);
            }))
            return lines[i + 1];
    }
    return Text;
}

TEST(ColorList, ExactShape)
{
    const std::string_view text = ColorListResource();
    EXPECT_EQ(text.size(), 2948u);
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(text.find('\0'), std::string_view::npos);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 296u);
    // Every line break is CR LF: no stray CR or LF inside a line.
    for (const auto& line : lines)
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;

    std::set<std::string> names;
    std::map<std::string, int> values;
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        const std::string& name = lines[i];
        const std::string& value = lines[i + 1];
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(std::all_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
            << name;
        ASSERT_EQ(value.size(), 7u) << name;
        EXPECT_EQ(value[0], '#');
        EXPECT_TRUE(std::all_of(value.begin() + 1, value.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        })) << name;
        EXPECT_TRUE(names.insert(name).second) << name;
        ++values[value];
    }
    // The 140 names the table always had (lightgrey among them, lightgray not), the six other
    // "grey" spellings, lightgray and rebeccapurple: the 148 names of CSS Color Level 4.
    EXPECT_EQ(names.size(), 148u);
    EXPECT_EQ(values.size(), 139u);
    EXPECT_EQ(values["#00FFFF"], 2);
    EXPECT_EQ(values["#FF00FF"], 2);
    for (const char* grey : {"#808080", "#A9A9A9", "#2F4F4F", "#696969", "#D3D3D3", "#778899", "#708090"})
        EXPECT_EQ(values[grey], 2) << grey;
    EXPECT_EQ(values["#663399"], 1);
    EXPECT_EQ(lines.front(), "aliceblue");
    EXPECT_EQ(lines[1], "#F0F8FF");
    EXPECT_EQ(lines[294], "orange");
    EXPECT_EQ(lines[295], "#FFA500");
}

TEST(ColorList, LongerNamesComeFirst)
{
    // A name that occurs inside a longer name stands after it, so a search through the list
    // for the first name inside a word never stops at the shorter one.
    const std::vector<std::string> lines = Lines();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < lines.size(); i += 2)
        names.push_back(lines[i]);
    for (std::size_t a = 0; a < names.size(); ++a)
        for (std::size_t b = 0; b < a; ++b)
            EXPECT_EQ(names[a].find(names[b]), std::string::npos)
                << names[b] << " stands before " << names[a];
    const auto at = [&](const char* name) {
        return std::find(names.begin(), names.end(), name) - names.begin();
    };
    EXPECT_EQ(at("lightgoldenrodyellow"), at("darkred") + 1);
    EXPECT_EQ(at("palegoldenrod"), at("floralwhite") + 1);
    EXPECT_EQ(at("gold"), at("goldenrod") + 1);
    EXPECT_EQ(names.size() - static_cast<std::size_t>(at("aquamarine")), 11u);
    // Each "grey" spelling stands next to its "gray" one; rebeccapurple before purple.
    EXPECT_EQ(at("grey"), at("gray") + 1);
    EXPECT_EQ(at("darkgrey"), at("darkgray") + 1);
    EXPECT_EQ(at("dimgrey"), at("dimgray") + 1);
    EXPECT_EQ(at("slategrey"), at("slategray") + 1);
    EXPECT_EQ(at("lightgray"), at("lightgrey") - 1);
    EXPECT_LT(at("rebeccapurple"), at("purple"));
}

TEST(ColorList, Lookups)
{
    EXPECT_EQ(Lookup("Red"), "#FF0000");
    EXPECT_EQ(Lookup("RED"), "#FF0000");
    EXPECT_EQ(Lookup("red"), "#FF0000");
    EXPECT_EQ(Lookup("LightGoldenRodYellow"), "#FAFAD2");
    EXPECT_EQ(Lookup("darkseagreen"), "#8FBC8B");
    EXPECT_EQ(Lookup("navy"), "#000080");
    EXPECT_EQ(Lookup("gray"), "#808080");
    EXPECT_EQ(Lookup("darkgray"), "#A9A9A9");
    EXPECT_EQ(Lookup("lightgrey"), "#D3D3D3");
    EXPECT_EQ(Lookup("grey"), "#808080");
    EXPECT_EQ(Lookup("DarkGrey"), "#A9A9A9");
    EXPECT_EQ(Lookup("lightgray"), "#D3D3D3");
    EXPECT_EQ(Lookup("darkslategrey"), "#2F4F4F");
    EXPECT_EQ(Lookup("dimgrey"), "#696969");
    EXPECT_EQ(Lookup("lightslategrey"), "#778899");
    EXPECT_EQ(Lookup("slategrey"), "#708090");
    EXPECT_EQ(Lookup("RebeccaPurple"), "#663399");
    EXPECT_EQ(Lookup("grey2"), "grey2");
    EXPECT_EQ(Lookup("red "), "red ");
    EXPECT_EQ(Lookup(""), "");
    EXPECT_EQ(Lookup("#FF0000"), "#FF0000");
}

TEST(ColorList, ValuesAgreeWithAnIndependentTable)
{
    // Python's imaging library carries the CSS colour keywords; every value but darkseagreen's
    // (#8FBC8B here, #8FBC8F there) must agree with it.
    FILE* pipe = popen("/usr/bin/python3 -c \"from PIL import ImageColor as c\n"
                       "for n, v in c.colormap.items(): print(n, v.upper())\" 2>/dev/null",
                       "r");
    if (!pipe)
        FAIL() << "cannot run /usr/bin/python3";
    std::map<std::string, std::string> reference;
    char name[64], value[64];
    while (std::fscanf(pipe, "%63s %63s", name, value) == 2)
        reference[name] = value;
    pclose(pipe);
    if (reference.size() < 148)
        FAIL() << "python3-pil (PIL.ImageColor) is not available";

    const std::vector<std::string> lines = Lines();
    int compared = 0;
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        const auto it = reference.find(lines[i]);
        ASSERT_NE(it, reference.end()) << lines[i];
        if (lines[i] == "darkseagreen") {
            EXPECT_EQ(it->second, "#8FBC8F");
            EXPECT_EQ(lines[i + 1], "#8FBC8B");
            continue;
        }
        EXPECT_EQ(lines[i + 1], it->second) << lines[i];
        ++compared;
    }
    EXPECT_EQ(compared, 147);
}

TEST(NamedColours, FindAgreesWithTheListInAnyCase)
{
    const TNamedColours colours;
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(colours.Lines(), lines);
    EXPECT_TRUE(colours.Plain());
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        std::string upper = lines[i], mixed = lines[i];
        for (std::size_t k = 0; k < upper.size(); ++k) {
            upper[k] = static_cast<char>(upper[k] - 'a' + 'A');
            if (k % 2 == 0)
                mixed[k] = upper[k];
        }
        for (const std::string& name : {lines[i], upper, mixed}) {
            const std::string* value = colours.Find(name);
            ASSERT_NE(value, nullptr) << name;
            EXPECT_EQ(*value, Lookup(name)) << name;
            EXPECT_EQ(*value, lines[i + 1]) << name;
        }
    }
    for (const char* other : {"", "greys", "lightergray", "red ", " red", "redd", "re", "#FF0000", "red\n",
                              "lightgoldenrodyellows", "r\xC3\xA9" "d", "aliceblue\r\n#F0F8FF"})
        EXPECT_EQ(colours.Find(other), nullptr) << other;
}

TEST(NamedColours, OtherLists)
{
    // Any line break; of equal names the first counts; a name without a value is no colour.
    const TNamedColours colours("Red\n#123456\r\nred\r#654321\nnavy\r\n#000080\nblue");
    ASSERT_EQ(colours.Lines().size(), 7u);
    ASSERT_NE(colours.Find("RED"), nullptr);
    EXPECT_EQ(*colours.Find("RED"), "#123456");
    ASSERT_NE(colours.Find("Navy"), nullptr);
    EXPECT_EQ(*colours.Find("Navy"), "#000080");
    EXPECT_EQ(colours.Find("blue"), nullptr);
    EXPECT_TRUE(colours.Plain());

    EXPECT_EQ(TNamedColours("").Find("red"), nullptr);
    EXPECT_TRUE(TNamedColours("red\n#abcdef").Plain());
    EXPECT_FALSE(TNamedColours("red\n#12345G").Plain());
    EXPECT_FALSE(TNamedColours("red\n123456").Plain());
    EXPECT_FALSE(TNamedColours("red\n#1234567").Plain());
    EXPECT_FALSE(TNamedColours("red-x\n#123456").Plain());
    EXPECT_FALSE(TNamedColours("navy\n#000080\nred2\n#FF0000").Plain());
}

}  // namespace
