// Whole scans with the file system failing at every point, one point per run: the scan always ends
// with its summary, the counts match what happened on disk, an object that failed makes the summary say
// "Ended with error(s).", and a fault nobody was told about left the same result as no fault at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <regex>

#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ScanTestSupport.h"
#include "support/FaultSweep.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basErrorHandler.h"

namespace loftwick {
namespace {

using builder::Content;
using builder::HttpDate;

constexpr int64_t kNow = 1733479200;  // the fixture's clock
constexpr int64_t kDay = 86400;

struct Outcome {
    std::vector<std::string> lines;  // the cache folder's path replaced by "<cache>"
    std::vector<std::string> locations;
    test::FolderState cache;
    int64_t selected = 0, total = 0, deleted = 0;

    const std::string& Summary() const { return lines.back(); }
    bool Failed() const { return Summary().rfind("Ended with error(s).", 0) == 0; }
    bool Noticed() const {
        return Failed() || !locations.empty() ||
               std::any_of(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("Warning!", 0) == 0; });
    }
};

// Names and contents only: stamping a file's times is allowed to fail unreported.
std::map<std::string, std::string> Contents(const test::FolderState& state) {
    std::map<std::string, std::string> contents;
    for (const auto& [path, file] : state) contents[path] = file.content;
    return contents;
}

std::vector<std::string> Locations(const test::ScriptedDesktop& desktop) {
    std::vector<std::string> found;
    for (const auto& message : desktop.messages) {
        const size_t at = message.text.find("Code module: ");
        if (at != std::string::npos)
            found.push_back(message.text.substr(at + 13, message.text.find('\r', at) - at - 13));
    }
    return found;
}

class ScanFaults : public test::ProgramFixture {
  protected:
    // Writes the cache into `cacheDir` (ending in "/"); every object has a content no other one has.
    using Builder = std::function<void(const std::string& cacheDir)>;

    Outcome Scan(const Builder& build, FileSystem* fileSystem) {
        test::TempDir dir;
        const std::string cacheDir = dir / "cache/";
        build(cacheDir);
        Program().CacheDir = cacheDir;
        Program().AppParentDir = dir / "";
        ResetLogFolder();
        test::ScriptedDesktop desktop;
        Platform().desktop = &desktop;
        FileSystem* const before = Platform().fileSystem;
        if (fileSystem) Platform().fileSystem = fileSystem;
        test::RecordingScanHost host;
        ScanState state;
        ProcessAllFiles(state, inputs_, host);
        Platform().fileSystem = before;
        Platform().desktop = nullptr;

        Outcome outcome;
        for (std::string line : host.lines) {
            if (const size_t at = line.find(cacheDir); at != std::string::npos)
                line.replace(at, cacheDir.size(), "<cache>/");
            outcome.lines.push_back(line);
        }
        outcome.locations = Locations(desktop);
        outcome.cache = test::SnapshotFolder(dir / "cache");
        outcome.selected = state.FilesSelected;
        outcome.total = state.FilesTotal;
        outcome.deleted = state.FilesDeleted;
        return outcome;
    }

    void Check(const Outcome& run, const Outcome& baseline, const std::vector<std::string>& originals) {
        ASSERT_FALSE(run.lines.empty());
        static const std::regex summary(R"((OK!|Ended with error\(s\)\.) (\d+) of (\d+) files selected)"
                                        R"((, (\d+) files deleted)?(, \d+ empty dirs deleted)?, 0 seconds)");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(run.Summary(), m, summary)) << run.Summary();
        EXPECT_EQ(std::stoll(m[2]), run.selected);
        EXPECT_EQ(std::stoll(m[3]), run.total);
        EXPECT_EQ(m[5].matched ? std::stoll(m[5]) : 0, run.deleted);
        EXPECT_LE(run.selected, run.total);
        EXPECT_LE(run.total, baseline.total);

        // Every file left is one of the objects, whole; the missing ones are exactly those counted deleted.
        std::vector<std::string> left;
        for (const auto& [path, file] : run.cache) left.push_back(file.content);
        for (const std::string& content : left) {
            EXPECT_NE(std::find(originals.begin(), originals.end(), content), originals.end())
                << "a file changed its content: " << content.substr(0, 60);
        }
        EXPECT_EQ(static_cast<int64_t>(left.size()), static_cast<int64_t>(originals.size()) - run.deleted);

        for (const std::string& location : run.locations) {
            if (location.rfind("frmMain:ProcessOneFile", 0) == 0 ||
                location.rfind("frmMain:ProcessAllFiles", 0) == 0) {
                EXPECT_TRUE(run.Failed()) << "an object failed (" << location << ") but the scan says OK";
            }
        }
        if (!run.Noticed()) {
            EXPECT_EQ(run.lines, baseline.lines) << "an unreported fault changed the report";
            EXPECT_EQ(Contents(run.cache), Contents(baseline.cache))
                << "an unreported fault changed the cache";
        }
    }

    // Every kind of call a scan makes (and the log's writes), each swept, on one thread and reading
    // ahead; returns the fault points. Reading ahead, every call of a kind on one object failing gives
    // the very report of one thread.
    int SweepEveryKind(const Builder& build) {
        std::vector<std::string> originals, names;
        {
            test::TempDir probe;
            build(probe / "cache/");
            for (const auto& [path, file] : test::SnapshotFolder(probe / "cache")) {
                originals.push_back(file.content);
                names.push_back("/" + path);
            }
        }
        int points = 0;
        for (const bool readAhead : {false, true}) {
            SCOPED_TRACE(readAhead ? "read ahead" : "one thread");
            Program().ReadAhead = readAhead;
            points += SweepEveryKind(build, originals, readAhead);
        }
        for (const auto& [op, err] : Kinds()) {
            for (const std::string& name : names) {
                SCOPED_TRACE(std::string(test::FsOpName(op)) + " fails on " + name);
                Outcome runs[2];
                for (const bool readAhead : {false, true}) {
                    Program().ReadAhead = readAhead;
                    test::FaultFileSystem faults;
                    if (readAhead) faults.AllowThreads();
                    faults.FailPath(op, name, err);
                    runs[readAhead] = Scan(build, &faults);
                }
                EXPECT_EQ(runs[1].lines, runs[0].lines);
                EXPECT_EQ(runs[1].locations, runs[0].locations);
                EXPECT_EQ(Contents(runs[1].cache), Contents(runs[0].cache));
            }
        }
        return points;
    }

    int SweepEveryKind(const Builder& build, const std::vector<std::string>& originals, bool readAhead) {
        const Outcome baseline = Scan(build, nullptr);
        EXPECT_FALSE(baseline.Failed()) << baseline.Summary();
        int points = 0;
        for (const auto& [op, err] : Kinds()) {
            points += test::SweepFaults(op, err, [&](test::FaultFileSystem& faults) {
                if (readAhead) faults.AllowThreads();
                Check(Scan(build, &faults), baseline, originals);
            });
        }
        return points;
    }

    static std::vector<std::pair<FsOp, int>> Kinds() {
        return {
            {FsOp::List, EACCES},     {FsOp::Stat, EIO},
            {FsOp::Lstat, EIO},       {FsOp::OpenRead, EIO},
            {FsOp::Read, EIO},        {FsOp::GetCreation, EIO},
            {FsOp::SetTimes, EPERM},  {FsOp::SetCreation, ENOTSUP},
            {FsOp::Rename, EIO},      {FsOp::RemoveFile, EACCES},
            {FsOp::RemoveDir, EBUSY}, {FsOp::OpenWrite, ENOSPC},
            {FsOp::Write, ENOSPC},    {FsOp::Close, EIO},
        };
    }

    ScanInputs inputs_;
};

builder::WinProxyObject Object(const std::string& host, const std::string& path, const std::string& type,
                               const std::string& body, std::optional<int64_t> retrieved) {
    builder::WinProxyObject o;
    o.host = host;
    o.url = "http://" + host + path;
    if (retrieved) o.Header("Date", HttpDate(*retrieved));
    o.Header("Content-Type", type);
    o.content = Content::Bytes(body);
    return o;
}

// Five objects in two host folders and an empty host folder. Two have expired time-to-live stamps.
void BuildWinProxy(const std::string& cacheDir) {
    builder::WinProxyCache cache(cacheDir);
    std::vector<builder::WinProxyObject> objects = {
        Object("a.example", "/page1.html", "text/html", "hello, page one", kNow - kDay),
        Object("a.example", "/pic.gif", "image/gif", "GIF89a hello two", kNow - 2 * kDay),
        Object("a.example", "/old.html", "text/html", "old three", kNow - 10 * kDay),
        Object("b.example", "/doc.txt", "text/plain", "hello four", std::nullopt),
        Object("b.example", "/lf.html", "text/html", "five", kNow - 3 * kDay),
    };
    objects[1].stamp.creationTime = kNow - kDay;
    objects[2].stamp.creationTime = kNow - 5 * kDay;
    objects[3].stamp.creationTime = kNow + 5 * kDay;
    objects[4].lineBreak = builder::LineBreak::Lf;
    for (const auto& object : objects) cache.Add(object);
    std::filesystem::create_directories(cacheDir + "empty.example");
}

// Four records, one of them naming a content file that is missing.
void BuildWinGate(const std::string& cacheDir) {
    builder::WinGateCache cache(cacheDir);
    const char* const names[] = {"aa", "bb", "cc", "dd"};
    for (int i = 0; i < 4; ++i) {
        builder::WinGateRecord record;
        record.url = std::string("h") + std::to_string(i % 2) + ".example/" + names[i];
        record.baseName = names[i];
        record.retrieved = static_cast<uint32_t>(kNow - (i + 1) * kDay);
        record.contentType = i == 1 ? "image/gif" : "text/html";
        record.contentLength = 7;
        builder::WinGateContent content;
        content.content = Content::Bytes(std::string("body of ") + names[i]);
        content.missing = i == 2;
        cache.Add(record, content);
    }
}

TEST_F(ScanFaults, WinProxyScanWithTimeTtlAndPrefixSurvivesEveryFault) {
    Program().ProxyType = 1;
    inputs_.fixTime = inputs_.setTTL = inputs_.fixPrefix = 1;
    inputs_.ttlDays = "30";
    inputs_.contentsFilter = "hello";
    const int points = SweepEveryKind(BuildWinProxy);
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 40);
}

TEST_F(ScanFaults, WinProxyDeletionSurvivesEveryFault) {
    Program().ProxyType = 1;
    inputs_.deleteOld = 1;
    inputs_.urlFilter = "a.example";
    const int points = SweepEveryKind(BuildWinProxy);
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 20);
}

TEST_F(ScanFaults, WinProxyAgedDeletionSurvivesEveryFault) {
    Program().ProxyType = 1;
    inputs_.deleteAged = 1;
    const int points = SweepEveryKind(BuildWinProxy);
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 20);
}

TEST_F(ScanFaults, WinGateDeletionSurvivesEveryFault) {
    Program().ProxyType = 2;
    inputs_.deleteOld = 1;
    inputs_.contentTypeFilter = "html";
    const int points = SweepEveryKind(BuildWinGate);
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 5);
}

// A file the proxy removes at any moment of the scan: at the n-th look at a cache file, it is gone.
// Vanishing is no error: the scan ends "OK!", deletes only what it matched, and counts the vanished file
// as not found or as changed.
TEST_F(ScanFaults, FileVanishingAtAnyLookIsNotFoundOrLeftAlone) {
    Program().ProxyType = 1;
    inputs_.deleteOld = 1;
    inputs_.contentTypeFilter = "html";
    int points = 0;
    for (int n = 1;; ++n) {
        SCOPED_TRACE("the file looked at " + std::to_string(n) + ". vanishes");
        test::FaultFileSystem faults;
        int looks = 0;
        std::string vanished;
        const auto vanish = [&](const std::string& path) {
            if (++looks != n || path.rfind(Program().CacheDir, 0) != 0) return;
            if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path)) &&
                std::filesystem::remove(path))
                vanished = path;
        };
        // A look is the open that binds a file as well as the checks after it.
        faults.SetHook(FsOp::Lstat, vanish);
        faults.SetHook(FsOp::OpenRead, vanish);
        const Outcome run = Scan(BuildWinProxy, &faults);
        if (looks < n) break;
        if (vanished.empty()) continue;
        ++points;
        EXPECT_FALSE(run.Failed()) << run.Summary();
        const bool wasHtml = vanished.find(".html") != std::string::npos;
        EXPECT_EQ(run.deleted, wasHtml ? 2 : 3);
        EXPECT_EQ(run.cache.size(), 5u - 1u - static_cast<size_t>(run.deleted));
        EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(), [](const std::string& l) {
            return l.rfind("Warning! 1 files", 0) == 0;
        })) << "nobody heard of the vanished file";
    }
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 5);
}

}  // namespace
}  // namespace loftwick
