#pragma once
// A window stand-in for scans: keeps the list lines, the status texts and the results.
#include <string>
#include <utility>
#include <vector>

#include "results/clsSearchResults.h"
#include "scan/ProcessAllFiles.h"

namespace loftwick::test {

class RecordingScanHost final : public ScanHost {
  public:
    std::vector<std::string> lines;
    std::vector<std::string> statusTexts;
    std::vector<int64_t> savedAsTree;
    int64_t selectedLine = -2;
    int eventsRun = 0;
    std::vector<std::pair<int64_t, int64_t>> progress;  // done, total
    bool capped = true;
    clsSearchResults results;
    // Runs at every event pump, to press Break or change files mid-scan.
    std::function<void(int)> onEvents;

    void ClearList() override { lines.clear(); }
    void AppendListLine(const std::string& line) override { lines.push_back(line); }
    int64_t ListCount() const override { return static_cast<int64_t>(lines.size()); }
    void SelectListLine(int64_t index) override { selectedLine = index; }
    void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
    void ShowProgress(int64_t done, int64_t total) override { progress.emplace_back(done, total); }
    void LetEventsRun() override {
        ++eventsRun;
        if (onEvents) onEvents(eventsRun);
    }
    bool ListIsCapped() const override { return capped; }
    clsSearchResults& Results() override { return results; }
    void SaveResultAsTree(int64_t index) override { savedAsTree.push_back(index); }

    const std::string& Summary() const { return lines.back(); }
    std::string Status() const { return statusTexts.empty() ? "" : statusTexts.back(); }
};

}  // namespace loftwick::test
