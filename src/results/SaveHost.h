#pragma once
#include <cstdint>
#include <string>

namespace loftwick {

class clsSearchResults;

// What saving copies of cached objects needs from the main window. The window model implements it for
// the GUI and the batch front end; tests implement it with a small struct. Texts are UTF-8.
class SaveHost {
  public:
    virtual ~SaveHost() = default;

    // The text of the "Temp directory:" field (`txtTempDir`), as typed.
    virtual std::string TempDirText() const = 0;

    // The folder the "Save As..." dialog opens in; kept with the settings.
    virtual std::string DirPrev() const = 0;
    virtual void SetDirPrev(const std::string& folder) = 0;

    // The name offered by the default-name prompt; kept with the settings.
    virtual std::string DefaultDocumentName() const = 0;
    virtual void SetDefaultDocumentName(const std::string& name) = 0;
    // Set when the user leaves the default-name prompt empty, so that it is not asked again before the
    // next Save All.
    virtual bool SkipDefaultNamePrompt() const = 0;
    virtual void SetSkipDefaultNamePrompt(bool skip) = 0;

    virtual clsSearchResults& Results() = 0;
    // 1-based index into Results() of the object the commands act on; 0 = none.
    virtual int64_t CurrentResult() const = 0;
    virtual void SetCurrentResult(int64_t index) = 0;
    // Runs the window's `setCurrentResult`: recomputes CurrentResult from the selected list line.
    virtual void RecomputeCurrentResult() = 0;

    // The status text below the list (`lblStatus`), redrawn at once.
    virtual void SetStatusText(const std::string& text) = 0;
    // Lets window events run (repaint, clicks) during a long save.
    virtual void LetEventsRun() = 0;
    // Break (or closing the window) asked a long save to stop before its next object.
    virtual bool StopRequested() const { return false; }
};

}  // namespace loftwick
