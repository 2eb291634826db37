#include "results/clsSearchResults.h"
#include "scan/ProcessAllFiles.h"
#include "scan/basParse.h"
#include "support/Clock.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"

namespace loftwick {
namespace {

// Age of an object in the unit of the age fields. An object with no retrieval date is 0 old in either
// unit, so an hours bound never treats it as a century old.
int64_t AgeOf(const ScanState& state, const clsCache& object) {
    if (!state.AgeInHours) return object.AgeRetrieved();
    if (object.DateRetrieved().IsZero()) return 0;
    return HourBoundaries(object.DateRetrieved(), TheClock().Now());
}

// A substring filter: empty passes everything; one with a character no byte can hold passes nothing.
bool Matches(const std::string& value, const std::string& filter, bool unheld) {
    if (unheld) return false;
    return filter.empty() || ContainsNoCase(value, filter);
}

bool Selected(ScanState& state, ScanHost& host, clsCache& object, int& score) {
    if (object.Skipped()) {
        ++state.SwapFilesSkipped;
        return false;
    }
    if (!object.HasFile()) {
        ++state.FilesNotFound;
        return false;
    }
    // The host is made only when a filter asks for it.
    if (Program().ProxyType >= 2 && (state.HostFilterUnheld || !state.HostFilter.empty()) &&
        !Matches(object.Host(), state.HostFilter, state.HostFilterUnheld))
        return false;
    if (!Matches(object.ContentType(), state.ContentTypeFilter, state.ContentTypeFilterUnheld)) return false;
    if (!Matches(object.ObjectName(), state.URLFilter, state.URLFilterUnheld)) return false;
    if (state.AgeMin != 0 && AgeOf(state, object) < state.AgeMin) return false;
    if (state.AgeMax != 0 && AgeOf(state, object) > state.AgeMax) return false;
    if (state.ContentsFilter.Count > 0) {
        ResetFilterFound(state.ContentsFilter);
        // A huge object is searched for long: events run within it, and Break ends the search.
        state.ContentsFilter.KeepSearching = [&state, &host] {
            host.LetEventsRun();
            return !state.BreakRequested;
        };
        object.FindInContents(state.ContentsFilter, 1);
        if (state.BreakRequested) return false;  // a search cut short selects nothing
        score = FilterScore(state.ContentsFilter);
        if (score < 25) return false;
    }
    return true;
}

std::string ResultLine(const ScanState& state, const clsCache& object, int score) {
    std::string line = std::to_string(state.FilesSelected);
    if (state.ContentsFilter.Count > 0) line += " " + std::to_string(score) + "%";
    line += " " + Latin1ToUtf8(object.ObjectName()) + " : " + FormatGeneralDate(object.DateRetrieved()) +
            " : " + std::to_string(object.ContentLenActual());
    return line;
}

// The operations of a preview: count what the real run would touch, with the same tests, change nothing.
void TallyOperations(ScanState& state, clsCache& object) {
    const int64_t size = object.ContentLenActual();
    if (state.FixTime) state.WouldFixTime.Add(size);
    if (state.FixPrefix && !object.FixedFileName().empty()) state.WouldFixPrefix.Add(size);
    if (state.SetTTL) state.WouldSetTTL.Add(size);
    if (state.SaveTree) state.WouldSaveTree.Add(size);
    if (state.DeleteOld) {
        state.WouldDelete.Add(size);
    } else if (state.DeleteAged && object.IsAged()) {
        state.WouldDeleteAged.Add(size);
    }
}

void RunOperations(ScanState& state, ScanHost& host, clsCache& object) {
    if (state.FixTime) object.FixFileTime();
    if (state.FixPrefix) object.FixFileName();
    if (state.SetTTL) object.SetFileTTL(state.TTLDays);
    if (state.SaveTree) host.SaveResultAsTree(host.Results().Count());
    if (!state.DeleteOld && !state.DeleteAged) return;
    // The proxy may have replaced the file since it was read: only the file that matched is deleted.
    if (!object.StillSameFile()) {
        ++state.FilesSkipped;
        return;
    }
    if (Program().ProxyType == 3) {
        // Squid's objects go through Squid while it runs; the walk reports the outcomes.
        if (state.DeleteOld ? object.Delete() : object.DeleteIfAged()) ++state.FilesDeleted;
    } else if (state.DeleteOld) {
        // The name is removed only while it still stands for that file, however late the proxy swaps it.
        if (object.RemoveIfSame()) {
            ++state.FilesDeleted;
        } else {
            ++state.FilesSkipped;
        }
    } else if (object.DeleteIfAged()) {
        ++state.FilesDeleted;
    } else if (!object.StillSameFile()) {
        ++state.FilesSkipped;
    }
}

}  // namespace

bool ProcessOneFile(ScanState& state, ScanHost& host) {
    bool added = false;
    std::shared_ptr<clsCache> object = state.CurrentCache;
    const bool done = Trapped("frmMain:ProcessOneFile", "", false, [&] {
        ++state.FilesTotal;

        if (!object) return true;
        int score = -1;
        if (Selected(state, host, *object, score)) {
            ++state.FilesSelected;
            // Saving into the tree works on a result, so a host that keeps none holds this one alone.
            const bool keep = host.KeepsResults();
            if (keep || state.SaveTree) {
                if (!keep) host.Results().Clear();
                host.Results().Add(object, state.ContentsFilter.Count > 0 ? score : -1);
                added = true;
            }
            const std::string line = ResultLine(state, *object, score);
            if (state.FilesSelected <= 500 || !host.ListIsCapped())
                host.AppendListLine(line);
            else
                host.SetStatusText(line);
            host.ObjectSelected(state.FilesSelected, object, state.ContentsFilter.Count > 0 ? score : -1);
            if (state.DryRun)
                TallyOperations(state, *object);
            else
                RunOperations(state, host, *object);
            // A result keeps its name in the held folder, not an open file: a scan holds one at a time. An
            // object not kept is bound again to the next file.
            object->ReleaseFile();
            if (added) state.CurrentCache.reset();
        }
        return true;
    });
    if (!done && added) {
        object->ReleaseFile();
        state.CurrentCache.reset();
    }
    return done;
}

}  // namespace loftwick
