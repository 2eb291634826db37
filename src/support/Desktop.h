#pragma once
#include <optional>
#include <string>
#include <vector>

namespace loftwick {

enum class MsgIcon { None, Information, Exclamation };

struct FileDialogRequest {
    std::string title;
    std::string initialFolder;  // empty: the current directory
    std::string fileName;       // proposed name
    // Pairs of description and pattern, for example {"All Files", "*.*"}.
    std::vector<std::pair<std::string, std::string>> filters;
};

// What became of opening a local page in a web browser.
struct BrowserStart {
    bool started = false;
    std::vector<std::string> tried;  // the browsers tried, in order, as the user knows them
};

// What the core asks of the desktop. Texts are UTF-8. Every call has a neutral answer here: nothing is
// shown or opened and every question is answered as cancelled, which is all a run with nobody at the
// screen needs. The Qt desktop, the batch desktop of loftwick-scan (messages on stderr) and the test
// doubles override what they do differently.
class Desktop {
  public:
    virtual ~Desktop() = default;

    // A modal message box with an OK button.
    virtual void MessageBox(const std::string&, const std::string&, MsgIcon) {}
    // A modal input box; nothing when cancelled.
    virtual std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) {
        return std::nullopt;
    }
    virtual void Beep() {}
    // Lets pending window events run once (repaint, clicks on Break).
    virtual void DoEvents() {}

    // Hands a web address to the desktop's browser. False when nothing could be started.
    virtual bool OpenUrl(const std::string&) { return false; }
    // Opens a local file in a web browser (never through a generic opener that might run it).
    virtual BrowserStart OpenInBrowser(const std::string&) { return {}; }
    // Opens a local document (a folder or a text file) with the desktop's default application.
    virtual bool OpenDocument(const std::string&) { return false; }
    // Starts a program; the first element is the program. False when it could not be started.
    virtual bool StartProgram(const std::vector<std::string>&) { return false; }

    virtual void SetClipboardText(const std::string&) {}
    // File dialogs; nothing when cancelled.
    virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest&) { return std::nullopt; }
    virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest&) { return std::nullopt; }

    // The busy (hourglass) pointer on or off.
    virtual void SetBusy(bool) {}

    // An error report of a run with nobody at the screen (no message box is shown then); the batch front
    // end prints it on its error stream.
    virtual void ReportUnattended(const std::string&) {}
};

}  // namespace loftwick
