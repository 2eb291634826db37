#pragma once
// Runs one benchmark case in a child process, so that its memory high-water mark is its own and not
// raised by the cache building or by the cases before it.
#include <functional>
#include <optional>

namespace loftwick::bench {

// Figures of one case: median seconds of the scan and of the minimal reader, what each saw, and the
// child's memory (resident at its start and peak).
struct CaseFigures {
    double scanSeconds = 0;       // on one thread
    double readAheadSeconds = 0;  // reading ahead on a second thread
    double readerSeconds = 0;
    long long scanTotal = 0;
    long long scanSelected = 0;
    long long scanSkipped = 0;  // Squid files that are no objects (Vary markers)
    bool scanOk = false;
    long long readerObjects = 0;
    long long readerHits = 0;
    long long startRssKiB = 0;
    long long peakRssKiB = 0;
    // Metadata cases: operator new calls per object of a scan that selects nothing, and the heap a kept
    // result takes beyond its URL's characters.
    double allocationsPerObject = 0;
    double keptBytesBeyondUrl = 0;
    // The window case: the longest time the event loop waited during the big scan, and how long after
    // "Go!" the first result line was in the list of the demo cache's scan.
    double starvedMs = 0;
    double firstLineMs = 0;
    long long windowLines = 0;
};

// Forks, runs `work` in the child and returns what it produced; nothing when the child failed.
std::optional<CaseFigures> RunInChild(const std::function<CaseFigures()>& work);

}  // namespace loftwick::bench
