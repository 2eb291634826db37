// Save All with the file system failing at every point, one point per run: no copy is ever half-written
// under its name, no temporary file is left behind, nothing saved before is lost, the status line counts
// what happened, and a fault nobody was told about left the same copies as no fault at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "results/SaveObjects.h"
#include "results/SaveTestSupport.h"
#include "support/FaultSweep.h"

namespace loftwick {
namespace {

constexpr const char* kEarlierCopy = "an earlier copy the user keeps";

struct SaveRun {
    int64_t failed = 0;
    std::string status;
    std::map<std::string, std::string> saved;  // the content of each file below the root, by path
    bool reported = false;
    bool outsideChanged = false;  // the sentinel folder beside the save root
};

class SaveFaults : public test::ProgramFixture {
  protected:
    // Builds the cache, binds the objects and saves them all in tree mode over `fileSystem`.
    SaveRun SaveAll(FileSystem* fileSystem) {
        test::TempDir dir;
        builder::WinProxyCache cache(dir / "cache/");
        const char* const urls[] = {"http://a.example/dir/page.html",
                                    "http://a.example/dir/page.html/inner.gif", "http://b.example/x?q=1",
                                    "http://b.example/big.bin"};
        test::TestSaveHost host;
        for (size_t i = 0; i < 4; ++i) {
            builder::WinProxyObject object;
            object.host = i < 2 ? "a.example" : "b.example";
            object.url = urls[i];
            object.Header("Content-Type", i == 1 ? "image/gif" : "text/html");
            object.content = builder::Content::Bytes(contents_[i]);
            std::shared_ptr<clsCache> bound = NewCacheObject(1);
            bound->setFileName(cache.Add(object));
            host.results.Add(bound);
        }
        dir.WriteFile("out/a.example/dir/old.txt", kEarlierCopy);
        // A folder outside the root with names a save would use, for a hostile user to link to.
        dir.WriteFile("outside/dir/page.html", "sentinel");
        dir.WriteFile("outside/dir/old.txt", "sentinel");
        const test::FolderState outside = test::SnapshotFolder(dir / "outside");
        dir_ = dir.path();
        host.tempDir = dir / "out";
        host.defaultName = "index.html";
        Program().AppParentDir = dir / "";
        ResetLogFolder();
        test::ScriptedDesktop desktop;
        Platform().desktop = &desktop;
        FileSystem* const before = Platform().fileSystem;
        if (fileSystem) Platform().fileSystem = fileSystem;
        SaveRun run;
        run.failed = SaveAllFiles(host, "tree");
        Platform().fileSystem = before;
        Platform().desktop = nullptr;
        run.status = host.statuses.empty() ? "" : host.statuses.back();
        for (const auto& [path, file] : test::SnapshotFolder(dir / "out")) run.saved[path] = file.content;
        run.reported = !desktop.messages.empty();
        run.outsideChanged = test::SnapshotFolder(dir / "outside") != outside;
        return run;
    }

    // After any run: the status line counts what happened, a failure was reported, no temporary file is
    // left.
    static void CheckStatus(const SaveRun& run) {
        EXPECT_EQ(run.status, "Saved " + std::to_string(4 - run.failed) + " of 4 files, " +
                                  std::to_string(run.failed) + " failed");
        EXPECT_TRUE(run.failed == 0 || run.reported) << "a failed save was not reported";
        for (const auto& entry : run.saved)
            EXPECT_EQ(entry.first.find(".part"), std::string::npos) << "temporary file left: " << entry.first;
    }

    void Check(const SaveRun& run, const SaveRun& baseline) {
        CheckStatus(run);
        int earlier = 0;
        std::set<std::string> present;
        for (const auto& [path, content] : run.saved) {
            EXPECT_EQ(path.find("_tmp"), std::string::npos) << "parked file left: " << path;
            if (content == kEarlierCopy) {
                ++earlier;
                continue;
            }
            EXPECT_NE(std::find(contents_.begin(), contents_.end(), content), contents_.end())
                << "not a whole copy: " << path;
            present.insert(content);
        }
        EXPECT_EQ(earlier, 1) << "the copy saved before was lost";
        EXPECT_GE(static_cast<int64_t>(present.size()), 4 - run.failed)
            << "a save counted as done left no copy";
        EXPECT_EQ(run.reported ? baseline.saved : run.saved, baseline.saved)
            << "an unreported fault changed the copies";
    }

    std::vector<std::string> contents_ = {"first page", "an image inside the page's folder",
                                          "the answer to a query", std::string(40000, 'z') + "big"};
    std::string dir_;  // the folder of the latest SaveAll
};

TEST_F(SaveFaults, SaveAllInTreeModeSurvivesEveryFault) {
    const SaveRun baseline = SaveAll(nullptr);
    ASSERT_EQ(baseline.status, "Saved 4 of 4 files, 0 failed");
    // The second object needs the first one's name as a folder: the first copy moves inside it.
    ASSERT_EQ(baseline.saved.count("a.example/dir/page.html/inner.gif"), 1u);
    ASSERT_EQ(baseline.saved.at("a.example/dir/page.html/index.gif"), contents_[0]);
    const std::vector<std::pair<FsOp, int>> kinds = {
        {FsOp::Lstat, EIO},      {FsOp::Stat, EIO},         {FsOp::MakeDir, ENOSPC},
        {FsOp::OpenRead, EIO},   {FsOp::Read, EIO},         {FsOp::OpenWrite, EACCES},
        {FsOp::Write, ENOSPC},   {FsOp::Sync, EIO},         {FsOp::Close, EIO},
        {FsOp::Rename, EXDEV},   {FsOp::RemoveFile, EBUSY}, {FsOp::RemoveDir, EBUSY},
        {FsOp::SetTimes, EPERM},
    };
    int points = 0;
    for (const auto& [op, err] : kinds) {
        points += test::SweepFaults(
            op, err, [&](test::FaultFileSystem& faults) { Check(SaveAll(&faults), baseline); });
    }
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 40);
}

// A hostile user swaps a folder below the save root for a link to a folder outside it between any two
// file-system calls of Save All: nothing outside is written, every file left below the root is a whole
// copy, and the status line and the reports tell what failed.
TEST_F(SaveFaults, FolderSwappedForALinkAtAnyCallWritesNothingOutsideTheRoot) {
    const int swaps = test::SweepCallBoundaries(
        [&] {
            std::filesystem::rename(dir_ + "/out/a.example", dir_ + "/away");
            std::filesystem::create_directory_symlink(dir_ + "/outside", dir_ + "/out/a.example");
        },
        [&](test::FaultFileSystem& faults) {
            const SaveRun run = SaveAll(&faults);
            EXPECT_FALSE(run.outsideChanged) << run.status;
            CheckStatus(run);
        });
    RecordProperty("swaps", swaps);
    EXPECT_GT(swaps, 20);
}

}  // namespace
}  // namespace loftwick
