#pragma once
#include <string>

namespace loftwick {

class SaveHost;
class clsBrowser;
class clsCache;

// The commands of the File menu (and the list's right-click menu) that show or hand out the current
// result, and Help, Contents. The window model calls them from its event handlers. Each one does nothing
// when there is no current result; each traps its own errors and reports them under the location the
// log has always used.

// "Open" and a double click on the list: recomputes the current result, then hands its URL (not the
// cached copy) to the desktop. Only web addresses are handed on; a cached "URL" that is anything else
// (a local path, "file:", a command line) is refused with a message. Location "lstStatus_DblClick".
void lstStatus_DblClick(SaveHost& host);
inline void mnuFileOpen_Click(SaveHost& host) { lstStatus_DblClick(host); }

// "Open Local Copy (saved to tree)": saves the current result in tree mode, keeping a copy saved
// earlier, and shows the saved file in the web browser. Saving reports its own failures.
void mnuFileOpenLocal_Click(SaveHost& host, clsBrowser& browser);

// "Open as .txt": copies the content into a new temporary ".txt" file and opens it with the desktop's
// default application for text. The file stays behind. Location "mnuFileOpenText_Click".
void mnuFileOpenText_Click(SaveHost& host);

// "Resource info": the object's stored metadata in a message box titled "Cached resource info".
// Location "mnuResourceInfo_Click".
void mnuResourceInfo_Click(SaveHost& host);

// "Copy Shortcut": the object's URL on the clipboard as text. Location "frmMain:mnuCopyShortcut_Click".
void mnuCopyShortcut_Click(SaveHost& host);

// "Delete selected file from cache": deletes the cache file without asking. The result and its list
// line stay; later commands on it meet the missing file. Location "frmMain:mnuFileDelete_Click".
void mnuFileDelete_Click(SaveHost& host);

// Help, "Contents": the help page of the chosen language in the web browser.
void mnuHelpContents_Click(clsBrowser& browser);

// The text "Resource info" shows: seven lines separated by CR LF.
std::string ResourceInfoText(const clsCache& object);

}  // namespace loftwick
