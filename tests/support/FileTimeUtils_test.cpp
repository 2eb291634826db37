// A file system that refuses creation times (which times a cache object sets, and that a link is never
// stamped, is its contract; the conversions between dates and file times are rows of
// tests/cache/golden/Dates.txt).
#include "support/FileTimeUtils.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/FaultFileSystem.h"
#include "support/TestEnv.h"
#include "support/basErrorHandler.h"

namespace loftwick::test {
namespace {

// The only test in the program whose file system refuses creation times: the once-per-run log entry is
// this test's to see.
TEST_F(ProgramFixture, RefusedCreationTimeIsLoggedOnceAndTheOtherTimesStillSet) {
    constexpr FileTimeSpec kOld{1000000000, 0};
    TempDir dir;
    const std::string path = dir / "object";
    dir.WriteFile("object", "content");
    PosixFileSystem fs;
    fs.SetFileTimes(path, kOld, kOld);
    fs.SetCreationTime(path, kOld);
    ScopedTimeZone tz{"Europe/Berlin"};
    const OleDate summer = MakeDate(2024, 7, 1, 12, 0, 0);
    Program().AppParentDir = dir.path();
    ResetLogFolder();
    FaultFileSystem faulty;
    Platform().fileSystem = &faulty;
    faulty.FailPath(FsOp::SetCreation, "object", ENOTSUP);
    faulty.FailPath(FsOp::SetTimes, "denied", EPERM);
    dir.WriteFile("denied", "x");
    ModifyFileStamp(path, summer, false, false);
    ModifyFileStamp(path, summer, false, true);
    ModifyFileStamp(dir / "denied", summer, true, false);
    EXPECT_EQ(*fs.GetCreationTime(path), kOld);
    EXPECT_EQ(fs.Stat(path)->writeTime, (FileTimeSpec{1719828000, 0}));  // 10:00 UTC

    const std::string log = dir.ReadFile("ex241206.log");
    const size_t first = log.find("creation times");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("creation times", first + 1), std::string::npos) << log;
}

}  // namespace
}  // namespace loftwick::test
