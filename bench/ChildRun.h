#pragma once
// Runs one benchmark case in a child process, so that its memory high-water mark is its own and not
// raised by the cache building or by the cases before it.
#include <functional>
#include <optional>

namespace loftwick::bench {

// Figures of one case: median seconds of the scan and of the minimal reader, what each saw, and the
// child's memory (resident at its start and peak).
struct CaseFigures {
    double scanSeconds = 0;
    double readerSeconds = 0;
    long long scanTotal = 0;
    long long scanSelected = 0;
    long long scanSkipped = 0;  // Squid files that are no objects (Vary markers)
    bool scanOk = false;
    long long readerObjects = 0;
    long long readerHits = 0;
    long long startRssKiB = 0;
    long long peakRssKiB = 0;
};

// Forks, runs `work` in the child and returns what it produced; nothing when the child failed.
std::optional<CaseFigures> RunInChild(const std::function<CaseFigures()>& work);

}  // namespace loftwick::bench
