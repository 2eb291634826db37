// Error reports, the daily log and its fallbacks.
#include "support/basErrorHandler.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "support/FaultFileSystem.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

// Reports the given exception as a procedure's trap would.
template <class E>
std::string ReportThrown(const E& error, const std::string& location, const std::string& notes = "") {
    try {
        throw error;
    } catch (...) {
        return HandleError(location, notes);
    }
}

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

TEST_F(ErrorReportTest, RunTimeErrorWithWin32ErrorGivesTwoEntriesNotesOnlyInTheFirst) {
    SetLastError(2);
    const std::string report =
        ReportThrown(RuntimeError(53, "File not found", "Loftwick"), "ParseFilter", "  hello world");
    EXPECT_EQ(report,
              "error code: 2\r\n"
              "Code module: ParseFilter\r\n"
              "Notes: \r\n"
              "hello world\r\n"
              "Windows reported error:ERROR_FILE_NOT_FOUND\r\n"
              "\r\n"
              "\r\n"
              "error object: VBA.Err\r\n"
              "error number: 53\r\n"
              "source: Loftwick\r\n"
              "Code module: ParseFilter\r\n"
              "description: File not found\r\n");
    EXPECT_EQ(GetLastError(), 0u);  // reported once, not again with the next error

    EXPECT_EQ(parent_.ReadFile("ex241206.log"), "\r\n10:00:00 " + report);
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0].text, report + "\r\n\r\nТекущее время: 2024-12-06 10:00:00");
    EXPECT_EQ(desktop_.messages[0].title, "Loftwick v. 2.1.20");
    EXPECT_EQ(desktop_.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(desktop_.busyChanges, std::vector<bool>{false});
    EXPECT_GE(desktop_.doEvents, 1);
}

TEST_F(ErrorReportTest, NothingPendingGivesAReasonAndTheSameCodeFromWindowsAndRunTimeOneEntry) {
    EXPECT_EQ(HandleError("frmMain:SaveOneFile"), "reason: \r\nCode module: frmMain:SaveOneFile\r\n");
    EXPECT_EQ(HandleError("", "a note"), "reason: \r\nNotes: \r\na note\r\n");
    SetLastError(5);
    EXPECT_EQ(ReportThrown(RuntimeError(5), "basMain:Main"),
              "error code: 5\r\nCode module: basMain:Main\r\nNotes: \r\nWindows reported "
              "error:ERROR_ACCESS_DENIED\r\n");
}

TEST_F(ErrorReportTest, CustomErrorShowsItsDistanceAboveTheBase) {
    const std::string report = ReportThrown(RuntimeError(kCustomErrorBase + 5, "custom", "Component"), "X");
    EXPECT_EQ(report,
              "error object: custom object\r\nerror number: 5\r\nsource: Component\r\nCode module: X\r\n"
              "description: custom\r\n");
    // The base itself and 0x80050000 lie outside the range.
    EXPECT_FALSE(IsCustomError(kCustomErrorBase));
    EXPECT_TRUE(IsCustomError(-2147155969));
    EXPECT_FALSE(IsCustomError(-2147155968));
}

TEST_F(ErrorReportTest, OtherExceptionsBecomeRunTimeErrors) {
    EXPECT_NE(ReportThrown(std::bad_alloc(), "A")
                  .find("error number: 7\r\nsource: Loftwick\r\nCode module: A\r\n"
                        "description: Out of memory\r\n"),
              std::string::npos);
    EXPECT_NE(ReportThrown(std::runtime_error("boom"), "B")
                  .find("error number: 51\r\nsource: Loftwick\r\n"
                        "Code module: B\r\ndescription: boom\r\n"),
              std::string::npos);
    EXPECT_NE(ReportThrown(42, "C").find("description: Internal error\r\n"), std::string::npos);
}

TEST_F(ErrorReportTest, ErrnoOfAFailedFileOperationReadsAsItsWin32AndRunTimeNumbers) {
    const std::string report = [] {
        try {
            RaiseFromErrno(EACCES, "/x/y");
        } catch (...) {
            return HandleError("frmMain:SaveOneFile", "y");
        }
    }();
    EXPECT_NE(report.find("error code: 5\r\n"), std::string::npos);
    EXPECT_NE(report.find("Windows reported error:ERROR_ACCESS_DENIED\r\n"), std::string::npos);
    EXPECT_NE(report.find("error number: 70\r\n"), std::string::npos);
    EXPECT_NE(report.find("description: Permission denied: '/x/y'\r\n"), std::string::npos);
}

TEST_F(ErrorReportTest, Win32TextsOfTheTable) {
    EXPECT_EQ(Win32ErrorText(0), "The operation completed successfully");
    EXPECT_EQ(Win32ErrorText(87), "ERROR_INVALID_PARAMETER: The parameter is incorrect");
    EXPECT_EQ(Win32ErrorText(183), "Unknown error 183");
    EXPECT_EQ(Win32ErrorText(-7), "Unknown error -7");
}

TEST_F(ErrorReportTest, EntriesOfOneDayShareAFileAndMidnightStartsANewOne) {
    clock_.Set(1733529599);  // 2024-12-06 23:59:59
    HandleError("first");
    HandleError("second");
    clock_.Advance(1);
    HandleError("third");
    const std::string day1 = parent_.ReadFile("ex241206.log");
    EXPECT_EQ(day1.rfind("\r\n23:59:59 reason: \r\nCode module: first\r\n", 0), 0u);
    EXPECT_NE(day1.find("\r\n23:59:59 reason: \r\nCode module: second\r\n"), std::string::npos);
    EXPECT_EQ(parent_.ReadFile("ex241207.log"), "\r\n00:00:00 reason: \r\nCode module: third\r\n");
}

TEST_F(ErrorReportTest, UnattendedRunLogsToTheStateFolderAndShowsNothing) {
    test::TempDir state;
    test::ScopedEnv xdg("XDG_STATE_HOME", state / "s");
    Program().IsUnattended = true;
    ResetLogFolder();
    HandleError("loftwick-scan");
    EXPECT_TRUE(desktop_.messages.empty());
    EXPECT_TRUE(desktop_.busyChanges.empty());
    EXPECT_EQ(desktop_.doEvents, 0);
    EXPECT_EQ(state.ReadFile("s/loftwick/ex241206.log"),
              "\r\n10:00:00 reason: \r\nCode module: loftwick-scan\r\n");
    EXPECT_FALSE(parent_.Exists("ex241206.log"));
}

TEST_F(ErrorReportTest, UnwritableLogFolderSendsTheEntryToTheTemporaryFolder) {
    test::TempDir temp;
    test::ScopedEnv cacheVar("XDG_CACHE_HOME", temp.path());
    test::FaultFileSystem fs;
    fs.FailPath(FsOp::OpenWrite, parent_.path(), EACCES);
    Platform().fileSystem = &fs;
    HandleError("Loc");
    EXPECT_EQ(temp.ReadFile("loftwick/ex241206.log"),
              "\r\n10:00:00 couldn't write to the log file: 'ex241206.log'reason: \r\nCode module: Loc\r\n");
    EXPECT_EQ(GetLastError(), 0u);
    // When the fallback fails too, the entry is lost and nothing else happens.
    fs.FailPath(FsOp::OpenWrite, temp.path(), EACCES);
    EXPECT_NO_THROW(WriteToLog("lost"));
    EXPECT_EQ(desktop_.messages.size(), 1u);
}

TEST_F(ErrorReportTest, UnusableProgramFolderSendsTheLogToTheStateFolder) {
    Program().AppParentDir = parent_ / "missing/";
    test::ScopedEnv state("XDG_STATE_HOME", parent_ / "state");
    HandleError("Loc");
    EXPECT_FALSE(parent_.Exists("missing"));
    EXPECT_NE(parent_.ReadFile("state/loftwick/ex241206.log").find("Code module: Loc"), std::string::npos);
}

TEST_F(ErrorReportTest, DesktopThatFailsDoesNotTurnTheReportIntoAFailure) {
    class Failing final : public Desktop {
      public:
        void MessageBox(const std::string&, const std::string&, MsgIcon) override {
            throw std::runtime_error("gone");
        }
        std::optional<std::string> InputBox(const std::string&, const std::string&,
                                            const std::string&) override {
            return std::nullopt;
        }
        void Beep() override {}
        void DoEvents() override { throw std::runtime_error("gone"); }
        bool OpenUrl(const std::string&) override { return false; }
        BrowserStart OpenInBrowser(const std::string&) override { return {}; }
        bool OpenDocument(const std::string&) override { return false; }
        bool StartProgram(const std::vector<std::string>&) override { return false; }
        void SetClipboardText(const std::string&) override {}
        std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override { return std::nullopt; }
        std::optional<std::string> SaveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
        void SetBusy(bool) override {}
    } failing;
    Platform().desktop = &failing;
    std::string report;
    EXPECT_NO_THROW(report = HandleError("Loc"));
    EXPECT_EQ(report, "reason: \r\nCode module: Loc\r\n");
    EXPECT_TRUE(parent_.Exists("ex241206.log"));
}

TEST_F(ErrorReportTest, String2FileCreatesThenAppends) {
    const std::string path = parent_ / "out.txt";
    EXPECT_EQ(String2File("abc", path), 3);
    EXPECT_EQ(String2File("de", path), 5);
    EXPECT_EQ(parent_.ReadFile("out.txt"), "abcde");
    EXPECT_EQ(String2File("x", parent_ / "no/such/folder.txt"), 0);
    std::filesystem::create_symlink(path, parent_ / "link.txt");
    EXPECT_EQ(String2File("x", parent_ / "link.txt"), 0);  // never written through a link
    EXPECT_EQ(parent_.ReadFile("out.txt"), "abcde");
}

}  // namespace
}  // namespace loftwick
