#pragma once
#include <string>

#include "scan/ScanHost.h"
#include "scan/ScanState.h"

namespace loftwick {

// The window's fields as a scan reads them: texts as typed (UTF-8) and check-box values (0, 1, 2; a
// box counts as set when it is not 0).
struct ScanInputs {
    std::string hostFilter, urlFilter, contentTypeFilter, contentsFilter;
    int fixTime = 0, fixPrefix = 0, setTTL = 0, deleteOld = 0, deleteAged = 0, saveTree = 0;
    std::string ttlDays = "200";
    std::string ageMin, ageMax;
    std::string ageUnit = "days";
    bool dryRun = false;
};

// The "Go!" button: runs one whole scan and writes its report into the list. Returns true when the
// summary line begins "OK!". A second call while a scan runs only beeps (and returns false).
bool ProcessAllFiles(ScanState& state, const ScanInputs& inputs, ScanHost& host);

// The walks, one per proxy type; each returns true when it ran to its end.
bool ProcessAllFiles_WinProxy(ScanState& state, ScanHost& host);
bool ProcessAllFiles_WinGate(ScanState& state, ScanHost& host);
// Squid's L1 and L2 folders and their swap files, in name order; ends with the deletions' report.
bool ProcessAllFiles_Squid(ScanState& state, ScanHost& host);
// The message for a cache folder that holds a rock store.
std::string RockStoreMessage(const std::string& cacheDir);

// The per-object step: filters the bound CurrentCache, lists and keeps a selected object and runs the
// chosen operations. False when an error interrupted it (already reported).
bool ProcessOneFile(ScanState& state, ScanHost& host);

// The summary line of a finished scan (without the dry-run tallies).
std::string SummaryLine(const ScanState& state, bool success, int64_t seconds);

// The program's one rule for a run's verdict: it went well when the walk ran to its end and no error has
// been reported since the scan began. A summary begins "OK!" only then, and a batch run exits 0 only then.
bool RunWentWell(const ScanState& state, bool walkCompleted);
// The summary again after later steps of the same run (Save All, an export): "OK!" becomes "Ended with
// error(s)." once the run no longer went well.
std::string SummaryWithVerdict(const ScanState& state, bool stepsCompleted, const std::string& summary);

}  // namespace loftwick
