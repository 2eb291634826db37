// A real loftwick-scan stamps, deletes and exports while a thread keeps exchanging its host folder with a
// link to a folder outside the cache holding files of the same names (renameat2 with RENAME_EXCHANGE), for
// at least three rounds and two seconds: the folder outside never changes. This hits the moments inside a
// call and between the threads of a read-ahead scan; the golden cases swap at every call boundary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cachebuilder/DescriptionFile.h"
#include "support/FaultSweep.h"
#include "support/TestEnv.h"

namespace loftwick::cli {
namespace {

namespace fs = std::filesystem;

TEST(BatchScanHostile, RealScanWhileAHostFolderFlipsWithALinkNeverReachesOutside) {
    test::TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    std::atomic<long> flips = 0;
    for (int round = 1; round <= 3 || std::chrono::steady_clock::now() - start < std::chrono::seconds(2);
         ++round) {
        for (const char* folder : {"cache", "outside", "flip"}) {
            fs::remove_all(dir / folder);
            std::ifstream description(
                std::string(LOFTWICK_SOURCE_DIR "/tests/scan/golden/host-folder-swapped-for-a-link-delete/") +
                folder + ".txt");
            if (description) builder::BuildFromDescription(description, dir / folder);
        }
        const test::FolderState before = test::SnapshotFolder(dir / "outside");
        fs::create_directory_symlink(dir / "outside/a.example", dir / "flip");
        std::atomic<bool> stop{false};
        std::thread flipper([&] {
            const std::string host = dir / "cache/a.example", flip = dir / "flip";
            while (!stop)
                flips += syscall(SYS_renameat2, AT_FDCWD, host.c_str(), AT_FDCWD, flip.c_str(),
                                 RENAME_EXCHANGE) == 0;
        });
        std::vector<std::string> words = {
            LOFTWICK_SCAN_PROGRAM, "--proxy", "winproxy", "--cache",  dir / "cache",
            "--fix-time",          "--ttl",   "-5",       "--delete", "--warc",
            dir / "out.warc.gz"};
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (dir / "child.out").c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        waitpid(child, &status, 0);
        stop = true;
        flipper.join();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << status;
        EXPECT_EQ(test::SnapshotFolder(dir / "outside"), before) << "round " << round;
    }
    EXPECT_GT(flips, 0);
}

}  // namespace
}  // namespace loftwick::cli
