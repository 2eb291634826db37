#pragma once
// The scan's window as the benchmark needs it: it keeps the results, counts the list lines and lets
// nothing else happen, so the figures measure the scan and not a screen.
#include <cstdint>
#include <string>

#include "results/clsSearchResults.h"
#include "scan/ScanHost.h"

namespace loftwick::bench {

class BenchHost final : public ScanHost {
public:
    void ClearList() override { lines_ = 0; }
    void AppendListLine(const std::string&) override { ++lines_; }
    int64_t ListCount() const override { return lines_; }
    void SelectListLine(int64_t) override {}
    void SetStatusText(const std::string&) override {}
    void LetEventsRun() override {}
    clsSearchResults& Results() override { return results_; }
    void SaveResultAsTree(int64_t) override {}

private:
    int64_t lines_ = 0;
    clsSearchResults results_;
};

}  // namespace loftwick::bench
