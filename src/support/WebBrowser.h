#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Desktop.h"

namespace loftwick {

// What choosing a web browser reads of the system. SystemBrowserLookup reads this process's environment
// and files and runs real programs; tests give their own.
struct BrowserLookup {
    std::function<std::string(const std::string&)> environ;                  // a variable, "" when unset
    std::function<std::optional<std::string>(const std::string&)> readFile;  // nothing when unreadable
    // What a program printed on its standard output; nothing when it could not run, failed or hung.
    std::function<std::optional<std::string>(const std::vector<std::string>&)> output;
};

BrowserLookup SystemBrowserLookup();

// One way of starting a web browser on a page: how the user knows it, and its command line.
struct BrowserCommand {
    std::string name;
    std::vector<std::string> commandLine;
};

// The browsers a desktop user expects a page to open in, in the order tried: each entry of $BROWSER
// (colon-separated commands; "%s" stands for the page, else the page is added at the end), the desktop's
// default web browser (the Exec line of the desktop entry that `xdg-settings get default-web-browser`
// names, looked up in the XDG data folders), then the usual names. `path` is an absolute local path.
std::vector<BrowserCommand> WebBrowserCommands(const std::string& path, const BrowserLookup& lookup);

// Starts the first of those that `start` can start (false: try the next one).
BrowserStart StartWebBrowser(const std::string& path, const BrowserLookup& lookup,
                             const std::function<bool(const std::vector<std::string>&)>& start);

// A local path as a file URL: every byte outside the unreserved characters and "/" percent-encoded.
std::string FileUrl(std::string_view path);

}  // namespace loftwick
