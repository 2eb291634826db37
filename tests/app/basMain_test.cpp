#include "app/basMain.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "support/FaultFileSystem.h"
#include "support/Program.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

const char* const kNotSpecified = "Cache Directory was not specified";

class SetProxyTypeTest : public test::ProgramFixture {
  protected:
    SetProxyTypeTest() : prefix_(dir_ / "wine"), wine_("WINEPREFIX", prefix_) {
        Platform().desktop = &desktop_;
        Program().IniFileName = dir_ / "loftwick.ini";
        Program().ProxyType = 0;
        Program().CacheDir.clear();
        dir_.MakeDirs("wine/drive_c");
    }

    void WriteRegistry(const std::string& body) {
        dir_.WriteFile("wine/system.reg",
                       "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n" + body);
    }
    std::string Ini() const { return dir_.Exists("loftwick.ini") ? dir_.ReadFile("loftwick.ini") : ""; }
    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& m : desktop_.messages) texts.push_back(m.text);
        return texts;
    }

    test::TempDir dir_;
    std::string prefix_;
    test::ScopedEnv wine_;
    test::ScriptedDesktop desktop_;
};

TEST_F(SetProxyTypeTest, FirstStartCancelledOrAnsweredWithAnythingButOneTwoOrThreeEndsWithoutSettings) {
    using Answer = std::optional<std::string>;
    for (const Answer& answer : {Answer(), Answer(""), Answer("three"), Answer("4"), Answer("0")}) {
        desktop_.inputAnswers = {answer};
        SetProxyType(false);
        EXPECT_EQ(Program().ProxyType, 0) << answer.value_or("cancel");
    }
    EXPECT_EQ(MessageTexts().at(0), kNotSpecified);
    EXPECT_EQ(
        desktop_.prompts.at(0).prompt,
        "Select Proxy Server, that you are using (type 1, 2 or 3)\r\n1 - WinProxy 1.4\r\n2 - WinGate 4\r\n"
        "3 - Squid (ufs, aufs or diskd cache_dir)\r\nEnything else - none of them (to Exit)\r\n");
    EXPECT_EQ(desktop_.prompts[0].title, Program().AppTitle);
    EXPECT_FALSE(dir_.Exists("loftwick.ini"));
}

TEST_F(SetProxyTypeTest, WinProxyWithoutRegistryOffersTheDefaultFolderAndStoresTheTypedOne) {
    dir_.MakeDirs("cache");
    desktop_.inputAnswers = {std::string("1"), dir_ / "cache  "};
    SetProxyType(false);
    ASSERT_EQ(desktop_.prompts.size(), 2u);
    EXPECT_EQ(desktop_.prompts[1].defaultText, prefix_ + "/drive_c/winproxy/cache/");
    EXPECT_EQ(desktop_.prompts[1].prompt,
              "Please type the folder of the Cache manually (it then will be saved in " +
                  Program().IniFileName + ")");
    EXPECT_EQ(Program().ProxyType, 1);
    EXPECT_EQ(Program().CacheDir, dir_ / "cache/");
    EXPECT_EQ(GetIniValue("Common", "ProxyType", ""), "1");
    EXPECT_EQ(GetIniValue("Common", "CacheDir", ""), dir_ / "cache/");
}

TEST_F(SetProxyTypeTest, WinProxyRegistryFolderIsMappedThroughThePrefix) {
    WriteRegistry(
        "[Software\\\\M&Msoft\\\\WinProxy] 1700000000\n\"CacheDir\"=\"C:\\\\proxy\\\\store\\\\\"\n");
    dir_.MakeDirs("wine/drive_c/proxy/store");
    desktop_.inputAnswers = {std::string("1"), std::nullopt};
    SetProxyType(false);
    ASSERT_EQ(desktop_.prompts.size(), 3u);  // type, folder (cancelled), type again (cancelled)
    EXPECT_EQ(desktop_.prompts[1].defaultText, prefix_ + "/drive_c/proxy/store/");
}

TEST_F(SetProxyTypeTest, WinGateFolderNameIsJoinedToTheGatekeeperFolderOrTheDefaultIsOffered) {
    const std::string cache =
        "[Software\\\\Qbik Software\\\\WinGate\\\\Cache] 1700000000\n\"CacheDirectory\"=";
    const std::string gatekeeper =
        "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths\\\\gatekeeper.exe] 1700000000\n"
        "\"Path\"=";
    const std::pair<std::string, std::string> cases[] = {
        {cache + "\"wgcache\"\n" + gatekeeper + "\"C:\\\\WinGate\\\\bin\\\\\"\n", "WinGate/bin/wgcache/"},
        // Without a trailing separator the path loses its last component.
        {cache + "\"wgcache\"\n" + gatekeeper + "\"C:\\\\WinGate\\\\bin\"\n", "WinGate/wgcache/"},
        // A full path in the registry is not taken.
        {cache + "\"D:\\\\wg\\\\cache\"\n", "Program Files/WinGate/cache/"},
    };
    for (const auto& [registry, offered] : cases) {
        WriteRegistry(registry);
        desktop_.prompts.clear();
        desktop_.inputAnswers = {std::string("2"), std::nullopt};
        SetProxyType(false);
        ASSERT_GE(desktop_.prompts.size(), 2u);
        EXPECT_EQ(desktop_.prompts[1].defaultText, prefix_ + "/drive_c/" + offered);
    }
}

TEST_F(SetProxyTypeTest, WinGateFolderWithoutIndexIsRefusedUntilOneHasIt) {
    dir_.MakeDirs("wg");
    desktop_.inputAnswers = {std::string("2"), dir_ / "wg", std::nullopt};
    SetProxyType(false);
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{
                  kNotSpecified, "Cache index file was not found in the '" + (dir_ / "wg/") + "' direcory"}));
    EXPECT_EQ(Program().ProxyType, 0);

    dir_.WriteFile("wg/cache.idx", "");
    desktop_.inputAnswers = {std::string("2"), dir_ / "wg"};
    SetProxyType(false);
    EXPECT_EQ(Program().ProxyType, 2);
    EXPECT_EQ(GetIniValue("Common", "CacheDir", ""), dir_ / "wg/");
}

// Squid's folder comes from the first ufs, aufs or diskd cache_dir of squid.conf (a rock one is no
// such folder), else Squid's default; a folder this user cannot read names the group to join.
TEST_F(SetProxyTypeTest, SquidFolderComesFromSquidConfAndAnUnreadableOneNamesItsGroup) {
    dir_.MakeDirs("spool/squid");
    dir_.WriteFile("squid.conf",
                   "# cache_dir ufs /commented 100 16 256\ncache_dir rock /rock 100\n"
                   "  cache_dir\taufs " +
                       (dir_ / "spool/squid") + " 100 16 256 # the disk one\n");
    for (const auto& [conf, offered] :
         {std::pair<std::string, std::string>{dir_ / "squid.conf", dir_ / "spool/squid/"},
          {dir_ / "missing.conf", "/var/spool/squid/"}}) {
        Program().SquidConf = conf;
        desktop_.prompts.clear();
        desktop_.inputAnswers = {std::string("3"), std::nullopt};
        SetProxyType(false);
        ASSERT_GE(desktop_.prompts.size(), 2u);
        EXPECT_EQ(desktop_.prompts[1].defaultText, offered);
    }

    test::FaultFileSystem faults;
    faults.FailPath(FsOp::List, "/spool/squid", EACCES);
    Platform().fileSystem = &faults;
    desktop_.messages.clear();
    desktop_.inputAnswers = {std::string("3"), dir_ / "spool/squid", std::nullopt};
    SetProxyType(false);
    EXPECT_EQ(Program().ProxyType, 0);
    ASSERT_EQ(desktop_.messages.size(), 2u);
    EXPECT_EQ(
        desktop_.messages[1].text.rfind("Cache Directory '" + (dir_ / "spool/squid/") +
                                            "' cannot be read by this user. Squid's cache folders belong to "
                                            "the group 'root': join it",
                                        0),
        0u)
        << desktop_.messages[1].text;

    Platform().fileSystem = nullptr;
    desktop_.inputAnswers = {std::string("3"), dir_ / "spool/squid"};
    SetProxyType(false);
    EXPECT_EQ(Program().ProxyType, 3);
    EXPECT_EQ(GetIniValue("Common", "CacheDir", ""), dir_ / "spool/squid/");
}

TEST_F(SetProxyTypeTest, MissingFolderIsNamedInTheMessage) {
    desktop_.inputAnswers = {std::string("1"), dir_ / "nowhere", std::nullopt};
    SetProxyType(false);
    EXPECT_EQ(MessageTexts().back(), "Cache Directory '" + (dir_ / "nowhere/") + "' was not found");
}

TEST_F(SetProxyTypeTest, ValidStoredSettingsPassWithoutQuestionsAndAreNotRewritten) {
    dir_.MakeDirs("cache");
    WriteIniValue("Common", "ProxyType", "1");
    WriteIniValue("Common", "CacheDir", dir_ / "cache/");
    const std::string before = Ini();
    SetProxyType(false);
    EXPECT_TRUE(desktop_.prompts.empty());
    EXPECT_TRUE(desktop_.messages.empty());
    EXPECT_EQ(Program().ProxyType, 1);
    EXPECT_EQ(Ini(), before);
}

TEST_F(SetProxyTypeTest, AnEmptyExistingCacheFolderPassesTheCheck) {
    dir_.MakeDirs("empty");
    Program().ProxyType = 1;
    Program().CacheDir = dir_ / "empty";
    EXPECT_TRUE(CheckCacheDir());
    EXPECT_EQ(Program().CacheDir, dir_ / "empty/");
}

TEST_F(SetProxyTypeTest, ChangeTypeAsksAtOnceKeepsTheOldValuesOnCancelAndWritesOnlyWhatChanged) {
    dir_.MakeDirs("cache");
    dir_.WriteFile("cache/cache.idx", "");
    WriteIniValue("Common", "ProxyType", "1");
    WriteIniValue("Common", "CacheDir", dir_ / "cache/");
    desktop_.inputAnswers = {std::string("9")};
    SetProxyType(true);
    EXPECT_EQ(desktop_.prompts.size(), 1u);  // asked at once, no check first
    EXPECT_EQ(Program().ProxyType, 1);
    EXPECT_EQ(Program().CacheDir, dir_ / "cache/");

    desktop_.inputAnswers = {std::string("2"), dir_ / "cache/"};
    SetProxyType(true);
    EXPECT_EQ(Program().ProxyType, 2);
    EXPECT_EQ(GetIniValue("Common", "ProxyType", ""), "2");
    EXPECT_EQ(GetIniValue("Common", "CacheDir", ""), dir_ / "cache/");

    // A folder typed relative to where the program started is stored as the absolute folder it named.
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(dir_ / "cache");
    desktop_.inputAnswers = {std::string("1"), std::string("./../cache")};
    SetProxyType(true);
    std::filesystem::current_path(started);
    const std::string absolute = std::filesystem::canonical(dir_.path()).string() + "/cache/";
    EXPECT_EQ(Program().CacheDir, absolute);
    EXPECT_EQ(GetIniValue("Common", "CacheDir", ""), absolute);
}

class FakeHost final : public MainWindowHost {
  public:
    void ShowMainWindow() override {
        ++shown;
        open = true;
    }
    void UnloadMainWindow() override {
        ++unloaded;
        open = false;
    }
    bool HasMainWindow() const override { return open; }
    int shown = 0, unloaded = 0;
    bool open = false;
};

TEST_F(SetProxyTypeTest, MainOpensTheWindowAndARestartOpensANewOne) {
    dir_.MakeDirs("cache");
    dir_.MakeDirs("bin");
    const std::string ini = dir_ / "bin/loftwick.ini";  // Main looks beside the executable
    WriteIniValue("Common", "ProxyType", "1", ini);
    WriteIniValue("Common", "CacheDir", dir_ / "cache/", ini);
    FakeHost host;
    SetMainWindowHost(&host);
    SetExecutablePath(dir_ / "bin/loftwick");
    Main();
    EXPECT_EQ(Program().IniFileName, ini);
    EXPECT_EQ(host.shown, 1);
    EXPECT_EQ(Program().AppTitle.rfind("Loftwick v. ", 0), 0u);
    EXPECT_EQ(Program().AppExeName, "loftwick");
    EXPECT_EQ(Program().AppParentDir, dir_.path() + "/");

    Program().RestartRequested = true;
    ReleaseProgram();
    EXPECT_EQ(host.unloaded, 1);
    EXPECT_EQ(host.shown, 2);
    EXPECT_FALSE(Program().RestartRequested);
    EXPECT_TRUE(desktop_.prompts.empty());
    SetMainWindowHost(nullptr);
}

TEST_F(SetProxyTypeTest, MainWithoutAChosenProxyOpensNoWindow) {
    dir_.MakeDirs("bin");
    FakeHost host;
    SetMainWindowHost(&host);
    SetExecutablePath(dir_ / "bin/loftwick");
    Main();  // every question cancelled
    EXPECT_EQ(host.shown, 0);
    EXPECT_EQ(Program().ProxyType, 0);
    SetMainWindowHost(nullptr);
}

}  // namespace
}  // namespace loftwick
