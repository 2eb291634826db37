// The proxy keeps working while a scan runs: it replaces cached files, appends to them, cuts them short
// and rewrites its index. Whenever that happens, the scan must not crash, must delete an object only
// while the path still names the file that matched, and must say how many it left alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cachebuilder/WinGateBuilder.h"
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
using builder::Content;
using builder::HttpDate;

constexpr int64_t kNow = 1733479200;
constexpr int64_t kDay = 86400;
constexpr const char* kLeftAlone = "Warning! 1 files changed during the scan and were left alone.";

builder::WinProxyObject Object(const std::string& host, const std::string& path, const std::string& type,
                               const std::string& body) {
    builder::WinProxyObject o;
    o.host = host;
    o.url = "http://" + host + path;
    o.Header("Date", HttpDate(kNow - kDay)).Header("Content-Type", type);
    o.content = Content::Bytes(body);
    o.stamp.creationTime = kNow - kDay;  // aged: the time-to-live stamp has passed
    return o;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class ScanRaces : public test::ProgramFixture {
  protected:
    ScanRaces() {
        Platform().desktop = &desktop_;
        Program().CacheDir = dir_ / "cache/";
        Program().AppParentDir = dir_ / "";
    }

    // Three html objects and two others in two host folders.
    void BuildWinProxy() {
        builder::WinProxyCache cache(dir_ / "cache/");
        cache.Add(Object("a.example", "/one.html", "text/html", "hello one"));
        cache.Add(Object("a.example", "/two.gif", "image/gif", "GIF89a two"));
        cache.Add(Object("a.example", "/three.html", "text/html", "hello three"));
        cache.Add(Object("b.example", "/four.txt", "text/plain", "four"));
        cache.Add(Object("b.example", "/five.html", "text/html", "hello five"));
    }

    bool Scan() { return ProcessAllFiles(state_, inputs_, host_); }

    // What the proxy does to a file: writes a new object under the same name, as proxies do, by
    // renaming a finished file over it.
    void ReplaceWithPng(const std::string& path) {
        const std::string fresh = dir_ / "fresh";
        builder::WriteObjectFile(fresh, builder::HeaderBlock(Object("x", "/new", "image/png", "")),
                                 Content::Bytes("a png the proxy just stored"));
        fs::rename(fresh, path);
    }

    test::TempDir dir_;
    test::ScriptedDesktop desktop_;
    test::RecordingScanHost host_;
    ScanState state_;
    ScanInputs inputs_;
};

bool InCache(const std::string& path) {
    return path.rfind(Program().CacheDir, 0) == 0 && fs::is_regular_file(fs::symlink_status(path));
}

// At every look the scan takes at a cache file (its listing, binding, reading, removal), the proxy
// replaces that file with an object that does not match, removes it, appends to it or cuts it short. A
// replaced file is never deleted: read before the change it is left alone and counted, read after it is
// not selected. A vanished file is no error: it is counted as not found or as changed. A file growing or
// shrinking while it is read does no harm: no report, no negative length.
TEST_F(ScanRaces, FileChangedAtAnyMomentIsNeverDeletedUnlessItMatched) {
    Program().ProxyType = 1;
    inputs_.contentTypeFilter = "html";
    int moments = 0;
    enum Change { kReplace, kRemove, kGrow, kCutShort, kEmpty };
    for (const Change change : {kReplace, kRemove, kGrow, kCutShort, kEmpty}) {
        for (const bool aged : {false, true}) {
            inputs_.deleteOld = !aged;
            inputs_.deleteAged = aged;
            for (int n = 1;; ++n) {
                SCOPED_TRACE("change " + std::to_string(change) + (aged ? " deleting aged" : "") +
                             " at look " + std::to_string(n));
                fs::remove_all(dir_ / "cache");
                BuildWinProxy();
                desktop_.messages.clear();
                inputs_.contentsFilter =
                    change >= kGrow ? "hello" : "";  // the growing file is read to its end
                test::FaultFileSystem faults;
                int looks = 0;
                std::string changed;
                const auto look = [&](const std::string& path, FsOp op) {
                    if (++looks != n) return;
                    std::string file = path;
                    if (fs::is_directory(path)) {  // a listing: the proxy changes the folder's last file
                        for (const auto& entry : fs::directory_iterator(path))
                            if (entry.is_regular_file()) file = entry.path().string();
                    }
                    if (!InCache(file)) return;
                    // Only a selected file is told of when it vanishes after it was opened.
                    if (change == kRemove && op == FsOp::Read && file.find(".html") == std::string::npos)
                        return;
                    if (change == kReplace) ReplaceWithPng(file);
                    if (change == kRemove) fs::remove(file);
                    if (change == kGrow)
                        std::ofstream(file, std::ios::app) << std::string(50000, 'g') << "hello";
                    if (change >= kCutShort) fs::resize_file(file, change == kCutShort ? 3 : 0);
                    changed = file;
                };
                // A removal is looked for where the scan binds a file and reads it, before it deletes it.
                const std::vector<FsOp> ops =
                    change == kRemove ? std::vector<FsOp>{FsOp::Lstat, FsOp::OpenRead, FsOp::Read}
                                      : std::vector<FsOp>{FsOp::List,     FsOp::Lstat, FsOp::GetCreation,
                                                          FsOp::OpenRead, FsOp::Read,  FsOp::RemoveFile};
                for (FsOp op : ops) faults.SetHook(op, [&, op](const std::string& path) { look(path, op); });
                Platform().fileSystem = &faults;
                EXPECT_TRUE(Scan()) << host_.Summary();
                Platform().fileSystem = nullptr;
                if (looks < n) break;
                if (changed.empty()) continue;
                ++moments;
                EXPECT_EQ(state_.ErrorCount(), 0) << host_.Summary();
                const bool wasHtml = changed.find(".html") != std::string::npos;
                if (change >= kGrow) {
                    EXPECT_TRUE(desktop_.messages.empty()) << desktop_.messages.front().text;
                    for (const std::string& line : host_.lines)
                        EXPECT_EQ(line.find(": -"), std::string::npos) << "a negative length: " << line;
                    continue;
                }
                EXPECT_EQ(state_.FilesDeleted, wasHtml ? 2 : 3);
                if (change == kRemove) {
                    EXPECT_TRUE(std::any_of(host_.lines.begin(), host_.lines.end(), [](const std::string& l) {
                        return l.rfind("Warning! 1 files", 0) == 0;
                    })) << "nobody heard of the vanished file";
                    continue;
                }
                ASSERT_TRUE(fs::exists(changed)) << "the proxy's new file was deleted";
                EXPECT_EQ(Has(host_.lines, kLeftAlone), wasHtml && state_.FilesSelected == 3)
                    << host_.Summary();
            }
        }
    }
    RecordProperty("moments", moments);
    EXPECT_GT(moments, 40);
}

// Reading ahead, Break stops at the same object as on one thread, however far the reading got.
TEST_F(ScanRaces, BreakStopsAtTheSameObjectReadingAheadOrNot) {
    Program().ProxyType = 1;
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
                if (n == 3) state.BreakRequested = true;
            };
            EXPECT_FALSE(ProcessAllFiles(state, inputs_, host));
            EXPECT_EQ(host.status, "Interrupted");
            EXPECT_EQ(host.Summary().rfind("Ended with error(s). ", 0), 0u);
            lines[readAhead] = host.lines;
        }
        EXPECT_EQ(lines[1], lines[0]);
    }
}

// Records the proxy appends while the index is walked wait for the next scan; an index it cuts short
// ends the walk after the records read (the first chunk of 8192 bytes: those wholly inside it).
TEST_F(ScanRaces, IndexGrowingOrCutShortDuringTheWalk) {
    Program().ProxyType = 2;
    for (const bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "cut short" : "growing");
        fs::remove_all(dir_ / "cache");
        // 400 records (about 17 KB, three chunks), every one with its content file.
        builder::WinGateCache cache(dir_ / "cache/");
        size_t size = 0, inFirstChunk = 0;
        for (int i = 0; i < 400; ++i) {
            builder::WinGateRecord r;
            r.url = "h.example/" + std::to_string(i);
            r.baseName = "o" + std::to_string(i);
            r.retrieved = static_cast<uint32_t>(kNow - kDay);
            r.contentType = "text/html";
            cache.Add(r, builder::WinGateContent{Content::Bytes("x"), false, {}});
            size += builder::EncodeRecord(r).size();
            inFirstChunk += size <= 8192;
        }
        test::FaultFileSystem faults;
        int reads = 0;
        faults.SetHook(FsOp::Read, [&](const std::string& path) {
            if (path.find("cache.idx") == std::string::npos || ++reads != 2) return;
            if (cut) return fs::resize_file(path, 100);
            builder::WinGateRecord r;
            r.url = "late.example/x";
            r.baseName = "o1";
            std::ofstream(path, std::ios::binary | std::ios::app) << builder::EncodeRecord(r);
        });
        Platform().fileSystem = &faults;
        EXPECT_TRUE(Scan());
        Platform().fileSystem = nullptr;
        const std::string read = std::to_string(cut ? inFirstChunk : 400);
        EXPECT_EQ(host_.Summary(), "OK! " + read + " of " + read + " files selected, 0 seconds");
    }
}

}  // namespace
}  // namespace loftwick
