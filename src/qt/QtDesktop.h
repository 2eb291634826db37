#pragma once
#include "support/Desktop.h"

class QWidget;

namespace loftwick::qt {

// The desktop as Qt offers it: modal boxes owned by the main window, web addresses through
// QDesktopServices, local pages in the web browser the user chose (StartWebBrowser), the clipboard, the
// file dialogs and the busy pointer.
class QtDesktop final : public Desktop {
  public:
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void MessageBox(const std::string& text, const std::string& title, MsgIcon icon) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    void Beep() override;
    void DoEvents() override;
    bool OpenUrl(const std::string& url) override;
    BrowserStart OpenInBrowser(const std::string& path) override;
    bool OpenDocument(const std::string& path) override;
    bool StartProgram(const std::vector<std::string>& commandLine) override;
    void SetClipboardText(const std::string& text) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    void SetBusy(bool busy) override;

  private:
    QWidget* owner_ = nullptr;
    bool busy_ = false;
};

}  // namespace loftwick::qt
