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
    ~AboutTest() override {
        Program().LanguageRoot = savedRoot_;
        Program().LanguageDir = savedDir_;
        Program().LanguageIndex = savedIndex_;
    }

    void LoadIn(const std::string& language) {
        WriteIniValue("Common", "Language", language);
        GetUserLanguage();
        about_.Form_Load();
    }
    void WriteRegistry(const std::string& body) {
        work_.WriteFile("prefix/system.reg",
                        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n" + body);
    }
    // A program in the test's PATH folder; only executable files count as installed.
    std::string Install(const std::string& name, bool executable = true) {
        work_.WriteFile("bin/" + name, "#!/bin/sh\nexit 0\n");
        ::chmod((work_ / "bin/" + name).c_str(), executable ? 0755 : 0644);
        return work_ / "bin/" + name;
    }
    void ExpectUnavailable() {
        ASSERT_EQ(desktop_.messages.size(), 1u);
        EXPECT_EQ(desktop_.messages[0].text, "System Information Is Unavailable At This Time");
    }

    test::TempDir work_;
    test::ScopedEnv prefix_{"WINEPREFIX", work_ / "prefix"};
    test::ScopedEnv path_{"PATH", work_ / "bin"};
    test::ScriptedDesktop desktop_;
    TestWindow window_;
    MemoryLabel title_, version_, description_, disclaimer_, homePage_, link_;
    MemoryButton ok_, sysInfo_;
    clsBrowser browser_;
    frmAbout about_{
        window_, {title_, version_, description_, disclaimer_, homePage_, link_, ok_, sysInfo_}, browser_};

  private:
    std::string savedRoot_ = Program().LanguageRoot, savedDir_ = Program().LanguageDir;
    int32_t savedIndex_ = Program().LanguageIndex;
};

// --- Texts and the link -----------------------------------------------------------------------------------

TEST_F(AboutTest, TextsAndHelpPageComeFromTheChosenLanguage) {
    LoadIn("en");
    EXPECT_EQ(window_.caption, "About Loftwick v. 2.1.20");
    EXPECT_EQ(title_.Caption(), "Loftwick");
    EXPECT_EQ(description_.Caption().rfind("Loftwick manages", 0), 0u);
    EXPECT_EQ(disclaimer_.Caption(), "Freeware");
    EXPECT_EQ(link_.Caption(), std::string(LOFTWICK_SOURCE_DIR) + "/Language/en/index.html");
    LoadIn("ru");
    EXPECT_EQ(window_.caption, "О программе Loftwick v. 2.1.20");
    EXPECT_EQ(version_.Caption(), "Версия 2.1.20");
    EXPECT_EQ(homePage_.Caption(), "Страница справки:");
    EXPECT_EQ(link_.Caption(), std::string(LOFTWICK_SOURCE_DIR) + "/Language/ru/index_ru.html");
    EXPECT_EQ(HomePageBase() + "index_ru.html", link_.Caption());
}

TEST_F(AboutTest, LinkShowsItsPageInTheBrowserAndItOrOkClosesTheWindow) {
    LoadIn("ru");
    about_.lnkHomePage_Click();
    EXPECT_EQ(desktop_.browserPages, std::vector<std::string>{link_.Caption()});
    EXPECT_TRUE(desktop_.startedPrograms.empty());
    EXPECT_EQ(window_.unloads, 1);
    ok_.Click();
    EXPECT_EQ(window_.unloads, 2);
}

// --- System information -----------------------------------------------------------------------------------

TEST_F(AboutTest, NoRunnableProgramMeansUnavailable) {
    Install("hardinfo", false);  // present but not executable
    sysInfo_.Click();
    ExpectUnavailable();
    desktop_.messages.clear();
    Install("hardinfo");
    desktop_.openSucceeds = false;  // installed, but it cannot be started
    sysInfo_.Click();
    ExpectUnavailable();
}

TEST_F(AboutTest, FirstInstalledLinuxProgramIsStartedByItsFullPath) {
    const std::string monitor = Install("gnome-system-monitor");
    Install("xfce4-taskmanager");
    sysInfo_.Click();
    EXPECT_EQ(desktop_.startedPrograms, std::vector<std::vector<std::string>>{{monitor}});
    EXPECT_TRUE(desktop_.messages.empty());
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

TEST_F(AboutTest, RegisteredProgramRunsUnderWineWhenWineIsInstalled) {
    WriteRegistry(
        "[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO] 1\n\"PATH\"=\"C:\\\\Tools\\\\msinfo32.exe\"\n");
    work_.WriteFile("prefix/drive_c/Tools/msinfo32.exe", "MZ");
    Install("gnome-system-monitor");
    const std::string native = work_ / "prefix/drive_c/Tools/msinfo32.exe";
    sysInfo_.Click();
    const std::string wine = Install("wine");
    sysInfo_.Click();
    EXPECT_EQ(desktop_.startedPrograms, (std::vector<std::vector<std::string>>{{native}, {wine, native}}));
}

TEST_F(AboutTest, ToolsLocationFindsTheProgramWhateverTheCaseOfItsName) {
    WriteRegistry(
        "[Software\\\\Wow6432Node\\\\Microsoft\\\\Shared Tools Location] 1\n\"MSINFO\"=\"c:\\\\msinfo\"\n");
    work_.WriteFile("prefix/drive_c/msinfo/msinfo32.exe", "MZ");
    sysInfo_.Click();
    EXPECT_EQ(desktop_.startedPrograms,
              std::vector<std::vector<std::string>>{{work_ / "prefix/drive_c/msinfo/msinfo32.exe"}});
}

TEST_F(AboutTest, RegistryNamingMissingProgramsFallsThrough) {
    WriteRegistry(
        "[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO] 1\n\"PATH\"=\"c:\\\\gone\\\\msinfo32.exe\"\n"
        "[Software\\\\Microsoft\\\\Shared Tools Location] 1\n\"MSINFO\"=\"c:\\\\empty\"\n");
    work_.MakeDirs("prefix/drive_c/empty");
    sysInfo_.Click();
    ExpectUnavailable();
}

TEST_F(AboutTest, GetKeyValueReadsTextsAndNumbers) {
    WriteRegistry(
        "[Software\\\\Test] 1\n"
        "\"Text\"=\"c:\\\\x\"\n"
        "\"Small\"=dword:0000001f\n"
        "\"AllOnes\"=dword:ffffffff\n"
        "\"Bytes\"=hex:01,02\n"
        "\"Long\"=\"" +
        std::string(1100, 'a') + "\"\n");
    // Another kind of value leaves the text as it was; a failure empties it.
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"Text", true, "c:\\x"}, {"Small", true, "31"}, {"AllOnes", true, "-1"},
        {"Bytes", true, "-1"},   {"Long", false, ""},   {"Missing", false, ""},
    };
    std::string value = "before";
    for (const auto& [name, ok, expected] : cases) {
        EXPECT_EQ(GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", name, value), ok) << name;
        EXPECT_EQ(value, expected) << name;
    }
    value = "x";
    EXPECT_FALSE(GetKeyValue(0x80000001u, "SOFTWARE\\Test", "Text", value));
    EXPECT_EQ(value, "");
}

}  // namespace
}  // namespace loftwick
