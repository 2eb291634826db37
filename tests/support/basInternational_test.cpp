// Choosing the interface language and reading numbered texts, over language folders made per test, and
// a check that the language files that ship hold every text the program asks for.
#include "support/basInternational.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <tuple>

#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

class LanguageTest : public test::ProgramFixture {
  protected:
    LanguageTest() {
        Platform().desktop = &desktop_;
        Program().ProgramDir = program_.path() + "/";
        Program().IniFileName = program_ / "loftwick.ini";
        WriteStrings("en", "102=English description\n103=About\n");
        WriteStrings("ru", "102=Описание по-русски\n");
    }
    void WriteStrings(const std::string& code, const std::string& body) {
        program_.WriteFile("Language/" + code + "/strings.txt", "; texts\n[Common]\n" + body);
    }
    void Choose(const std::string& setting, const std::string& lang) {
        WriteIniValue("Common", "Language", setting);
        test::ScopedEnv lang_("LANG", lang);
        GetUserLanguage();
    }

    test::TempDir program_;
    test::ScriptedDesktop desktop_;
    // The test program pins LC_ALL; these tests choose through LANG.
    test::ScopedEnv lcAll_{"LC_ALL", ""};
    test::ScopedEnv lcMessages_{"LC_MESSAGES", ""};
};

// Only a Russian interface borrows missing texts from English; a folder named "1" counts as Russian.
TEST_F(LanguageTest, SettingThenLocaleChooseTheLanguageAndMissingTextsComeFromEnglishForRussianOnly) {
    struct Row {
        const char *setting, *lang;
        bool russianFile;
        const char* folder;
        int32_t index;
        std::string text102, text103;
    };
    const std::string missing = "String resource # 103 was not found";
    const Row rows[] = {
        {"", "ru_RU.UTF-8", true, "ru", 1, "Описание по-русски", "About"},
        {"de", "ru_RU.UTF-8", true, "de", 2, "Deutsche Beschreibung", missing},
        {"1", "", true, "1", 1, "one", "About"},
        {"", "de_DE.UTF-8", true, "en", 2, "English description", "About"},
        {"", "POSIX", true, "en", 2, "English description", "About"},
        {"ru", "ru_RU.UTF-8", false, "en", 2, "English description", "About"},
        {"xx", "en_US.UTF-8", true, "en", 2, "English description", "About"},
    };
    WriteStrings("de", "102=Deutsche Beschreibung\n");
    WriteStrings("1", "102=one\n");
    for (const Row& row : rows) {
        if (!row.russianFile) std::remove((program_ / "Language/ru/strings.txt").c_str());
        Choose(row.setting, row.lang);
        EXPECT_EQ(Program().LanguageDir, program_.path() + "/Language/" + row.folder + "/")
            << row.setting << row.lang;
        EXPECT_EQ(Program().LanguageIndex, row.index) << row.setting << row.lang;
        EXPECT_EQ(GetString(102), row.text102) << row.setting << row.lang;
        EXPECT_EQ(GetString(103), row.text103) << row.setting << row.lang;
    }
    EXPECT_EQ(Program().LanguageRoot, program_.path() + "/Language/");
}

TEST_F(LanguageTest, TextWithEmptyValueCountsAsMissingAndLongTextsAreCut) {
    std::string longText;
    for (int i = 0; i < 900; ++i) longText += "ж";
    WriteStrings("en", "102=\n103=" + longText + "\n");
    Choose("en", "");
    EXPECT_EQ(GetString(102), "String resource # 102 was not found");
    EXPECT_EQ(GetString(103), longText.substr(0, 799 * 2));  // 799 characters of two bytes each
    EXPECT_EQ(GetString(-5), "String resource # -5 was not found");
}

TEST_F(LanguageTest, InstalledLayoutFindsTheSharedFolder) {
    test::TempDir prefix;
    prefix.MakeDirs("bin");
    prefix.MakeDirs("share/loftwick/Language/en");
    EXPECT_EQ(FindLanguageRoot(prefix / "bin"), prefix.path() + "/share/loftwick/Language/");
    prefix.MakeDirs("bin/Language");  // beside the executable wins
    EXPECT_EQ(FindLanguageRoot(prefix / "bin/"), prefix.path() + "/bin/Language/");
    test::TempDir bare;
    EXPECT_EQ(FindLanguageRoot(bare.path() + "/"), bare.path() + "/Language/");
}

// The files that ship: every text the program shows, in both languages, and the help pages.
TEST_F(LanguageTest, ShippedLanguageFilesHoldEveryTextTheProgramUses) {
    Program().ProgramDir = std::string(LOFTWICK_SOURCE_DIR) + "/";
    for (const char* code : {"en", "ru"}) {
        Choose(code, "");
        for (int32_t number : {102, 103, 104, 128}) {
            EXPECT_EQ(GetString(number).find("String resource"), std::string::npos) << code << " " << number;
        }
    }
    for (const char* page : {"en/index.html", "ru/index.html", "ru/index_ru.html"}) {
        std::ifstream in(Program().LanguageRoot + page);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_NE(text.str().find("</html>"), std::string::npos) << page;
        // Pages are read offline: nothing is fetched from elsewhere.
        EXPECT_EQ(text.str().find("src="), std::string::npos) << page;
        EXPECT_EQ(text.str().find("href=\"http"), std::string::npos) << page;
    }
}

}  // namespace
}  // namespace loftwick
