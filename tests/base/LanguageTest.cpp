// The language of the texts (base/Language.h): chosen from the locale as POSIX orders it, and
// every text of the core with an English twin.

#include "base/Language.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

TEST(Language, LocaleNamesGiveTheirLanguage)
{
    struct TCase {
        const char* Locale;
        TLanguage Language;
    };
    const TCase cases[] = {
        {"", TLanguage::Japanese},           {"C", TLanguage::Japanese},
        {"C.UTF-8", TLanguage::Japanese},    {"C.utf8", TLanguage::Japanese},
        {"POSIX", TLanguage::Japanese},      {"ja", TLanguage::Japanese},
        {"ja_JP", TLanguage::Japanese},      {"ja_JP.UTF-8", TLanguage::Japanese},
        {"ja_JP.eucJP", TLanguage::Japanese}, {"ja_JP@euro", TLanguage::Japanese},
        {"en_US.UTF-8", TLanguage::English}, {"en", TLanguage::English},
        {"en_GB", TLanguage::English},       {"de_DE.UTF-8", TLanguage::English},
        {"fr_FR@euro", TLanguage::English},  {"zh_CN.UTF-8", TLanguage::English},
        {"jam", TLanguage::English},         {"Japanese", TLanguage::English},
    };
    for (const TCase& c : cases) EXPECT_EQ(LanguageOfLocale(c.Locale), c.Language) << c.Locale;
}

TEST(Language, TheFirstVariableSetCountsInPosixOrder)
{
    const auto ja = TLanguage::Japanese;
    const auto en = TLanguage::English;
    EXPECT_EQ(LanguageOfEnvironment(nullptr, nullptr, nullptr), ja);
    EXPECT_EQ(LanguageOfEnvironment("", "", ""), ja);
    EXPECT_EQ(LanguageOfEnvironment(nullptr, nullptr, "en_US.UTF-8"), en);
    EXPECT_EQ(LanguageOfEnvironment(nullptr, nullptr, "ja_JP.UTF-8"), ja);
    EXPECT_EQ(LanguageOfEnvironment(nullptr, nullptr, "C"), ja);
    // LC_ALL overrides LANG and LC_MESSAGES, either way.
    EXPECT_EQ(LanguageOfEnvironment("en_US.UTF-8", nullptr, "ja_JP.UTF-8"), en);
    EXPECT_EQ(LanguageOfEnvironment("C", "en_US.UTF-8", "en_US.UTF-8"), ja);
    EXPECT_EQ(LanguageOfEnvironment("ja_JP.UTF-8", "en_GB", "de_DE"), ja);
    // LC_MESSAGES overrides LANG.
    EXPECT_EQ(LanguageOfEnvironment(nullptr, "en_GB.UTF-8", "ja_JP.UTF-8"), en);
    EXPECT_EQ(LanguageOfEnvironment("", "POSIX", "en_GB.UTF-8"), ja);
    // An empty variable counts as not set.
    EXPECT_EQ(LanguageOfEnvironment("", "", "en_US.UTF-8"), en);
}

TEST(Language, TextsFollowTheLanguageOfTheProcess)
{
    static constexpr TText Files{"%1 個のファイル", "%1 file", "%1 files"};
    const TLanguage before = InterfaceLanguage();
    SetInterfaceLanguage(TLanguage::English);
    EXPECT_EQ(Files.Get(), "%1 files");
    EXPECT_EQ(Files.Get(1), "%1 file");
    EXPECT_EQ(Files.Get(0), "%1 files");
    EXPECT_EQ(Fill(Files.Get(3), {"3"}), "3 files");
    SetInterfaceLanguage(TLanguage::Japanese);
    EXPECT_EQ(Files.Get(), "%1 個のファイル");
    EXPECT_EQ(Files.Get(1), "%1 個のファイル");
    EXPECT_EQ(std::string(Files), "%1 個のファイル");
    SetInterfaceLanguage(before);
}

TEST(Language, FillPutsArgumentsInTheirPlaces)
{
    EXPECT_EQ(Fill("%1 と %2 は一緒には使えません", {"--map", "--dry-run"}), "--map と --dry-run は一緒には使えません");
    EXPECT_EQ(Fill("%2 %1 %1", {"a", "b"}), "b a a");
    EXPECT_EQ(Fill("100% %3 %", {"a"}), "100% %3 %");  // a place with no argument stays
    EXPECT_EQ(Fill("%1", {"%2"}), "%2");              // an argument is not filled again
}

// A string literal of a source, with the pieces that follow it (adjacent literals join).
struct TLiteral {
    std::string Text;           // as written, quotes and all
    std::string Before, After;  // the code around it, blanks left out
};

// The string literals of a C++ source (comments left out), each with a little of the code
// before and after it.
std::vector<TLiteral> LiteralsOf(const std::string& Source)
{
    std::vector<TLiteral> literals;
    std::string code;  // the code outside literals, blanks left out; '"' stands for a literal
    std::vector<std::size_t> codeAt;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    for (std::size_t i = 0; i < Source.size();) {
        if (Source.compare(i, 2, "//") == 0) {
            i = Source.find('\n', i);
            if (i == std::string::npos) break;
        } else if (Source.compare(i, 2, "/*") == 0) {
            const std::size_t end = Source.find("*/", i + 2);
            i = end == std::string::npos ? Source.size() : end + 2;
        } else if (Source[i] == '\'') {
            std::size_t j = i + 1;
            while (j < Source.size() && Source[j] != '\'') j += Source[j] == '\\' ? 2 : 1;
            code += 'c';
            i = j + 1;
        } else if (Source[i] == '"' || Source.compare(i, 3, "R\"(") == 0) {
            std::size_t j;
            if (Source[i] == 'R') {
                j = Source.find(")\"", i + 3);
                j = j == std::string::npos ? Source.size() : j + 2;
            } else {
                j = i + 1;
                while (j < Source.size() && Source[j] != '"') j += Source[j] == '\\' ? 2 : 1;
                j = std::min(j + 1, Source.size());
            }
            if (!code.empty() && code.back() == '"')
                literals.back().Text += Source.substr(i, j - i);  // a piece of the same literal
            else {
                literals.push_back({Source.substr(i, j - i), code.substr(code.size() > 40 ? code.size() - 40 : 0), ""});
                code += '"';
                codeAt.push_back(code.size());
            }
            i = j;
        } else {
            if (!isBlank(Source[i])) code += Source[i];
            ++i;
        }
    }
    for (std::size_t k = 0; k < literals.size(); ++k) literals[k].After = code.substr(codeAt[k], 40);
    return literals;
}

// A TText's Japanese side: "TText Name{" (or "TText{") before it, "," and the English after it.
bool IsJapaneseOfText(const TLiteral& Literal)
{
    const std::size_t brace = Literal.Before.rfind('{');
    if (brace == std::string::npos || brace + 1 != Literal.Before.size()) return false;
    const std::size_t text = Literal.Before.rfind("TText");
    if (text == std::string::npos) return false;
    for (std::size_t k = text + 5; k < brace; ++k)
        if (!std::isalnum(static_cast<unsigned char>(Literal.Before[k])) && Literal.Before[k] != '_') return false;
    return Literal.After.rfind(",\"", 0) == 0;
}

TEST(Language, EveryJapaneseTextOfTheCoreHasAnEnglishTwin)
{
    namespace fs = std::filesystem;
    const fs::path src = fs::path(TESSIVAL_SOURCE_DIR) / "src";
    int texts = 0;
    int files = 0;
    for (const char* folder : {"base", "colour", "text", "batch", "gif", "png", "graphics", "cli"}) {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(src / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp") continue;
            ++files;
            const std::vector<TLiteral> literals = LiteralsOf(testsupport::ReadFile(entry.path().string()));
            for (std::size_t k = 0; k < literals.size(); ++k) {
                const TLiteral& literal = literals[k];
                if (!languagedetail::HasJapanese(literal.Text)) continue;
                ASSERT_TRUE(IsJapaneseOfText(literal) && k + 1 < literals.size())
                    << entry.path() << ": Japanese without an English twin: " << literal.Text;
                ++texts;
                // The English, and the English plural where there is one.
                for (std::size_t e = k + 1; e < literals.size() && e <= k + 2; ++e) {
                    EXPECT_FALSE(languagedetail::HasJapanese(literals[e].Text)) << entry.path() << ": " << literals[e].Text;
                    EXPECT_GT(literals[e].Text.size(), 2u) << entry.path() << ": empty English for " << literal.Text;
                    if (!literals[e].After.starts_with(",\"")) break;
                }
            }
        }
    }
    EXPECT_GT(files, 50);
    EXPECT_GT(texts, 60);  // the log, the backups, the command line, the errors
}

}  // namespace
