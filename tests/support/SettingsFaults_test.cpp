// Settings writes with the file system failing at every point, one point per run, and with the disk
// filling up after every byte count: the settings file always holds the old text or the new one, never
// a mix and never nothing, no temporary file is left, and the answer says which.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "support/FaultSweep.h"
#include "support/Program.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

constexpr const char* kBefore =
    "\xEF\xBB\xBF[Common]\r\nProxyType=1\r\nCacheDir=/srv/cache/\r\n\r\n; kept as typed\r\n[Persistence]\r\n"
    "TempDir=/tmp/old\r\n[DataBase]\r\nHost0=example\r\n";

struct WriteRun {
    bool answered = false;
    std::string content;
    std::vector<std::string> names;
};

class SettingsFaults : public test::ProgramFixture {
  protected:
    // Writes the settings file, then runs `write` over `fileSystem` and reads what is left.
    WriteRun Write(FileSystem* fileSystem, const std::function<bool()>& write) {
        test::TempDir dir;
        dir.WriteFile("loftwick.ini", kBefore);
        Program().IniFileName = dir / "loftwick.ini";
        FileSystem* const before = Platform().fileSystem;
        if (fileSystem) Platform().fileSystem = fileSystem;
        WriteRun run;
        run.answered = write();
        Platform().fileSystem = before;
        run.content = dir.ReadFile("loftwick.ini");
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            run.names.push_back(entry.path().filename().string());
        return run;
    }

    // With `answerTells`, the answer says which text the file holds; otherwise only that it is one of them.
    void Sweep(const std::function<bool()>& write, bool answerTells, int& points) {
        const WriteRun baseline = Write(nullptr, write);
        ASSERT_TRUE(baseline.answered);
        ASSERT_NE(baseline.content, kBefore);
        const auto check = [&](const WriteRun& run) {
            if (answerTells) {
                EXPECT_EQ(run.content, run.answered ? baseline.content : std::string(kBefore));
            } else {
                EXPECT_TRUE(run.content == baseline.content || run.content == kBefore) << run.content;
            }
            EXPECT_EQ(run.names, std::vector<std::string>{"loftwick.ini"});
        };
        for (const auto& [op, err] : std::vector<std::pair<FsOp, int>>{{FsOp::Stat, EIO},
                                                                       {FsOp::OpenRead, EIO},
                                                                       {FsOp::Read, EIO},
                                                                       {FsOp::OpenWrite, ENOSPC},
                                                                       {FsOp::Write, ENOSPC},
                                                                       {FsOp::Sync, EIO},
                                                                       {FsOp::Close, EIO},
                                                                       {FsOp::Rename, EIO},
                                                                       {FsOp::RemoveFile, EIO}}) {
            points += test::SweepFaults(op, err,
                                        [&](test::FaultFileSystem& faults) { check(Write(&faults, write)); });
        }
        for (uint64_t bytes = 0; bytes <= baseline.content.size(); ++bytes) {
            SCOPED_TRACE("writes fail after " + std::to_string(bytes) + " bytes");
            test::FaultFileSystem faults;
            faults.FailWritesAfterBytes(bytes, ENOSPC);
            check(Write(&faults, write));
            ++points;
        }
    }
};

TEST_F(SettingsFaults, OneValueWrittenIsAllOrNothingAtEveryFault) {
    int points = 0;
    Sweep([] { return WriteIniValue("Persistence", "TempDir", "/tmp/new folder"); }, true, points);
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 100);
}

TEST_F(SettingsFaults, WindowSettingsSavedTogetherAreAllOrNothingAtEveryFault) {
    int points = 0;
    Sweep(
        [] {
            // As the window saves its settings: every value in one write.
            return WriteIniValues({{"Persistence", "TempDir", "/tmp/new"},
                                   {"Persistence", "DirPrev", "/home/someone/"},
                                   {"DataBase", "Host1", "other.example"}});
        },
        true, points);
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 100);
}

}  // namespace
}  // namespace loftwick
