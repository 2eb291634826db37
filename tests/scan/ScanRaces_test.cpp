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
    void BuildWinProxy(const std::string& folder = {}) {
        builder::WinProxyCache cache(folder.empty() ? dir_ / "cache/" : folder);
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

// At every look the scan takes at a cache file (its listing, binding, reading), the proxy replaces
// that file with an object that does not match: it is never deleted, whether the scan read the old file
// (then it is left alone and counted) or the new one (then it is not selected).
TEST_F(ScanRaces, FileReplacedAtAnyMomentIsNeverDeletedUnlessItMatched) {
    Program().ProxyType = 1;
    inputs_.contentTypeFilter = "html";
    inputs_.deleteOld = 1;
    int moments = 0;
    for (int n = 1;; ++n) {
        SCOPED_TRACE("the proxy replaces the file of look " + std::to_string(n));
        fs::remove_all(dir_ / "cache");
        BuildWinProxy();
        test::FaultFileSystem faults;
        int looks = 0;
        std::string replaced;
        const auto look = [&](const std::string& path) {
            if (++looks != n) return;
            std::string file = path;
            if (fs::is_directory(path)) {  // a listing: the proxy replaces the folder's first file
                for (const auto& entry : fs::directory_iterator(path)) {
                    if (entry.is_regular_file()) file = entry.path().string();
                }
            }
            if (!InCache(file)) return;
            ReplaceWithPng(file);
            replaced = file;
        };
        for (FsOp op :
             {FsOp::List, FsOp::Lstat, FsOp::GetCreation, FsOp::OpenRead, FsOp::Read, FsOp::RemoveFile})
            faults.SetHook(op, look);
        Platform().fileSystem = &faults;
        EXPECT_TRUE(Scan()) << host_.Summary();
        Platform().fileSystem = nullptr;
        if (looks < n) break;
        if (replaced.empty()) continue;
        ++moments;
        ASSERT_TRUE(fs::exists(replaced)) << "the proxy's new file was deleted";
        const bool wasHtml = replaced.find(".html") != std::string::npos;
        EXPECT_EQ(state_.FilesDeleted, wasHtml ? 2 : 3);
        // An html file the scan had read is left alone and counted; one read after the change is not
        // selected.
        EXPECT_EQ(Has(host_.lines, kLeftAlone), wasHtml && state_.FilesSelected == 3) << host_.Summary();
    }
    RecordProperty("moments", moments);
    EXPECT_GT(moments, 10);
}

// A hostile user swaps a host folder for a link to a folder outside the cache (holding files of the same
// names) between any two file-system calls of a scan that deletes, deletes aged, fixes times or sets
// time-to-live stamps: the folder outside never changes. A link in place before the host folder is
// opened is reported and not walked; one that comes later changes nothing, the folder being held.
TEST_F(ScanRaces, HostFolderSwappedForALinkBetweenAnyTwoCallsNeverReachesOutside) {
    Program().ProxyType = 1;
    int swaps = 0;
    for (int operation = 0; operation < 4; ++operation) {
        SCOPED_TRACE("operation " + std::to_string(operation));
        test::FolderState before;
        swaps += test::SweepCallBoundaries(
            [&] {
                fs::rename(dir_ / "cache/a.example", dir_ / "away");
                fs::create_directory_symlink(dir_ / "outside/a.example", dir_ / "cache/a.example");
            },
            [&](test::FaultFileSystem& faults) {
                for (const char* folder : {"cache", "outside", "away"}) fs::remove_all(dir_ / folder);
                BuildWinProxy();
                BuildWinProxy(dir_ / "outside/");
                before = test::SnapshotFolder(dir_ / "outside");
                inputs_ = ScanInputs();
                inputs_.deleteOld = operation == 0;
                inputs_.deleteAged = operation == 1;
                inputs_.fixTime = operation == 2;
                inputs_.setTTL = operation == 3;
                inputs_.ttlDays = "-400";
                Platform().fileSystem = &faults;
                Scan();
                Platform().fileSystem = nullptr;
                EXPECT_EQ(test::SnapshotFolder(dir_ / "outside"), before) << host_.Summary();
            });
    }
    RecordProperty("swaps", swaps);
    EXPECT_GT(swaps, 40);
}

// An object with a second name (a hard link, which may lie anywhere on the device) is never stamped:
// the stamp is reported as failed and the scan goes on with the other objects.
TEST_F(ScanRaces, HardLinkedObjectIsNotStampedAndTheFailureIsReported) {
    Program().ProxyType = 1;
    BuildWinProxy();
    std::string victim;
    for (const auto& entry : fs::directory_iterator(dir_ / "cache/b.example")) victim = entry.path();
    fs::create_hard_link(victim, dir_ / "elsewhere");
    const test::FolderState before = test::SnapshotFolder(dir_ / "cache/b.example");
    inputs_.fixTime = 1;
    inputs_.setTTL = 1;
    Scan();
    const test::FolderState after = test::SnapshotFolder(dir_ / "cache/b.example");
    const std::string name = fs::path(victim).filename();
    EXPECT_EQ(after.at(name), before.at(name));
    // Both refusals are reported: the first in the command's one error box, the second in the log.
    EXPECT_EQ(std::count_if(desktop_.messages.begin(), desktop_.messages.end(),
                            [](const auto& m) { return m.text.find("another name") != std::string::npos; }),
              1);
    EXPECT_NE(host_.lines.at(host_.lines.size() - 2).find("More errors: 1,"), std::string::npos);
    for (const auto& [file, state] : test::SnapshotFolder(dir_ / "cache/a.example")) {
        EXPECT_EQ(state.writeTime, kNow - kDay) << file;
    }
}

// The proxy appends to a file, or cuts it short, at any look the scan takes at it, while the scan reads
// it for the contents filter.
TEST_F(ScanRaces, FilesGrowingOrShrinkingWhileReadAreHandledWithoutHarm) {
    Program().ProxyType = 1;
    inputs_.contentsFilter = "hello";
    int moments = 0;
    for (const int change : {0, 1, 2}) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE("change " + std::to_string(change) + " at look " + std::to_string(n));
            fs::remove_all(dir_ / "cache");
            BuildWinProxy();
            test::FaultFileSystem faults;
            int looks = 0;
            const auto look = [&](const std::string& path) {
                if (++looks != n || !InCache(path)) return;
                ++moments;
                if (change == 0) {
                    std::ofstream(path, std::ios::binary | std::ios::app)
                        << std::string(50000, 'g') << "hello";
                } else {
                    fs::resize_file(path, change == 1 ? 3 : 0);
                }
            };
            for (FsOp op : {FsOp::Lstat, FsOp::GetCreation, FsOp::OpenRead, FsOp::Read})
                faults.SetHook(op, look);
            Platform().fileSystem = &faults;
            EXPECT_TRUE(Scan()) << host_.Summary();
            Platform().fileSystem = nullptr;
            EXPECT_TRUE(desktop_.messages.empty());
            for (const std::string& line : host_.lines) {
                EXPECT_EQ(line.find(": -"), std::string::npos) << "a negative length: " << line;
            }
            if (looks < n) break;
        }
    }
    RecordProperty("moments", moments);
    EXPECT_GT(moments, 20);
}

class IndexRaces : public ScanRaces {
  protected:
    IndexRaces() { Program().ProxyType = 2; }

    // 400 records (about 17 KB, three chunks), every one with its content file.
    std::vector<size_t> BuildWinGate() {
        builder::WinGateCache cache(dir_ / "cache/");
        std::vector<size_t> ends;
        size_t size = 0;
        for (int i = 0; i < 400; ++i) {
            builder::WinGateRecord r;
            r.url = "h.example/" + std::to_string(i);
            r.baseName = "o" + std::to_string(i);
            r.retrieved = static_cast<uint32_t>(kNow - kDay);
            r.contentType = "text/html";
            builder::WinGateContent content;
            content.content = Content::Bytes("x");
            cache.Add(r, content);
            size += builder::EncodeRecord(r).size();
            ends.push_back(size);
        }
        return ends;
    }
};

TEST_F(IndexRaces, RecordsAppendedDuringTheWalkWaitForTheNextScan) {
    BuildWinGate();
    test::FaultFileSystem faults;
    faults.SetHook(FsOp::Read, [&](const std::string& path) {
        if (path.find("cache.idx") == std::string::npos) return;
        builder::WinGateRecord r;
        r.url = "late.example/x";
        r.baseName = "o1";
        std::ofstream(path, std::ios::binary | std::ios::app) << builder::EncodeRecord(r);
    });
    Platform().fileSystem = &faults;
    EXPECT_TRUE(Scan());
    EXPECT_EQ(host_.Summary(), "OK! 400 of 400 files selected, 0 seconds");
}

TEST_F(IndexRaces, IndexCutShortDuringTheWalkEndsItAfterTheRecordsRead) {
    const std::vector<size_t> ends = BuildWinGate();
    test::FaultFileSystem faults;
    int reads = 0;
    faults.SetHook(FsOp::Read, [&](const std::string& path) {
        if (path.find("cache.idx") != std::string::npos && ++reads == 2) fs::resize_file(path, 100);
    });
    Platform().fileSystem = &faults;
    EXPECT_TRUE(Scan());
    // Only the first chunk of 8192 bytes was read; the records wholly inside it are the ones examined.
    const auto whole =
        static_cast<int>(std::count_if(ends.begin(), ends.end(), [](size_t end) { return end <= 8192; }));
    EXPECT_EQ(host_.Summary(),
              "OK! " + std::to_string(whole) + " of " + std::to_string(whole) + " files selected, 0 seconds");
}

TEST_F(IndexRaces, ContentFileReplacedAfterBindingIsLeftAloneAndCounted) {
    BuildWinGate();
    inputs_.deleteOld = 1;
    test::FaultFileSystem faults;
    std::map<std::string, int> looks;
    faults.SetHook(FsOp::RemoveFile, [&](const std::string& path) {
        // Between the check and the removal of o7, the proxy rewrites it.
        if (path.find("/o7.wgc") != std::string::npos && ++looks[path] == 1) {
            builder::WriteObjectFile(dir_ / "fresh", {}, Content::Bytes("new"));
            fs::rename(dir_ / "fresh", path);
        }
    });
    Platform().fileSystem = &faults;
    EXPECT_TRUE(Scan());
    EXPECT_TRUE(dir_.Exists("cache/o7.wgc"));
    EXPECT_FALSE(dir_.Exists("cache/o8.wgc"));
    EXPECT_EQ(host_.lines[host_.lines.size() - 2], kLeftAlone);
    EXPECT_EQ(host_.Summary(), "OK! 400 of 400 files selected, 399 files deleted, 0 seconds");
}

}  // namespace
}  // namespace loftwick
