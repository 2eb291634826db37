// What setting file stamps leaves alone (which times a cache object sets is its contract, and the
// conversions between dates and file times are rows of tests/cache/golden/Dates.txt).
#include "support/FileTimeUtils.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "support/FaultFileSystem.h"
#include "support/TestEnv.h"
#include "support/basErrorHandler.h"

namespace loftwick {
namespace {

class ModifyFileStampTest : public test::ProgramFixture {
  protected:
    ModifyFileStampTest() {
        dir_.WriteFile("object", "content");
        fs_.SetFileTimes(path_, kOld, kOld);
        fs_.SetCreationTime(path_, kOld);
    }
    FileInfo Info() { return *fs_.Stat(path_); }
    FileTimeSpec Creation() { return *fs_.GetCreationTime(path_); }

    static constexpr FileTimeSpec kOld{1000000000, 0};
    test::TempDir dir_;
    std::string path_ = dir_ / "object";
    PosixFileSystem fs_;
    test::ScopedTimeZone tz_{"Europe/Berlin"};
    const OleDate summer_ = MakeDate(2024, 7, 1, 12, 0, 0);
    const int64_t summerUtc_ = 1719828000;  // 2024-07-01 10:00:00 UTC
};

TEST_F(ModifyFileStampTest, MissingFilesLinksAndImpossibleMomentsChangeNothing) {
    ModifyFileStamp(dir_ / "absent", summer_, false, false);
    EXPECT_FALSE(dir_.Exists("absent"));

    ASSERT_EQ(symlink(path_.c_str(), (dir_ / "link").c_str()), 0);
    ModifyFileStamp(dir_ / "link", summer_, false, false);
    EXPECT_EQ(Info().writeTime, kOld);
    EXPECT_EQ(Creation(), kOld);

    ModifyFileStamp(path_, DateSerial(1500, 1, 1), false, false);
    EXPECT_EQ(Info().writeTime, kOld);
}

// The only test in the program whose file system refuses creation times: the once-per-run log entry is
// this test's to see.
TEST_F(ModifyFileStampTest, RefusedCreationTimeIsLoggedOnceAndTheOtherTimesStillSet) {
    Program().AppParentDir = dir_.path();
    ResetLogFolder();
    test::FaultFileSystem faulty;
    Platform().fileSystem = &faulty;
    faulty.FailPath(FsOp::SetCreation, "object", ENOTSUP);
    faulty.FailPath(FsOp::SetTimes, "denied", EPERM);
    dir_.WriteFile("denied", "x");
    ModifyFileStamp(path_, summer_, false, false);
    ModifyFileStamp(path_, summer_, false, true);
    ModifyFileStamp(dir_ / "denied", summer_, true, false);
    EXPECT_EQ(Creation(), kOld);
    EXPECT_EQ(Info().writeTime, (FileTimeSpec{summerUtc_, 0}));

    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        if (entry.path().extension() == ".log") log += dir_.ReadFile(entry.path().filename().string());
    }
    size_t entries = 0;
    for (size_t at = log.find("creation times"); at != std::string::npos;
         at = log.find("creation times", at + 1)) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u) << log;
}

}  // namespace
}  // namespace loftwick
