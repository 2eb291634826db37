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
    SetProxyTypeTest() {
        Platform().desktop = &desktop;
        Program().IniFileName = dir / "loftwick.ini";
        for (const char* folder : {"wine/drive_c", "cache", "spool/squid", "noindex"}) dir.MakeDirs(folder);
        dir.WriteFile("wg/cache.idx", "");
        dir.WriteFile("squid.conf", "# cache_dir ufs /commented 100 16 256\n  cache_dir\taufs " +
                                        (dir / "spool/squid") + " 100 16 256 # disk\n");
    }
    test::TempDir dir;
    const std::string prefix = dir / "wine";
    test::ScopedEnv wine{"WINEPREFIX", prefix};
    test::ScriptedDesktop desktop;
};

// The first start: the type asked, the folder offered from the registry, squid.conf or the proxy's
// default, checked, and stored; a refused folder is named and the questions start again. Stored
// settings pass unasked.
TEST_F(SetProxyTypeTest, TheTypeAndFolderAreAskedOfferedCheckedAndStored) {
    const std::string winGate = "[Software\\\\Qbik Software\\\\WinGate\\\\Cache] 1\n\"CacheDirectory\"=";
    const std::string gatekeeper =
        "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths\\\\gatekeeper.exe] 1\n\"Path\"=";
    struct Row {
        std::string registry, conf, type, typedDir;
        std::string offered;  // below the prefix's drive_c when relative
        int32_t stored;
        std::string message;  // the last one shown begins with it, when any
        bool unreadable = false;
    };
    const Row rows[] = {
        {"", "", "three", "", "", 0, "Cache Directory was not specified"},
        {"", "", "1", dir / "cache  ", "winproxy/cache/", 1, ""},
        {"[Software\\\\M&Msoft\\\\WinProxy] 1\n\"CacheDir\"=\"C:\\\\proxy\\\\store\\\\\"\n", "", "1", "",
         "proxy/store/", 0, "Cache Directory was not specified"},
        {winGate + "\"wgcache\"\n" + gatekeeper + "\"C:\\\\WinGate\\\\bin\\\\\"\n", "", "2", "",
         "WinGate/bin/wgcache/", 0, ""},
        // A full path is not taken.
        {winGate + "\"D:\\\\wg\\\\cache\"\n", "", "2", dir / "wg", "Program Files/WinGate/cache/", 2, ""},
        {"", "", "2", dir / "noindex", "Program Files/WinGate/cache/", 0,
         "Cache index file was not found in the '" + (dir / "noindex/") + "' direcory"},
        {"", dir / "squid.conf", "3", dir / "spool/squid", dir / "spool/squid/", 3, ""},
        // A folder typed relative to the current one is stored absolute.
        {"", "", "1", std::filesystem::relative(dir / "cache").string(), "winproxy/cache/", 1, ""},
        {"", "", "1", dir / "nowhere", "winproxy/cache/", 0,
         "Cache Directory '" + (dir / "nowhere/") + "' was not found"},
        // A Squid folder this user cannot read names the group that lets the user in.
        {"", dir / "squid.conf", "3", dir / "spool/squid", dir / "spool/squid/", 0,
         "Cache Directory '" + (dir / "spool/squid/") +
             "' cannot be read by this user. Squid's cache folders belong to the group 'root': join it",
         true},
    };
    test::FaultFileSystem faults;
    faults.FailPath(FsOp::List, "/spool/squid", EACCES);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.offered);
        dir.WriteFile("wine/system.reg", "WINE REGISTRY Version 2\n\n" + row.registry);
        std::filesystem::remove(dir / "loftwick.ini");
        Program().ProxyType = 0;
        Program().CacheDir.clear();
        if (!row.conf.empty()) Program().SquidConf = row.conf;
        if (row.unreadable) Platform().fileSystem = &faults;
        desktop.prompts.clear();
        desktop.inputAnswers = {row.type, row.typedDir.empty() ? std::nullopt : std::optional(row.typedDir)};
        SetProxyType(false);
        EXPECT_EQ(Program().ProxyType, row.stored);
        EXPECT_EQ(GetIniValue("Common", "ProxyType", ""), row.stored ? std::to_string(row.stored) : "");
        if (!row.offered.empty()) {
            ASSERT_GE(desktop.prompts.size(), 2u);
            const bool absolute = row.offered.front() == '/';
            EXPECT_EQ(desktop.prompts[1].defaultText,
                      absolute ? row.offered : prefix + "/drive_c/" + row.offered);
        }
        if (row.stored) {
            const std::string storedDir = GetIniValue("Common", "CacheDir", "");
            EXPECT_TRUE(storedDir.front() == '/' && storedDir.back() == '/') << storedDir;
            desktop.prompts.clear();
            SetProxyType(false);
            EXPECT_TRUE(desktop.prompts.empty());
        }
        if (!row.message.empty()) {
            EXPECT_EQ(desktop.messages.back().text.rfind(row.message, 0), 0u) << desktop.messages.back().text;
        }
    }
}

}  // namespace
}  // namespace loftwick
