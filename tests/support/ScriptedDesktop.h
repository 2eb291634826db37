#pragma once
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/Desktop.h"

namespace loftwick::test {

// A desktop for tests: questions are answered from queues (an empty queue answers "cancel"), and every
// call is recorded so tests can check what the user would have seen.
class ScriptedDesktop final : public Desktop {
  public:
    struct Message {
        std::string text, title;
        MsgIcon icon;
    };
    struct Prompt {
        std::string prompt, title, defaultText;
    };

    // Answers for the next input boxes and file dialogs, in order; nullopt = cancel.
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<std::optional<std::string>> fileDialogAnswers;
    bool openSucceeds = true;
    bool messagesFail = false;               // message boxes throw, as on a desktop that has gone away
    std::vector<std::string> browsersTried;  // what a failed OpenInBrowser says it tried

    std::vector<Message> messages;
    std::vector<Prompt> prompts;
    std::vector<FileDialogRequest> fileDialogs;
    std::vector<std::string> openedUrls, browserPages, openedDocuments, clipboard;
    std::vector<std::vector<std::string>> startedPrograms;
    int beeps = 0;
    int doEvents = 0;
    // Runs where the event loop would: what the user does while a long command lets events run.
    std::function<void()> onDoEvents;
    std::vector<bool> busyChanges;

    void MessageBox(const std::string& text, const std::string& title, MsgIcon icon) override {
        if (messagesFail) throw std::runtime_error("the desktop is gone");
        messages.push_back({text, title, icon});
    }
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override {
        prompts.push_back({prompt, title, defaultText});
        return Next(inputAnswers);
    }
    void Beep() override { ++beeps; }
    void DoEvents() override {
        ++doEvents;
        if (onDoEvents) onDoEvents();
    }
    bool OpenUrl(const std::string& url) override {
        openedUrls.push_back(url);
        return openSucceeds;
    }
    BrowserStart OpenInBrowser(const std::string& path) override {
        browserPages.push_back(path);
        return {openSucceeds, browsersTried};
    }
    bool OpenDocument(const std::string& path) override {
        openedDocuments.push_back(path);
        return openSucceeds;
    }
    bool StartProgram(const std::vector<std::string>& commandLine) override {
        startedPrograms.push_back(commandLine);
        return openSucceeds;
    }
    void SetClipboardText(const std::string& text) override { clipboard.push_back(text); }
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override {
        fileDialogs.push_back(request);
        return Next(fileDialogAnswers);
    }
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override {
        fileDialogs.push_back(request);
        return Next(fileDialogAnswers);
    }
    void SetBusy(bool busy) override { busyChanges.push_back(busy); }

  private:
    static std::optional<std::string> Next(std::deque<std::optional<std::string>>& answers) {
        if (answers.empty()) return std::nullopt;
        const std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace loftwick::test
