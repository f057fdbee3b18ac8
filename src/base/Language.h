#pragma once
// The language of the programs' texts, and the core's catalogue entry: one text in Japanese
// (the reference, kept byte for byte) with its English twin beside it.
//
// The language comes from the locale as POSIX orders it: LC_ALL, then LC_MESSAGES, then LANG,
// the first one set and not empty. Japanese when that locale is Japanese ("ja", "ja_JP.UTF-8",
// ...), "C" or "POSIX" (also "C.UTF-8") or when none is set, so scripts keep the output they
// always had; English for any other language. Both programs, tessival-batch and tessival, and
// the core's texts follow it; the desktop program hands it to Qt's translations.
//
// A text the core writes is a TText: `inline constexpr TText Name{"日本語", "English"};` in the
// table of its area (BatchLog.h for the log, BackupStore.h for the backups, CommandLine.cpp
// for the command-line tool). The English twin is required: an empty one, or one with
// Japanese in it, does not compile, and tests/base/LanguageTest.cpp fails on any Japanese
// string literal in the core that is not the Japanese side of a TText.

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>

enum class TLanguage { Japanese, English };

// The language a locale name gives ("ja_JP.UTF-8", "C", "en_GB", "" ...).
TLanguage LanguageOfLocale(std::string_view Locale);

// The language of LC_ALL, LC_MESSAGES and LANG as given (a null pointer or an empty text for
// one that is not set), in POSIX order.
TLanguage LanguageOfEnvironment(const char* LcAll, const char* LcMessages, const char* Lang);

// The language of this process: the environment's, read once at the first call, unless
// SetInterfaceLanguage chose another.
TLanguage InterfaceLanguage();
void SetInterfaceLanguage(TLanguage Language);

namespace languagedetail {
// Stops the compilation of a TText whose English is missing or holds Japanese (it is not
// constexpr, so a constant expression cannot call it).
void EnglishTwinMissingOrNotEnglish();

// Whether Text holds a character of the Japanese blocks: kana, kanji, CJK punctuation and the
// full-width forms (U+3000 to U+9FFF and U+FF00 to U+FFEF).
constexpr bool HasJapanese(std::string_view Text)
{
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const auto b = static_cast<unsigned char>(Text[i]);
        if (b >= 0xE3 && b <= 0xE9) return true;  // U+3000 to U+9FFF
        if (b == 0xEF && i + 1 < Text.size()) {
            const auto next = static_cast<unsigned char>(Text[i + 1]);
            if (next >= 0xBC && next <= 0xBF) return true;  // U+FF00 to U+FFFF
        }
    }
    return false;
}

constexpr void CheckEnglish(std::string_view English)
{
    if (English.empty() || HasJapanese(English)) EnglishTwinMissingOrNotEnglish();
}
}  // namespace languagedetail

// A text of the core in both languages. Read with Get() (or where a std::string_view is
// wanted) it gives the text of InterfaceLanguage(). With a count, English may have a
// singular of its own: TText{"%1 個のファイル", "%1 file", "%1 files"}.
class TText {
public:
    consteval TText(std::string_view Japanese, std::string_view English)
        : FJapanese(Japanese), FEnglish(English), FEnglishOne(English)
    {
        languagedetail::CheckEnglish(English);
    }
    consteval TText(std::string_view Japanese, std::string_view EnglishOne, std::string_view EnglishMany)
        : FJapanese(Japanese), FEnglish(EnglishMany), FEnglishOne(EnglishOne)
    {
        languagedetail::CheckEnglish(EnglishOne);
        languagedetail::CheckEnglish(EnglishMany);
    }

    std::string_view Japanese() const { return FJapanese; }
    std::string_view English() const { return FEnglish; }
    std::string_view In(TLanguage Language) const { return Language == TLanguage::English ? FEnglish : FJapanese; }
    // The text in the language of this process.
    std::string_view Get() const { return In(InterfaceLanguage()); }
    // The same for a count of things: English in the singular when Count is 1.
    std::string_view Get(std::uint64_t Count) const
    {
        return InterfaceLanguage() == TLanguage::English && Count == 1 ? FEnglishOne : Get();
    }
    operator std::string_view() const { return Get(); }

    friend bool operator==(const TText& Text, std::string_view Other) { return Text.Get() == Other; }
    friend std::ostream& operator<<(std::ostream& Out, const TText& Text) { return Out << Text.Get(); }

private:
    std::string_view FJapanese;
    std::string_view FEnglish;
    std::string_view FEnglishOne;
};

// Pattern with "%1" to "%9" replaced by Arguments[0] to [8]; any other "%" stays as it is.
std::string Fill(std::string_view Pattern, std::initializer_list<std::string_view> Arguments);
