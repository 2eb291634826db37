#pragma once
// The scan's window as the benchmark needs it: it counts the list lines, keeps the results only when
// told to (as the batch front end keeps none unless a save follows) and lets nothing else happen, so the
// figures measure the scan and not a screen.
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
    bool KeepsResults() const override { return keep; }
    clsSearchResults& Results() override { return results_; }
    void SaveResultAsTree(int64_t) override {}

    bool keep = false;

  private:
    int64_t lines_ = 0;
    clsSearchResults results_;
};

}  // namespace loftwick::bench
