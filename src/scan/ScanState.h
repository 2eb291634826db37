#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "cache/ParsedFilter.h"
#include "cache/clsCache.h"
#include "support/OleDate.h"
#include "support/basErrorHandler.h"

namespace loftwick {

// What one operation would touch (or touched): objects and their content bytes.
struct OperationTally {
    int64_t objects = 0;
    int64_t bytes = 0;
    void Add(int64_t size) {
        ++objects;
        bytes += size;
    }
};

// The state of one scan: set from the window's fields at the start of each scan and read by the walks
// and the per-object step. Filters hold cache bytes (Latin-1), as they are compared with cache text.
struct ScanState {
    bool Scanning = false;
    bool BreakRequested = false;
    OleDate ScanStart;
    std::shared_ptr<clsCache> CurrentCache;

    std::string HostFilter;         // trimmed, one leading "*" removed
    std::string URLFilter;          // trimmed, one leading "*" removed
    std::string ContentTypeFilter;  // trimmed; a leading "*" stays
    ParsedFilter ContentsFilter;
    // A filter holding a typed character that no cache byte can hold selects nothing.
    bool HostFilterUnheld = false, URLFilterUnheld = false, ContentTypeFilterUnheld = false;
    // The host filter as typed (UTF-8), for the WinProxy host folders, whose names the file system keeps
    // in UTF-8; trimmed, one leading "*" removed.
    std::string HostFolderFilter;

    bool FixTime = false;
    bool FixPrefix = false;
    bool SetTTL = false;
    int32_t TTLDays = 0;
    bool DeleteOld = false;
    int32_t AgeMax = 0;  // 0 = no upper bound
    int32_t AgeMin = 0;  // 0 = no lower bound
    bool AgeInHours = false;
    bool DeleteAged = false;
    bool SaveTree = false;

    // Counters are 64-bit: a big cache must not overflow them.
    int64_t EmptyDirsDeleted = 0;
    int64_t FilesDeleted = 0;
    int64_t FilesTotal = 0;
    int64_t FilesNotFound = 0;
    int64_t FilesSelected = 0;

    // HandleError's count when the scan began. Every report made since (an object, a host folder, a copy
    // or a stamp that failed, and the steps of the same run that follow the scan) counts against it.
    int64_t ErrorsAtStart = 0;
    int64_t ErrorCount() const { return ErrorsReported() - ErrorsAtStart; }
    // Objects that changed on disk between binding and their operation and were left alone.
    int64_t FilesSkipped = 0;
    // Squid swap files that are no object to list: internal objects and unreadable metadata.
    int64_t SwapFilesSkipped = 0;

    // A preview: select and report, count what the operations would touch, change nothing on disk.
    bool DryRun = false;
    OperationTally WouldFixTime, WouldFixPrefix, WouldSetTTL, WouldDelete, WouldDeleteAged, WouldSaveTree;
    int64_t WouldRemoveDirs = 0;
};

}  // namespace loftwick
