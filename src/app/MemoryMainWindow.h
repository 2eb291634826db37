#pragma once
#include "app/frmMainControls.h"
#include "support/MemoryControls.h"

namespace loftwick {

// The main window's controls held in memory: the batch front end runs the window model on them, and
// tests drive them like a user would.
struct MemoryMainWindow {
    MemoryLabel Label1, Label3, lblContentTypeFilter, lblHostFilter, lblURLFilter, lblContentsFilter, Label5,
        Label7, Label8, Label2, Label4, lblTempDir, lblStatus;
    MemoryComboBox cboContentTypeFilter, cboHostFilter, cboURLFilter, cboContentsFilter, cboAgeUnit;
    MemoryTextBox txtDaysOldMin, txtDaysOldMax, txtTTL, txtTempDir;
    MemoryCheckBox chkFixTime, chkFixPrefix, chkTTL, chkDeleteOld, chkDeleteAgedFiles, chkSaveTree,
        chkDecodeContent;
    MemoryButton cmdOK, cmdPreview, cmdBreak, cmdExit;
    MemoryListBox lstStatus;
    MemoryProgressBar prgScan;
    MemoryMenuItem mnuFileOpen, mnuFileOpenLocal, mnuFileOpenText, mnuFileSave, mnuSaveTree, mnuSaveTreeAll,
        mnuSaveDomain, mnuSaveAll, mnuExportCsv, mnuExportWarc, mnuResourceInfo, mnuCopyShortcut,
        mnuFileDelete, mnuFileExit, mnuChangeProxyType, mnuHelpContents, mnuHelpAbout;
    MemoryPopupMenu mnuFile;
    MemoryFocusTracker focus;

    frmMainControls Controls();
};

}  // namespace loftwick
