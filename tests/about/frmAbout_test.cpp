// The About window model over in-memory controls: its texts from the shipped language files, the link to
// the help page, and the search for a system-information program in a made-up Wine prefix and PATH.
#include "about/frmAbout.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "results/clsBrowser.h"
#include "support/MemoryControls.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basInternational.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

struct TestWindow final : frmAboutWindow {
    std::string caption;
    int unloads = 0;
    void SetCaption(const std::string& text) override { caption = text; }
    void Unload() override { ++unloads; }
};

class AboutTest : public test::ProgramFixture {
  protected:
    AboutTest() {
        Platform().desktop = &desktop_;
        Program().ProgramDir = std::string(LOFTWICK_SOURCE_DIR) + "/";
        Program().IniFileName = work_ / "loftwick.ini";
        Program().AppParentDir = work_.path() + "/";
        work_.MakeDirs("bin");
    }
    void LoadIn(const std::string& language) {
        WriteIniValue("Common", "Language", language);
        GetUserLanguage();
        about_.Form_Load();
    }
    test::TempDir work_;
    test::ScopedEnv prefix_{"WINEPREFIX", work_ / "prefix"};
    test::ScriptedDesktop desktop_;
    TestWindow window_;
    MemoryLabel title_, version_, description_, disclaimer_, homePage_, link_;
    MemoryButton ok_, sysInfo_;
    clsBrowser browser_;
    frmAbout about_{
        window_, {title_, version_, description_, disclaimer_, homePage_, link_, ok_, sysInfo_}, browser_};
};

TEST_F(AboutTest, TextsAndHelpPageComeFromTheChosenLanguageAndTheLinkOrOkCloses) {
    LoadIn("en");
    EXPECT_EQ(window_.caption, "About Loftwick v. 2.1.20");
    EXPECT_EQ(link_.Caption(), std::string(LOFTWICK_SOURCE_DIR) + "/Language/en/index.html");
    LoadIn("ru");
    EXPECT_EQ(window_.caption, "О программе Loftwick v. 2.1.20");
    EXPECT_EQ(version_.Caption(), "Версия 2.1.20");
    EXPECT_EQ(link_.Caption(), std::string(LOFTWICK_SOURCE_DIR) + "/Language/ru/index_ru.html");
    about_.lnkHomePage_Click();
    EXPECT_EQ(desktop_.browserPages, std::vector<std::string>{link_.Caption()});
    EXPECT_TRUE(desktop_.startedPrograms.empty());
    EXPECT_EQ(window_.unloads, 1);
    ok_.Click();
    EXPECT_EQ(window_.unloads, 2);
}

// Each row: the registry's lines, the files in the prefix, the programs on the PATH (a "-" in front: not
// executable), whether starting succeeds, and the command lines started ($W: the test's folder); with none
// started or none starting, the user is told the information is unavailable.
TEST_F(AboutTest, SystemInformationProgramIsFoundInTheRegistryThenOnThePath) {
    using Lines = std::vector<std::vector<std::string>>;
    const std::string msinfo = "[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO] 1\n\"PATH\"=";
    struct Row {
        std::string registry;
        std::vector<std::string> prefixFiles, installed;
        bool starts;
        Lines started;
    };
    const Row rows[] = {
        {"", {}, {"-hardinfo"}, true, {}},
        {"", {}, {"hardinfo"}, false, {{"$W/bin/hardinfo"}}},
        {msinfo + "\"C:\\\\Tools\\\\msinfo32.exe\"\n",
         {"drive_c/Tools/msinfo32.exe"},
         {"gnome-system-monitor"},
         true,
         {{"$W/prefix/drive_c/Tools/msinfo32.exe"}}},
        {msinfo + "\"C:\\\\Tools\\\\msinfo32.exe\"\n",
         {"drive_c/Tools/msinfo32.exe"},
         {"wine"},
         true,
         {{"$W/bin/wine", "$W/prefix/drive_c/Tools/msinfo32.exe"}}},
        // The 32-bit view of the tools location.
        {"[Software\\\\Wow6432Node\\\\Microsoft\\\\Shared Tools Location] 1\n\"MSINFO\"=\"c:\\\\msinfo\"\n",
         {"drive_c/msinfo/msinfo32.exe"},
         {},
         true,
         {{"$W/prefix/drive_c/msinfo/msinfo32.exe"}}},
        // Programs the registry names but that are not there fall through.
        {msinfo + "\"c:\\\\gone\\\\msinfo32.exe\"\n[Software\\\\Microsoft\\\\Shared Tools Location] 1\n"
                  "\"MSINFO\"=\"c:\\\\empty\"\n",
         {"drive_c/empty/.keep"},
         {},
         true,
         {}},
    };
    for (const Row& row : rows) {
        test::TempDir work;
        test::ScopedEnv prefix("WINEPREFIX", work / "prefix"), path("PATH", work / "bin");
        work.WriteFile("prefix/system.reg", "WINE REGISTRY Version 2\n\n" + row.registry);
        for (const std::string& file : row.prefixFiles) work.WriteFile("prefix/" + file, "MZ");
        for (const std::string& program : row.installed) {
            const bool executable = program[0] != '-';
            const std::string name = executable ? program : program.substr(1);
            work.WriteFile("bin/" + name, "#!/bin/sh\nexit 0\n");
            ::chmod((work / "bin/" + name).c_str(), executable ? 0755 : 0644);
        }
        desktop_.startedPrograms.clear();
        desktop_.messages.clear();
        desktop_.openSucceeds = row.starts;
        sysInfo_.Click();
        Lines expected = row.started;
        for (auto& line : expected) {
            for (auto& word : line) word.replace(0, 2, work.path());
        }
        EXPECT_EQ(desktop_.startedPrograms, expected) << row.registry;
        EXPECT_EQ(desktop_.messages.size(), row.started.empty() || !row.starts ? 1u : 0u) << row.registry;
    }
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0].text, "System Information Is Unavailable At This Time");
}

TEST_F(AboutTest, RelativePathEntriesAreNotSearched) {
    work_.WriteFile("here/hardinfo", "#!/bin/sh\n");
    ::chmod((work_ / "here/hardinfo").c_str(), 0755);
    // The same folder named relative to the current one: a planted program there is not found.
    const std::string relative = std::filesystem::relative(work_ / "here").string();
    test::ScopedEnv path("PATH", relative + ":" + work_ / "nowhere");
    EXPECT_EQ(FindProgramOnPath("hardinfo"), "");
    test::ScopedEnv absolute("PATH", ":" + work_ / "here/");
    EXPECT_EQ(FindProgramOnPath("hardinfo"), work_ / "here/hardinfo");
}

// A dword reads as its signed number; a value too long, missing or under another root empties the text.
TEST_F(AboutTest, GetKeyValueReadsTextsAndNumbers) {
    work_.WriteFile("prefix/system.reg",
                    "WINE REGISTRY Version 2\n\n[Software\\\\Test] 1\n"
                    "\"Small\"=dword:0000001f\n\"AllOnes\"=dword:ffffffff\n\"Long\"=\"" +
                        std::string(1100, 'a') + "\"\n");
    const std::tuple<uint32_t, std::string, bool, std::string> cases[] = {
        {HKEY_LOCAL_MACHINE, "Small", true, "31"},  {HKEY_LOCAL_MACHINE, "AllOnes", true, "-1"},
        {HKEY_LOCAL_MACHINE, "Long", false, ""},    {HKEY_LOCAL_MACHINE, "Small", true, "31"},
        {HKEY_LOCAL_MACHINE, "Missing", false, ""}, {0x80000001u, "Small", false, ""},
    };
    std::string value = "before";
    for (const auto& [root, name, ok, expected] : cases) {
        EXPECT_EQ(GetKeyValue(root, "SOFTWARE\\Test", name, value), ok) << name;
        EXPECT_EQ(value, expected) << name;
    }
}

}  // namespace
}  // namespace loftwick
