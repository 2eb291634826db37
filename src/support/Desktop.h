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

// What the core asks of the desktop. Texts are UTF-8. Implementations: the Qt desktop, the batch
// desktop of loftwick-scan (stderr, every question answered as cancelled) and the scripted test double.
class Desktop {
public:
    virtual ~Desktop() = default;

    // A modal message box with an OK button.
    virtual void MessageBox(const std::string& text, const std::string& title, MsgIcon icon) = 0;
    // A modal input box; nothing when cancelled.
    virtual std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                                const std::string& defaultText) = 0;
    virtual void Beep() = 0;
    // Lets pending window events run once (repaint, clicks on Break).
    virtual void DoEvents() = 0;

    // Hands a web address to the desktop's browser. False when nothing could be started.
    virtual bool OpenUrl(const std::string& url) = 0;
    // Opens a local file in the desktop's web browser (never through a generic opener that might run it).
    virtual bool OpenInBrowser(const std::string& path) = 0;
    // Opens a local document (a folder or a text file) with the desktop's default application.
    virtual bool OpenDocument(const std::string& path) = 0;
    // Starts a program; the first element is the program. False when it could not be started.
    virtual bool StartProgram(const std::vector<std::string>& commandLine) = 0;

    virtual void SetClipboardText(const std::string& text) = 0;
    // File dialogs; nothing when cancelled.
    virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) = 0;

    // The busy (hourglass) pointer on or off.
    virtual void SetBusy(bool busy) = 0;

    // An error report of a run with nobody at the screen (no message box is shown then); the batch front
    // end prints it on its error stream.
    virtual void ReportUnattended(const std::string& report) { (void)report; }
};

}  // namespace loftwick
