// loftwick-scan against a hostile user who swaps a host folder for a link at any call or, in a real child
// process, flips the two all the time.
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

// A hostile user swaps the host folder for a link to a folder of the same names outside the cache
// between any two calls of a scan that exports, deletes, deletes aged, fixes times or sets time-to-live
// stamps: the folder outside never changes, nothing of it reaches the archive, and the exit status
// follows what was reported. A link in place before the host folder is opened is reported and not
// walked; one that comes later changes nothing, the folder being held.
TEST_F(BatchScanHostile, HostFolderSwappedForALinkAtAnyCallNeverReachesOutside) {
    int swaps = 0;
    for (const std::vector<std::string>& flags :
         std::vector<std::vector<std::string>>{{"--warc", dir_ / "out.warc.gz"},
                                               {"--delete"},
                                               {"--delete-aged"},
                                               {"--fix-time"},
                                               {"--ttl=-400"}}) {
        SCOPED_TRACE(flags.front());
        test::FolderState before;
        swaps += test::SweepCallBoundaries(
            [&] {
                fs::rename(dir_ / "wp/a.example", dir_ / "away");
                fs::create_directory_symlink(dir_ / "secret", dir_ / "wp/a.example");
            },
            [&](test::FaultFileSystem& faults) {
                fs::remove_all(dir_ / "away");
                fs::remove_all(dir_ / "secret");
                BuildCache();
                for (const auto& entry : fs::directory_iterator(dir_ / "wp/a.example"))
                    if (!entry.is_symlink())
                        dir_.WriteFile("secret/" + entry.path().filename().string(), "SECRET");
                before = test::SnapshotFolder(dir_ / "secret");
                Platform().fileSystem = &faults;
                const int status = Run(flags);
                Platform().fileSystem = nullptr;
                EXPECT_EQ(test::SnapshotFolder(dir_ / "secret"), before) << out_.str();
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
    }
    RecordProperty("swaps", swaps);
    EXPECT_GT(swaps, 40);
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
