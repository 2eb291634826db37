// Choosing the interface language, finding its folder and reading numbered texts, over language folders
// made per test, and that the language files that ship hold every text the program asks for: rows of
// golden/Languages.txt.
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

    test::TempDir program_, prefix_;
    test::ScriptedDesktop desktop_;
    // The test program pins LC_ALL; these tests choose through LANG.
    test::ScopedEnv lcAll_{"LC_ALL", ""};
    test::ScopedEnv lcMessages_{"LC_MESSAGES", ""};
};

TEST_F(LanguageTest, Table) {
    const auto call = [&](const std::string& call, const std::string& arg) {
        if (call == "text") return GetString(std::stoi(arg));
        if (call == "root") {
            std::string root = FindLanguageRoot(prefix_.path() + arg);
            return root.rfind(prefix_.path(), 0) == 0 ? root.replace(0, prefix_.path().size(), "$T") : root;
        }
        if (call == "shipped") {
            Program().ProgramDir = std::string(LOFTWICK_SOURCE_DIR) + "/";
            Choose(arg, "");
            Program().ProgramDir = program_.path() + "/";
            std::string missing;
            for (const int32_t number : {102, 103, 104, 128})
                if (GetString(number).find("String resource") != std::string::npos)
                    missing += " " + std::to_string(number);
            return missing.empty() ? "every text" : "missing" + missing;
        }
        if (call == "page") {
            const std::string text = ReadRealFile(std::string(LOFTWICK_SOURCE_DIR) + "/Language/" + arg);
            const bool offline =
                text.find("src=") == std::string::npos && text.find("href=\"http") == std::string::npos;
            return std::string(text.find("</html>") == std::string::npos ? "cut" : "whole") +
                   (offline ? ", offline" : ", reaches out");
        }
        const std::vector<std::string> fields = test::Fields(arg, 2);
        Choose(fields[0], fields[1]);
        const std::string root = program_.path() + "/Language/";
        return (Program().LanguageRoot == root ? "" : "elsewhere: ") +
               Program().LanguageDir.substr(root.size()) + " " + std::to_string(Program().LanguageIndex);
    };
    EXPECT_GE(
        CheckTable("support/golden/Languages.txt", call,
                   [&](const std::string& line) {
                       const std::string code = line.substr(8, line.find(' ', 8) - 8);
                       if (line.rfind("mkdir ", 0) == 0)
                           prefix_.MakeDirs(line.substr(6));
                       else if (line.rfind("remove ", 0) == 0)
                           std::remove((program_ / "Language/" + line.substr(7) + "/strings.txt").c_str());
                       else
                           WriteStrings(code, builder::Unescape(line.substr(9 + code.size())));
                   }),
        25);
}

}  // namespace
}  // namespace loftwick::test
