// Error reports, the daily log and its fallbacks.
#include "support/basErrorHandler.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <new>
#include <stdexcept>

#include "support/FaultFileSystem.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

class ErrorReportTest : public test::ProgramFixture {
  protected:
    ErrorReportTest() {
        Platform().desktop = &desktop_;
        Program().AppParentDir = parent_.path() + "/";
        SetLastError(0);
    }
    ~ErrorReportTest() override { SetLastError(0); }

    test::TempDir parent_;
    test::ScriptedDesktop desktop_;
};

TEST_F(ErrorReportTest, EntriesOfOneDayShareAFileAndMidnightStartsANewOne) {
    clock_.Set(1733529599);  // 2024-12-06 23:59:59
    HandleError("first");
    clock_.Advance(1);
    HandleError("second");
    EXPECT_EQ(parent_.ReadFile("ex241206.log"), "\r\n23:59:59 reason: \r\nCode module: first\r\n");
    EXPECT_EQ(parent_.ReadFile("ex241207.log"), "\r\n00:00:00 reason: \r\nCode module: second\r\n");
}

// Where the log goes when the program's folder is not to be written, and that a lost entry stops nothing.
TEST_F(ErrorReportTest, LogFallsBackToTheStateOrTemporaryFolderAndLosingItStopsNothing) {
    test::TempDir other;
    test::ScopedEnv state("XDG_STATE_HOME", other / "state");
    test::ScopedEnv cache("XDG_CACHE_HOME", other.path());
    Program().IsUnattended = true;
    HandleError("unattended");
    EXPECT_TRUE(desktop_.messages.empty());
    EXPECT_NE(other.ReadFile("state/loftwick/ex241206.log").find("Code module: unattended"),
              std::string::npos);

    // A link planted at the log's name is not written through.
    Program().IsUnattended = false;
    ResetLogFolder();
    parent_.WriteFile("victim", "precious");
    std::filesystem::create_symlink(parent_ / "victim", parent_ / "ex241206.log");
    HandleError("Loc");
    EXPECT_EQ(parent_.ReadFile("victim"), "precious");
    EXPECT_EQ(other.ReadFile("loftwick/ex241206.log"),
              "\r\n10:00:00 couldn't write to the log file: 'ex241206.log'reason: \r\nCode module: Loc\r\n");
    test::FaultFileSystem fs;
    Platform().fileSystem = &fs;
    fs.FailPath(FsOp::OpenWrite, other.path(), EACCES);
    EXPECT_NO_THROW(WriteToLog("lost"));
    EXPECT_EQ(String2File("x", other / "out.txt"), 0);
}

TEST_F(ErrorReportTest, DesktopThatFailsDoesNotTurnTheReportIntoAFailure) {
    class Failing final : public Desktop {
      public:
        void MessageBox(const std::string&, const std::string&, MsgIcon) override {
            throw std::runtime_error("gone");
        }
        void DoEvents() override { throw std::runtime_error("gone"); }
    } failing;
    Platform().desktop = &failing;
    std::string report;
    EXPECT_NO_THROW(report = HandleError("Loc"));
    EXPECT_EQ(report, "reason: \r\nCode module: Loc\r\n");
    EXPECT_TRUE(parent_.Exists("ex241206.log"));
}

}  // namespace
}  // namespace loftwick
