// Settings files and Wine registry files as golden folders below golden/Settings and golden/Registry:
// the files a case starts from, its edits, the answers they give and the file they leave; a case holding
// "sweep" is played again under every fault. The folders' format: golden/README.txt.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <list>
#include <set>
#include <sstream>

#include "cachebuilder/DescriptionFile.h"
#include "support/FaultSweep.h"
#include "support/ScriptedDesktop.h"
#include "support/TableCheck.h"
#include "support/TestEnv.h"
#include "support/WineRegistry.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

namespace fs = std::filesystem;

// The names below `folder`, relative to it.
std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

class SettingsFiles : public test::ProgramFixture {
  protected:
    struct Played {
        std::string folder, config, before;  // the copy's folder, XDG_CONFIG_HOME, the file at the start
        std::set<std::string> namesBefore;
        std::vector<std::string> answers;
        std::string ini;  // the settings file at the end
        std::set<std::string> names;
    };

    static std::string Placed(const std::string& text, const Played& played) {
        return test::Replaced(test::Replaced(text, "$DIR", played.folder), "$CONFIG", played.config);
    }

    // Plays the case's edits in a fresh copy of it over `faults`.
    Played Play(const fs::path& golden, bool registry, test::FaultFileSystem& faults) {
        test::TempDir dir;
        fs::copy(golden, dir.path(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        for (const char* name : {"edits", "answers", "after.ini", "sweep"}) fs::remove(dir / name);
        test::TempDir config;
        test::ScopedEnv prefix("WINEPREFIX", dir.path()), xdg("XDG_CONFIG_HOME", config / "deeper");
        Program().IniFileName = dir / "loftwick.ini";
        test::ScriptedDesktop desktop;
        FileSystem* const real = Platform().fileSystem;
        Platform().desktop = &desktop;
        Platform().fileSystem = &faults;
        Played played;
        played.folder = dir.path();
        played.config = config / "deeper";
        played.before = dir.ReadFile("loftwick.ini");
        played.namesBefore = NamesIn(dir.path());
        std::list<test::ScopedEnv> envs;  // undone last first
        std::istringstream edits(test::ReadRealFile(golden / "edits"));
        for (std::string line; std::getline(edits, line);) {
            const size_t space = line.find(' ');
            const std::string verb = line.substr(0, space);
            const std::string rest =
                space == std::string::npos ? "" : Placed(builder::Unescape(line.substr(space + 1)), played);
            const std::vector<std::string> f = test::Fields(rest, 0, verb == "fail" ? " " : "|");
            if (verb == "get" && registry) {
                const uint32_t root = f.size() > 2 ? std::stoul(f[2], nullptr, 16) : HKEY_LOCAL_MACHINE;
                played.answers.push_back(MyRegQueryStringValue(root, f[0], f[1]));
            } else if (verb == "get") {
                played.answers.push_back(GetIniValue(f[0], f[1], f[2]));
            } else if (verb == "set") {
                played.answers.push_back(WriteIniValue(f[0], f[1], f[2]) ? "true" : "false");
            } else if (verb == "sets") {
                std::vector<IniValue> values;
                for (size_t k = 0; k + 2 < f.size(); k += 3) values.push_back({f[k], f[k + 1], f[k + 2]});
                played.answers.push_back(WriteIniValues(values) ? "true" : "false");
            } else if (verb == "native") {
                played.answers.push_back(WindowsPathToNative(rest));
            } else if (verb == "fail" && f[1].rfind("path:", 0) == 0) {
                faults.FailPath(test::FsOpNamed(f[0]), f[1].substr(5), test::ErrnoNamed(f[2]));
            } else if (verb == "fail") {
                faults.FailNth(test::FsOpNamed(f[0]), std::stoi(f[1]), test::ErrnoNamed(f[2]));
            } else if (verb == "choose") {
                const std::string name = ChooseIniFileName(played.folder + rest, "loftwick");
                played.answers.push_back(
                    name + (fs::is_directory(fs::path(name).parent_path()) ? "" : " (no folder)"));
            } else if (verb == "env") {
                envs.emplace_back(f[0], f[1]);
            } else if (verb == "desktop") {
                desktop.messagesFail = rest == "failing";
            } else if (verb == "nofile") {
                Program().IniFileName.clear();
            } else if (verb == "messages") {
                std::string titles;
                for (const auto& message : desktop.messages)
                    titles += (titles.empty() ? "" : ",") + message.title;
                played.answers.push_back(titles.empty() ? "none" : titles);
            } else {
                ADD_FAILURE() << "unknown edit: " << line;
            }
        }
        while (!envs.empty()) envs.pop_back();
        Platform().fileSystem = real;
        played.ini = dir.ReadFile("loftwick.ini");
        played.names = NamesIn(dir.path());
        return played;
    }

    void Run(const fs::path& golden, bool registry) {
        SCOPED_TRACE(golden.filename().string());
        test::FaultFileSystem faults;
        const Played played = Play(golden, registry, faults);
        std::vector<std::string> expected;
        std::istringstream lines(test::ReadRealFile(golden / "answers"));
        for (std::string line; std::getline(lines, line);)
            expected.push_back(Placed(builder::Unescape(line), played));
        EXPECT_EQ(played.answers, expected);
        const bool changes = fs::exists(golden / "after.ini");
        const std::string after = changes ? test::ReadRealFile(golden / "after.ini") : played.before;
        EXPECT_EQ(played.ini, after);
        std::set<std::string> names = played.namesBefore;
        if (changes) names.insert("loftwick.ini");
        EXPECT_EQ(played.names, names);
        if (!fs::exists(golden / "sweep")) return;
        const auto check = [&](test::FaultFileSystem& faults) {
            const Played run = Play(golden, registry, faults);
            EXPECT_EQ(run.ini, run.answers.back() == "true" ? after : run.before);
            EXPECT_EQ(run.names, names);
        };
        int points = 0;
        for (const FsOp op : {FsOp::Stat, FsOp::OpenRead, FsOp::Read, FsOp::OpenWrite, FsOp::Write,
                              FsOp::Sync, FsOp::Close, FsOp::Rename, FsOp::RemoveFile})
            points += test::SweepFaults(op, op == FsOp::OpenWrite || op == FsOp::Write ? ENOSPC : EIO, check);
        for (uint64_t bytes = 0; bytes <= after.size(); ++bytes, ++points) {
            SCOPED_TRACE("writes fail after " + std::to_string(bytes) + " bytes");
            test::FaultFileSystem full;
            full.FailWritesAfterBytes(bytes, ENOSPC);
            check(full);
        }
        EXPECT_GT(points, 100);
    }
    void RunAll(const std::string& kind) {
        int cases = 0;
        for (const auto& entry :
             fs::directory_iterator(std::string(LOFTWICK_SOURCE_DIR) + "/tests/support/golden/" + kind)) {
            Run(entry.path(), kind == "Registry");
            ++cases;
        }
        EXPECT_GT(cases, 5);
    }
};

TEST_F(SettingsFiles, SettingsCases) { RunAll("Settings"); }
TEST_F(SettingsFiles, RegistryCases) { RunAll("Registry"); }

// A value is found the same whichever two pieces the file arrives in; an overlong line is passed over.
TEST(WineRegistryLookup, ValuesSplitAcrossFeedsAtEveryByte) {
    const std::string text =
        "WINE REGISTRY Version 2\n[A\\\\B] 1\n\"V\"=hex(1):68,00,\\\n  69,00\n\"W\"=\"x\\\\y\"";
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        WineRegistryLookup lookup({"a\\b"}, "w");
        lookup.Feed(std::string_view(text).substr(0, cut));
        lookup.Feed(std::string_view(text).substr(cut));
        lookup.Finish();
        ASSERT_TRUE(lookup.Result(0)) << cut;
        EXPECT_EQ(lookup.Result(0)->data, "x\\y") << cut;
    }
    WineRegistryLookup hex({"A\\B"}, "V");
    hex.Feed(text);
    hex.Finish();
    ASSERT_TRUE(hex.Result(0));
    EXPECT_EQ(hex.Result(0)->type, 1u);
    EXPECT_EQ(hex.Result(0)->data, "hi");
    const std::string overlong = "WINE REGISTRY Version 2\n[A\\\\B] 1\n\"L\"=\"" +
                                 std::string(3 * WineRegistryLookup::kMaxLine, 'A') + "\"\n\"X\"=\"after\"\n";
    for (const auto& [name, found] : {std::pair<const char*, bool>{"L", false}, {"X", true}}) {
        WineRegistryLookup lookup({"A\\B"}, name);
        lookup.Feed(overlong);
        lookup.Finish();
        EXPECT_EQ(lookup.Result(0).has_value(), found) << name;
    }
}

}  // namespace
}  // namespace loftwick
