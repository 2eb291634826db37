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

TEST(TimeDateStamp, EpochAndOneBillionSeconds) {
    EXPECT_EQ(TimeDateStampToDate(0, false), DateSerial(1970, 1, 1));
    EXPECT_EQ(TimeDateStampToDate(1000000000, false), MakeDate(2001, 9, 9, 1, 46, 40));
    test::ScopedTimeZone tz("Europe/Berlin");
    EXPECT_EQ(TimeDateStampToDate(0, true), MakeDate(1970, 1, 1, 1, 0, 0));
    EXPECT_EQ(TimeDateStampToDate(1000000000, true), MakeDate(2001, 9, 9, 3, 46, 40));  // summer time
}

TEST(TimeDateStamp, EachUtcDateGetsTheOffsetOfItsOwnSeason) {
    test::ScopedTimeZone tz("Europe/Berlin");
    EXPECT_EQ(DateToLocalDate(MakeDate(2001, 1, 9, 12, 0, 0)), MakeDate(2001, 1, 9, 13, 0, 0));
    EXPECT_EQ(DateToLocalDate(MakeDate(2001, 7, 9, 12, 0, 0)), MakeDate(2001, 7, 9, 14, 0, 0));
}

TEST(TimeDateStamp, StampsBeyondTheDateTypeGiveNoDate) {
    EXPECT_EQ(TimeDateStampToDate(INT64_MAX, true), OleDate());
    EXPECT_EQ(TimeDateStampToDate(INT64_MIN, false), OleDate());
    EXPECT_EQ(DateToLocalDate(DateSerial(1500, 1, 1)), OleDate());
}

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

TEST_F(ModifyFileStampTest, FlagsChooseWriteTimeOnlyCreationTimeOnlyOrAllThree) {
    const FileTimeSpec summer{summerUtc_, 0};
    const struct {
        bool writeOnly, creationOnly;
        FileTimeSpec write, access, creation;
    } cases[] = {{true, false, summer, kOld, kOld},
                 {false, true, kOld, kOld, summer},
                 {false, false, summer, summer, summer}};
    for (const auto& c : cases) {
        fs_.SetFileTimes(path_, kOld, kOld);
        fs_.SetCreationTime(path_, kOld);
        ModifyFileStamp(path_, summer_, c.writeOnly, c.creationOnly);
        EXPECT_EQ(Info().writeTime, c.write);
        EXPECT_EQ(Info().accessTime, c.access);
        EXPECT_EQ(Creation(), c.creation);
    }
}

// Stamping in winter a moment of summer uses the summer offset, so reading the stamp back as local time
// gives the moment again, whatever the clock says.
TEST_F(ModifyFileStampTest, SummerMomentStampedInWinterRoundTrips) {
    clock_.Set(1704103200);  // 2024-01-01
    ModifyFileStamp(path_, summer_, true, false);
    EXPECT_EQ(FileTimeToLocalDate(Info().writeTime), summer_);
    const OleDate winter = MakeDate(2024, 1, 15, 12, 0, 0);
    clock_.Set(summerUtc_);
    ModifyFileStamp(path_, winter, true, false);
    EXPECT_EQ(Info().writeTime.seconds, 1705316400);  // 11:00 UTC
    EXPECT_EQ(FileTimeToLocalDate(Info().writeTime), winter);
    EXPECT_EQ(LocalDateToFileTime(winter), Info().writeTime);
}

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
