// The File and Help menu commands on the current result, and the list's double click.
#include "app/frmMain.h"
#include "results/SaveObjects.h"
#include "results/ViewCommands.h"
#include "results/clsBrowser.h"

namespace loftwick {

void frmMain::WireResultCommands() {
    c_.mnuFileSave->onClick = [this] { mnuFileSave_Click(*this); };
    c_.mnuSaveTree->onClick = [this] { mnuSaveTree_Click(*this); };
    c_.mnuSaveTreeAll->onClick = [this] { mnuSaveTreeAll_Click(*this); };
    c_.mnuSaveDomain->onClick = [this] { mnuSaveDomain_Click(*this); };
    c_.mnuSaveAll->onClick = [this] { mnuSaveAll_Click(*this); };
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

void frmMain::lstStatus_DblClick() { loftwick::lstStatus_DblClick(*this); }

}  // namespace loftwick
