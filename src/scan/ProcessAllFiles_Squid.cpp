#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cache/clsCacheSquid.h"
#include "scan/ProcessAllFiles.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"

namespace loftwick {
namespace {

bool HexName(const std::string& name, size_t digits) {
    return name.size() == digits && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
           });
}

// The store's folders as the walk sees them. Every look at the disk the walk makes is here: the L1 and
// L2 folders (two hex digits) and the swap files (eight), each in name order, never through a link.
class SquidStore {
  public:
    explicit SquidStore(std::string cacheDir) : cacheDir_(std::move(cacheDir)) {}

    // The L1 folders; `rock` tells whether the folder holds a rock database instead.
    std::vector<std::string> FirstLevel(bool& rock) const {
        const std::vector<DirEntry> entries = TheFileSystem().ListDirectory(cacheDir_);
        rock = std::any_of(entries.begin(), entries.end(), [](const DirEntry& e) {
            return e.name == "rock" && e.kind == EntryKind::File && !e.isLink;
        });
        return Named(entries, cacheDir_, EntryKind::Directory, 2);
    }
    std::vector<std::string> SecondLevel(const std::string& l1) const { return Listed(l1, EntryKind::Directory, 2); }
    std::vector<std::string> SwapFiles(const std::string& l2) const { return Listed(l2, EntryKind::File, 8); }

  private:
    static std::vector<std::string> Listed(const std::string& dir, EntryKind kind, size_t digits) {
        return Named(TheFileSystem().ListDirectory(dir), dir, kind, digits);
    }
    // Paths of the entries of one kind with hex names, sorted by name; folders end in "/".
    static std::vector<std::string> Named(const std::vector<DirEntry>& entries, const std::string& dir,
                                          EntryKind kind, size_t digits) {
        std::vector<std::string> names;
        for (const DirEntry& entry : entries) {
            if (!entry.isLink && entry.kind == kind && HexName(entry.name, digits)) names.push_back(entry.name);
        }
        std::sort(names.begin(), names.end());
        for (std::string& name : names) name = dir + name + (kind == EntryKind::Directory ? "/" : "");
        return names;
    }

    std::string cacheDir_;
};

void AppendLines(ScanHost& host, const std::string& text) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find("\r\n", start), text.size());
        host.AppendListLine(Latin1ToUtf8(text.substr(start, end - start)));
        start = end + 2;
    }
}

// What the deletions of the scan came to, and the store's index after swap files were removed.
void ReportDeletion(ScanState& state, ScanHost& host, const SquidDeletion& deletion) {
    if (state.DryRun) {
        host.AppendListLine(deletion.purge
                                ? "Would delete through PURGE requests to Squid at " + deletion.address
                                : "Would remove the swap files and the store's swap.state files: no Squid is "
                                  "running for this cache, and it rebuilds its index on its next start");
        return;
    }
    if (deletion.purged > 0) {
        host.AppendListLine("Purged through Squid at " + deletion.address + ": " + std::to_string(deletion.purged) +
                            " objects");
    }
    if (deletion.refused > 0) {
        state.ErrorsOccurred = true;
        AppendLines(host, "Squid at " + deletion.address + " refused to purge " + std::to_string(deletion.refused) +
                              " objects (403 Forbidden). " + PurgeRefusedAdvice());
    }
    if (deletion.failed > 0) {
        state.ErrorsOccurred = true;
        AppendLines(host, std::to_string(deletion.failed) + " objects were not deleted: " + deletion.lastFailure);
    }
    if (deletion.removed == 0) return;
    try {
        const int64_t files = RemoveSwapState(Program().CacheDir);
        host.AppendListLine("No Squid is running for this cache: removed " + std::to_string(deletion.removed) +
                            " swap files and " + std::to_string(files) +
                            " swap.state files; Squid rebuilds its index on its next start");
    } catch (...) {
        HandleError("frmMain:ProcessAllFiles_Squid", Program().CacheDir + "swap.state");
        state.ErrorsOccurred = true;
    }
}

}  // namespace

std::string RockStoreMessage(const std::string& cacheDir) {
    return "'" + cacheDir + "' holds a Squid rock store (one database file), which Loftwick does not read: only "
           "ufs, aufs and diskd stores, with their L1 and L2 folders of swap files";
}

bool ProcessAllFiles_Squid(ScanState& state, ScanHost& host) {
    try {
        const SquidStore store(Program().CacheDir);
        bool rock = false;
        const std::vector<std::string> firstLevel = store.FirstLevel(rock);
        if (rock && firstLevel.empty()) {
            TheDesktop().MessageBox(RockStoreMessage(Program().CacheDir), Program().AppTitle, MsgIcon::Information);
            return false;
        }
        const std::shared_ptr<SquidDeletion> deletion =
            state.DeleteOld || state.DeleteAged ? DecideSquidDeletion() : nullptr;
        bool ended = true;
        for (const std::string& l1 : firstLevel) {
            std::vector<std::string> secondLevel;
            try {
                secondLevel = store.SecondLevel(l1);
            } catch (...) {
                HandleError("frmMain:ProcessAllFiles_Squid", l1);
                state.ErrorsOccurred = true;
                continue;
            }
            for (const std::string& l2 : secondLevel) {
                host.SetStatusText(Latin1ToUtf8(l2));
                std::vector<std::string> files;
                try {
                    files = store.SwapFiles(l2);
                } catch (...) {
                    // An unreadable folder is reported and passed over; the others are still scanned.
                    HandleError("frmMain:ProcessAllFiles_Squid", l2);
                    state.ErrorsOccurred = true;
                    continue;
                }
                for (const std::string& path : files) {
                    host.LetEventsRun();
                    if (state.BreakRequested) {
                        ended = false;
                        break;
                    }
                    auto object = std::make_shared<clsCacheSquid>();
                    object->SetDeletion(deletion);
                    object->setFileName(path);
                    state.CurrentCache = object;
                    // A failed object is reported inside; the walk goes on with the next file.
                    ProcessOneFile(state, host);
                }
                if (!ended) break;
            }
            if (!ended) break;
        }
        if (deletion) ReportDeletion(state, host, *deletion);
        return ended;
    } catch (...) {
        HandleError("frmMain:ProcessAllFiles_Squid");
        return false;
    }
}

}  // namespace loftwick
