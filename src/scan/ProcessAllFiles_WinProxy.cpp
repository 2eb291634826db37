#include <algorithm>
#include <string>
#include <vector>

#include "cache/clsCacheWinProxy.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ReadAhead.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

bool Hidden(const std::string& name) { return !name.empty() && name.front() == '.'; }

// The names of the host folders to visit, in listing order. Links are never walked: a link to a system
// folder must never have its files deleted; each folder is then opened with no link followed, so that
// none can become one after the listing.
std::vector<std::string> HostDirectories(ScanState& state, ScanHost& host, const HeldDir& cache,
                                         bool& interrupted) {
    std::vector<std::string> dirs;
    for (const DirEntry& entry : TheFileSystem().ListAt(cache)) {
        host.LetEventsRun();
        if (state.BreakRequested) {
            interrupted = true;
            return dirs;
        }
        if (Hidden(entry.name)) continue;
        // Folder names are the file system's (UTF-8), so they are compared with the filter as typed.
        if (!state.HostFolderFilter.empty() && !ContainsNoCase(entry.name, state.HostFolderFilter)) continue;
        if (entry.isLink || entry.kind != EntryKind::Directory) continue;
        dirs.push_back(entry.name);
    }
    return dirs;
}

bool IsPlainFile(const DirEntry& entry) {
    return entry.kind == EntryKind::File && !entry.isLink && !Hidden(entry.name);
}

// The plain files of a host folder (no folders, no hidden files, no links) into `entries`: its listing
// with every other entry dropped, so that no name is copied, and the previous folder's names lend their
// room.
void PlainFiles(const HeldDir& dir, std::vector<DirEntry>& entries) {
    TheFileSystem().ListInto(dir, entries);
    entries.erase(
        std::remove_if(entries.begin(), entries.end(), [](const DirEntry& e) { return !IsPlainFile(e); }),
        entries.end());
}

// A host folder with no plain file goes; only an empty folder is removed, never its contents.
void RemoveEmptyHostDir(ScanState& state, ScanHost& host, const HeldDir& cache, const std::string& name) {
    const std::string dir = cache.PathOf(name) + "/";
    if (state.DryRun) {
        host.AppendListLine("Would delete dir: " + dir);
        ++state.WouldRemoveDirs;
        return;
    }
    host.AppendListLine("Deleting dir: " + dir);
    const bool removed = Trapped("frmMain:ProcessAllFiles_WinProxy", dir, false, [&] {
        TheFileSystem().RemoveDirectoryAt(cache, name);
        return true;
    });
    if (!removed) return;
    Wait(1000);
    ++state.EmptyDirsDeleted;
}

}  // namespace

bool ProcessAllFiles_WinProxy(ScanState& state, ScanHost& host) {
    return Trapped("frmMain:ProcessAllFiles_WinProxy", "", false, [&] {
        FileSystem& fs = TheFileSystem();
        // The cache folder is the user's choice, links along its path included; below it nothing is
        // looked up by path again.
        const HeldDir cache = fs.OpenDirectory(Program().CacheDir);
        // A contents search reads every object whole; a metadata scan its first page.
        ReadAhead ahead(state.ContentsFilter.Count > 0 ? 0 : clsCacheWinProxy::kFirstRead,
                        [&host] { host.LetEventsRunWhileWaiting(); });
        bool interrupted = false;
        const std::vector<std::string> dirs = HostDirectories(state, host, cache, interrupted);
        if (interrupted) return false;
        std::vector<DirEntry> files;
        const int64_t total = static_cast<int64_t>(dirs.size());
        int64_t visited = 0;
        for (const std::string& hostName : dirs) {
            const std::string dir = cache.PathOf(hostName) + "/";
            host.SetStatusText(dir);
            host.ShowProgress(visited++, total);
            HeldDir held;
            // An unreadable host folder (or one that became a link) is reported and passed over; the
            // others are still scanned.
            const bool listed = Trapped("frmMain:ProcessAllFiles_WinProxy", dir, false, [&] {
                held = fs.OpenDirectoryAt(cache, hostName);
                PlainFiles(held, files);
                return true;
            });
            if (!listed) continue;
            if (files.empty()) {
                RemoveEmptyHostDir(state, host, cache, hostName);
                continue;
            }
            ahead.Queue(held, files);
            for (const DirEntry& entry : files) {
                host.LetEventsRun();
                if (state.BreakRequested) return false;
                if (!state.CurrentCache) state.CurrentCache = NewCacheObject(1);
                state.CurrentCache->BindAt(held, entry.name);
                // A failed object is reported inside; the walk goes on with the next file.
                ProcessOneFile(state, host);
            }
        }
        host.ShowProgress(total, total);
        return true;
    });
}

}  // namespace loftwick
