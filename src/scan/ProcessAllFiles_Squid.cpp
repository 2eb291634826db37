#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cache/clsCacheSquid.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ReadAhead.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"

namespace loftwick {
namespace {

bool HexName(const std::string& name, size_t digits) {
    return name.size() == digits &&
           std::all_of(name.begin(), name.end(), [](char c) { return HexDigitValue(c) >= 0; });
}

// The entries of one kind with hex names of `digits` digits, sorted by name, never a link.
std::vector<std::string> Named(const std::vector<DirEntry>& entries, EntryKind kind, size_t digits) {
    std::vector<std::string> names;
    for (const DirEntry& entry : entries) {
        if (!entry.isLink && entry.kind == kind && HexName(entry.name, digits)) names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

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
        host.AppendListLine("Purged through Squid at " + deletion.address + ": " +
                            std::to_string(deletion.purged) + " objects");
    }
    if (deletion.refused > 0) {
        AppendLines(host, "Squid at " + deletion.address + " refused to purge " +
                              std::to_string(deletion.refused) + " objects (403 Forbidden). " +
                              PurgeRefusedAdvice());
    }
    if (deletion.failed > 0) {
        AppendLines(host,
                    std::to_string(deletion.failed) + " objects were not deleted: " + deletion.lastFailure);
    }
    if (deletion.removed == 0) return;
    TrappedVoid(
        "frmMain:ProcessAllFiles_Squid", [] { return Program().CacheDir + "swap.state"; },
        [&] {
            const int64_t files = RemoveSwapState(Program().CacheDir);
            host.AppendListLine("No Squid is running for this cache: removed " +
                                std::to_string(deletion.removed) + " swap files and " +
                                std::to_string(files) +
                                " swap.state files; Squid rebuilds its index on its next start");
        });
}

}  // namespace

std::string RockStoreMessage(const std::string& cacheDir) {
    return "'" + cacheDir +
           "' holds a Squid rock store (one database file), which Loftwick does not read: only "
           "ufs, aufs and diskd stores, with their L1 and L2 folders of swap files";
}

// The walk holds the cache folder, each L1 folder (two hex digits) and each L2 folder in turn, and binds
// the swap files (eight) by name in the L2 folder held: a folder swapped for a link after it was listed
// leads nowhere.
bool ProcessAllFiles_Squid(ScanState& state, ScanHost& host) {
    return Trapped("frmMain:ProcessAllFiles_Squid", "", false, [&] {
        FileSystem& fs = TheFileSystem();
        const HeldDir cache = fs.OpenDirectory(Program().CacheDir);
        const std::vector<DirEntry> top = fs.ListAt(cache);
        const bool rock = std::any_of(top.begin(), top.end(), [](const DirEntry& e) {
            return e.name == "rock" && e.kind == EntryKind::File && !e.isLink;
        });
        const std::vector<std::string> firstLevel = Named(top, EntryKind::Directory, 2);
        if (rock && firstLevel.empty()) {
            TheDesktop().MessageBox(RockStoreMessage(Program().CacheDir), Program().AppTitle,
                                    MsgIcon::Information);
            return false;
        }
        const std::shared_ptr<SquidDeletion> deletion =
            state.DeleteOld || state.DeleteAged ? DecideSquidDeletion() : nullptr;
        ReadAhead ahead(state.ContentsFilter.Count > 0 ? 0 : clsCacheSquid::kFirstRead,
                        [&host] { host.LetEventsRunWhileWaiting(); });
        bool ended = true;
        // One object serves file after file until a result keeps it.
        std::shared_ptr<clsCacheSquid> object;
        // Each L1 folder is an equal share of the bar, each of its L2 folders an equal share of that.
        constexpr int64_t kShare = 1 << 16;
        const int64_t total = static_cast<int64_t>(firstLevel.size()) * kShare;
        int64_t l1Done = 0;
        for (const std::string& l1 : firstLevel) {
            host.ShowProgress(l1Done * kShare, total);
            ++l1Done;
            HeldDir first;
            std::vector<std::string> secondLevel;
            const bool listed = Trapped(
                "frmMain:ProcessAllFiles_Squid", [&] { return cache.PathOf(l1) + "/"; }, false,
                [&] {
                    first = fs.OpenDirectoryAt(cache, l1);
                    secondLevel = Named(fs.ListAt(first), EntryKind::Directory, 2);
                    return true;
                });
            if (!listed) continue;
            int64_t l2Done = 0;
            for (const std::string& l2 : secondLevel) {
                const std::string dir = first.PathOf(l2) + "/";
                host.SetStatusText(Latin1ToUtf8(dir));
                host.ShowProgress(
                    (l1Done - 1) * kShare + l2Done++ * kShare / static_cast<int64_t>(secondLevel.size()),
                    total);
                HeldDir second;
                std::vector<std::string> files;
                // An unreadable folder is reported and passed over; the others are still scanned.
                const bool listed = Trapped("frmMain:ProcessAllFiles_Squid", dir, false, [&] {
                    second = fs.OpenDirectoryAt(first, l2);
                    files = Named(fs.ListAt(second), EntryKind::File, 8);
                    return true;
                });
                if (!listed) continue;
                ahead.Queue(second, files);
                for (const std::string& name : files) {
                    host.LetEventsRun();
                    if (state.BreakRequested) {
                        ended = false;
                        break;
                    }
                    if (!object || state.CurrentCache != object) object = std::make_shared<clsCacheSquid>();
                    object->SetDeletion(deletion);
                    object->BindAt(second, name);
                    state.CurrentCache = object;
                    // A failed object is reported inside; the walk goes on with the next file.
                    ProcessOneFile(state, host);
                }
                if (!ended) break;
            }
            if (!ended) break;
        }
        if (ended) host.ShowProgress(total, total);
        if (deletion) ReportDeletion(state, host, *deletion);
        // Objects Squid did not purge, or swap files that stayed, are failures of the run too.
        return ended && (!deletion || (deletion->refused == 0 && deletion->failed == 0));
    });
}

}  // namespace loftwick
