#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/frmMainControls.h"
#include "results/SaveHost.h"
#include "results/clsSearchResults.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ScanHost.h"
#include "scan/ScanState.h"
#include "support/basRegistry.h"

namespace loftwick {

class clsBrowser;

// The main window as a model: it holds its controls through the control interfaces, keeps the scan
// state and the results, loads and saves its settings, and answers the window's events. The Qt window
// and the batch front end both drive this same model.
class frmMain final : public ScanHost, public SaveHost {
  public:
    frmMain(const frmMainControls& controls, frmMainShell& shell, clsBrowser* browser);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Window life.
    void Form_Load();
    // Returns true when the unload is refused (a scan is running: it is asked to stop instead).
    bool Form_Unload();
    void Release();

    // Buttons and menus.
    void cmdOK_Click();
    void cmdPreview_Click();
    void cmdBreak_Click();
    void mnuExportCsv_Click();
    void mnuExportWarc_Click();
    void cmdExit_Click();
    void mnuFileExit_Click();
    void mnuChangeProxyType_Click();
    void Form_KeyDown(int16_t keyCode, int16_t shift);

    // The result list.
    void setCurrentResult();
    void lstStatus_Click();
    void lstStatus_MouseUp(MouseButton button);
    void lstStatus_DblClick();

    // Settings.
    void LoadSettings();
    void SaveSettings();
    static void LoadComboHistory(ComboBox& combo, const std::string& prefix);
    static void SaveComboHistory(ComboBox& combo, const std::string& prefix, std::vector<IniValue>& values);

    // Runs a scan with the window's fields; a preview changes nothing on disk. True when it ended "OK!".
    bool RunScan(bool dryRun);
    ScanInputs CurrentInputs() const;
    ScanState& Scan() { return scan_; }
    const frmMainControls& Controls() const { return c_; }

    // The batch front end keeps every result line, not only the first 500.
    void SetListCapped(bool capped) { listCapped_ = capped; }
    // The batch front end with no save or export to follow keeps no results.
    void SetKeepResults(bool keep) { keepResults_ = keep; }
    // Set, every list line goes here as it is appended and the list keeps only the latest one (the
    // summary, once the scan has ended): the batch front end prints lines as they come.
    std::function<void(const std::string&)> onListLine;
    // Told of every selected object (the batch front end's CSV and JSON records).
    std::function<void(int64_t, const std::shared_ptr<clsCache>&, int)> onObjectSelected;

    // ScanHost and SaveHost.
    void ClearList() override;
    void AppendListLine(const std::string& line) override;
    int64_t ListCount() const override;
    void SelectListLine(int64_t index) override;
    void SetStatusText(const std::string& text) override;
    void ShowProgress(int64_t done, int64_t total) override;
    void LetEventsRun() override;
    bool ListIsCapped() const override { return listCapped_; }
    bool KeepsResults() const override { return keepResults_; }
    clsSearchResults& Results() override { return results_; }
    void SaveResultAsTree(int64_t index) override;
    void ObjectSelected(int64_t number, const std::shared_ptr<clsCache>& object, int score) override;

    std::string TempDirText() const override;
    std::string DirPrev() const override { return dirPrev_; }
    void SetDirPrev(const std::string& folder) override { dirPrev_ = folder; }
    std::string DefaultDocumentName() const override { return defaultDocumentName_; }
    void SetDefaultDocumentName(const std::string& name) override { defaultDocumentName_ = name; }
    bool SkipDefaultNamePrompt() const override { return skipDefaultNamePrompt_; }
    void SetSkipDefaultNamePrompt(bool skip) override { skipDefaultNamePrompt_ = skip; }
    int64_t CurrentResult() const override { return currentResult_; }
    void SetCurrentResult(int64_t index) override { currentResult_ = index; }
    void RecomputeCurrentResult() override { setCurrentResult(); }
    bool StopRequested() const override { return stopRequested_; }

    // A scan or a File command is running (and letting events run): the window may not close, and
    // nothing may start that would clear or release the results under it.
    bool Busy() const { return scan_.Scanning || commandRunning_; }

  private:
    void WireEvents();
    void WireResultCommands();
    // Options that reach beyond the scan (decoding of copies) take the window's current setting.
    void SyncOptions();
    void EnableResultCommands(bool enabled);
    // Runs a File command with the re-entry guard: a second command only beeps, and while it runs the
    // commands that would start a scan, another command or a new window are disabled. A command that
    // reports an error ends with "Could not <failure> [<current object>]: <reason>" in the status line.
    void RunCommand(const std::string& failure, bool onObject, const std::function<void()>& run);
    void EnableStartingCommands(bool enabled);
    // The bar's text: the share done and the objects selected so far.
    void ShowSelectedSoFar();

    frmMainControls c_;
    frmMainShell& shell_;
    clsBrowser* browser_;
    ScanState scan_;
    clsSearchResults results_;
    int64_t currentResult_ = 0;
    std::string dirPrev_;
    std::string defaultDocumentName_;
    bool skipDefaultNamePrompt_ = false;
    bool listCapped_ = true;
    bool keepResults_ = true;
    bool releasing_ = false;
    bool commandRunning_ = false;
    bool stopRequested_ = false;
    bool resultCommandsEnabled_ = false;
    uint64_t lastEventsAt_ = 0;
};

// The proxy's name in captions and the first list line.
std::string ProxyName(int32_t proxyType);

}  // namespace loftwick
