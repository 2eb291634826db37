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

class SetProxyTypeTest : public test::ProgramFixture {
  protected:
    SetProxyTypeTest() : prefix_(dir_ / "wine"), wine_("WINEPREFIX", prefix_) {
        Platform().desktop = &desktop_;
        Program().IniFileName = dir_ / "loftwick.ini";
        dir_.MakeDirs("wine/drive_c");
        dir_.MakeDirs("cache");
        dir_.MakeDirs("spool/squid");
        dir_.WriteFile("wg/cache.idx", "");
        dir_.MakeDirs("noindex");
        dir_.WriteFile("squid.conf",
                       "# cache_dir ufs /commented 100 16 256\ncache_dir rock /rock 100\n"
                       "  cache_dir\taufs " +
                           (dir_ / "spool/squid") + " 100 16 256 # disk\n");
    }

    test::TempDir dir_;
    std::string prefix_;
    test::ScopedEnv wine_;
    test::ScriptedDesktop desktop_;
};

// The first start: the type asked, the folder offered from the registry, squid.conf or the proxy's
// default, checked, and stored; a refused folder is named and the questions start again.
TEST_F(SetProxyTypeTest, TheTypeAndFolderAreAskedOfferedCheckedAndStored) {
    const std::string winGate = "[Software\\\\Qbik Software\\\\WinGate\\\\Cache] 1\n\"CacheDirectory\"=";
    const std::string gatekeeper =
        "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths\\\\gatekeeper.exe] 1\n\"Path\"=";
    struct Row {
        std::string registry, conf, type, typedDir;
        std::string offered;  // below the prefix's drive_c when relative
        int32_t stored;
        std::string message;  // the last one shown, when any
    };
    const Row rows[] = {
        {"", "", "three", "", "", 0, "Cache Directory was not specified"},
        {"", "", "1", dir_ / "cache  ", "winproxy/cache/", 1, ""},
        {"[Software\\\\M&Msoft\\\\WinProxy] 1\n\"CacheDir\"=\"C:\\\\proxy\\\\store\\\\\"\n", "", "1", "",
         "proxy/store/", 0, "Cache Directory was not specified"},
        {winGate + "\"wgcache\"\n" + gatekeeper + "\"C:\\\\WinGate\\\\bin\\\\\"\n", "", "2", "",
         "WinGate/bin/wgcache/", 0, ""},
        // A full path is not taken.
        {winGate + "\"D:\\\\wg\\\\cache\"\n", "", "2", dir_ / "wg", "Program Files/WinGate/cache/", 2, ""},
        {"", "", "2", dir_ / "noindex", "Program Files/WinGate/cache/", 0,
         "Cache index file was not found in the '" + (dir_ / "noindex/") + "' direcory"},
        {"", dir_ / "squid.conf", "3", dir_ / "spool/squid", dir_ / "spool/squid/", 3, ""},
        {"", dir_ / "missing.conf", "3", "", "/var/spool/squid/", 0, ""},
        {"", "", "1", dir_ / "nowhere", "winproxy/cache/", 0,
         "Cache Directory '" + (dir_ / "nowhere/") + "' was not found"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.offered);
        dir_.WriteFile("wine/system.reg", "WINE REGISTRY Version 2\n\n" + row.registry);
        std::filesystem::remove(dir_ / "loftwick.ini");
        Program().ProxyType = 0;
        Program().CacheDir.clear();
        if (!row.conf.empty()) Program().SquidConf = row.conf;
        desktop_.prompts.clear();
        desktop_.inputAnswers = {row.type, row.typedDir.empty() ? std::nullopt : std::optional(row.typedDir)};
        SetProxyType(false);
        EXPECT_EQ(Program().ProxyType, row.stored);
        EXPECT_EQ(GetIniValue("Common", "ProxyType", ""), row.stored ? std::to_string(row.stored) : "");
        if (!row.offered.empty()) {
            ASSERT_GE(desktop_.prompts.size(), 2u);
            const bool absolute = row.offered.front() == '/';
            EXPECT_EQ(desktop_.prompts[1].defaultText,
                      absolute ? row.offered : prefix_ + "/drive_c/" + row.offered);
        }
        if (row.stored) {
            EXPECT_EQ(GetIniValue("Common", "CacheDir", "").back(), '/');
        }
        if (!row.message.empty()) {
            EXPECT_EQ(desktop_.messages.back().text, row.message);
        }
    }

    // A Squid folder this user cannot read names the group that lets the user in.
    test::FaultFileSystem faults;
    faults.FailPath(FsOp::List, "/spool/squid", EACCES);
    Platform().fileSystem = &faults;
    desktop_.inputAnswers = {std::string("3"), dir_ / "spool/squid"};
    SetProxyType(false);
    EXPECT_EQ(desktop_.messages.back().text.rfind("Cache Directory '" + (dir_ / "spool/squid/") +
                                                      "' cannot be read by this user. Squid's cache folders "
                                                      "belong to the group 'root': join it",
                                                  0),
              0u);
}

TEST_F(SetProxyTypeTest, StoredSettingsPassUnaskedAndACancelledChangeKeepsThem) {
    WriteIniValue("Common", "ProxyType", "2");
    WriteIniValue("Common", "CacheDir", dir_ / "wg/");
    const std::string before = dir_.ReadFile("loftwick.ini");
    SetProxyType(false);
    EXPECT_TRUE(desktop_.prompts.empty());
    EXPECT_EQ(dir_.ReadFile("loftwick.ini"), before);

    desktop_.inputAnswers = {std::string("9")};
    SetProxyType(true);
    EXPECT_EQ(desktop_.prompts.size(), 1u);  // asked at once, no check first
    EXPECT_EQ(Program().ProxyType, 2);
    EXPECT_EQ(Program().CacheDir, dir_ / "wg/");
}

}  // namespace
}  // namespace loftwick
