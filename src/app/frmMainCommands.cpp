// The File and Help menu commands on the current result, and the list's double click.
#include "app/frmMain.h"
#include "results/SaveObjects.h"

namespace loftwick {

void frmMain::WireResultCommands() {
    c_.mnuFileSave->onClick = [this] { mnuFileSave_Click(*this); };
    c_.mnuSaveTree->onClick = [this] { mnuSaveTree_Click(*this); };
    c_.mnuSaveTreeAll->onClick = [this] { mnuSaveTreeAll_Click(*this); };
    c_.mnuSaveDomain->onClick = [this] { mnuSaveDomain_Click(*this); };
    c_.mnuSaveAll->onClick = [this] { mnuSaveAll_Click(*this); };
}

void frmMain::SaveResultAsTree(int64_t index) {
    currentResult_ = index;
    mnuSaveTree_Click(*this);
}

void frmMain::lstStatus_DblClick() {}

}  // namespace loftwick
