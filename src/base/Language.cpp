#include "base/Language.h"

#include <cstdlib>

namespace {

// -1 while not yet read from the environment, else a TLanguage.
std::atomic<int> ChosenLanguage{-1};

bool IsSet(const char* Value) { return Value != nullptr && *Value != '\0'; }

}  // namespace

TLanguage LanguageOfLocale(std::string_view Locale)
{
    // The language is what comes before the territory, the codeset and the modifier.
    const std::string_view language = Locale.substr(0, Locale.find_first_of("_.@"));
    if (language.empty() || language == "C" || language == "POSIX" || language == "ja") return TLanguage::Japanese;
    return TLanguage::English;
}

TLanguage LanguageOfEnvironment(const char* LcAll, const char* LcMessages, const char* Lang)
{
    for (const char* value : {LcAll, LcMessages, Lang}) {
        if (IsSet(value)) return LanguageOfLocale(value);
    }
    return TLanguage::Japanese;
}

TLanguage InterfaceLanguage()
{
    int chosen = ChosenLanguage.load(std::memory_order_relaxed);
    if (chosen < 0) {
        chosen = static_cast<int>(
            LanguageOfEnvironment(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")));
        int unset = -1;
        if (!ChosenLanguage.compare_exchange_strong(unset, chosen)) chosen = unset;
    }
    return static_cast<TLanguage>(chosen);
}

void SetInterfaceLanguage(TLanguage Language) { ChosenLanguage.store(static_cast<int>(Language)); }

void languagedetail::EnglishTwinMissingOrNotEnglish() { std::abort(); }

std::string Fill(std::string_view Pattern, std::initializer_list<std::string_view> Arguments)
{
    std::string out;
    out.reserve(Pattern.size());
    for (std::size_t i = 0; i < Pattern.size(); ++i) {
        if (Pattern[i] == '%' && i + 1 < Pattern.size() && Pattern[i + 1] >= '1' && Pattern[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(Pattern[i + 1] - '1');
            if (index < Arguments.size()) {
                out += Arguments.begin()[index];
                ++i;
                continue;
            }
        }
        out += Pattern[i];
    }
    return out;
}
