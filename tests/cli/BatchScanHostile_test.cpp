// loftwick-scan over hostile caches and a failing file system: it never stops half-way without its
// summary, its exit status says whether something failed, and nothing outside the cache is touched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "cli/BatchScan.h"
#include "support/FaultSweep.h"
#include "support/Program.h"
#include "support/TestEnv.h"

namespace loftwick::cli {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kNow = 1733479200;

class BatchScanHostile : public test::ProgramFixture {
  protected:
    BatchScanHostile() {
        dir_.WriteFile("outside/precious.txt", "keep me");
        BuildCache();
    }

    // Three pages, a file of NULs, a host folder that is a link outside and a file that is one.
    void BuildCache() {
        fs::remove_all(dir_ / "wp");
        builder::WinProxyCache cache(dir_ / "wp");
        for (const char* path : {"/one.html", "/two.html", "/three.html"}) {
            builder::WinProxyObject o;
            o.host = "a.example";
            o.url = std::string("http://a.example") + path;
            o.Header("Date", builder::HttpDate(kNow - 86400)).Header("Content-Type", "text/html");
            o.content = builder::Content::Bytes(std::string("body of ") + path);
            cache.Add(o);
        }
        builder::WinProxyObject nuls;
        nuls.host = "b.example";
        nuls.rawFile = std::string(3000, '\0');
        cache.Add(nuls);
        fs::create_directory_symlink(dir_ / "outside", dir_ / "wp/linked.example");
        fs::create_symlink(dir_ / "outside/precious.txt", dir_ / "wp/a.example/link");
    }

    int Run(const std::vector<std::string>& flags) {
        std::vector<std::string> args = {dir_ / "bin/loftwick-scan", "--proxy", "winproxy", "--cache",
                                         dir_ / "wp"};
        args.insert(args.end(), flags.begin(), flags.end());
        out_.str("");
        err_.str("");
        return BatchMain(args, out_, err_);
    }
    std::string LastLine() const {
        std::string text = out_.str(), last;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) last = line;
        return last;
    }

    test::TempDir dir_;
    std::ostringstream out_, err_;
};

TEST_F(BatchScanHostile, DeletingInAHostileCacheLeavesLinksAndWhatTheyReachAlone) {
    EXPECT_EQ(Run({"--delete"}), kExitOk) << err_.str();
    EXPECT_EQ(LastLine(), "OK! 4 of 4 files selected, 4 files deleted, 0 seconds");
    EXPECT_EQ(dir_.ReadFile("outside/precious.txt"), "keep me");
    EXPECT_TRUE(dir_.Exists("wp/linked.example"));
    EXPECT_TRUE(dir_.Exists("wp/a.example/link"));
}

TEST_F(BatchScanHostile, UnreadableHostFolderGivesExitOneWithTheReportOnStderr) {
    test::FaultFileSystem faults;
    faults.FailPath(FsOp::List, "/a.example", EACCES);
    Platform().fileSystem = &faults;
    EXPECT_EQ(Run({"--delete"}), kExitErrors);
    EXPECT_EQ(LastLine(), "Ended with error(s). 1 of 1 files selected, 1 files deleted, 0 seconds");
    EXPECT_NE(err_.str().find("frmMain:ProcessAllFiles_WinProxy"), std::string::npos) << err_.str();
    EXPECT_TRUE(dir_.Exists("wp/a.example"));
}

// Every deletion, listing and look at a file failing in turn: the summary is printed unless the cache
// folder itself could not be checked, and the exit status is 1 exactly when something failed.
TEST_F(BatchScanHostile, ExitStatusFollowsTheSummaryAtEveryFault) {
    int points = 0;
    for (const auto& [op, err] : std::vector<std::pair<FsOp, int>>{
             {FsOp::RemoveFile, EACCES}, {FsOp::List, EIO}, {FsOp::Lstat, EIO}}) {
        points += test::SweepFaults(op, err, [&](test::FaultFileSystem& faults) {
            BuildCache();
            Platform().fileSystem = &faults;
            const int status = Run({"--delete"});
            Platform().fileSystem = nullptr;
            EXPECT_EQ(dir_.ReadFile("outside/precious.txt"), "keep me");
            if (out_.str().empty()) {  // the cache folder itself could not be checked: no scan at all
                EXPECT_EQ(status, kExitErrors);
                EXPECT_FALSE(err_.str().empty());
                return;
            }
            const bool failed = LastLine().rfind("Ended with error(s).", 0) == 0;
            EXPECT_TRUE(failed || LastLine().rfind("OK!", 0) == 0) << out_.str();
            EXPECT_EQ(status, failed ? kExitErrors : kExitOk) << err_.str();
        });
    }
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 3);
}

// The targets an export may meet: a new name or a regular file is replaced whole; a device or a FIFO is
// written as a stream; a link, a folder and a name in the cache folder are refused with exit status 1.
TEST_F(BatchScanHostile, WarcTargetsAreReplacedStreamedOrRefused) {
    dir_.WriteFile("old.warc.gz", "old");
    mkfifo((dir_ / "fifo").c_str(), 0600);
    std::string piped;
    std::thread reader([&] {
        std::ifstream in(dir_ / "fifo", std::ios::binary);
        piped.assign(std::istreambuf_iterator<char>(in), {});
    });
    fs::create_symlink(dir_ / "outside/precious.txt", dir_ / "link.warc.gz");
    std::string object;
    for (const auto& entry : fs::directory_iterator(dir_ / "wp/a.example")) {
        if (!entry.is_symlink()) object = entry.path();
    }
    const struct {
        std::string target;
        int status;
    } rows[] = {
        {dir_ / "new.warc.gz", kExitOk},
        {dir_ / "old.warc.gz", kExitOk},
        {dir_ / "fifo", kExitOk},
        {"/dev/null", kExitOk},
        {dir_ / "link.warc.gz", kExitErrors},
        {dir_ / "outside", kExitErrors},
        {dir_ / "wp/a.example/x.warc.gz", kExitErrors},
        {object, kExitErrors},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target);
        const std::string before =
            fs::is_regular_file(row.target) ? dir_.ReadFile(fs::relative(row.target, dir_.path())) : "";
        EXPECT_EQ(Run({"--warc", row.target}), row.status) << err_.str();
        if (row.status == kExitOk && fs::is_regular_file(row.target)) {
            EXPECT_EQ(fs::symlink_status(row.target).type(), fs::file_type::regular);
            EXPECT_EQ(dir_.ReadFile(fs::relative(row.target, dir_.path())).substr(0, 2), "\x1f\x8b");
        }
        if (row.status == kExitErrors) {
            EXPECT_FALSE(dir_.Exists("wp/a.example/x.warc.gz"));
            if (!before.empty()) {
                EXPECT_EQ(dir_.ReadFile(fs::relative(row.target, dir_.path())), before);
            }
        }
    }
    reader.join();
    EXPECT_EQ(piped.substr(0, 2), "\x1f\x8b");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(dir_.ReadFile("outside/precious.txt"), "keep me");
}

// A hostile user swaps the host folder for a link to a folder of the same names outside the cache
// between any two calls of a scan that exports every object: nothing of the folder outside reaches the
// archive, and the exit status follows what was reported.
TEST_F(BatchScanHostile, ExportWithAHostFolderSwappedAtAnyCallCopiesNothingFromOutside) {
    const auto secrets = [&] {
        fs::remove_all(dir_ / "secret");
        for (const auto& entry : fs::directory_iterator(dir_ / "wp/a.example")) {
            if (!entry.is_symlink()) dir_.WriteFile("secret/" + entry.path().filename().string(), "SECRET");
        }
    };
    const int swaps = test::SweepCallBoundaries(
        [&] {
            fs::rename(dir_ / "wp/a.example", dir_ / "away");
            fs::create_directory_symlink(dir_ / "secret", dir_ / "wp/a.example");
        },
        [&](test::FaultFileSystem& faults) {
            fs::remove_all(dir_ / "away");
            BuildCache();
            secrets();
            Platform().fileSystem = &faults;
            const int status = Run({"--warc", dir_ / "out.warc.gz"});
            Platform().fileSystem = nullptr;
            std::string archive;
            if (gzFile gz = gzopen((dir_ / "out.warc.gz").c_str(), "rb")) {
                char buffer[4096];
                for (int n; (n = gzread(gz, buffer, sizeof buffer)) > 0;)
                    archive.append(buffer, static_cast<size_t>(n));
                gzclose(gz);
            }
            EXPECT_EQ(archive.find("SECRET"), std::string::npos);
            EXPECT_EQ(status == kExitErrors, !err_.str().empty() && LastLine().rfind("OK!", 0) != 0)
                << err_.str();
        });
    RecordProperty("swaps", swaps);
    EXPECT_GT(swaps, 5);
}

// A real loftwick-scan deletes, stamps and exports in a cache while a second thread keeps exchanging its
// host folder with a link to a folder outside (renameat2 with RENAME_EXCHANGE), for a bounded time: the
// folder outside is never changed, whatever moment each exchange hits.
TEST_F(BatchScanHostile, RealScanWhileAHostFolderFlipsWithALinkNeverReachesOutside) {
    const auto start = std::chrono::steady_clock::now();
    int rounds = 0;
    long flips = 0;
    while (rounds < 3 || std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
        ++rounds;
        fs::remove_all(dir_ / "victim");
        fs::remove_all(dir_ / "flip");
        BuildCache();
        for (const auto& entry : fs::directory_iterator(dir_ / "wp/a.example")) {
            if (!entry.is_symlink()) dir_.WriteFile("victim/" + entry.path().filename().string(), "victim");
        }
        const test::FolderState before = test::SnapshotFolder(dir_ / "victim");
        fs::create_directory_symlink(dir_ / "victim", dir_ / "flip");
        std::atomic<bool> stop{false};
        std::thread flipper([&] {
            const std::string host = dir_ / "wp/a.example", flip = dir_ / "flip";
            while (!stop) {
                if (syscall(SYS_renameat2, AT_FDCWD, host.c_str(), AT_FDCWD, flip.c_str(), RENAME_EXCHANGE) ==
                    0)
                    ++flips;
            }
        });
        pid_t child = 0;
        const std::string program = LOFTWICK_SCAN_PROGRAM, cache = dir_ / "wp", warc = dir_ / "out.warc.gz";
        std::vector<std::string> words = {program, "--proxy", "winproxy", "--cache", cache, "--fix-time",
                                          "--ttl", "-5",      "--delete", "--warc",  warc};
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        ASSERT_EQ(posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        waitpid(child, &status, 0);
        stop = true;
        flipper.join();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << status;
        EXPECT_EQ(test::SnapshotFolder(dir_ / "victim"), before) << "round " << rounds;
        EXPECT_EQ(dir_.ReadFile("outside/precious.txt"), "keep me");
    }
    RecordProperty("flips", static_cast<int>(flips));
    EXPECT_GT(flips, 0);
}

}  // namespace
}  // namespace loftwick::cli
