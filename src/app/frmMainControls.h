#pragma once
#include <cstdint>

#include "support/Controls.h"

namespace loftwick {

// Every control of the main window, by the names the window model uses. The front end owns the
// controls (Qt widgets through adapters, or in-memory controls for tests and the batch front end) and
// hands the model this set of pointers; none may be null.
struct frmMainControls {
    Label* Label1;
    Label* Label3;
    Label* lblContentTypeFilter;
    ComboBox* cboContentTypeFilter;
    Label* lblHostFilter;
    ComboBox* cboHostFilter;
    Label* lblURLFilter;
    ComboBox* cboURLFilter;
    Label* lblContentsFilter;
    ComboBox* cboContentsFilter;
    Label* Label5;
    TextBox* txtDaysOldMin;
    Label* Label7;
    TextBox* txtDaysOldMax;
    ComboBox* cboAgeUnit;
    Label* Label8;
    Label* Label2;
    Label* Label4;
    CheckBox* chkFixTime;
    CheckBox* chkFixPrefix;
    CheckBox* chkTTL;
    TextBox* txtTTL;
    CheckBox* chkDeleteOld;
    CheckBox* chkDeleteAgedFiles;
    CheckBox* chkSaveTree;
    CheckBox* chkDecodeContent;
    Label* lblTempDir;
    TextBox* txtTempDir;
    Button* cmdOK;
    Button* cmdPreview;
    Button* cmdBreak;
    Button* cmdExit;
    ListBox* lstStatus;
    Label* lblStatus;
    ProgressBar* prgScan;  // beside the status line, shown only while a scan runs

    MenuItem* mnuFileOpen;
    MenuItem* mnuFileOpenLocal;
    MenuItem* mnuFileOpenText;
    MenuItem* mnuFileSave;
    MenuItem* mnuSaveTree;
    MenuItem* mnuSaveTreeAll;
    MenuItem* mnuSaveDomain;
    MenuItem* mnuSaveAll;
    MenuItem* mnuExportCsv;
    MenuItem* mnuExportWarc;
    MenuItem* mnuResourceInfo;
    MenuItem* mnuCopyShortcut;
    MenuItem* mnuFileDelete;
    MenuItem* mnuFileExit;
    MenuItem* mnuChangeProxyType;
    MenuItem* mnuHelpContents;
    MenuItem* mnuHelpAbout;
    PopupMenu* mnuFile;  // the File menu as the list's right-click menu

    FocusTracker* focus;
};

// Where the window stands on the screen: its frame's position and size in the desktop's units, and
// whether it is maximised (the position and size are then those it returns to). A width or height of 0
// means no placement is known.
struct WindowPlacement {
    int32_t left = 0, top = 0, width = 0, height = 0;
    bool maximized = false;
};

// What the window model asks of the window around its controls.
class frmMainShell {
  public:
    virtual ~frmMainShell() = default;
    // A window without a screen has no placement and ignores one.
    virtual WindowPlacement Placement() const { return {}; }
    // Puts the window where it stood last time, fitted into the screen it lands on.
    virtual void SetPlacement(const WindowPlacement&) {}
    virtual void SetCaption(const std::string& caption) = 0;
    // Closes the window as the Exit button does; the close runs Form_Unload.
    virtual void RequestClose() = 0;
    // Loads the About window and makes it visible (not modal).
    virtual void ShowAbout() = 0;
};

}  // namespace loftwick
