// The File and Help menu commands on the current result, and the list's double click.
#include "app/frmMain.h"
#include <sstream>

#include "results/RecordFormats.h"
#include "results/SaveObjects.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"
#include "results/ViewCommands.h"
#include "results/clsBrowser.h"

namespace loftwick {

void frmMain::WireResultCommands() {
    c_.mnuFileSave->onClick = [this] { mnuFileSave_Click(*this); };
    c_.mnuSaveTree->onClick = [this] { mnuSaveTree_Click(*this); };
    c_.mnuSaveTreeAll->onClick = [this] { mnuSaveTreeAll_Click(*this); };
    c_.mnuSaveDomain->onClick = [this] { mnuSaveDomain_Click(*this); };
    c_.mnuSaveAll->onClick = [this] { mnuSaveAll_Click(*this); };
    c_.mnuExportCsv->onClick = [this] { mnuExportCsv_Click(); };
    c_.mnuFileOpen->onClick = [this] { mnuFileOpen_Click(*this); };
    c_.mnuFileOpenLocal->onClick = [this] {
        if (browser_) mnuFileOpenLocal_Click(*this, *browser_);
    };
    c_.mnuFileOpenText->onClick = [this] { mnuFileOpenText_Click(*this); };
    c_.mnuResourceInfo->onClick = [this] { mnuResourceInfo_Click(*this); };
    c_.mnuCopyShortcut->onClick = [this] { mnuCopyShortcut_Click(*this); };
    c_.mnuFileDelete->onClick = [this] { mnuFileDelete_Click(*this); };
    c_.mnuHelpContents->onClick = [this] {
        if (browser_) mnuHelpContents_Click(*browser_);
    };
}

void frmMain::SaveResultAsTree(int64_t index) {
    currentResult_ = index;
    mnuSaveTree_Click(*this);
}

void frmMain::mnuExportCsv_Click() {
    try {
        FileDialogRequest request;
        request.title = "Export list as CSV";
        request.initialFolder = dirPrev_;
        request.fileName = "loftwick-results.csv";
        request.filters = {{"CSV files", "*.csv"}, {"All Files", "*.*"}};
        const std::optional<std::string> path = TheDesktop().SaveFileDialog(request);
        if (!path || path->empty()) return;
        std::ostringstream csv;
        const int32_t lines = c_.lstStatus->ListCount();
        WriteCsv(csv, RecordsOf(*results_), lines > 0 ? c_.lstStatus->LineText(lines - 1) : std::string());
        WriteFileAtomically(TheFileSystem(), *path, csv.str());
        SetStatusText("Exported " + std::to_string(results_->Count()) + " records to " + *path);
    } catch (...) {
        HandleError("mnuExportCsv_Click");
    }
}

void frmMain::lstStatus_DblClick() { loftwick::lstStatus_DblClick(*this); }

}  // namespace loftwick
