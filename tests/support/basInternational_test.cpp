// Choosing the interface language and reading numbered texts, over language folders made per test, and
// a check that the language files that ship hold every text the program asks for.
#include "support/basInternational.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "cachebuilder/DescriptionFile.h"
#include "support/ScriptedDesktop.h"
#include "support/TableCheck.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick::test {
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

// Rows of golden/Languages.txt.
TEST_F(LanguageTest, Table) {
    const auto call = [&](const std::string& call, const std::string& arg) {
        if (call == "text") return GetString(std::stoi(arg));
        const size_t semicolon = arg.find(" ; ");
        Choose(arg.substr(0, semicolon), arg.substr(semicolon + 3));
        const std::string root = program_.path() + "/Language/";
        return (Program().LanguageRoot == root ? "" : "elsewhere: ") +
               Program().LanguageDir.substr(root.size()) + " " + std::to_string(Program().LanguageIndex);
    };
    EXPECT_GE(
        CheckTable("support/golden/Languages.txt", call,
                   [&](const std::string& line) {
                       const std::string code = line.substr(8, line.find(' ', 8) - 8);
                       if (line.rfind("remove ", 0) == 0)
                           std::remove((program_ / "Language/" + line.substr(7) + "/strings.txt").c_str());
                       else
                           WriteStrings(code, builder::Unescape(line.substr(9 + code.size())));
                   }),
        20);
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
}  // namespace loftwick::test
