#include "scan/ProcessAllFiles.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "results/clsSearchResults.h"
#include "scan/basParse.h"
#include "support/Clock.h"
#include "support/Desktop.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/TextCodec.h"
#include "support/Variant.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

std::string WithoutLeadingStar(std::string_view s) {
    if (!s.empty() && s.front() == '*') s.remove_prefix(1);
    return std::string(s);
}

// A typed filter as the cache bytes it is compared with; `unheld` tells whether it holds a character that
// no byte can hold.
std::string CacheBytesOf(const std::string& typed, bool& unheld) {
    std::vector<bool> flags;
    std::string bytes = Utf8ToLatin1(typed, flags);
    unheld = std::find(flags.begin(), flags.end(), true) != flags.end();
    return bytes;
}

// An age field: its number when the text is numeric, else 0.
int32_t AgeFieldValue(const std::string& text) {
    const auto number = ParseNumber(text);
    return number ? ToLong(*number, 0) : 0;
}

// The TTL field must hold a number: an empty or non-numeric text is a type mismatch.
int32_t TtlFieldValue(const std::string& text) {
    const auto number = ParseNumber(text);
    if (!number) Raise(vberr::TypeMismatch);
    return ToLong(*number, 0);
}

void AppendTally(ScanHost& host, const char* what, const OperationTally& tally) {
    if (tally.objects == 0) return;
    host.AppendListLine(std::string("Would ") + what + ": " + std::to_string(tally.objects) + " files, " +
                        std::to_string(tally.bytes) + " bytes");
}

}  // namespace

std::string SummaryLine(const ScanState& state, bool success, int64_t seconds) {
    std::string line = success ? "OK!" : "Ended with error(s).";
    line += " " + std::to_string(state.FilesSelected) + " of " + std::to_string(state.FilesTotal) +
            " files selected";
    if (state.FilesDeleted > 0) line += ", " + std::to_string(state.FilesDeleted) + " files deleted";
    if (state.SwapFilesSkipped > 0) line += ", " + std::to_string(state.SwapFilesSkipped) + " files skipped";
    if (state.EmptyDirsDeleted > 0)
        line += ", " + std::to_string(state.EmptyDirsDeleted) + " empty dirs deleted";
    line += ", " + std::to_string(seconds) + " seconds";
    return line;
}

bool RunWentWell(const ScanState& state, bool walkCompleted) {
    return walkCompleted && state.ErrorCount() == 0;
}

std::string SummaryWithVerdict(const ScanState& state, bool stepsCompleted, const std::string& summary) {
    static const std::string kOk = "OK!";
    if (summary.rfind(kOk, 0) != 0 || RunWentWell(state, stepsCompleted)) return summary;
    return "Ended with error(s)." + summary.substr(kOk.size());
}

bool ProcessAllFiles(ScanState& state, const ScanInputs& inputs, ScanHost& host) {
    if (state.Scanning) {
        TheDesktop().Beep();
        return false;
    }
    bool success = false;
    state.ErrorsAtStart = ErrorsReported();
    OneErrorBox errorBoxes;
    success = Trapped("frmMain:ProcessAllFiles", "", false, [&] {
        host.ClearList();
        host.SetStatusText("Starting...");
        state.ScanStart = TheClock().Now();
        state.CurrentCache.reset();
        host.Results().Clear();
        state.BreakRequested = false;
        state.Scanning = true;
        state.EmptyDirsDeleted = state.FilesDeleted = state.FilesTotal = state.FilesNotFound =
            state.FilesSelected = 0;
        state.FilesSkipped = state.SwapFilesSkipped = 0;
        state.DryRun = inputs.dryRun;
        state.WouldFixTime = state.WouldFixPrefix = state.WouldSetTTL = state.WouldDelete =
            state.WouldDeleteAged = state.WouldSaveTree = {};
        state.WouldRemoveDirs = 0;

        // Typed filters are compared with cache bytes, so they become Latin-1 here.
        state.HostFilter = WithoutLeadingStar(Trim(CacheBytesOf(inputs.hostFilter, state.HostFilterUnheld)));
        state.HostFolderFilter = WithoutLeadingStar(Trim(inputs.hostFilter));
        state.URLFilter = WithoutLeadingStar(Trim(CacheBytesOf(inputs.urlFilter, state.URLFilterUnheld)));
        state.ContentTypeFilter =
            std::string(Trim(CacheBytesOf(inputs.contentTypeFilter, state.ContentTypeFilterUnheld)));
        std::vector<bool> unheld;
        const std::string contents = Utf8ToLatin1(inputs.contentsFilter, unheld);
        ParseFilter(contents, state.ContentsFilter, unheld);

        state.FixTime = inputs.fixTime != 0;
        state.FixPrefix = inputs.fixPrefix != 0;
        state.SetTTL = inputs.setTTL != 0;
        state.TTLDays = TtlFieldValue(inputs.ttlDays);
        state.DeleteOld = inputs.deleteOld != 0;
        state.AgeMax = AgeFieldValue(inputs.ageMax);
        state.AgeMin = AgeFieldValue(inputs.ageMin);
        state.AgeInHours = inputs.ageUnit == "hours";
        state.DeleteAged = inputs.deleteAged != 0;
        state.SaveTree = inputs.saveTree != 0;
        // Squid keeps its own times, and a renamed swap file is lost to it.
        if (Program().ProxyType == 3) state.FixTime = state.FixPrefix = state.SetTTL = false;

        if (Program().ProxyType == 1)
            success = ProcessAllFiles_WinProxy(state, host);
        else if (Program().ProxyType == 2)
            success = ProcessAllFiles_WinGate(state, host);
        else if (Program().ProxyType == 3)
            success = ProcessAllFiles_Squid(state, host);
        // Break within the last object's contents search cut it short: the run did not end.
        if (state.BreakRequested) success = false;
        return success;
    });

    success = RunWentWell(state, success);

    try {
        state.CurrentCache.reset();
        ParseFilter("", state.ContentsFilter);
        host.SetStatusText(state.BreakRequested ? "Interrupted" : "Ready");
        if (state.FilesNotFound > 0) {
            host.AppendListLine(
                "Warning! " + std::to_string(state.FilesNotFound) +
                " files were not found in cache. Maybe your proxy's cache index needs to be rebuilt.");
        }
        if (state.FilesSkipped > 0) {
            host.AppendListLine("Warning! " + std::to_string(state.FilesSkipped) +
                                " files changed during the scan and were left alone.");
        }
        if (state.DryRun) {
            AppendTally(host, "fix file time", state.WouldFixTime);
            AppendTally(host, "fix file prefix", state.WouldFixPrefix);
            AppendTally(host, "set time-to-live", state.WouldSetTTL);
            AppendTally(host, "delete", state.WouldDelete);
            AppendTally(host, "delete aged", state.WouldDeleteAged);
            AppendTally(host, "save to tree", state.WouldSaveTree);
            if (state.WouldRemoveDirs > 0) {
                host.AppendListLine("Would delete empty dirs: " + std::to_string(state.WouldRemoveDirs));
            }
        }
        if (errorBoxes.MoreErrors() > 0) host.AppendListLine(errorBoxes.MoreErrorsLine());
        std::string summary =
            SummaryLine(state, success, SecondBoundaries(state.ScanStart, TheClock().Now()));
        if (state.DryRun) summary += " (preview: nothing was changed)";
        host.AppendListLine(summary);
        host.SelectListLine(host.ListCount() - 1);
    } catch (...) {
    }
    state.Scanning = false;
    return success;
}

}  // namespace loftwick
