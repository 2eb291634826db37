#include <gtest/gtest.h>

#include "results/SaveTestSupport.h"
#include "results/basDefaultNames.h"

namespace loftwick::test {
namespace {

class FixDefaultNameTest : public SaveFixture {
  protected:
    // The name for a single result of the given content type.
    std::string Fix(const std::string& path, const std::string& contentType, bool checkExtension) {
        host_.results.Clear();
        Add("http://server/any", contentType);
        return FixDefaultName(host_, path, 1, checkExtension);
    }
};

TEST_F(FixDefaultNameTest, KnownExtensionOfTheSameContentTypeIsKept) {
    EXPECT_EQ(Fix("server\\dir\\page.asp", "text/html", false), "server\\dir\\page.asp");
    EXPECT_EQ(Fix("server\\dir\\page.asp", "text/html", true), "server\\dir\\page.asp");
    EXPECT_EQ(Fix("server\\img\\pic.gif", "image/gif", true), "server\\img\\pic.gif");
}

TEST_F(FixDefaultNameTest, ExtensionOfAnotherContentTypeGetsTheRightOneOnRequest) {
    EXPECT_EQ(Fix("server\\img\\pic.php", "image/gif", true), "server\\img\\pic.php.gif");
    EXPECT_EQ(Fix("server\\img\\pic.php", "image/gif", false), "server\\img\\pic.php");
    // The table is case-sensitive, so an upper-case extension is not recognised.
    EXPECT_EQ(Fix("server\\PIC.GIF", "image/gif", true), "server\\PIC.GIF.gif");
}

TEST_F(FixDefaultNameTest, MissingOrUnusableExtensionComesFromTheContentType) {
    EXPECT_EQ(Fix("server\\readme", "text/plain", false), "server\\readme.txt");
    EXPECT_EQ(Fix("server\\readme", "application/x-unknown", false), "server\\readme.html");
    EXPECT_EQ(Fix("server\\readme", "", false), "server\\readme.html");
    EXPECT_EQ(Fix("server\\a.verylongext", "text/html", false), "server\\a.verylongext.html");
    EXPECT_EQ(Fix("server\\a.sixsix", "text/html", false), "server\\a.sixsix");
    EXPECT_EQ(Fix("server\\x.a&b", "text/html", false), "server\\x.a&b.html");
    EXPECT_EQ(Fix("server\\x.a;b", "image/png", false), "server\\x.a;b.png");
    EXPECT_EQ(Fix("server\\.htaccess", "text/html", false), "server\\.htaccess.html");
    EXPECT_EQ(Fix("c:readme", "text/plain", false), "c:\\readme.txt");  // a separator after the drive
}

TEST_F(FixDefaultNameTest, DotWithoutAnExtensionIsDropped) {
    EXPECT_EQ(Fix("server\\a.b c", "text/plain", false), "server\\a.txt");
    EXPECT_EQ(Fix("server\\page.", "text/html", false), "server\\page.html");
    EXPECT_EQ(Fix("server\\..", "text/html", false), "server\\..html");
}

TEST_F(FixDefaultNameTest, DirectoryGetsIndexWhenThePromptIsCancelled) {
    EXPECT_EQ(Fix("server\\dir\\", "text/html", false), "server\\dir\\index.html");
    ASSERT_EQ(desktop_.prompts.size(), 1u);
    EXPECT_EQ(desktop_.prompts[0].prompt, "server\\dir\\\r\nType name for default file: ");
    EXPECT_EQ(desktop_.prompts[0].title, Program().AppTitle);
    EXPECT_EQ(desktop_.prompts[0].defaultText, "");
    EXPECT_TRUE(host_.skipPrompt);
}

TEST_F(FixDefaultNameTest, AnsweredNameIsKeptAndItsExtensionReplacedByTheContentTypes) {
    host_.defaultName = "index.htm";
    desktop_.inputAnswers = {std::string("default.asp")};
    EXPECT_EQ(Fix("server\\dir\\", "image/gif", false), "server\\dir\\default.gif");
    EXPECT_EQ(desktop_.prompts.at(0).defaultText, "index.htm");
    EXPECT_EQ(host_.defaultName, "default.asp");
    EXPECT_FALSE(host_.skipPrompt);

    // Not skipped, so the next directory asks again, offering the last answer; cancelled, the stored
    // name still serves.
    EXPECT_EQ(Fix("server\\other\\", "text/html", false), "server\\other\\default.html");
    ASSERT_EQ(desktop_.prompts.size(), 2u);
    EXPECT_EQ(desktop_.prompts[1].defaultText, "default.asp");
    EXPECT_TRUE(host_.skipPrompt);
    EXPECT_EQ(host_.defaultName, "default.asp");
}

TEST_F(FixDefaultNameTest, WhileSkippedTheStoredNameServesWithoutAsking) {
    host_.skipPrompt = true;
    host_.defaultName = "main.html";
    EXPECT_EQ(Fix("server\\dir\\", "text/plain", false), "server\\dir\\main.txt");
    host_.defaultName = ".hidden";
    EXPECT_EQ(Fix("server\\dir\\", "text/plain", false), "server\\dir\\index.txt");
    host_.defaultName = "noext";
    EXPECT_EQ(Fix("\\", "text/html", false), "\\noext.html");
    EXPECT_TRUE(desktop_.prompts.empty());
}

TEST_F(FixDefaultNameTest, EmptyAnswerSkipsTheFollowingPrompts) {
    desktop_.inputAnswers = {std::string("")};
    EXPECT_EQ(Fix("a\\", "text/html", false), "a\\index.html");
    EXPECT_EQ(Fix("b\\", "text/html", false), "b\\index.html");
    EXPECT_EQ(desktop_.prompts.size(), 1u);
}

TEST_F(FixDefaultNameTest, ResultThatIsGoneIsReportedOnlyWhenItsContentTypeIsNeeded) {
    Add("http://server/x", "text/html");
    EXPECT_EQ(FixDefaultName(host_, "server\\x.gif", 7, false), "server\\x.gif");
    EXPECT_TRUE(desktop_.messages.empty());
    EXPECT_EQ(FixDefaultName(host_, "server\\x", 7, false), "");
    EXPECT_EQ(ReportLocations(), std::vector<std::string>{"frmMain:FixDefaultName"});
    EXPECT_NE(desktop_.messages.at(0).text.find("file name: 'server\\x'"), std::string::npos);
}

}  // namespace
}  // namespace loftwick::test
