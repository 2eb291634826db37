#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace loftwick {

class Desktop;

// The program's one browser: the desktop's default web browser, reached through the Desktop seam. One
// instance lives from start-up to the end of the program.
//
// Only two kinds of address are ever shown: web addresses (http, https, ftp), which go to the desktop as
// URLs, and local pages (saved copies, help pages), which are opened by the web browser itself. Nothing
// is handed to a generic opener that might run a saved file of an executable type.
class clsBrowser {
  public:
    clsBrowser() = default;
    ~clsBrowser() { Release(); }
    clsBrowser(const clsBrowser&) = delete;
    clsBrowser& operator=(const clsBrowser&) = delete;

    // Shows a web address or a local page. An empty address does nothing. When the browser cannot show
    // it, a folder is opened in the file manager and a web address is handed to the desktop once more;
    // anything else is reported ("clsBrowser:Navigate"). Flags: 1 asks for a new window, which the
    // desktop's browser decides for itself.
    void Navigate(const std::string& strURL, int32_t Flags = 0);
    // Whether a desktop is there to show pages; takes hold of it when it is.
    bool IsReady();
    // Lets go of the desktop; windows the browser opened stay open.
    void Release();
    // Opens a message to the address in the desktop's mail program; errors are ignored.
    void NewEMailDialog(const std::string& strEMail);

  private:
    Desktop* browser_ = nullptr;
    bool ready_ = false;
};

// Whether an address may be handed to the desktop as a web address: "http://", "https://" or "ftp://"
// at its start, the scheme compared without regard to case.
bool IsWebAddress(std::string_view address);

// A URL as stored in the cache (Latin-1 bytes) as the desktop takes it: UTF-8, with every byte that may
// not stand in a URL (blanks, controls, quotes, angle brackets, non-ASCII, ...) percent-encoded. A "%"
// stays as it is, since cached URLs are already encoded.
std::string UrlForDesktop(std::string_view latin1Url);

}  // namespace loftwick
