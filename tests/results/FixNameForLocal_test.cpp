#include "results/FixNameForLocal.h"

#include <gtest/gtest.h>

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

TEST_F(FixNameForLocalTest, WorkedExamplesGiveRelativeBackslashPaths) {
    EXPECT_EQ(Local("proto://server:81/a/b.gif?x=1#top", "image/gif"), "server_81\\a\\x_1_b.gif");
    EXPECT_EQ(Local("proto://server/dir/", "text/html"), "server\\dir\\index.html");
    EXPECT_EQ(Local("proto://server/cgi/run.cgi?a=1&b=2", "text/html"), "server\\cgi\\a_1&b_2_run.cgi.html");
    EXPECT_EQ(Local("proto://server/readme", "text/plain"), "server\\readme.txt");
}

TEST_F(FixNameForLocalTest, QueryBecomesANamePrefixWithItsSeparatorsFlattened) {
    EXPECT_EQ(Local("http://h/p/q.asp?a=1/2\\3?4|5*6", "text/html"), "h\\p\\a_1_2_3_4_5_6_q.asp");
    // The query is checked against the content type even with a usable extension.
    EXPECT_EQ(Local("http://h/pic.php?id=3", "image/png"), "h\\id_3_pic.php.png");
    // An empty query still asks for the check.
    EXPECT_EQ(Local("http://h/pic.php?", "image/png"), "h\\pic.php.png");
    EXPECT_EQ(Local("http://h/pic.php", "image/png"), "h\\pic.php");
}

TEST_F(FixNameForLocalTest, FragmentIsCutEvenInsideTheQuery) {
    EXPECT_EQ(Local("http://h/a.gif#frag/x?y", "image/gif"), "h\\a.gif");
    EXPECT_EQ(Local("http://h/a.gif?q#frag", "image/gif"), "h\\q_a.gif");
    EXPECT_EQ(Local("http://h/#", "text/html"), "h\\index.html");
}

TEST_F(FixNameForLocalTest, ColonIsKeptOnlyInTheFirstTwoPlaces) {
    EXPECT_EQ(Local("c:/dir/x.gif", "image/gif"), "c:\\dir\\x.gif");
    EXPECT_EQ(Local("http://host:8080/x.gif", "image/gif"), "host_8080\\x.gif");
    EXPECT_EQ(Local("http://[::1]:8080/x.gif", "image/gif"), "[:_1]_8080\\x.gif");
}

TEST_F(FixNameForLocalTest, UrlWithoutSchemeIsUsedFromItsFirstCharacter) {
    EXPECT_EQ(Local("server/a.gif", "image/gif"), "server\\a.gif");
    EXPECT_EQ(Local("/a/b.gif", "image/gif"), "\\a\\b.gif");
    EXPECT_EQ(Local("   http://h/a.gif   ", "image/gif"), "h\\a.gif");
}

TEST_F(FixNameForLocalTest, QuestionMarkFirstLeavesTheQueryInTheName) {
    EXPECT_EQ(Local("http://?a=b", "text/plain"), "a_b.txt");
    EXPECT_EQ(Local("?x/y.gif", "image/gif"), "x_y.gif");
}

TEST_F(FixNameForLocalTest, BackslashesBeforeTheQueryStaySeparators) {
    // The save step turns the ".." parts into harmless names; here they are only text.
    EXPECT_EQ(Local("http://h/..\\..\\x.gif", "image/gif"), "h\\..\\..\\x.gif");
}

TEST_F(FixNameForLocalTest, MissingResultIsReportedWithTheUrlAndGivesEmpty) {
    EXPECT_EQ(FixNameForLocal(host_, 3), "");
    EXPECT_EQ(ReportLocations(), std::vector<std::string>{"frmMain:FixNameForLocal"});
    EXPECT_NE(desktop_.messages.at(0).text.find("file name: ''"), std::string::npos);
}

}  // namespace
}  // namespace loftwick::test
