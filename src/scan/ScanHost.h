#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace loftwick {

class clsCache;
class clsSearchResults;

// What the scan needs from the window that runs it. The GUI and the batch front end both implement it
// through the same window model.
class ScanHost {
  public:
    virtual ~ScanHost() = default;

    virtual void ClearList() = 0;
    // Appends a line to the result list and redraws it.
    virtual void AppendListLine(const std::string& line) = 0;
    virtual int64_t ListCount() const = 0;
    // Selects a list line; selecting runs the list's selection handler.
    virtual void SelectListLine(int64_t index) = 0;
    // The status text below the list, redrawn at once.
    virtual void SetStatusText(const std::string& text) = 0;
    // How far the walk has come, in its own units (bytes of the index read, folders visited).
    virtual void ShowProgress(int64_t done, int64_t total) {
        (void)done;
        (void)total;
    }
    // Lets window events run (repaint, the Break button). May be throttled by the host.
    virtual void LetEventsRun() = 0;
    // The same while the scan waits for its read-ahead thread. These pauses come as the machine's load
    // has them, not between objects, so a host that counts the pumps between objects tells them apart.
    virtual void LetEventsRunWhileWaiting() { LetEventsRun(); }

    // The window's list keeps at most 500 result lines; the batch front end prints every one.
    virtual bool ListIsCapped() const { return true; }
    // Whether selected objects are kept for the commands that follow a scan. A host that keeps none
    // (the batch front end with no save or export to follow) is handed each one as it is selected.
    virtual bool KeepsResults() const { return true; }

    virtual clsSearchResults& Results() = 0;
    // Saves result `index` (1-based) into the temporary tree: the "Save to temp dir with tree" command.
    virtual void SaveResultAsTree(int64_t index) = 0;
    // Told of every selected object, with its number and contents score (-1 when no contents filter).
    virtual void ObjectSelected(int64_t number, const std::shared_ptr<clsCache>& object, int score) {
        (void)number;
        (void)object;
        (void)score;
    }
};

}  // namespace loftwick
