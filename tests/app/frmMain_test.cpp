#include "app/frmMain.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "app/MemoryMainWindow.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "support/FaultFileSystem.h"
#include "support/Program.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basRegistry.h"

namespace loftwick {
namespace {

class ClosingShell final : public frmMainShell {
  public:
    void SetCaption(const std::string&) override {}
    void RequestClose() override { model->Form_Unload(); }
    void ShowAbout() override {}
    frmMain* model = nullptr;
};

class MainWindowTest : public test::ProgramFixture {
  protected:
    MainWindowTest() {
        Platform().desktop = &desktop_;
        Program().IniFileName = dir_ / "loftwick.ini";
        Program().ProxyType = 1;
        Program().CacheDir = dir_ / "cache/";
        dir_.MakeDirs("saves");
        builder::WinProxyCache cache(dir_ / "cache");
        for (const char* url : {"http://h.example/a,b.html", "http://h.example/c"}) {
            builder::WinProxyObject object;
            object.host = "h.example";
            object.url = url;
            object.content = builder::Content::Bytes("body");
            paths_.push_back(cache.Add(object));
        }
    }

    // A new window on the model, as the program opens one.
    void Load() {
        model_.reset();
        window_ = std::make_unique<MemoryMainWindow>();
        model_ = std::make_unique<frmMain>(window_->Controls(), shell_, nullptr);
        shell_.model = model_.get();
        model_->Form_Load();
    }

    test::TempDir dir_;
    test::ScriptedDesktop desktop_;
    std::vector<std::string> paths_;
    std::unique_ptr<MemoryMainWindow> window_;
    ClosingShell shell_;
    std::unique_ptr<frmMain> model_;
};

// The histories, the folders and the options come back in the next window; a gap or forty entries end
// a history, and a stored temporary folder that is gone gives way to the private one. A settings file
// that cannot be read is never replaced by one holding only the window's settings.
TEST_F(MainWindowTest, SettingsSurviveACloseAndAReload) {
    WriteIniValue("DataBase", "Host1", "zweite \xC3\xA9 = \"quoted\"");
    WriteIniValue("DataBase", "Host3", "after the gap");
    for (int i = 1; i <= 45; ++i)
        WriteIniValue("DataBase", "URL" + std::to_string(i), "u" + std::to_string(i));
    WriteIniValue("Persistence", "TempDir", dir_ / "vanished");
    test::ScopedEnv cache("XDG_CACHE_HOME", dir_.path());
    Load();
    EXPECT_EQ(window_->cboHostFilter.ListCount(), 1);
    EXPECT_EQ(window_->cboHostFilter.ItemText(0), "zweite \xC3\xA9 = \"quoted\"");
    EXPECT_EQ(window_->cboURLFilter.ListCount(), 40);
    EXPECT_EQ(window_->txtTempDir.Text(), dir_ / "loftwick/");
    window_->cboHostFilter.SetText("");
    window_->cboHostFilter.TypeText("other");
    window_->cboHostFilter.LoseFocus();
    window_->txtTempDir.SetText(dir_ / "saves/");
    window_->chkDecodeContent.SetValue(0);
    model_->SetDirPrev("/some/folder/");
    window_->cmdExit.Click();

    Load();
    EXPECT_EQ(window_->cboHostFilter.ItemText(0), "other");
    EXPECT_EQ(window_->txtTempDir.Text(), dir_ / "saves/");
    EXPECT_EQ(window_->chkDecodeContent.Value(), 0);
    EXPECT_EQ(model_->DirPrev(), "/some/folder/");

    const std::string before = dir_.ReadFile("loftwick.ini");
    test::FaultFileSystem faults;
    faults.FailPath(FsOp::OpenRead, "loftwick.ini", EIO);
    Platform().fileSystem = &faults;
    Load();
    window_->cmdExit.Click();
    EXPECT_EQ(dir_.ReadFile("loftwick.ini"), before);
}

// Every command says in the status line what came of it, a failure naming the object and the reason,
// and shows one error box at most, however many of its objects fail.
TEST_F(MainWindowTest, EveryCommandReportsItsOutcomeInTheStatusLine) {
    Load();
    window_->chkDeleteOld.SetValue(1);
    window_->cboContentsFilter.SetText("body nowhere");
    window_->cmdPreview.Click();
    EXPECT_TRUE(std::filesystem::exists(paths_[0]));
    EXPECT_EQ(window_->lstStatus.LineText(window_->lstStatus.ListCount() - 1),
              "OK! 2 of 2 files selected, 0 seconds (preview: nothing was changed)");
    window_->lstStatus.ClickLine(0);
    struct Row {
        MemoryMenuItem* item;
        std::optional<std::string> fileAnswer;
        std::string status;  // the status line begins with it
        size_t boxes;        // error boxes shown so far
    };
    const std::vector<Row> rows = {
        {&window_->mnuFileSave, {}, "Cancelled", 0},
        {&window_->mnuFileSave, dir_ / "copy.html", "Saved to " + (dir_ / "copy.html"), 0},
        {&window_->mnuExportWarc, dir_ / "out.warc.gz", "Exported 2 objects to " + (dir_ / "out.warc.gz"), 0},
        {&window_->mnuFileDelete, {}, "Deleted " + paths_[0] + " from the cache", 0},
        {&window_->mnuFileSave, dir_ / "again.html", "Could not save http://h.example/a,b.html: ", 1},
        {&window_->mnuSaveAll, {}, "Saved 0 of 2 files, 2 failed; ", 2},
    };
    for (const Row& row : rows) {
        desktop_.fileDialogAnswers = {row.fileAnswer};
        if (row.item == &window_->mnuSaveAll) window_->txtTempDir.SetText(dir_ / "copy.html/");
        row.item->Click();
        const std::string status = window_->lblStatus.Caption();
        EXPECT_EQ(status.substr(0, row.status.size()), row.status) << status;
        EXPECT_EQ(desktop_.messages.size(), row.boxes) << status;
        if (row.status.back() == ' ') {
            EXPECT_GT(status.size(), row.status.size() + 3) << "a reason follows";
        }
    }
    EXPECT_EQ(dir_.ReadFile("copy.html"), "body");
    EXPECT_NE(window_->lblStatus.Caption().find("More errors: 1"), std::string::npos);
}

}  // namespace
}  // namespace loftwick
