#pragma once
#include <cstdint>
#include <string>

#include "support/Variant.h"

namespace loftwick {

// The user-interface language, chosen once at start-up, and the numbered texts of that language.
//
// Language files live in one folder per language code below LanguageRoot, each holding "strings.txt"
// (settings-file format, section "Common", the key being the text's number in decimal) and the help page.
// Texts are UTF-8.

// Chooses the language: the "Language" setting of section "Common" when its folder holds a
// "strings.txt", else "ru" for a Russian user, else "en". Sets the three language program values; an error is
// reported and leaves them as far as they were set.
void GetUserLanguage();

// Text number `number` of the chosen language; a Russian text that is missing is taken from the English
// file. A text found nowhere (or with an empty value) gives "String resource # <number> was not found";
// nothing is reported.
std::string GetString(int32_t number);

// 1 (Russian), 2 (English), 0 (no particular language) for a language value: the numbers 1 and 2
// (numeric text included, rounded), or the texts "ru", "en", "empty", "any" (case-sensitive). Anything
// else gives `defaultValue`.
int32_t LanguageNumber(const Variant& value, int32_t defaultValue);

// The user's default language identifier, taken from the locale the environment names (LC_ALL, then
// LC_MESSAGES, then LANG; the first that is set and not empty): 1049 for Russian, 1033 for English
// (United States) and for the C/POSIX locale or none at all, 9 for English of any other region, 0 for a
// language this program has no identifier for.
int32_t GetUserDefaultLangID();

// Where the language folders are looked for, given the executable's folder (see LanguageRoot). When
// neither folder exists, the one beside the executable.
std::string FindLanguageRoot(const std::string& programDir);

}  // namespace loftwick
