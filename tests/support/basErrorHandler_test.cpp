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

// One entry per distinct code, the notes only in the first; the Win32 error is cleared once reported.
TEST_F(ErrorReportTest, ReportsHoldOneEntryPerCodeInTheirFixedShape) {
    struct Row {
        uint32_t win32;
        std::function<void()> thrower;  // null: nothing pending
        std::string notes, report;
    };
    const std::string place = "Code module: L\r\n";
    const Row rows[] = {
        {2, [] { throw RuntimeError(53, "File not found"); }, "  hello",
         "error code: 2\r\n" + place +
             "Notes: \r\nhello\r\nWindows reported error:ERROR_FILE_NOT_FOUND\r\n\r\n\r\n"
             "error object: VBA.Err\r\nerror number: 53\r\nsource: Loftwick\r\n" +
             place + "description: File not found\r\n"},
        {5, [] { throw RuntimeError(5); }, "",
         "error code: 5\r\n" + place + "Notes: \r\nWindows reported error:ERROR_ACCESS_DENIED\r\n"},
        {0, nullptr, "", "reason: \r\n" + place},
        {0, [] { throw RuntimeError(kCustomErrorBase + 5, "custom", "Component"); }, "",
         "error object: custom object\r\nerror number: 5\r\nsource: Component\r\n" + place +
             "description: custom\r\n"},
        {0, [] { throw std::bad_alloc(); }, "",
         "error object: VBA.Err\r\nerror number: 7\r\nsource: Loftwick\r\n" + place +
             "description: Out of memory\r\n"},
        {0, [] { throw std::runtime_error("boom"); }, "",
         "error object: VBA.Err\r\nerror number: 51\r\nsource: Loftwick\r\n" + place +
             "description: boom\r\n"},
        {0, [] { RaiseFromErrno(EACCES, "/x"); }, "",
         "error code: 5\r\n" + place +
             "Notes: \r\nWindows reported error:ERROR_ACCESS_DENIED\r\n\r\n\r\n"
             "error object: VBA.Err\r\nerror number: 70\r\nsource: Loftwick\r\n" +
             place + "description: Permission denied: '/x'\r\n"},
    };
    for (const Row& row : rows) {
        SetLastError(row.win32);
        std::string report;
        if (!row.thrower) report = HandleError("L", row.notes);
        try {
            if (row.thrower) row.thrower();
        } catch (...) {
            report = HandleError("L", row.notes);
        }
        EXPECT_EQ(report, row.report);
        EXPECT_EQ(GetLastError(), 0u);
    }
    EXPECT_EQ(desktop_.messages.at(0).text, rows[0].report + "\r\n\r\nТекущее время: 2024-12-06 10:00:00");
    EXPECT_EQ(desktop_.messages[0].title, "Loftwick v. 2.1.20");
    EXPECT_EQ(parent_.ReadFile("ex241206.log").rfind("\r\n10:00:00 " + rows[0].report, 0), 0u);
    EXPECT_FALSE(IsCustomError(kCustomErrorBase));
    EXPECT_FALSE(IsCustomError(kCustomErrorEnd));
}

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
