#include "app/MemoryMainWindow.h"

namespace loftwick {

frmMainControls MemoryMainWindow::Controls() {
    frmMainControls c{};
    c.Label1 = &Label1;
    c.Label3 = &Label3;
    c.lblContentTypeFilter = &lblContentTypeFilter;
    c.cboContentTypeFilter = &cboContentTypeFilter;
    c.lblHostFilter = &lblHostFilter;
    c.cboHostFilter = &cboHostFilter;
    c.lblURLFilter = &lblURLFilter;
    c.cboURLFilter = &cboURLFilter;
    c.lblContentsFilter = &lblContentsFilter;
    c.cboContentsFilter = &cboContentsFilter;
    c.Label5 = &Label5;
    c.txtDaysOldMin = &txtDaysOldMin;
    c.Label7 = &Label7;
    c.txtDaysOldMax = &txtDaysOldMax;
    c.cboAgeUnit = &cboAgeUnit;
    c.Label8 = &Label8;
    c.Label2 = &Label2;
    c.Label4 = &Label4;
    c.chkFixTime = &chkFixTime;
    c.chkFixPrefix = &chkFixPrefix;
    c.chkTTL = &chkTTL;
    c.txtTTL = &txtTTL;
    c.chkDeleteOld = &chkDeleteOld;
    c.chkDeleteAgedFiles = &chkDeleteAgedFiles;
    c.chkSaveTree = &chkSaveTree;
    c.chkDecodeContent = &chkDecodeContent;
    c.lblTempDir = &lblTempDir;
    c.txtTempDir = &txtTempDir;
    c.cmdOK = &cmdOK;
    c.cmdPreview = &cmdPreview;
    c.cmdBreak = &cmdBreak;
    c.cmdExit = &cmdExit;
    c.lstStatus = &lstStatus;
    c.lblStatus = &lblStatus;
    c.prgScan = &prgScan;
    c.mnuFileOpen = &mnuFileOpen;
    c.mnuFileOpenLocal = &mnuFileOpenLocal;
    c.mnuFileOpenText = &mnuFileOpenText;
    c.mnuFileSave = &mnuFileSave;
    c.mnuSaveTree = &mnuSaveTree;
    c.mnuSaveTreeAll = &mnuSaveTreeAll;
    c.mnuSaveDomain = &mnuSaveDomain;
    c.mnuSaveAll = &mnuSaveAll;
    c.mnuExportCsv = &mnuExportCsv;
    c.mnuExportWarc = &mnuExportWarc;
    c.mnuResourceInfo = &mnuResourceInfo;
    c.mnuCopyShortcut = &mnuCopyShortcut;
    c.mnuFileDelete = &mnuFileDelete;
    c.mnuFileExit = &mnuFileExit;
    c.mnuChangeProxyType = &mnuChangeProxyType;
    c.mnuHelpContents = &mnuHelpContents;
    c.mnuHelpAbout = &mnuHelpAbout;
    c.mnuFile = &mnuFile;
    c.focus = &focus;
    return c;
}

}  // namespace loftwick
