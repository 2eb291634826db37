#include <string>
#include <vector>

#include "scan/ProcessAllFiles.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

bool Hidden(const std::string& name) { return !name.empty() && name.front() == '.'; }

// The host folders to visit, in listing order. Links are never walked: a link to a system folder must
// never have its files deleted.
std::vector<std::string> HostDirectories(ScanState& state, ScanHost& host, bool& interrupted) {
    std::vector<std::string> dirs;
    const std::string cacheDir = Program().CacheDir;
    for (const DirEntry& entry : TheFileSystem().ListDirectory(cacheDir)) {
        host.LetEventsRun();
        if (state.BreakRequested) {
            interrupted = true;
            return dirs;
        }
        if (Hidden(entry.name)) continue;
        // Folder names are the file system's (UTF-8), so they are compared with the filter as typed.
        if (!state.HostFolderFilter.empty() && !ContainsNoCase(entry.name, state.HostFolderFilter)) continue;
        if (entry.isLink || entry.kind != EntryKind::Directory) continue;
        std::string path = cacheDir + entry.name;
        dirs.push_back(path + "/");
    }
    return dirs;
}

// The plain files of a host folder: no folders, no hidden files, no links.
std::vector<std::string> PlainFiles(const std::string& dir) {
    std::vector<std::string> names;
    for (const DirEntry& entry : TheFileSystem().ListDirectory(dir)) {
        if (entry.kind == EntryKind::File && !entry.isLink && !Hidden(entry.name)) names.push_back(entry.name);
    }
    return names;
}

// A host folder with no plain file goes; rmdir removes only an empty folder, never its contents.
void RemoveEmptyHostDir(ScanState& state, ScanHost& host, const std::string& dir) {
    if (state.DryRun) {
        host.AppendListLine("Would delete dir: " + dir);
        ++state.WouldRemoveDirs;
        return;
    }
    host.AppendListLine("Deleting dir: " + dir);
    try {
        TheFileSystem().RemoveDirectory(dir);
    } catch (...) {
        HandleError("frmMain:ProcessAllFiles_WinProxy", dir);
        return;
    }
    Wait(1000);
    ++state.EmptyDirsDeleted;
}

}  // namespace

bool ProcessAllFiles_WinProxy(ScanState& state, ScanHost& host) {
    try {
        bool interrupted = false;
        const std::vector<std::string> dirs = HostDirectories(state, host, interrupted);
        if (interrupted) return false;
        for (const std::string& dir : dirs) {
            host.SetStatusText(dir);
            std::vector<std::string> names;
            try {
                names = PlainFiles(dir);
            } catch (...) {
                // An unreadable host folder is reported and passed over; the others are still scanned.
                HandleError("frmMain:ProcessAllFiles_WinProxy", dir);
                continue;
            }
            if (names.empty()) {
                RemoveEmptyHostDir(state, host, dir);
                continue;
            }
            for (const std::string& name : names) {
                host.LetEventsRun();
                if (state.BreakRequested) return false;
                if (!state.CurrentCache) state.CurrentCache = NewCacheObject(1);
                state.CurrentCache->setFileName(dir + name);
                // A failed object is reported inside; the walk goes on with the next file.
                ProcessOneFile(state, host);
            }
        }
        return true;
    } catch (...) {
        HandleError("frmMain:ProcessAllFiles_WinProxy");
        return false;
    }
}

}  // namespace loftwick
