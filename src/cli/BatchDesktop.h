#pragma once
#include <ostream>

#include "support/Desktop.h"

namespace loftwick::cli {

// The desktop of a run with nobody at the screen: messages and error reports go to the error stream,
// every question is answered as cancelled, and nothing is opened.
class BatchDesktop final : public Desktop {
public:
    explicit BatchDesktop(std::ostream& err) : err_(err) {}

    void MessageBox(const std::string& text, const std::string& title, MsgIcon icon) override;
    std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void Beep() override {}
    void DoEvents() override {}
    bool OpenUrl(const std::string&) override { return false; }
    bool OpenInBrowser(const std::string&) override { return false; }
    bool OpenDocument(const std::string&) override { return false; }
    bool StartProgram(const std::vector<std::string>&) override { return false; }
    void SetClipboardText(const std::string&) override {}
    std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> SaveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    void SetBusy(bool) override {}
    void ReportUnattended(const std::string& report) override;

private:
    std::ostream& err_;
};

}  // namespace loftwick::cli
