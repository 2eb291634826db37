#include "scan/ProcessAllFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "scan/ScanTestSupport.h"
#include "support/FaultFileSystem.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

using builder::Content;
using builder::HttpDate;
using builder::WinGateCache;
using builder::WinGateContent;
using builder::WinGateRecord;
using builder::WinProxyCache;
using builder::WinProxyObject;

constexpr int64_t kNow = 1733479200;  // the fixture's clock: 2024-12-06 10:00:00 UTC
constexpr int64_t kDay = 86400;

WinProxyObject Object(const std::string& host, const std::string& path, int64_t retrieved,
                      const std::string& type = "text/html", const std::string& body = "hello world") {
    WinProxyObject o;
    o.host = host;
    o.url = "http://" + host + path;
    o.Header("Date", HttpDate(retrieved)).Header("Content-Type", type);
    o.content = Content::Bytes(body);
    return o;
}

class ScanTest : public test::ProgramFixture {
  protected:
    ScanTest() : proxy_(dir_ / "cache") {
        Platform().desktop = &desktop_;
        Program().ProxyType = 1;
        Program().CacheDir = proxy_.CacheDir();
    }

    bool Scan() { return ProcessAllFiles(state_, inputs_, host_); }

    test::TempDir dir_;
    WinProxyCache proxy_;
    test::ScriptedDesktop desktop_;
    test::RecordingScanHost host_;
    ScanState state_;
    ScanInputs inputs_;
};

TEST_F(ScanTest, CacheWithFilesButNoHostFoldersSucceedsWithNothingExamined) {
    dir_.WriteFile("cache/stray.bin", "not a host folder");
    EXPECT_TRUE(Scan());
    EXPECT_EQ(host_.lines, std::vector<std::string>{"OK! 0 of 0 files selected, 0 seconds"});
    EXPECT_EQ(host_.selectedLine, 0);
    EXPECT_EQ(host_.Status(), "Ready");
    EXPECT_FALSE(state_.Scanning);
}

TEST_F(ScanTest, SelectedObjectsAreListedNumberedWithDateAndActualLength) {
    proxy_.Add(Object("a.example", "/one.html", kNow - 2 * kDay));
    proxy_.Add(Object("a.example", "/two.gif", kNow - kDay, "image/gif", "GIF89a"));
    inputs_.contentTypeFilter = " image ";
    EXPECT_TRUE(Scan());
    ASSERT_EQ(host_.lines.size(), 2u);
    EXPECT_EQ(host_.lines[0], "1 http://a.example/two.gif : 2024-12-05 10:00:00 : 6");
    EXPECT_EQ(host_.lines[1], "OK! 1 of 2 files selected, 0 seconds");
    EXPECT_EQ(host_.results.Count(), 1);
    EXPECT_EQ(host_.selectedLine, 1);
}

TEST_F(ScanTest, HostFilterChoosesFoldersAndSkipsHiddenOnes) {
    proxy_.Add(Object("www.Example.com", "/a", kNow));
    proxy_.Add(Object("other.org", "/b", kNow));
    proxy_.Add(Object(".example.hidden", "/c", kNow));
    inputs_.hostFilter = "*EXAMPLE";
    EXPECT_TRUE(Scan());
    EXPECT_EQ(host_.Summary(), "OK! 1 of 1 files selected, 0 seconds");
    // The bar counts the host folders the filter lets through.
    EXPECT_EQ(host_.progress, (std::vector<std::pair<int64_t, int64_t>>{{0, 1}, {1, 1}}));
}

TEST_F(ScanTest, DeletionRemovesFilesAndEmptyHostFoldersAreReported) {
    const std::string a = proxy_.Add(Object("a.example", "/x", kNow));
    proxy_.Add(Object("b.example", "/keep", kNow, "image/png"));
    dir_.MakeDirs("cache/empty.example");
    inputs_.contentTypeFilter = "html";
    inputs_.deleteOld = 1;
    EXPECT_TRUE(Scan());
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_FALSE(dir_.Exists("cache/empty.example"));
    EXPECT_NE(
        std::find(host_.lines.begin(), host_.lines.end(), "Deleting dir: " + (dir_ / "cache/empty.example/")),
        host_.lines.end());
    EXPECT_EQ(host_.Summary(), "OK! 1 of 2 files selected, 1 files deleted, 1 empty dirs deleted, 0 seconds");
}

TEST_F(ScanTest, HostFolderThatCannotBeRemovedIsReportedAndTheWalkGoesOn) {
    dir_.WriteFile("cache/aaa.example/.hidden", "x");
    proxy_.Add(Object("zzz.example", "/page", kNow));
    EXPECT_FALSE(Scan());
    EXPECT_TRUE(dir_.Exists("cache/aaa.example/.hidden"));
    EXPECT_EQ(host_.Summary(), "Ended with error(s). 1 of 1 files selected, 0 seconds");
    ASSERT_FALSE(desktop_.messages.empty());
    EXPECT_NE(desktop_.messages[0].text.find("frmMain:ProcessAllFiles_WinProxy"), std::string::npos);
}

TEST_F(ScanTest, FailedDeleteIsReportedAndTheNextFileOfTheFolderIsStillHandled) {
    proxy_.Add(Object("a.example", "/1", kNow));
    proxy_.Add(Object("a.example", "/2", kNow));
    proxy_.Add(Object("a.example", "/3", kNow));
    test::FaultFileSystem faults;
    faults.FailNth(FsOp::RemoveFile, 1, EACCES);
    Platform().fileSystem = &faults;
    inputs_.deleteOld = 1;
    EXPECT_FALSE(Scan());
    EXPECT_EQ(host_.Summary(), "Ended with error(s). 3 of 3 files selected, 2 files deleted, 0 seconds");
    EXPECT_EQ(host_.results.Count(), 3);
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_NE(desktop_.messages[0].text.find("frmMain:ProcessOneFile"), std::string::npos);
}

TEST_F(ScanTest, EmptyTtlFieldEndsTheScanAtOnceWithAReport) {
    proxy_.Add(Object("a.example", "/x", kNow));
    inputs_.ttlDays = "";
    EXPECT_FALSE(Scan());
    EXPECT_EQ(host_.lines, std::vector<std::string>{"Ended with error(s). 0 of 0 files selected, 0 seconds"});
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_NE(desktop_.messages[0].text.find("frmMain:ProcessAllFiles"), std::string::npos);
}

TEST_F(ScanTest, GoDuringAScanOnlyBeeps) {
    proxy_.Add(Object("a.example", "/x", kNow));
    bool nestedResult = true;
    host_.onEvents = [&](int n) {
        if (n == 1) nestedResult = ProcessAllFiles(state_, inputs_, host_);
    };
    EXPECT_TRUE(Scan());
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(desktop_.beeps, 1);
    EXPECT_EQ(host_.Summary(), "OK! 1 of 1 files selected, 0 seconds");
}

// Reading ahead, Break stops at the same object as on one thread, however far the reading got.
TEST_F(ScanTest, BreakStopsBeforeTheNextObjectAndTheStatusSaysInterrupted) {
    for (int i = 0; i < 5; ++i) proxy_.Add(Object("a.example", "/" + std::to_string(i), kNow));
    for (const char* contents : {"", "absent"}) {
        std::vector<std::string> lines[2];
        for (const bool readAhead : {false, true}) {
            SCOPED_TRACE(std::string(readAhead ? "read ahead" : "one thread") + ", contents: " + contents);
            Program().ReadAhead = readAhead;
            inputs_.contentsFilter = contents;
            test::RecordingScanHost host;
            ScanState state;
            host.onEvents = [&](int n) {
                if (n == 5) state.BreakRequested = true;
            };
            EXPECT_FALSE(ProcessAllFiles(state, inputs_, host));
            EXPECT_EQ(host.Status(), "Interrupted");
            EXPECT_EQ(host.Summary().rfind("Ended with error(s). ", 0), 0u);
            EXPECT_EQ(state.FilesTotal, 1);
            lines[readAhead] = host.lines;
        }
        EXPECT_EQ(lines[1], lines[0]);
    }
    inputs_.contentsFilter.clear();

    // Within one huge object too: its contents search lets events run every few MiB, and Break ends it
    // long before the word at its end, selecting nothing.
    WinProxyCache huge(dir_ / "huge");
    WinProxyObject o = Object("h.example", "/huge", kNow);
    const uint64_t size = uint64_t{32} << 20;
    o.content = Content::Sized(size).Patch(size - 6, "NEEDLE");
    huge.Add(o);
    Program().CacheDir = huge.CacheDir();
    host_.onEvents = nullptr;
    int before = host_.eventsRun;
    EXPECT_TRUE(Scan());
    const int walkEvents = host_.eventsRun - before;  // what the walk itself lets run
    inputs_.contentsFilter = "needle";
    before = host_.eventsRun;
    host_.onEvents = [&](int n) {
        if (n == before + walkEvents + 1) state_.BreakRequested = true;
    };
    EXPECT_FALSE(Scan());
    EXPECT_EQ(host_.Status(), "Interrupted");
    EXPECT_EQ(state_.FilesSelected, 0);
    EXPECT_LE(host_.eventsRun - before, walkEvents + 2);
}

TEST_F(ScanTest, AgeBoundsInDaysAreInclusive) {
    for (int age = 1; age <= 6; ++age)
        proxy_.Add(Object("a.example", "/" + std::to_string(age), kNow - age * kDay));
    inputs_.ageMin = "2";
    inputs_.ageMax = "5";
    EXPECT_TRUE(Scan());
    EXPECT_EQ(host_.Summary(), "OK! 4 of 6 files selected, 0 seconds");
}

TEST_F(ScanTest, HourBoundariesCountAndUndatedObjectsAreZeroHoursOld) {
    proxy_.Add(Object("a.example", "/tenfiftynine", kNow - 60));  // 09:59 is one hour boundary before 10:00
    WinProxyObject undated;
    undated.host = "a.example";
    undated.url = "http://a.example/undated";
    undated.content = Content::Bytes("no date header here");
    proxy_.Add(undated);
    inputs_.ageUnit = "hours";
    inputs_.ageMin = "1";
    EXPECT_TRUE(Scan());
    EXPECT_EQ(host_.Summary(), "OK! 1 of 2 files selected, 0 seconds");

    inputs_.ageMin = "";
    inputs_.ageMax = "1";
    inputs_.deleteOld = 1;
    EXPECT_TRUE(Scan());  // the undated object is 0 hours old: inside the bound, not a century old
    EXPECT_EQ(host_.Summary(), "OK! 2 of 2 files selected, 2 files deleted, 0 seconds");
}

TEST_F(ScanTest, ContentsScoreStandsAfterTheNumber) {
    proxy_.Add(Object("a.example", "/x", kNow, "text/plain", "the quick brown fox"));
    inputs_.contentsFilter = "quick slow lazy dog";
    EXPECT_TRUE(Scan());
    ASSERT_EQ(host_.lines.size(), 2u);
    EXPECT_EQ(host_.lines[0].rfind("1 25% http://a.example/x : ", 0), 0u);
    EXPECT_EQ(state_.ContentsFilter.Count, 0);  // emptied again after the scan
}

TEST_F(ScanTest, OnlyFiveHundredResultLinesEnterTheList) {
    for (int i = 0; i < 501; ++i) proxy_.Add(Object("a.example", "/" + std::to_string(i), kNow));
    EXPECT_TRUE(Scan());
    EXPECT_EQ(host_.results.Count(), 501);
    EXPECT_EQ(host_.lines.size(), 501u);  // 500 result lines and the summary
    EXPECT_NE(host_.statusTexts[host_.statusTexts.size() - 2].find(" : "), std::string::npos);
}

TEST_F(ScanTest, SaveTreeOptionSavesEachSelectedObjectAsItIsAdded) {
    proxy_.Add(Object("a.example", "/1", kNow));
    proxy_.Add(Object("a.example", "/2", kNow));
    inputs_.saveTree = 1;
    EXPECT_TRUE(Scan());
    EXPECT_EQ(host_.savedAsTree, (std::vector<int64_t>{1, 2}));
}

TEST_F(ScanTest, PreviewChangesNothingButCountsWhatWouldBeTouched) {
    const std::string a = proxy_.Add(Object("a.example", "/x", kNow, "text/html", "12345"));
    dir_.MakeDirs("cache/empty.example");
    const auto before = std::filesystem::last_write_time(a);
    inputs_.deleteOld = 1;
    inputs_.fixTime = 1;
    inputs_.dryRun = true;
    EXPECT_TRUE(Scan());
    EXPECT_TRUE(std::filesystem::exists(a));
    EXPECT_EQ(std::filesystem::last_write_time(a), before);
    EXPECT_TRUE(dir_.Exists("cache/empty.example"));
    const std::vector<std::string> tail(host_.lines.end() - 4, host_.lines.end());
    EXPECT_EQ(tail[0], "Would fix file time: 1 files, 5 bytes");
    EXPECT_EQ(tail[1], "Would delete: 1 files, 5 bytes");
    EXPECT_EQ(tail[2], "Would delete empty dirs: 1");
    EXPECT_EQ(tail[3], "OK! 1 of 1 files selected, 0 seconds (preview: nothing was changed)");
}

class WinGateScanTest : public ScanTest {
  protected:
    WinGateScanTest() : gate_(dir_ / "wg") {
        Program().ProxyType = 2;
        Program().CacheDir = gate_.CacheDir();
    }
    const WinGateContent content_{Content::Bytes("12345"), false, {}};
    WinGateRecord Record(const std::string& url, const std::string& base) {
        WinGateRecord r;
        r.url = url;
        r.baseName = base;
        r.retrieved = static_cast<uint32_t>(kNow - kDay);
        r.contentType = "text/html";
        r.contentLength = 5;
        return r;
    }
    WinGateCache gate_;
};

TEST_F(WinGateScanTest, EmptyIndexSucceedsWithNothingExaminedAndAMissingOneIsReported) {
    EXPECT_TRUE(Scan());
    EXPECT_EQ(host_.lines, std::vector<std::string>{"OK! 0 of 0 files selected, 0 seconds"});
    std::filesystem::remove(gate_.IndexPath());
    EXPECT_FALSE(Scan());
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_NE(desktop_.messages[0].text.find("frmMain:ProcessAllFiles_WinGate"), std::string::npos);
}

TEST_F(WinGateScanTest, RecordsAcrossManyChunksAreAllExaminedAndMissingFilesWarned) {
    WinGateContent missing;
    missing.missing = true;
    for (int i = 0; i < 400; ++i) {
        gate_.Add(Record("host" + std::to_string(i % 7) + ".example/some/longer/path/" + std::to_string(i),
                         "obj" + std::to_string(i)),
                  i % 100 == 0 ? missing : content_);
    }
    gate_.AppendRaw(std::string("\x05partial", 8));  // a record cut short at the end of the index
    inputs_.hostFilter = "host3";
    EXPECT_TRUE(Scan());
    const std::vector<std::string> tail(host_.lines.end() - 2, host_.lines.end());
    EXPECT_EQ(
        tail[0],
        "Warning! 4 files were not found in cache. Maybe your proxy's cache index needs to be rebuilt.");
    EXPECT_EQ(tail[1], "OK! 57 of 400 files selected, 0 seconds");
    // Bytes of the index read, chunk by chunk, up to the whole index.
    ASSERT_GT(host_.progress.size(), 2u);
    EXPECT_EQ(host_.progress.front().first, 8192);
    EXPECT_EQ(host_.progress.back().first, host_.progress.back().second);
    EXPECT_EQ(host_.progress.back().second,
              static_cast<int64_t>(std::filesystem::file_size(gate_.CacheDir() + "cache.idx")));
}

TEST_F(WinGateScanTest, FailedObjectDoesNotEndTheIndexWalk) {
    for (int i = 0; i < 3; ++i) {
        gate_.Add(Record("a.example/" + std::to_string(i), "o" + std::to_string(i)), content_);
    }
    test::FaultFileSystem faults;
    faults.FailNth(FsOp::RemoveFile, 2, EIO);
    Platform().fileSystem = &faults;
    inputs_.deleteOld = 1;
    EXPECT_FALSE(Scan());
    EXPECT_EQ(host_.Summary(), "Ended with error(s). 3 of 3 files selected, 2 files deleted, 0 seconds");
}

}  // namespace
}  // namespace loftwick
