// The File and Help menu commands on the current result, and the list's double click.
#include <functional>
#include <optional>
#include <sstream>

#include "app/frmMain.h"
#include "results/ExportTarget.h"
#include "results/RecordFormats.h"
#include "results/SaveObjects.h"
#include "results/ViewCommands.h"
#include "results/WarcWriter.h"
#include "results/clsBrowser.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"

namespace loftwick {

namespace {

// The file an export goes to, asked from the last folder; nothing when the dialog is cancelled.
std::optional<std::string> AskExportPath(const std::string& folder, const std::string& title,
                                         const std::string& fileName, const std::string& kind,
                                         const std::string& pattern) {
    FileDialogRequest request;
    request.title = title;
    request.initialFolder = folder;
    request.fileName = fileName;
    request.filters = {{kind, pattern}, {"All Files", "*.*"}};
    std::optional<std::string> path = TheDesktop().SaveFileDialog(request);
    if (path && path->empty()) path.reset();
    return path;
}

}  // namespace

void frmMain::WireResultCommands() {
    // Every command takes the window's "Decode content" setting and runs under the re-entry guard; what
    // it could not do is named in the status line, after the object it was meant for.
    auto command = [this](const char* failure, bool onObject, std::function<void()> run) {
        return [this, failure, onObject, run] { RunCommand(failure, onObject, run); };
    };
    c_.mnuFileSave->onClick = command("save", true, [this] { mnuFileSave_Click(*this); });
    c_.mnuSaveTree->onClick = command("save", true, [this] { mnuSaveTree_Click(*this); });
    c_.mnuSaveTreeAll->onClick = command("save every object", false, [this] { mnuSaveTreeAll_Click(*this); });
    c_.mnuSaveDomain->onClick = command("save every object", false, [this] { mnuSaveDomain_Click(*this); });
    c_.mnuSaveAll->onClick = command("save every object", false, [this] { mnuSaveAll_Click(*this); });
    c_.mnuExportWarc->onClick = command("export", false, [this] { mnuExportWarc_Click(); });
    c_.mnuExportCsv->onClick = command("export", false, [this] { mnuExportCsv_Click(); });
    c_.mnuFileOpen->onClick = command("open", true, [this] { mnuFileOpen_Click(*this); });
    c_.mnuFileOpenLocal->onClick = command("open the local copy of", true, [this] {
        if (browser_) mnuFileOpenLocal_Click(*this, *browser_);
    });
    c_.mnuFileOpenText->onClick = command("open as text", true, [this] { mnuFileOpenText_Click(*this); });
    c_.mnuResourceInfo->onClick =
        command("show the resource info of", true, [this] { mnuResourceInfo_Click(*this); });
    c_.mnuCopyShortcut->onClick = command("copy", true, [this] { mnuCopyShortcut_Click(*this); });
    c_.mnuFileDelete->onClick = command("delete", true, [this] { mnuFileDelete_Click(*this); });
    c_.mnuHelpContents->onClick = [this] {
        if (browser_) mnuHelpContents_Click(*browser_);
    };
}

void frmMain::SaveResultAsTree(int64_t index) {
    currentResult_ = index;
    SaveOneFile(*this, "tree", true);
}

void frmMain::mnuExportCsv_Click() {
    TrappedVoid("mnuExportCsv_Click", "", [&] {
        const std::optional<std::string> path =
            AskExportPath(dirPrev_, "Export list as CSV", "loftwick-results.csv", "CSV files", "*.csv");
        if (!path) return;
        std::ostringstream csv;
        WriteCsv(csv, RecordsOf(results_));
        const std::string text = csv.str();
        WriteExport(*path, [&](OutputFile& out) { out.Write(text.data(), text.size()); });
        SetStatusText("Exported " + std::to_string(results_.Count()) + " records to " + *path);
    });
}

void frmMain::mnuExportWarc_Click() {
    // A failure's report takes the busy pointer away itself.
    TrappedVoid("mnuExportWarc_Click", "", [&] {
        const std::optional<std::string> path = AskExportPath(
            dirPrev_, "Export All as WARC", "loftwick-results.warc.gz", "WARC files", "*.warc.gz");
        if (!path) return;
        TheDesktop().SetBusy(true);
        const WarcResult result = WriteWarc(*path, results_);
        TheDesktop().SetBusy(false);
        if (!result.ok) return;  // reported by the writer

        std::string status = "Exported " + std::to_string(result.written) + " objects to " + *path;
        if (result.skipped > 0) status += ", " + std::to_string(result.skipped) + " skipped (file gone)";
        SetStatusText(status);
    });
}

void frmMain::lstStatus_DblClick() { loftwick::lstStatus_DblClick(*this); }

}  // namespace loftwick
