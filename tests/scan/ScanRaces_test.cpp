// The proxy keeps working while a scan runs: it replaces cached files, appends to them and cuts them
// short (its index growing or cut short during the walk: golden cases). Whenever that happens, the scan
// must not crash, must delete an object only while the path still names the file that matched, and must
// say how many it left alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cachebuilder/DescriptionFile.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ScanTestSupport.h"
#include "support/FaultFileSystem.h"
#include "support/FaultSweep.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

namespace fs = std::filesystem;

class ScanRaces : public test::ProgramFixture {
  protected:
    ScanRaces() {
        Platform().desktop = &desktop_;
        Program().CacheDir = dir_ / "cache/";
        Program().ProxyType = 1;
    }

    // Three html objects saying hello and two others in two host folders, all aged.
    void BuildWinProxy() {
        fs::remove_all(dir_ / "cache");
        std::ifstream description(LOFTWICK_SOURCE_DIR
                                  "/tests/scan/golden/delete-aged-html-with-contents/cache.txt");
        builder::BuildFromDescription(description, dir_ / "cache");
    }

    test::TempDir dir_;
    test::ScriptedDesktop desktop_;
    test::RecordingScanHost host_;
    ScanState state_;
    ScanInputs inputs_;
};

// At every look the scan takes at a cache file (its listing, binding, reading, removal), the proxy
// replaces that file with an object that does not match (renaming a finished file over it, as proxies
// do), removes it, appends to it or cuts it short. A replaced file is never deleted: read before the
// change it is left alone and counted, read after it is not selected. A vanished file is no error: it is
// counted as not found or as changed. A file growing or shrinking while it is read does no harm: no
// report, no negative length.
TEST_F(ScanRaces, FileChangedAtAnyMomentIsNeverDeletedUnlessItMatched) {
    const std::vector<FsOp> everyLook = {FsOp::List,     FsOp::Lstat, FsOp::GetCreation,
                                         FsOp::OpenRead, FsOp::Read,  FsOp::RemoveFile},
                            bindAndRead = {FsOp::Lstat, FsOp::OpenRead, FsOp::Read};
    enum Expect { kKept, kToldOf, kHarmless };
    const struct {
        const char* change;
        std::vector<FsOp> looks;  // a removal is looked for where the scan binds a file and reads it
        Expect expect;
        std::function<void(const std::string&)> act;
    } races[] = {
        {"replaced", everyLook, kKept,
         [&](const std::string& file) {  // by a copy of a picture
             fs::copy_file(dir_ / "cache/a.example/90b15afe_1.gif", dir_ / "fresh");
             fs::rename(dir_ / "fresh", file);
         }},
        {"removed", bindAndRead, kToldOf, [](const std::string& file) { fs::remove(file); }},
        {"grown", everyLook, kHarmless,
         [](const std::string& f) { std::ofstream(f, std::ios::app) << std::string(50000, 'g') << "hello"; }},
        {"cut short", everyLook, kHarmless, [](const std::string& file) { fs::resize_file(file, 3); }},
        {"emptied", everyLook, kHarmless, [](const std::string& file) { fs::resize_file(file, 0); }},
    };
    int moments = 0;
    for (const auto& race : races) {
        for (const bool aged : {false, true}) {
            inputs_.contentTypeFilter = "html";
            inputs_.contentsFilter = race.expect == kHarmless ? "hello" : "";  // read to its end
            inputs_.deleteOld = !aged;
            inputs_.deleteAged = aged;
            for (int n = 1;; ++n) {
                SCOPED_TRACE(std::string(race.change) + (aged ? " deleting aged" : "") + " at look " +
                             std::to_string(n));
                BuildWinProxy();
                desktop_.messages.clear();
                test::FaultFileSystem faults;
                int looks = 0;
                std::string changed;
                for (FsOp op : race.looks)
                    faults.SetHook(op, [&, op](const std::string& path) {
                        if (++looks != n) return;
                        std::string file = path;
                        if (fs::is_directory(path))  // a listing: the proxy changes the folder's last file
                            for (const auto& entry : fs::directory_iterator(path))
                                if (entry.is_regular_file()) file = entry.path().string();
                        if (file.rfind(Program().CacheDir, 0) != 0 ||
                            !fs::is_regular_file(fs::symlink_status(file)))
                            return;
                        // Only a selected file is told of when it vanishes after it was opened.
                        if (race.expect == kToldOf && op == FsOp::Read && !file.ends_with(".html")) return;
                        race.act(file);
                        changed = file;
                    });
                Platform().fileSystem = &faults;
                EXPECT_TRUE(ProcessAllFiles(state_, inputs_, host_)) << host_.Summary();
                Platform().fileSystem = nullptr;
                if (looks < n) break;
                if (changed.empty()) continue;
                ++moments;
                EXPECT_EQ(state_.ErrorCount(), 0) << host_.Summary();
                const bool wasHtml = changed.ends_with(".html");
                std::string said;  // the list, each line after a line break
                for (const std::string& line : host_.lines) said += "\n" + line;
                if (race.expect == kHarmless) {
                    EXPECT_TRUE(desktop_.messages.empty()) << desktop_.messages.front().text;
                    EXPECT_EQ(said.find(": -"), std::string::npos) << "a negative length: " << said;
                    continue;
                }
                EXPECT_EQ(state_.FilesDeleted, wasHtml ? 2 : 3);
                EXPECT_TRUE(race.expect != kToldOf || said.find("\nWarning! 1 files") != std::string::npos)
                    << "nobody heard of the vanished file";
                if (race.expect == kToldOf) continue;
                ASSERT_TRUE(fs::exists(changed)) << "the proxy's new file was deleted";
                EXPECT_EQ(said.find("\nWarning! 1 files changed during the scan and were left alone.") !=
                              std::string::npos,
                          wasHtml && state_.FilesSelected == 3)
                    << host_.Summary();
            }
        }
    }
    EXPECT_GT(moments, 40);
}

// Reading ahead, Break stops at the same object as on one thread, however far the reading got; a scan
// started meanwhile does not start.
TEST_F(ScanRaces, BreakStopsAtTheSameObjectReadingAheadOrNot) {
    BuildWinProxy();
    for (const char* contents : {"", "absent"}) {
        std::vector<std::string> lines[2];
        for (const bool readAhead : {false, true}) {
            SCOPED_TRACE(std::string(readAhead ? "read ahead" : "one thread") + ", contents: " + contents);
            Program().ReadAhead = readAhead;
            inputs_.contentsFilter = contents;
            test::RecordingScanHost host;
            ScanState state;
            host.onEvents = [&](int n) {
                if (n == 1) {
                    EXPECT_FALSE(ProcessAllFiles(state, inputs_, host));  // another scan only beeps
                }
                state.BreakRequested = state.BreakRequested || n == 3;
            };
            EXPECT_FALSE(ProcessAllFiles(state, inputs_, host));
            EXPECT_EQ(host.status, "Interrupted");
            EXPECT_EQ(host.Summary().rfind("Ended with error(s). ", 0), 0u);
            lines[readAhead] = host.lines;
        }
        EXPECT_EQ(lines[1], lines[0]);
    }
    EXPECT_EQ(desktop_.beeps, 4);
}

// A result the scan kept deletes on its own later: it asks the Squid again, and says what went wrong, where
// the scan's deletion gathered the outcomes and said them at its end.
TEST_F(ScanRaces, SquidResultDeletedAfterTheScanDecidesItself) {
    std::ifstream description(LOFTWICK_SOURCE_DIR
                              "/tests/scan/golden/squid-running-deletes-by-purge/cache.txt");
    builder::BuildFromDescription(description, dir_ / "cache");
    Program().ProxyType = 3;
    proxy_.answers["http://d.example/refused"] = 403;
    inputs_.deleteOld = true;
    for (const char* url : {"silent", "refused"}) {
        SCOPED_TRACE(url);
        proxy_.running = true;
        inputs_.urlFilter = url;
        host_.results.Clear();
        EXPECT_FALSE(ProcessAllFiles(state_, inputs_, host_));  // the purge was not answered, or refused
        ASSERT_EQ(host_.results.Count(), 1);
        const std::shared_ptr<clsCache> result = host_.results.Item(1);
        const size_t told = desktop_.messages.size();
        proxy_.running = std::string(url) == "refused";  // else stopped since: the swap file goes
        const std::string file = result->fileName();
        EXPECT_EQ(result->Delete(), !proxy_.running);
        EXPECT_EQ(fs::exists(file), proxy_.running);
        ASSERT_EQ(desktop_.messages.size(), told + proxy_.running);
        EXPECT_TRUE(!proxy_.running ||
                    desktop_.messages.back().text.find("403 Forbidden") != std::string::npos);
    }
}

}  // namespace
}  // namespace loftwick
