#include <algorithm>
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
        if (!state.HostFilter.empty() && !ContainsNoCase(entry.name, state.HostFilter)) continue;
        if (entry.isLink || entry.kind != EntryKind::Directory) continue;
        std::string path = cacheDir + entry.name;
        dirs.push_back(path + "/");
    }
    return dirs;
}

bool IsPlainFile(const DirEntry& entry) {
    return entry.kind == EntryKind::File && !entry.isLink && !Hidden(entry.name);
}

// The plain files of a host folder (no folders, no hidden files, no links): its listing with every
// other entry dropped, so that no name is copied.
std::vector<DirEntry> PlainFiles(const std::string& dir) {
    std::vector<DirEntry> entries = TheFileSystem().ListDirectory(dir);
    entries.erase(std::remove_if(entries.begin(), entries.end(), [](const DirEntry& e) { return !IsPlainFile(e); }),
                  entries.end());
    return entries;
}

// A host folder with no plain file goes; rmdir removes only an empty folder, never its contents.
void RemoveEmptyHostDir(ScanState& state, ScanHost& host, const std::string& dir) {
    if (state.DryRun) {
        host.AppendListLine("Would delete dir: " + Latin1ToUtf8(dir));
        ++state.WouldRemoveDirs;
        return;
    }
    host.AppendListLine("Deleting dir: " + Latin1ToUtf8(dir));
    try {
        TheFileSystem().RemoveDirectory(dir);
    } catch (...) {
        HandleError("frmMain:ProcessAllFiles_WinProxy", dir);
        state.ErrorsOccurred = true;
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
        std::string path;
        for (const std::string& dir : dirs) {
            host.SetStatusText(Latin1ToUtf8(dir));
            std::vector<DirEntry> files;
            try {
                files = PlainFiles(dir);
            } catch (...) {
                // An unreadable host folder is reported and passed over; the others are still scanned.
                HandleError("frmMain:ProcessAllFiles_WinProxy", dir);
                state.ErrorsOccurred = true;
                continue;
            }
            if (files.empty()) {
                RemoveEmptyHostDir(state, host, dir);
                continue;
            }
            for (const DirEntry& entry : files) {
                host.LetEventsRun();
                if (state.BreakRequested) return false;
                if (!state.CurrentCache) state.CurrentCache = NewCacheObject(1);
                path.assign(dir).append(entry.name);  // one buffer for every path of the scan
                state.CurrentCache->setFileName(path);
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
