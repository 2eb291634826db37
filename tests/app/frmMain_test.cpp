#include "app/frmMain.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "app/MemoryMainWindow.h"
#include "cachebuilder/WinProxyBuilder.h"
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
        ++closeRequests;
        if (model) closeRefused = model->Form_Unload();
    }
    void ShowAbout() override { ++aboutShown; }
    std::string caption;
    int closeRequests = 0, aboutShown = 0;
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
    }

    frmMain& Load() {
        model_ = std::make_unique<frmMain>(window_.Controls(), shell_, nullptr);
        shell_.model = model_.get();
        model_->Form_Load();
        return *model_;
    }
    std::vector<std::string> Entries(const MemoryComboBox& combo) const {
        std::vector<std::string> entries;
        for (int32_t i = 0; i < combo.ListCount(); ++i) entries.push_back(combo.ItemText(i));
        return entries;
    }
    int ResultCommandsEnabled() const {
        int enabled = 0;
        for (const MemoryMenuItem* item :
             {&window_.mnuFileOpen, &window_.mnuFileOpenLocal, &window_.mnuFileOpenText, &window_.mnuFileSave,
              &window_.mnuSaveTree, &window_.mnuFileDelete, &window_.mnuResourceInfo,
              &window_.mnuCopyShortcut})
            enabled += item->Enabled() ? 1 : 0;
        return enabled;
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
    MemoryMainWindow window_;
    RecordingShell shell_;
    std::unique_ptr<frmMain> model_;
};

TEST_F(MainWindowTest, WinProxyWindowShowsTheTtlControlsAndStartsWithCommandsDisabled) {
    Load();
    EXPECT_EQ(shell_.caption, Program().AppTitle + " - WinProxy");
    EXPECT_TRUE(window_.chkTTL.Visible());
    EXPECT_TRUE(window_.txtTTL.Visible());
    EXPECT_TRUE(window_.chkDeleteAgedFiles.Visible());
    EXPECT_FALSE(window_.chkFixPrefix.Visible());
    EXPECT_EQ(window_.txtTTL.Text(), "200");
    EXPECT_EQ(window_.cboAgeUnit.Text(), "days");
    EXPECT_EQ(window_.lstStatus.LineText(0), "WinProxy cache at " + (dir_ / "cache/"));
    EXPECT_EQ(window_.chkSaveTree.ToolTipText(),
              "Save files to \"" + window_.txtTempDir.Text() + "\"directory with tree structure");
    EXPECT_EQ(ResultCommandsEnabled(), 0);
    EXPECT_TRUE(window_.mnuSaveTreeAll.Enabled());
}

// Squid's objects age by their stored expiry, but their file times and names are Squid's own.
TEST_F(MainWindowTest, WinGateAndSquidWindowsHideTheTtlControls) {
    for (const int32_t type : {2, 3}) {
        Program().ProxyType = type;
        window_.chkFixTime.SetValue(1);
        Load();
        EXPECT_EQ(shell_.caption, Program().AppTitle + (type == 2 ? " - WinGate" : " - Squid"));
        EXPECT_FALSE(window_.chkTTL.Visible());
        EXPECT_FALSE(window_.txtTTL.Visible());
        EXPECT_EQ(window_.chkDeleteAgedFiles.Visible(), type == 3);
        EXPECT_EQ(window_.chkFixTime.Enabled(), type == 2);
        EXPECT_EQ(window_.chkFixTime.Value(), type == 2 ? 1 : 0);
    }
}

TEST_F(MainWindowTest, HistoriesStopAtTheFirstGapAndAtForty) {
    WriteIniValue("DataBase", "Host1", "first");
    WriteIniValue("DataBase", "Host2", "zweite \xC3\xA9 = \"quoted\"");
    WriteIniValue("DataBase", "Host3", "third");
    WriteIniValue("DataBase", "Host5", "after the gap");
    for (int i = 1; i <= 45; ++i)
        WriteIniValue("DataBase", "URL" + std::to_string(i), "u" + std::to_string(i));
    Load();
    EXPECT_EQ(Entries(window_.cboHostFilter),
              (std::vector<std::string>{"first", "zweite \xC3\xA9 = \"quoted\"", "third"}));
    EXPECT_EQ(window_.cboURLFilter.ListCount(), 40);
    EXPECT_EQ(window_.cboHostFilter.ItemData(2), 2);
    EXPECT_EQ(window_.cboContentsFilter.ListCount(), 0);
}

TEST_F(MainWindowTest, SettingsSurviveACloseAndAReload) {
    WriteIniValue("DataBase", "Contents", "ignored: keys are numbered");
    dir_.MakeDirs("saves");
    Load();
    window_.cboContentsFilter.TypeText("+apple -pie");
    window_.cboContentsFilter.LoseFocus();
    window_.cboHostFilter.TypeText("example");
    window_.cboHostFilter.LoseFocus();
    window_.cboHostFilter.SetText("");
    window_.cboHostFilter.TypeText("other");
    window_.cboHostFilter.LoseFocus();
    window_.txtTempDir.SetText(dir_ / "saves/");
    model_->SetDirPrev("/some/folder/");
    model_->SetDefaultDocumentName("default.htm");
    window_.cmdExit.Click();
    EXPECT_EQ(shell_.closeRequests, 1);
    EXPECT_FALSE(shell_.closeRefused);

    MemoryMainWindow second;
    RecordingShell shell2;
    frmMain reloaded(second.Controls(), shell2, nullptr);
    reloaded.Form_Load();
    EXPECT_EQ(Entries(second.cboHostFilter), (std::vector<std::string>{"other", "example"}));
    EXPECT_EQ(Entries(second.cboContentsFilter), (std::vector<std::string>{"+apple -pie"}));
    EXPECT_EQ(second.txtTempDir.Text(), dir_ / "saves/");
    EXPECT_EQ(reloaded.DirPrev(), "/some/folder/");
    EXPECT_EQ(reloaded.DefaultDocumentName(), "default.htm");
}

TEST_F(MainWindowTest, StoredTempDirThatIsGoneFallsBackToThePrivateTempFolder) {
    WriteIniValue("Persistence", "TempDir", dir_ / "vanished");
    test::ScopedEnv cache("XDG_CACHE_HOME", dir_.path());
    Load();
    EXPECT_EQ(window_.txtTempDir.Text(), dir_ / "loftwick/");
}

TEST_F(MainWindowTest, CurrentResultFollowsTheSelectedLine) {
    Load();
    window_.lstStatus.AddLine("7 http://h/x : 2024-01-01 : 5");
    window_.lstStatus.AddLine("12 40% http://h/y : 2024-01-01 : 5");
    window_.lstStatus.AddLine("Warning! 3 files were not found in cache.");
    window_.lstStatus.AddLine("OK! 2 of 9 files selected, 0 seconds");
    window_.lstStatus.AddLine("Deleting dir: /x/y/");
    const std::vector<std::pair<int, int64_t>> cases = {{1, 7}, {2, 12}, {3, 0}, {4, 0},
                                                        {5, 0}, {0, 0},  {1, 7}};
    for (const auto& [line, expected] : cases) {
        window_.lstStatus.ClickLine(line);
        EXPECT_EQ(model_->CurrentResult(), expected) << line;
        EXPECT_EQ(ResultCommandsEnabled(), expected > 0 ? 8 : 0) << line;
    }
}

TEST_F(MainWindowTest, RightClickPopsTheFileMenuOnlyOnAResult) {
    Load();
    window_.lstStatus.AddLine("3 http://h/x : 2024-01-01 : 5");
    window_.lstStatus.ClickLine(0, MouseButton::Right);
    EXPECT_EQ(window_.mnuFile.popupCount, 0);
    window_.lstStatus.ClickLine(1, MouseButton::Right);
    EXPECT_EQ(window_.mnuFile.popupCount, 1);
}

TEST_F(MainWindowTest, GoScansAndSelectsTheSummary) {
    AddObject("http://h.example/page");
    Load();
    window_.cmdOK.Click();
    ASSERT_EQ(window_.lstStatus.ListCount(), 2);
    EXPECT_EQ(window_.lstStatus.SelectedIndex(), 1);
    EXPECT_EQ(window_.lstStatus.LineText(1), "OK! 1 of 1 files selected, 0 seconds");
    EXPECT_EQ(window_.lblStatus.Caption(), "Ready");
    window_.lstStatus.ClickLine(0);
    EXPECT_EQ(model_->CurrentResult(), 1);
}

TEST_F(MainWindowTest, ClosingDuringAScanStopsItAndKeepsTheWindow) {
    for (int i = 0; i < 3; ++i) AddObject("http://h.example/" + std::to_string(i));
    Load();
    bool closedDuringScan = false;
    window_.cboURLFilter.TypeText("h.example");  // something to see in the history afterwards
    window_.cboURLFilter.LoseFocus();
    model_->onObjectSelected = [&](int64_t, const std::shared_ptr<clsCache>&, int) {
        if (!closedDuringScan) {
            closedDuringScan = true;
            window_.cmdExit.Click();
        }
    };
    window_.cmdOK.Click();
    EXPECT_TRUE(shell_.closeRefused);
    EXPECT_EQ(window_.lblStatus.Caption(), "Interrupted");
    EXPECT_FALSE(dir_.Exists("loftwick.ini"));  // nothing saved while the scan ran

    window_.cmdExit.Click();
    EXPECT_FALSE(shell_.closeRefused);
    EXPECT_EQ(GetIniValue("DataBase", "URL1", ""), "h.example");
}

TEST_F(MainWindowTest, PreviewChangesNothingAndBothExportsWriteTheResults) {
    const std::string path = AddObject("http://h.example/a,b");
    Load();
    window_.chkDeleteOld.SetValue(1);
    window_.cboContentsFilter.SetText("body nowhere");
    window_.cmdPreview.Click();
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(window_.lstStatus.LineText(window_.lstStatus.ListCount() - 1),
              "OK! 1 of 1 files selected, 0 seconds (preview: nothing was changed)");

    // The same records as loftwick-scan's CSV: the score, and no summary.
    desktop_.fileDialogAnswers = {dir_ / "list.csv"};
    window_.mnuExportCsv.Click();
    const std::string csv = dir_.ReadFile("list.csv");
    EXPECT_NE(csv.find("\r\n1,50,\"http://h.example/a,b\",h.example,"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("OK!"), std::string::npos) << csv;
    EXPECT_EQ(window_.lblStatus.Caption(), "Exported 1 records to " + (dir_ / "list.csv"));
    desktop_.fileDialogAnswers = {dir_ / "out.warc.gz"};
    window_.mnuExportWarc.Click();
    EXPECT_TRUE(dir_.Exists("out.warc.gz"));
    EXPECT_EQ(window_.lblStatus.Caption(), "Exported 1 objects to " + (dir_ / "out.warc.gz"));
}

// Every command says in the status line what came of it; a failure names the object and the reason.
TEST_F(MainWindowTest, EveryCommandReportsItsOutcomeInTheStatusLine) {
    const std::string path = AddObject("http://h.example/page.html");
    Load();
    window_.cmdOK.Click();
    window_.lstStatus.ClickLine(0);
    dir_.MakeDirs("saves");
    window_.txtTempDir.SetText(dir_ / "saves/");
    struct Row {
        MemoryMenuItem* item;
        std::optional<std::string> fileAnswer;
        std::string status;
    };
    const std::vector<Row> rows = {
        {&window_.mnuCopyShortcut, {}, "Copied http://h.example/page.html"},
        {&window_.mnuFileSave, {}, "Cancelled"},
        {&window_.mnuFileSave, dir_ / "copy.html", "Saved to " + (dir_ / "copy.html")},
        {&window_.mnuSaveTree, {}, "Saved to " + (dir_ / "saves/h.example/page.html")},
        {&window_.mnuFileOpen, {}, "Opened http://h.example/page.html"},
        {&window_.mnuResourceInfo, {}, "Resource info of http://h.example/page.html"},
        {&window_.mnuExportCsv, {}, "Cancelled"},
        {&window_.mnuFileDelete, {}, "Deleted " + path + " from the cache"},
        {&window_.mnuFileSave, dir_ / "again.html", "Could not save http://h.example/page.html: "},
        {&window_.mnuSaveAll, {}, "Saved 0 of 1 files, 1 failed; "},
    };
    for (const Row& row : rows) {
        desktop_.fileDialogAnswers = {row.fileAnswer};
        row.item->Click();
        const std::string status = window_.lblStatus.Caption();
        EXPECT_EQ(status.substr(0, row.status.size()), row.status) << status;
        if (row.status.back() == ' ') {
            EXPECT_GT(status.size(), row.status.size() + 3) << "a reason follows";
        }
    }
}

TEST_F(MainWindowTest, DecodeContentIsOnByDefaultAndRemembered) {
    Load();
    EXPECT_EQ(window_.chkDecodeContent.Value(), 1);
    window_.chkDecodeContent.SetValue(0);
    window_.cmdOK.Click();
    EXPECT_FALSE(Program().DecodeContent);
    window_.cmdExit.Click();
    EXPECT_EQ(GetIniValue("Persistence", "DecodeContent", ""), "0");

    MemoryMainWindow second;
    RecordingShell shell2;
    frmMain reloaded(second.Controls(), shell2, nullptr);
    reloaded.Form_Load();
    EXPECT_EQ(second.chkDecodeContent.Value(), 0);
    Program().DecodeContent = true;
}

TEST_F(MainWindowTest, AboutAndBreakDoWhatTheySay) {
    Load();
    window_.mnuHelpAbout.Click();
    EXPECT_EQ(shell_.aboutShown, 1);
    window_.cmdBreak.Click();
    EXPECT_TRUE(model_->Scan().BreakRequested);
}

}  // namespace
}  // namespace loftwick
