#pragma once
#include <string>

namespace loftwick {

// What Main needs from the front end: create and show the main window, and take it down again.
class MainWindowHost {
  public:
    virtual ~MainWindowHost() = default;
    // Creates the browser object and the main window and makes the window visible.
    virtual void ShowMainWindow() = 0;
    // Unloads the main window (if any) and drops it. The window's own unload step calls ReleaseProgram,
    // which returns at once while this runs.
    virtual void UnloadMainWindow() = 0;
    // Whether a main window exists now.
    virtual bool HasMainWindow() const = 0;
};

void SetMainWindowHost(MainWindowHost* host);

// Sets AppExeName, AppTitle, ProgramDir, AppParentDir and IniFileName from ExecutablePath.
void InitProgramValues(bool unattended);

// The program's entry: program values, language, proxy type; then the main window, or the end.
void Main();

// Finds out which proxy's cache is managed and where it lies (asking the user when the stored settings
// do not pass the cache-directory check, or at once with askAgain), and writes back what changed.
void SetProxyType(bool askAgain);

// Takes the main window down; runs Main again when a restart was requested.
void ReleaseProgram();

// The check SetProxyType runs: CacheDir given, present, and (WinGate) holding "cache.idx". Reports
// each failure in a message box. Normalises CacheDir (trailing blanks cut, "/" appended).
bool CheckCacheDir();

}  // namespace loftwick
