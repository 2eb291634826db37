#include "results/FixNameForLocal.h"

#include <gtest/gtest.h>

#include <tuple>

#include "results/SaveTestSupport.h"

namespace loftwick::test {
namespace {

class FixNameForLocalTest : public SaveFixture {
  protected:
    std::string Local(const std::string& url, const std::string& contentType) {
        Add(url, contentType);
        return FixNameForLocal(host_, host_.results.Count());
    }
};

TEST_F(FixNameForLocalTest, UrlsGiveRelativeBackslashPaths) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"proto://server:81/a/b.gif?x=1#top", "image/gif", "server_81\\a\\x_1_b.gif"},
        {"proto://server/dir/", "text/html", "server\\dir\\index.html"},
        {"proto://server/cgi/run.cgi?a=1&b=2", "text/html", "server\\cgi\\a_1&b_2_run.cgi.html"},
        {"proto://server/readme", "text/plain", "server\\readme.txt"},
        // The query becomes a name prefix with its separators flattened, and is checked against the
        // content type even with a usable extension; an empty query still asks for the check.
        {"http://h/p/q.asp?a=1/2\\3?4|5*6", "text/html", "h\\p\\a_1_2_3_4_5_6_q.asp"},
        {"http://h/pic.php?id=3", "image/png", "h\\id_3_pic.php.png"},
        {"http://h/pic.php?", "image/png", "h\\pic.php.png"},
        {"http://h/pic.php", "image/png", "h\\pic.php"},
        // The fragment is cut, even inside the query.
        {"http://h/a.gif#frag/x?y", "image/gif", "h\\a.gif"},
        {"http://h/a.gif?q#frag", "image/gif", "h\\q_a.gif"},
        {"http://h/#", "text/html", "h\\index.html"},
        // A colon is kept only in the first two places.
        {"c:/dir/x.gif", "image/gif", "c:\\dir\\x.gif"},
        {"http://[::1]:8080/x.gif", "image/gif", "[:_1]_8080\\x.gif"},
        // Without a scheme the URL is used from its first character.
        {"server/a.gif", "image/gif", "server\\a.gif"},
        {"/a/b.gif", "image/gif", "\\a\\b.gif"},
        {"   http://h/a.gif   ", "image/gif", "h\\a.gif"},
        // A question mark first leaves the query in the name.
        {"http://?a=b", "text/plain", "a_b.txt"},
        {"?x/y.gif", "image/gif", "x_y.gif"},
        // Backslashes before the query stay separators; the save step makes the ".." parts harmless.
        {"http://h/..\\..\\x.gif", "image/gif", "h\\..\\..\\x.gif"},
    };
    for (const auto& [url, type, local] : cases) EXPECT_EQ(Local(url, type), local) << url;
}

TEST_F(FixNameForLocalTest, MissingResultIsReportedWithTheUrlAndGivesEmpty) {
    EXPECT_EQ(FixNameForLocal(host_, 3), "");
    EXPECT_EQ(ReportLocations(), std::vector<std::string>{"frmMain:FixNameForLocal"});
    EXPECT_NE(desktop_.messages.at(0).text.find("file name: ''"), std::string::npos);
}

}  // namespace
}  // namespace loftwick::test
