// loftwick-scan against a hostile user who swaps a host folder for a link to a folder outside the cache
// (holding files of the same names): at every call boundary of a scan in this process, and in a real
// child process while a second thread flips the two all the time, which also hits the moments inside a
// call and between the threads of a read-ahead scan.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <zlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cachebuilder/DescriptionFile.h"
#include "cli/BatchScan.h"
#include "support/FaultSweep.h"
#include "support/Program.h"
#include "support/TestEnv.h"

namespace loftwick::cli {
namespace {

namespace fs = std::filesystem;

class BatchScanHostile : public test::ProgramFixture {
  protected:
    // A fresh cache, and beside it a folder of SECRET files named as those of the host folder a.example.
    test::FolderState BuildWorld() {
        for (const char* folder : {"wp", "away", "secret"}) fs::remove_all(dir_ / folder);
        std::ifstream description(LOFTWICK_SOURCE_DIR "/tests/scan/golden/delete-aged/cache.txt");
        builder::BuildFromDescription(description, dir_ / "wp");
        for (const auto& entry : fs::directory_iterator(dir_ / "wp/a.example"))
            dir_.WriteFile("secret/" + entry.path().filename().string(), "SECRET");
        return test::SnapshotFolder(dir_ / "secret");
    }

    test::TempDir dir_;
};

// Whatever call the swap comes before, in a scan that exports, deletes, deletes aged, fixes times or sets
// time-to-live stamps: the folder outside never changes, nothing of it reaches the archive, and the exit
// status follows what was reported.
TEST_F(BatchScanHostile, HostFolderSwappedForALinkAtAnyCallNeverReachesOutside) {
    int swaps = 0;
    for (const std::string flag : {"--warc", "--delete", "--delete-aged", "--fix-time", "--ttl=-400"}) {
        SCOPED_TRACE(flag);
        const auto swap = [&] {
            fs::rename(dir_ / "wp/a.example", dir_ / "away");
            fs::create_directory_symlink(dir_ / "secret", dir_ / "wp/a.example");
        };
        swaps += test::SweepCallBoundaries(swap, [&](test::FaultFileSystem& faults) {
            const test::FolderState before = BuildWorld();
            std::vector<std::string> args = {"loftwick-scan", "--proxy",   "winproxy",
                                             "--cache",       dir_ / "wp", flag};
            if (flag == "--warc") args.push_back(dir_ / "out.warc.gz");
            std::ostringstream out, err;
            Platform().fileSystem = &faults;
            const int status = BatchMain(args, out, err);
            Platform().fileSystem = nullptr;
            EXPECT_EQ(test::SnapshotFolder(dir_ / "secret"), before) << out.str();
            char buffer[4096] = {};
            if (gzFile gz = gzopen((dir_ / "out.warc.gz").c_str(), "rb")) {
                for (int n; (n = gzread(gz, buffer, sizeof buffer - 1)) > 0;)
                    EXPECT_EQ(std::string(buffer, n).find("SECRET"), std::string::npos);
                gzclose(gz);
            }
            EXPECT_EQ(status == kExitErrors, out.str().find("OK!") == std::string::npos)
                << out.str() << err.str();
        });
    }
    EXPECT_GT(swaps, 40);
}

// A real loftwick-scan stamps, deletes and exports while a thread keeps exchanging its host folder with
// a link to the folder outside (renameat2 with RENAME_EXCHANGE), for at least three rounds and two
// seconds: the folder outside never changes.
TEST_F(BatchScanHostile, RealScanWhileAHostFolderFlipsWithALinkNeverReachesOutside) {
    const auto start = std::chrono::steady_clock::now();
    std::atomic<long> flips = 0;
    for (int round = 1; round <= 3 || std::chrono::steady_clock::now() - start < std::chrono::seconds(2);
         ++round) {
        const test::FolderState before = BuildWorld();
        fs::remove_all(dir_ / "flip");
        fs::create_directory_symlink(dir_ / "secret", dir_ / "flip");
        std::atomic<bool> stop{false};
        std::thread flipper([&] {
            const std::string host = dir_ / "wp/a.example", flip = dir_ / "flip";
            while (!stop)
                flips += syscall(SYS_renameat2, AT_FDCWD, host.c_str(), AT_FDCWD, flip.c_str(),
                                 RENAME_EXCHANGE) == 0;
        });
        std::vector<std::string> words = {
            LOFTWICK_SCAN_PROGRAM, "--proxy", "winproxy", "--cache",  dir_ / "wp",
            "--fix-time",          "--ttl",   "-5",       "--delete", "--warc",
            dir_ / "out.warc.gz"};
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "child.out").c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        waitpid(child, &status, 0);
        stop = true;
        flipper.join();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << status;
        EXPECT_EQ(test::SnapshotFolder(dir_ / "secret"), before) << "round " << round;
    }
    EXPECT_GT(flips, 0);
}

}  // namespace
}  // namespace loftwick::cli
