#include "app/basMain.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/FaultFileSystem.h"
#include "support/Program.h"
#include "support/ScriptedDesktop.h"
#include "support/TableCheck.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

using SetProxyTypeTest = test::ProgramFixture;

// Each row of app/golden/SetProxyType.txt on a first start: the type asked, the folder offered from the
// registry, squid.conf or the proxy's default, checked and stored; stored settings pass unasked.
TEST_F(SetProxyTypeTest, TheTypeAndFolderAreAskedOfferedCheckedAndStored) {
    test::TempDir dir;
    test::ScopedEnv wine{"WINEPREFIX", dir / "wine"};
    test::ScriptedDesktop desktop;
    Platform().desktop = &desktop;
    Program().IniFileName = dir / "loftwick.ini";
    for (const char* folder : {"wine/drive_c", "cache", "spool/squid", "noindex"}) dir.MakeDirs(folder);
    dir.WriteFile("wg/cache.idx", "");
    dir.WriteFile("squid.conf", "# cache_dir ufs /commented 100 16 256\n  cache_dir\taufs " +
                                    (dir / "spool/squid") + " 100 16 256 # disk\n");
    test::FaultFileSystem faults;
    faults.FailPath(FsOp::List, "/spool/squid", EACCES);
    faults.FailPath(FsOp::OpenDir, "/spool/squid", EACCES);
    FileSystem* const real = Platform().fileSystem;
    const auto replace = [](std::string text, const std::vector<std::pair<std::string, std::string>>& pairs) {
        for (const auto& [from, to] : pairs) text = test::Replaced(text, from, to);
        return text;
    };
    const auto firstStart = [&](const std::string& answers, const std::string& found) {
        const auto expand = [&](const std::string& text) {
            return replace(text, {{"{dir}", dir.path()},
                                  {"{rel}", std::filesystem::relative(dir.path()).string()},
                                  {"\\n", "\n"}});
        };
        const bool squid = found.rfind("squid", 0) == 0;
        dir.WriteFile("wine/system.reg",
                      "WINE REGISTRY Version 2\n\n" + (squid || found == "-" ? "" : expand(found) + "\n"));
        std::filesystem::remove(dir / "loftwick.ini");
        Program().ProxyType = 0;
        Program().CacheDir.clear();
        if (squid) Program().SquidConf = dir / "squid.conf";
        Platform().fileSystem = found == "squid unreadable" ? &faults : real;
        desktop.prompts.clear();
        desktop.messages.clear();
        const size_t blank = answers.find(' ');
        desktop.inputAnswers = {
            answers.substr(0, blank),
            blank == std::string::npos ? std::nullopt : std::optional(expand(answers.substr(blank + 1)))};
        SetProxyType(false);
        const std::string type = GetIniValue("Common", "ProxyType", "");
        EXPECT_EQ(type, Program().ProxyType ? std::to_string(Program().ProxyType) : "");
        std::string said = (desktop.prompts.size() > 1 ? desktop.prompts[1].defaultText : "-") + " ; " +
                           (type.empty() ? "-" : type + " " + GetIniValue("Common", "CacheDir", "")) + " ;" +
                           (desktop.messages.size() < 2 ? "" : " " + desktop.messages.back().text);
        desktop.prompts.clear();
        if (!type.empty()) SetProxyType(false);
        if (!desktop.prompts.empty()) said += " ; asked again";
        return replace(said, {{dir / "wine/drive_c", "{c}"}, {dir.path(), "{dir}"}, {"\n", "\\n"}});
    };
    EXPECT_EQ(test::CheckTable("app/golden/SetProxyType.txt", firstStart), 10);
}

}  // namespace
}  // namespace loftwick
