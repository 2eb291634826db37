#include "results/clsBrowser.h"

#include <optional>
#include <vector>

#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

// When the browser cannot show an address. A generic opener would open any document, a saved program
// included, so only a folder (in the file manager) or a web address is let through.
bool ShowWithoutBrowser(const std::string& address, bool urlTried) {
    if (IsWebAddress(address)) return !urlTried && TheDesktop().OpenUrl(address);
    if (IsDirectory(address)) return TheDesktop().OpenDocument(address);
    return false;
}

}  // namespace

bool IsWebAddress(std::string_view address) {
    for (std::string_view scheme : {"http://", "https://", "ftp://"}) {
        if (StartsWithNoCase(address, scheme)) return true;
    }
    return false;
}

std::string UrlForDesktop(std::string_view latin1Url) {
    return PercentEncode(Latin1ToUtf8(latin1Url), "-._~:/?#[]@!$&'()*+,;=%");
}

void clsBrowser::Navigate(const std::string& strURL, [[maybe_unused]] int32_t Flags) {
    if (strURL.empty()) return;
    TrappedVoid("clsBrowser:Navigate", "URL: '" + strURL + "'", [&] {
        bool shown = false;
        bool urlTried = false;
        std::vector<std::string> tried;
        if (IsReady()) {
            if (IsWebAddress(strURL)) {
                urlTried = true;
                shown = browser_->OpenUrl(strURL);
            } else {
                BrowserStart start = browser_->OpenInBrowser(strURL);
                shown = start.started;
                tried = std::move(start.tried);
            }
        }
        if (!shown) shown = ShowWithoutBrowser(strURL, urlTried);
        if (!shown) {
            std::string reason = "No web browser could be started to show this address";
            for (size_t i = 0; i < tried.size(); ++i) reason += (i == 0 ? " (tried: " : ", ") + tried[i];
            if (!tried.empty()) reason += ")";
            Raise(vberr::PathFileAccessError, reason);
        }
    });
}

bool clsBrowser::IsReady() {
    // The desktop is installed once at start-up and taken down at the end; between two calls it may
    // have gone, so it is looked at afresh every time.
    browser_ = Platform().desktop;
    ready_ = browser_ != nullptr;
    if (!ready_) browser_ = nullptr;
    return ready_;
}

void clsBrowser::Release() {
    static bool releasing = false;
    if (releasing) return;
    releasing = true;
    browser_ = nullptr;
    ready_ = false;
    releasing = false;
}

void clsBrowser::NewEMailDialog(const std::string& strEMail) {
    if (strEMail.empty()) return;
    try {
        if (!IsReady()) return;
        const std::string address =
            UpperAscii(strEMail).find("MAILTO:") == std::string::npos ? "mailto:" + strEMail : strEMail;
        browser_->OpenUrl(address);
    } catch (...) {
    }
}

}  // namespace loftwick
