#include "app/frmMain.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <utility>

#include "app/MemoryMainWindow.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "support/FaultFileSystem.h"
#include "support/Program.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

class RecordingShell final : public frmMainShell {
  public:
    void SetCaption(const std::string& text) override { caption = text; }
    void RequestClose() override {
        if (model) closeRefused = model->Form_Unload();
    }
    void ShowAbout() override {}
    std::string caption;
    bool closeRefused = false;
    frmMain* model = nullptr;
};

class MainWindowTest : public test::ProgramFixture {
  protected:
    MainWindowTest() {
        Platform().desktop = &desktop_;
        Program().IniFileName = dir_ / "loftwick.ini";
        Program().ProxyType = 1;
        Program().CacheDir = dir_ / "cache/";
        dir_.MakeDirs("cache");
        dir_.MakeDirs("saves");
    }

    // A new window on the model, as the program opens one.
    frmMain& Load() {
        model_.reset();
        window_ = std::make_unique<MemoryMainWindow>();

        model_ = std::make_unique<frmMain>(window_->Controls(), shell_, nullptr);
        shell_.model = model_.get();
        model_->Form_Load();
        return *model_;
    }
    std::vector<std::string> Entries(const MemoryComboBox& combo) const {
        std::vector<std::string> entries;
        for (int32_t i = 0; i < combo.ListCount(); ++i) entries.push_back(combo.ItemText(i));
        return entries;
    }
    std::string AddObject(const std::string& url) {
        builder::WinProxyCache cache(dir_ / "cache");
        builder::WinProxyObject object;
        object.host = "h.example";
        object.url = url;
        object.content = builder::Content::Bytes("body");
        return cache.Add(object);
    }

    test::TempDir dir_;
    test::ScriptedDesktop desktop_;
    std::unique_ptr<MemoryMainWindow> window_;
    RecordingShell shell_;
    std::unique_ptr<frmMain> model_;
};

// The histories, the folders and the options come back in the next window; a gap or forty entries end
// a history, and a stored temporary folder that is gone gives way to the private one.
TEST_F(MainWindowTest, SettingsSurviveACloseAndAReload) {
    WriteIniValue("DataBase", "Host1", "zweite \xC3\xA9 = \"quoted\"");
    WriteIniValue("DataBase", "Host3", "after the gap");
    for (int i = 1; i <= 45; ++i)
        WriteIniValue("DataBase", "URL" + std::to_string(i), "u" + std::to_string(i));
    WriteIniValue("Persistence", "TempDir", dir_ / "vanished");
    test::ScopedEnv cache("XDG_CACHE_HOME", dir_.path());
    Load();
    EXPECT_EQ(Entries(window_->cboHostFilter), (std::vector<std::string>{"zweite \xC3\xA9 = \"quoted\""}));
    EXPECT_EQ(window_->cboURLFilter.ListCount(), 40);
    EXPECT_EQ(window_->txtTempDir.Text(), dir_ / "loftwick/");
    window_->cboHostFilter.SetText("");
    window_->cboHostFilter.TypeText("other");
    window_->cboHostFilter.LoseFocus();
    window_->txtTempDir.SetText(dir_ / "saves/");
    window_->chkDecodeContent.SetValue(0);
    model_->SetDirPrev("/some/folder/");
    window_->cmdExit.Click();
    EXPECT_FALSE(shell_.closeRefused);

    Load();
    EXPECT_EQ(Entries(window_->cboHostFilter).at(0), "other");
    EXPECT_EQ(window_->txtTempDir.Text(), dir_ / "saves/");
    EXPECT_EQ(window_->chkDecodeContent.Value(), 0);
    EXPECT_EQ(model_->DirPrev(), "/some/folder/");
}

// A settings file that cannot be read is never replaced by one holding only the window's settings.
TEST_F(MainWindowTest, AnUnreadableSettingsFileIsLeftAsItIs) {
    dir_.WriteFile("loftwick.ini", "[Common]\r\nProxyType=1\r\n");
    test::FaultFileSystem faults;
    faults.FailPath(FsOp::OpenRead, "loftwick.ini", EIO);
    Platform().fileSystem = &faults;
    Load();
    window_->cmdExit.Click();
    EXPECT_EQ(dir_.ReadFile("loftwick.ini"), "[Common]\r\nProxyType=1\r\n");
}

TEST_F(MainWindowTest, CurrentResultFollowsTheSelectedLine) {
    Load();
    for (const char* line :
         {"7 http://h/x : 2024-01-01 : 5", "12 40% http://h/y : 2024-01-01 : 5",
          "Warning! 3 files were not found in cache.", "OK! 2 of 9 files selected, 0 seconds"})
        window_->lstStatus.AddLine(line);
    for (const auto& [line, expected] :
         std::vector<std::pair<int, int64_t>>{{1, 7}, {2, 12}, {3, 0}, {4, 0}, {0, 0}}) {
        window_->lstStatus.ClickLine(line, MouseButton::Right);
        EXPECT_EQ(model_->CurrentResult(), expected) << line;
        EXPECT_EQ(window_->mnuFileSave.Enabled(), expected > 0) << line;
    }
    EXPECT_EQ(window_->mnuFile.popupCount, 2);  // only on a result
}

// Closing while a scan runs stops it and keeps the window; nothing is saved until the close that ends it.
TEST_F(MainWindowTest, ClosingDuringAScanStopsItAndKeepsTheWindow) {
    for (int i = 0; i < 3; ++i) AddObject("http://h.example/" + std::to_string(i));
    Load();
    window_->cboURLFilter.TypeText("h.example");
    bool closedDuringScan = false;
    model_->onObjectSelected = [&](int64_t, const std::shared_ptr<clsCache>&, int) {
        if (!std::exchange(closedDuringScan, true)) window_->cmdExit.Click();
    };
    window_->cmdOK.Click();  // a scan started with Enter: the filter joins its history all the same
    EXPECT_TRUE(shell_.closeRefused);
    EXPECT_EQ(window_->lblStatus.Caption(), "Interrupted");
    EXPECT_FALSE(dir_.Exists("loftwick.ini"));
    window_->cmdExit.Click();
    EXPECT_FALSE(shell_.closeRefused);
    EXPECT_EQ(GetIniValue("DataBase", "URL1", ""), "h.example");
}

// Every command says in the status line what came of it; a failure names the object and the reason.
TEST_F(MainWindowTest, EveryCommandReportsItsOutcomeInTheStatusLine) {
    const std::string path = AddObject("http://h.example/a,b.html");
    Load();
    window_->chkDeleteOld.SetValue(1);
    window_->cboContentsFilter.SetText("body nowhere");
    window_->cmdPreview.Click();
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(window_->lstStatus.LineText(window_->lstStatus.ListCount() - 1),
              "OK! 1 of 1 files selected, 0 seconds (preview: nothing was changed)");
    window_->lstStatus.ClickLine(0);
    window_->txtTempDir.SetText(dir_ / "saves/");
    struct Row {
        MemoryMenuItem* item;
        std::optional<std::string> fileAnswer;
        std::string status;        // the status line begins with it
        std::string file{}, in{};  // and `file`, when named, holds `in`
    };
    const std::vector<Row> rows = {
        {&window_->mnuCopyShortcut, {}, "Copied http://h.example/a,b.html"},
        {&window_->mnuFileSave, {}, "Cancelled"},
        {&window_->mnuFileSave, dir_ / "copy.html", "Saved to " + (dir_ / "copy.html"), "copy.html", "body"},
        {&window_->mnuSaveTree, {}, "Saved to " + (dir_ / "saves/h.example/a,b.html")},
        {&window_->mnuFileOpen, {}, "Opened http://h.example/a,b.html"},
        {&window_->mnuResourceInfo, {}, "Resource info of http://h.example/a,b.html"},
        // The same records as loftwick-scan's CSV: the score, and no summary.
        {&window_->mnuExportCsv, dir_ / "list.csv", "Exported 1 records to " + (dir_ / "list.csv"),
         "list.csv", "\r\n1,50,\"http://h.example/a,b.html\",h.example,"},
        {&window_->mnuExportWarc, dir_ / "out.warc.gz", "Exported 1 objects to " + (dir_ / "out.warc.gz")},
        {&window_->mnuFileDelete, {}, "Deleted " + path + " from the cache"},
        {&window_->mnuFileSave, dir_ / "again.html", "Could not save http://h.example/a,b.html: "},
        {&window_->mnuSaveAll, {}, "Saved 0 of 1 files, 1 failed; "},
    };
    for (const Row& row : rows) {
        desktop_.fileDialogAnswers = {row.fileAnswer};
        row.item->Click();
        const std::string status = window_->lblStatus.Caption();
        EXPECT_EQ(status.substr(0, row.status.size()), row.status) << status;
        if (row.status.back() == ' ') {
            EXPECT_GT(status.size(), row.status.size() + 3) << "a reason follows";
        }
        if (!row.file.empty()) {
            EXPECT_NE(dir_.ReadFile(row.file).find(row.in), std::string::npos) << row.file;
        }
    }
}

}  // namespace
}  // namespace loftwick
