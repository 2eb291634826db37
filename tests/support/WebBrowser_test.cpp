// Which web browser a local page opens in: $BROWSER, the desktop's default, the usual names.
#include "support/WebBrowser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/TestEnv.h"

namespace loftwick::test {
namespace {

using Words = std::vector<std::string>;
const std::string kPage = "/tmp/out/a b/caf\xC3\xA9.html";
const std::string kUrl = "file:///tmp/out/a%20b/caf%C3%A9.html";
const Words kUsual = {"x-www-browser", "sensible-browser", "firefox", "chromium", "google-chrome"};

struct Row {
    const char* what;
    std::map<std::string, std::string> environ;
    std::optional<std::string> defaultBrowser;  // what xdg-settings prints; nothing: it fails
    std::map<std::string, std::string> files;
    std::vector<Words> before;  // the command lines tried before the usual names
};

TEST(WebBrowserChoice, BrowserVariableThenTheDesktopsDefaultThenTheUsualNames) {
    const std::string firefoxEntry =
        "[Desktop Entry]\nName=Firefox\nExec=firefox-esr %u\n"
        "[Desktop Action new-window]\nExec=firefox-esr --new-window %u\n";
    const Row rows[] = {
        {"nothing set", {}, std::nullopt, {}, {}},
        {"$BROWSER entries in order, %s placed, else the page last",
         {{"BROWSER", "w3m:  lynx -dump %s : :links2 -g '%s'%%"}},
         std::nullopt,
         {},
         {{"w3m", kUrl}, {"lynx", "-dump", kUrl}, {"links2", "-g", "'" + kUrl + "'%"}}},
        {"the default entry of the first data folder that has it, its own group only",
         {{"HOME", "/home/u"}, {"XDG_DATA_DIRS", "relative/share:/opt/share/"}},
         "firefox-esr.desktop\n",
         {{"/opt/share/applications/firefox-esr.desktop", firefoxEntry},
          {"/usr/share/applications/firefox-esr.desktop", "[Desktop Entry]\nExec=other\n"}},
         {{"firefox-esr", kUrl}}},
        {"$XDG_DATA_HOME first; quoting, escapes and field codes of Exec",
         {{"XDG_DATA_HOME", "/data"}},
         "b.desktop",
         {{"/data/applications/b.desktop",
           "[Desktop Entry]\nIcon=b\nExec = \"/opt/My Browser/b\" --title=\"a \\\\\"q\\\\\"\" %i %c %f "
           "100%%\n"},
          {"/usr/share/applications/b.desktop", "[Desktop Entry]\nExec=wrong %u\n"}},
         {{"/opt/My Browser/b", "--title=a \"q\"", kPage, "100%"}}},
        {"without a field code the page goes last; $BROWSER still first",
         {{"BROWSER", "mybrowser"}, {"HOME", "/home/u"}},
         "c.desktop",
         {{"/home/u/.local/share/applications/c.desktop", "[Desktop Entry]\nExec=c\\s--private\n"}},
         {{"mybrowser", kUrl}, {"c", "--private", kUrl}}},
        {"a name that is not a plain desktop file ID is not looked up",
         {{"HOME", "/home/u"}},
         "../../../etc/evil.desktop",
         {{"/home/u/.local/share/applications/../../../etc/evil.desktop", "[Desktop Entry]\nExec=evil\n"}},
         {}},
        {"an entry without Exec, or not found, gives no default",
         {},
         "none.desktop",
         {{"/usr/share/applications/none.desktop", "[Desktop Entry]\nName=None\n"}},
         {}},
    };
    for (const Row& row : rows) {
        std::vector<Words> asked;
        const BrowserLookup lookup{
            [&](const std::string& name) { return row.environ.count(name) ? row.environ.at(name) : ""; },
            [&](const std::string& path) -> std::optional<std::string> {
                if (!row.files.count(path)) return std::nullopt;
                return row.files.at(path);
            },
            [&](const Words& commandLine) {
                asked.push_back(commandLine);
                return row.defaultBrowser;
            }};
        std::vector<Words> expected = row.before;
        for (const std::string& name : kUsual) expected.push_back({name, kUrl});
        std::vector<Words> got;
        for (const BrowserCommand& command : WebBrowserCommands(kPage, lookup))
            got.push_back(command.commandLine);
        EXPECT_EQ(got, expected) << row.what;
        EXPECT_EQ(asked, (std::vector<Words>{{"xdg-settings", "get", "default-web-browser"}})) << row.what;
    }
}

TEST(WebBrowserChoice, TheFirstThatStartsWinsAndEveryOneTriedIsNamedOnce) {
    const BrowserLookup lookup{
        [](const std::string& name) { return name == "BROWSER" ? "firefox:/no/such" : ""; },
        [](const std::string&) { return std::nullopt; }, [](const Words&) { return std::nullopt; }};
    Words started;
    const BrowserStart none = StartWebBrowser(kPage, lookup, [&](const Words& commandLine) {
        started.push_back(commandLine[0]);
        return false;
    });
    EXPECT_FALSE(none.started);
    // firefox from $BROWSER is the same command line as the usual firefox: started once.
    EXPECT_EQ(none.tried, (Words{"firefox", "/no/such", "x-www-browser", "sensible-browser", "chromium",
                                 "google-chrome"}));
    EXPECT_EQ(started, none.tried);
    const BrowserStart second =
        StartWebBrowser(kPage, lookup, [](const Words& line) { return line[0] == "/no/such"; });
    EXPECT_TRUE(second.started);
    EXPECT_EQ(second.tried, (Words{"firefox", "/no/such"}));
}

// The real lookup: a fake xdg-settings on the PATH and a desktop entry in a temporary data folder.
TEST(WebBrowserChoice, SystemLookupAsksXdgSettingsAndReadsTheEntryThroughALink) {
    TempDir dir;
    dir.WriteFile("bin/xdg-settings",
                  "#!/bin/sh\n[ \"$*\" = 'get default-web-browser' ] && echo fake.desktop\n");
    std::filesystem::permissions(dir / "bin/xdg-settings", std::filesystem::perms::owner_all);
    dir.WriteFile("pkg/fake.desktop", "[Desktop Entry]\nExec=fake-browser --page %U\n");
    dir.MakeDirs("share/applications");
    std::filesystem::create_symlink(dir / "pkg/fake.desktop", dir / "share/applications/fake.desktop");
    ScopedEnv path("PATH", dir / "bin");
    ScopedEnv home("XDG_DATA_HOME", dir / "share");
    ScopedEnv browser("BROWSER", "");
    const std::vector<BrowserCommand> commands = WebBrowserCommands("/p.html", SystemBrowserLookup());
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0].name, "fake.desktop");
    EXPECT_EQ(commands[0].commandLine, (Words{"fake-browser", "--page", "file:///p.html"}));
    EXPECT_EQ(commands[1].name, "x-www-browser");

    // A failing xdg-settings, or none at all, names no default.
    dir.WriteFile("bin/xdg-settings", "#!/bin/sh\necho fake.desktop\nexit 3\n");
    EXPECT_EQ(WebBrowserCommands("/p.html", SystemBrowserLookup())[0].name, "x-www-browser");
    ScopedEnv nowhere("PATH", dir / "none");
    EXPECT_EQ(WebBrowserCommands("/p.html", SystemBrowserLookup())[0].name, "x-www-browser");
}

}  // namespace
}  // namespace loftwick::test
