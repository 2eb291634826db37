#include "support/Program.h"

#include <cstdlib>

#include "support/Clock.h"
#include "support/Desktop.h"
#include "support/PosixFileSystem.h"
#include "support/ProxyControl.h"

namespace loftwick {
namespace {

// Shows nothing and answers every question as cancelled.
class SilentDesktop final : public Desktop {
public:
    void MessageBox(const std::string&, const std::string&, MsgIcon) override {}
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
};

}  // namespace

ProgramValues& Program() {
    static ProgramValues values;
    return values;
}

Services& Platform() {
    static Services services;
    return services;
}

Desktop& TheDesktop() {
    static SilentDesktop fallback;
    return Platform().desktop ? *Platform().desktop : fallback;
}

FileSystem& TheFileSystem() {
    static PosixFileSystem fallback;
    return Platform().fileSystem ? *Platform().fileSystem : fallback;
}

Clock& TheClock() {
    static SystemClock fallback;
    return Platform().clock ? *Platform().clock : fallback;
}

ProxyControl& TheProxyControl() {
    static CurlProxyControl fallback;
    return Platform().proxyControl ? *Platform().proxyControl : fallback;
}

std::string Environ(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

}  // namespace loftwick
