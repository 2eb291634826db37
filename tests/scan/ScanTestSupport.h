#pragma once
// A window stand-in for scans: keeps the list lines, the last status text and the results.
#include <functional>
#include <string>
#include <vector>

#include "results/clsSearchResults.h"
#include "scan/ProcessAllFiles.h"

namespace loftwick::test {

class RecordingScanHost final : public ScanHost {
  public:
    std::vector<std::string> lines;
    std::string status;
    clsSearchResults results;
    int eventsRun = 0;
    std::function<void(int)> onEvents;  // runs at every event pump, to press Break mid-scan

    void ClearList() override { lines.clear(); }
    void AppendListLine(const std::string& line) override { lines.push_back(line); }
    int64_t ListCount() const override { return static_cast<int64_t>(lines.size()); }
    void SelectListLine(int64_t) override {}
    void SetStatusText(const std::string& text) override { status = text; }
    void LetEventsRun() override {
        if (onEvents) onEvents(++eventsRun);
    }
    // Not counted: Break then lands on the same object whether the scan reads ahead or not.
    void LetEventsRunWhileWaiting() override {}
    clsSearchResults& Results() override { return results; }
    void SaveResultAsTree(int64_t) override {}

    const std::string& Summary() const { return lines.back(); }
};

}  // namespace loftwick::test
