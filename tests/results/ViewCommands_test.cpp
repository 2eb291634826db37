// The viewing and shell commands on a search result, and the browser object, through a scripted desktop
// that records what would have been opened, started or copied.
#include "results/ViewCommands.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "results/SaveTestSupport.h"
#include "results/clsBrowser.h"
#include "support/basInternational.h"

namespace loftwick::test {
namespace {

class ViewCommandsTest : public SaveFixture {
  protected:
    // Makes a result with this URL the selected line.
    std::shared_ptr<FakeCache> Select(const std::string& url, const std::string& content = "content") {
        auto object = Add(url, "text/html", content);
        host_.selectedLine = static_cast<int32_t>(host_.current);
        return object;
    }

    ScopedEnv cache_{"XDG_CACHE_HOME", dir_.path()};
    clsBrowser browser_;
};

// A report line selected: no command does anything; a result number beyond the results: each reports.
TEST_F(ViewCommandsTest, WithoutAResultNoCommandDoesAnything) {
    Select("http://a.example/");
    for (const int32_t line : {0, 2}) {
        host_.selectedLine = line;
        lstStatus_DblClick(host_);
        if (line == 0) mnuFileOpenLocal_Click(host_, browser_);
        mnuFileOpenText_Click(host_);
        mnuResourceInfo_Click(host_);
        mnuCopyShortcut_Click(host_);
        mnuFileDelete_Click(host_);
    }
    EXPECT_EQ(desktop_.openedUrls.size() + desktop_.browserPages.size() + desktop_.openedDocuments.size() +
                  desktop_.startedPrograms.size() + desktop_.clipboard.size(),
              0u);
    EXPECT_EQ(ReportLocations(), (std::vector<std::string>{
                                     "lstStatus_DblClick", "mnuFileOpenText_Click", "mnuResourceInfo_Click",
                                     "frmMain:mnuCopyShortcut_Click", "frmMain:mnuFileDelete_Click"}));
    EXPECT_FALSE(dir_.Exists("loftwick/loftwick_temp.txt"));
}

TEST_F(ViewCommandsTest, LocalCopyIsSavedOnceAndShownInTheBrowserATextCopyOpensAsDocument) {
    Select("http://www.example.com/dir/page.html", "first");
    mnuFileOpenLocal_Click(host_, browser_);
    const std::string saved = root() + "/www.example.com/dir/page.html";
    EXPECT_EQ(desktop_.browserPages, std::vector<std::string>{saved});
    EXPECT_EQ(dir_.ReadFile("out/www.example.com/dir/page.html"), "first");

    Select("http://www.example.com/dir/page.html", "second");
    mnuFileOpenLocal_Click(host_, browser_);
    EXPECT_EQ(desktop_.browserPages, (std::vector<std::string>{saved, saved}));
    EXPECT_EQ(dir_.ReadFile("out/www.example.com/dir/page.html"), "first");
    EXPECT_TRUE(desktop_.openedDocuments.empty());  // never the generic opener
    // The text copy goes into reserved files and opens as a document.
    Select("http://www.example.com/app.exe", "MZ body");
    mnuFileOpenText_Click(host_);
    mnuFileOpenText_Click(host_);
    EXPECT_EQ(desktop_.openedDocuments, (std::vector<std::string>{dir_ / "loftwick/loftwick_temp.txt",
                                                                  dir_ / "loftwick/loftwick_temp1.txt"}));
    EXPECT_EQ(dir_.ReadFile("loftwick/loftwick_temp.txt"), "MZ body");
    EXPECT_EQ(dir_.ReadFile("loftwick/loftwick_temp1.txt"), "MZ body");
    // A failed copy opens nothing and leaves no empty file.
    Select("http://www.example.com/a.txt")->failCopy = true;
    mnuFileOpenText_Click(host_);
    EXPECT_EQ(desktop_.openedDocuments.size(), 2u);
    EXPECT_FALSE(dir_.Exists("loftwick/loftwick_temp2.txt"));
    EXPECT_EQ(ReportLocations(), std::vector<std::string>{"clsCacheWinProxy:clsCache_FileCopy"});
}

TEST_F(ViewCommandsTest, ResourceInfoShowsTheStoredMetadata) {
    auto object =
        Add("http://www.example.com/caf\xE9.html", "text/html; charset=iso-8859-1", std::string(31, 'c'));
    object->file = "/cache/www.example.com/3f2a_page.html";
    object->retrieved = MakeDate(2024, 11, 26, 10, 0, 0);
    object->modified = MakeDate(2024, 10, 27, 8, 5, 9);
    object->reportedLength = 4096;
    mnuResourceInfo_Click(host_);
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0].title, "Cached resource info");
    EXPECT_EQ(desktop_.messages[0].text,
              "URL: http://www.example.com/caf\xC3\xA9.html\r\n"
              "Content type: text/html; charset=iso-8859-1\r\n"
              "Retrieved: 2024-11-26 10:00:00\r\n"
              "Modified:   2024-10-27 08:05:09\r\n"
              "Actual content size: 31 bytes\r\n"
              "Reported size:          4096 bytes\r\n"
              "Cache file name: 3f2a_page.html");
}

// Web addresses go to the opener, local pages to a web browser; when none starts, the report names every
// one tried, and the fallback hands the generic opener a folder, never a saved program.
TEST_F(ViewCommandsTest, NavigateSendsWebAddressesAndLocalPagesTheirOwnWay) {
    browser_.Navigate("");
    browser_.Navigate("https://example.com/", 1);
    browser_.Navigate(dir_ / "out/page.html", 1);
    EXPECT_EQ(desktop_.openedUrls, std::vector<std::string>{"https://example.com/"});
    EXPECT_EQ(desktop_.browserPages, std::vector<std::string>{dir_ / "out/page.html"});
    desktop_.openSucceeds = false;
    desktop_.browsersTried = {"w3m", "x-www-browser"};
    dir_.WriteFile("out/saved.exe", "MZ");
    browser_.Navigate(dir_ / "out");
    browser_.Navigate(dir_ / "out/saved.exe");
    EXPECT_EQ(desktop_.openedDocuments, std::vector<std::string>{dir_ / "out"});
    EXPECT_TRUE(desktop_.startedPrograms.empty());
    ASSERT_EQ(ReportLocations(), (std::vector<std::string>{"clsBrowser:Navigate", "clsBrowser:Navigate"}));
    const std::string& report = desktop_.messages[1].text;
    EXPECT_NE(report.find("show this address (tried: w3m, x-www-browser)"), std::string::npos) << report;
    EXPECT_NE(report.find("URL: '" + dir_ / "out/saved.exe" + "'"), std::string::npos) << report;
}

}  // namespace
}  // namespace loftwick::test
