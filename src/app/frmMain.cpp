#include "app/frmMain.h"

#include "app/basKeyboard.h"
#include "app/basMain.h"
#include "support/Clock.h"
#include "support/Desktop.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"

namespace loftwick {
namespace {

const char* const kInstructions =
    "You may type substring (without wildcards) in one or all fields to narrow scope of files to process. "
    "In the \"File Contents\" you may set multiple words to search, also with \"+\" and \"-\" before each...";
const char* const kOperationsHelp =
    "Check none, one or more checkboxes to request some operation(s) with all selected files. Then press "
    "\"Go!\" button (or press Enter).";

// Events run at most this often during a scan: enough to repaint smoothly and to see Break at once,
// without spending the scan's time in the event loop.
constexpr uint64_t kEventInterval = 10;

}  // namespace

std::string ProxyName(int32_t proxyType) {
    return proxyType == 1 ? "WinProxy" : proxyType == 2 ? "WinGate" : proxyType == 3 ? "Squid" : "";
}

frmMain::frmMain(const frmMainControls& controls, frmMainShell& shell, clsBrowser* browser)
    : c_(controls), shell_(shell), browser_(browser) {
    // The design-time state of every control.
    c_.Label1->SetCaption(" What files to select");
    c_.Label3->SetCaption(kInstructions);
    c_.lblContentTypeFilter->SetCaption("Content-type filter:");
    c_.lblHostFilter->SetCaption("Host filter:");
    c_.lblURLFilter->SetCaption("URL filter:");
    c_.lblContentsFilter->SetCaption("File contents:");
    c_.Label5->SetCaption("Retrieved minimum");
    c_.Label7->SetCaption("Retrieved maximum");
    c_.cboAgeUnit->Clear();
    c_.cboAgeUnit->AddItem("days");
    c_.cboAgeUnit->AddItem("hours");
    c_.cboAgeUnit->SetSelectedIndex(0);
    c_.Label8->SetCaption("ago");
    c_.Label2->SetCaption(" What to do");
    c_.Label4->SetCaption(kOperationsHelp);
    c_.chkFixTime->SetCaption("Fix file time");
    c_.chkFixTime->SetToolTipText(
        "Set cached file Date of Modification to the date it was actually retrieved from internet.");
    c_.chkFixPrefix->SetCaption("Fix file prefix");
    c_.chkFixPrefix->SetVisible(false);
    c_.chkTTL->SetCaption("Set TimeToLive to ... days");
    c_.chkTTL->SetVisible(false);
    c_.txtTTL->SetText("200");
    c_.txtTTL->SetVisible(false);
    c_.chkDeleteOld->SetCaption("Delete file");
    c_.chkDeleteAgedFiles->SetCaption("Delete aged file");
    c_.chkDeleteAgedFiles->SetVisible(false);
    c_.chkSaveTree->SetCaption("Save Tree");
    c_.chkSaveTree->SetToolTipText("Save files to temp directory with tree structure");
    c_.chkDecodeContent->SetCaption("Decode content");
    c_.chkDecodeContent->SetValue(1);
    c_.chkDecodeContent->SetToolTipText(
        "Copies and the contents search use the content as sent (gzip, deflate, br or chunked undone)");
    c_.lblTempDir->SetCaption("Temp directory:");
    c_.cmdOK->SetCaption("Go!");
    c_.cmdOK->SetDefault(true);
    c_.cmdOK->SetToolTipText("Start scanning cache according to the specified parameters");
    c_.cmdPreview->SetCaption("Preview");
    c_.cmdPreview->SetToolTipText(
        "Scan as \"Go!\" would and count what the ticked operations would change, without changing anything");
    c_.cmdBreak->SetCaption("Break");
    c_.cmdBreak->SetToolTipText("Break at any time!");
    c_.cmdExit->SetCaption("Exit");
    c_.cmdExit->SetCancel(true);
    c_.lstStatus->SetToolTipText("Doubleclick to view in Browser");
    c_.prgScan->SetVisible(false);

    c_.mnuFileOpen->SetCaption("Open");
    c_.mnuFileOpenLocal->SetCaption("Open Local Copy (saved to tree)");
    c_.mnuFileOpenText->SetCaption("Open as .txt");
    c_.mnuFileSave->SetCaption("Save As...");
    c_.mnuSaveTree->SetCaption("Save to temp dir with tree");
    c_.mnuSaveTreeAll->SetCaption("Save All to temp dir with tree");
    c_.mnuSaveDomain->SetCaption("Save All to one temp dir per domain");
    c_.mnuSaveAll->SetCaption("Save All to single temp dir");
    c_.mnuExportWarc->SetCaption("Export All as WARC...");
    c_.mnuExportCsv->SetCaption("Export list as CSV...");
    c_.mnuResourceInfo->SetCaption("Resource info");
    c_.mnuCopyShortcut->SetCaption("Copy Shortcut");
    c_.mnuFileDelete->SetCaption("Delete selected file from cache");
    c_.mnuFileExit->SetCaption("Exit");
    c_.mnuChangeProxyType->SetCaption("Change Type of Proxy Server");
    c_.mnuHelpContents->SetCaption("&Contents");
    c_.mnuHelpAbout->SetCaption("&About Loftwick");
    WireEvents();
}

frmMain::~frmMain() = default;

void frmMain::WireEvents() {
    c_.cmdOK->onClick = [this] { cmdOK_Click(); };
    c_.cmdPreview->onClick = [this] { cmdPreview_Click(); };
    c_.cmdBreak->onClick = [this] { cmdBreak_Click(); };
    c_.cmdExit->onClick = [this] { cmdExit_Click(); };
    c_.mnuFileExit->onClick = [this] { mnuFileExit_Click(); };
    c_.mnuChangeProxyType->onClick = [this] { mnuChangeProxyType_Click(); };
    c_.mnuHelpAbout->onClick = [this] { shell_.ShowAbout(); };
    for (ComboBox* combo :
         {c_.cboContentTypeFilter, c_.cboHostFilter, c_.cboURLFilter, c_.cboContentsFilter}) {
        combo->onTextChanged = [combo] { ComboAutoComplete(*combo); };
        combo->onLostFocus = [combo] { ComboAddToHistory(*combo); };
    }
    c_.lstStatus->onClick = [this] { lstStatus_Click(); };
    c_.lstStatus->onDoubleClick = [this] { lstStatus_DblClick(); };
    c_.lstStatus->onMouseUp = [this](MouseButton button) { lstStatus_MouseUp(button); };
    WireResultCommands();
}

void frmMain::Form_Load() {
    c_.chkTTL->SetToolTipText("Fix Date of Creation. Required, if you moved your cache to the new place.");
    const int32_t proxyType = Program().ProxyType;
    shell_.SetCaption(Program().AppTitle + " - " + ProxyName(proxyType));
    const bool winProxy = proxyType == 1;
    const bool squid = proxyType == 3;
    for (Control* control : std::initializer_list<Control*>{c_.chkTTL, c_.txtTTL}) {
        if (control->Visible() != winProxy) control->SetVisible(winProxy);
    }
    // Squid's objects age by the expiry in their metadata.
    if (c_.chkDeleteAgedFiles->Visible() != (winProxy || squid))
        c_.chkDeleteAgedFiles->SetVisible(winProxy || squid);
    // Squid keeps its own times and finds its swap files by name: neither may change.
    for (CheckBox* box : {c_.chkFixTime, c_.chkFixPrefix}) {
        if (squid) box->SetValue(0);
        if (box->Enabled() == squid) box->SetEnabled(!squid);
    }
    c_.lstStatus->AddLine(ProxyName(proxyType) + " cache at " + Program().CacheDir);
    results_.Clear();
    LoadSettings();
    c_.chkSaveTree->SetToolTipText("Save files to \"" + c_.txtTempDir->Text() +
                                   "\"directory with tree structure");
    setCurrentResult();
}

bool frmMain::Form_Unload() {
    try {
        scan_.BreakRequested = true;
        stopRequested_ = true;
        if (Busy()) return true;
        SaveSettings();
        Release();
    } catch (...) {
    }
    return false;
}

void frmMain::Release() {
    if (releasing_) return;
    releasing_ = true;
    try {
        scan_.CurrentCache.reset();
        results_.Clear();
        ReleaseProgram();
    } catch (...) {
    }
    releasing_ = false;
}

void frmMain::cmdOK_Click() { RunScan(false); }

void frmMain::cmdPreview_Click() { RunScan(true); }

void frmMain::SyncOptions() { Program().DecodeContent = c_.chkDecodeContent->Value() != 0; }

bool frmMain::RunScan(bool dryRun) {
    if (commandRunning_) {
        TheDesktop().Beep();
        return false;
    }
    // A scan started with Enter never leaves its field, so the filters it ran with join their histories
    // here.
    if (!scan_.Scanning) {
        for (ComboBox* combo :
             {c_.cboContentTypeFilter, c_.cboHostFilter, c_.cboURLFilter, c_.cboContentsFilter})
            ComboAddToHistory(*combo);
    }
    SyncOptions();
    ScanInputs inputs = CurrentInputs();
    inputs.dryRun = dryRun;
    if (scan_.Scanning) return ProcessAllFiles(scan_, inputs, *this);  // only beeps
    c_.prgScan->SetProgress(0, 0);
    c_.prgScan->SetText("");
    c_.prgScan->SetVisible(true);
    const bool ok = ProcessAllFiles(scan_, inputs, *this);
    c_.prgScan->SetVisible(false);
    return ok;
}

ScanInputs frmMain::CurrentInputs() const {
    ScanInputs in;
    in.hostFilter = c_.cboHostFilter->Text();
    in.urlFilter = c_.cboURLFilter->Text();
    in.contentTypeFilter = c_.cboContentTypeFilter->Text();
    in.contentsFilter = c_.cboContentsFilter->Text();
    in.fixTime = c_.chkFixTime->Value();
    in.fixPrefix = c_.chkFixPrefix->Value();
    in.setTTL = c_.chkTTL->Value();
    in.ttlDays = c_.txtTTL->Text();
    in.deleteOld = c_.chkDeleteOld->Value();
    in.ageMax = c_.txtDaysOldMax->Text();
    in.ageMin = c_.txtDaysOldMin->Text();
    in.ageUnit = c_.cboAgeUnit->Text();
    in.deleteAged = c_.chkDeleteAgedFiles->Value();
    in.saveTree = c_.chkSaveTree->Value();
    return in;
}

void frmMain::cmdBreak_Click() {
    scan_.BreakRequested = true;
    stopRequested_ = true;
}

void frmMain::cmdExit_Click() { shell_.RequestClose(); }

void frmMain::mnuFileExit_Click() { cmdExit_Click(); }

void frmMain::mnuChangeProxyType_Click() {
    // The window could not close now, and the restart would wait for some later close.
    if (Busy()) {
        TheDesktop().Beep();
        return;
    }
    SetProxyType(true);
    Program().RestartRequested = true;
    cmdExit_Click();
}

void frmMain::Form_KeyDown(int16_t keyCode, int16_t shift) { HandleKeyDown(keyCode, shift, *c_.focus); }

void frmMain::setCurrentResult() {
    const int64_t candidate = Trapped("setCurrentResult", "", int64_t{0}, [&] {
        const int32_t selected = c_.lstStatus->SelectedIndex();
        const std::string line = selected >= 0 ? c_.lstStatus->LineText(selected) : std::string();
        return ResultNumberOfLine(line);
    });
    EnableResultCommands(candidate > 0);
    currentResult_ = candidate;
}

void frmMain::EnableResultCommands(bool enabled) {
    for (MenuItem* item : {c_.mnuFileOpen, c_.mnuFileOpenLocal, c_.mnuFileOpenText, c_.mnuFileSave,
                           c_.mnuSaveTree, c_.mnuFileDelete, c_.mnuResourceInfo, c_.mnuCopyShortcut}) {
        item->SetEnabled(enabled);
    }
}

void frmMain::EnableStartingCommands(bool enabled) {
    for (Control* control : std::initializer_list<Control*>{
             c_.cmdOK, c_.cmdPreview, c_.mnuChangeProxyType, c_.mnuSaveTreeAll, c_.mnuSaveDomain,
             c_.mnuSaveAll, c_.mnuExportWarc, c_.mnuExportCsv}) {
        control->SetEnabled(enabled);
    }
    // The commands on the current result come back as they were: a Save All leaves CurrentResult at its
    // last object, not at the selected line.
    if (!enabled) resultCommandsEnabled_ = c_.mnuFileOpen->Enabled();
    EnableResultCommands(enabled && resultCommandsEnabled_);
}

void frmMain::RunCommand(const std::string& failure, bool onObject, const std::function<void()>& run) {
    if (commandRunning_) {
        TheDesktop().Beep();
        return;
    }
    commandRunning_ = true;
    stopRequested_ = false;
    EnableStartingCommands(false);
    OneErrorBox errorBoxes;
    const int64_t errorsAtStart = ErrorsReported();
    std::string object;
    try {
        if (onObject) {
            if (const std::shared_ptr<clsCache> current = results_.Item(currentResult_))
                object = " " + Latin1ToUtf8(current->ObjectName());
        }
        SetStatusText("");
        SyncOptions();
        run();
    } catch (...) {
    }
    commandRunning_ = false;
    TrappedVoid("frmMain:RunCommand", "", [&] {
        EnableStartingCommands(true);
        if (ErrorsReported() > errorsAtStart) {
            std::string reason = LastErrorReason();
            reason = reason.substr(0, reason.find_first_of("\r\n"));
            const std::string tally = c_.lblStatus->Caption();
            // A Save All keeps its count of what was saved; the reason follows it.
            if (!onObject && !tally.empty())
                SetStatusText(tally + (reason.empty() ? "" : "; " + reason));
            else
                SetStatusText("Could not " + failure + object + (reason.empty() ? "" : ": " + reason));
        } else if (c_.lblStatus->Caption().empty()) {
            SetStatusText("Cancelled");
        }
        if (errorBoxes.MoreErrors() > 0)
            SetStatusText(c_.lblStatus->Caption() + "; " + errorBoxes.MoreErrorsLine());
    });
}

void frmMain::lstStatus_Click() {
    TrappedVoid("lstStatus_Click", "", [&] { setCurrentResult(); });
}

void frmMain::lstStatus_MouseUp(MouseButton button) {
    setCurrentResult();
    if (button == MouseButton::Right && currentResult_ >= 1) c_.mnuFile->Popup();
}

// ScanHost and SaveHost.

void frmMain::ClearList() { c_.lstStatus->Clear(); }

void frmMain::AppendListLine(const std::string& line) {
    if (onListLine) {
        onListLine(line);
        c_.lstStatus->Clear();
    }
    c_.lstStatus->AddLine(line);
    c_.lstStatus->Refresh();
}

int64_t frmMain::ListCount() const { return c_.lstStatus->ListCount(); }

void frmMain::SelectListLine(int64_t index) { c_.lstStatus->SetSelectedIndex(static_cast<int32_t>(index)); }

void frmMain::SetStatusText(const std::string& text) {
    c_.lblStatus->SetCaption(text);
    c_.lblStatus->Refresh();
}

void frmMain::ShowProgress(int64_t done, int64_t total) {
    c_.prgScan->SetProgress(done, total);
    ShowSelectedSoFar();
}

void frmMain::ShowSelectedSoFar() {
    c_.prgScan->SetText(std::to_string(c_.prgScan->Percent()) + "%, " + std::to_string(scan_.FilesSelected) +
                        " selected");
}

void frmMain::LetEventsRun() {
    const uint64_t now = TheClock().Milliseconds();
    if (lastEventsAt_ != 0 && now - lastEventsAt_ < kEventInterval && now >= lastEventsAt_) return;
    lastEventsAt_ = now;
    if (scan_.Scanning) ShowSelectedSoFar();
    TheDesktop().DoEvents();
}

void frmMain::ObjectSelected(int64_t number, const std::shared_ptr<clsCache>& object, int score) {
    if (onObjectSelected) onObjectSelected(number, object, score);
}

std::string frmMain::TempDirText() const { return c_.txtTempDir->Text(); }

}  // namespace loftwick
