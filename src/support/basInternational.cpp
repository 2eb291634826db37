#include "support/basInternational.h"

#include <cmath>
#include <filesystem>
#include <optional>

#include "support/Controls.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basRegistry.h"
#include "support/basUtils.h"

namespace loftwick {

namespace {

constexpr int32_t kLangEnglishUS = 1033;
constexpr int32_t kLangRussian = 1049;
constexpr int32_t kLangEnglishOther = 9;
constexpr int32_t kLangNeutral = 0;

// Texts are read into a buffer of this many characters; longer values are cut, as they always were.
constexpr size_t kMaxTextChars = 799;

std::string WithSeparator(const std::string& folder) {
    return EndsInSeparator(folder) ? folder : folder + "/";
}

std::string StringsFile(const std::string& code) {
    return Program().LanguageRoot + WithSeparator(code) + "strings.txt";
}

std::string ReadText(const std::string& file, const std::string& key) {
    std::string text = GetIniValue("Common", key, "", file);
    const size_t cut = utf8::ByteOffset(text, kMaxTextChars);
    if (cut < text.size()) text.erase(cut);
    return text;
}

}  // namespace

std::string FindLanguageRoot(const std::string& programDir) {
    std::string folder = programDir;
    AddPathSeparator(folder);
    const std::string beside = folder + "Language/";
    if (IsDirectory(beside)) return beside;
    // An installed program keeps its data apart from its executable: <prefix>/bin and
    // <prefix>/share/loftwick. The path is tidied so that the help page's address reads cleanly.
    std::string installed =
        std::filesystem::path(folder + "../share/loftwick/Language/").lexically_normal().string();
    if (installed.empty() || installed == ".") installed = "./";
    if (IsDirectory(installed)) return WithSeparator(installed);
    return beside;
}

int32_t GetUserDefaultLangID() {
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = Environ(name);
        if (!locale.empty()) break;
    }
    // "ll_RR.codeset@modifier"; every part but the language may be missing.
    const size_t languageEnd = locale.find_first_of("_.@");
    const std::string language = LowerAscii(locale.substr(0, languageEnd));
    std::string region;
    if (languageEnd != std::string::npos && locale[languageEnd] == '_') {
        const size_t regionEnd = locale.find_first_of(".@", languageEnd);
        region = locale.substr(languageEnd + 1, regionEnd == std::string::npos ? std::string::npos
                                                                               : regionEnd - languageEnd - 1);
    }
    if (language.empty() || language == "c" || language == "posix") return kLangEnglishUS;
    if (language == "ru") return kLangRussian;
    if (language == "en") return region == "US" ? kLangEnglishUS : kLangEnglishOther;
    return kLangNeutral;
}

void GetUserLanguage() {
    TrappedVoid("basInternational:GetUserLanguage", "", [] {
        Program().LanguageRoot = FindLanguageRoot(Program().ProgramDir);
        std::string code = GetIniValue("Common", "Language", "");
        if (!code.empty() && !FileExists(StringsFile(code))) code.clear();
        if (code.empty()) code = GetUserDefaultLangID() == kLangRussian ? "ru" : "en";
        // The language of the system may have no file either; English is then the answer all the same.
        if (!FileExists(StringsFile(code))) code = "en";
        Program().LanguageDir = Program().LanguageRoot + WithSeparator(code);
        Program().LanguageIndex = LanguageNumber(Variant(code), 2);
        if (Program().LanguageIndex == 0) Program().LanguageIndex = 2;
    });
}

std::string GetString(int32_t number) {
    const std::string key = std::to_string(number);
    std::string text;
    try {
        text = ReadText(Program().LanguageDir + "strings.txt", key);
        // Only a Russian text falls back to English: any other language stands on its own file.
        if (text.empty() && Program().LanguageIndex != 2)
            text = ReadText(Program().LanguageRoot + "en/strings.txt", key);
    } catch (...) {
        text.clear();
    }
    if (text.empty()) return "String resource # " + key + " was not found";
    return text;
}

int32_t LanguageNumber(const Variant& value, int32_t defaultValue) {
    if (const std::optional<double> number = value.ToNumber()) {
        const double whole = RoundHalfEven(*number);
        if (whole == 1.0) return 1;
        if (whole == 2.0) return 2;
        return defaultValue;
    }
    if (!value.IsText()) return defaultValue;
    const std::string& text = value.AsText();
    if (text == "en") return 2;
    if (text == "ru") return 1;
    if (text == "empty" || text == "any") return 0;
    return defaultValue;
}

}  // namespace loftwick
