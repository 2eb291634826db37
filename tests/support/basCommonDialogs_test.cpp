// The open-file dialog through the desktop.
#include "support/basCommonDialogs.h"

#include <gtest/gtest.h>

#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(DialogFilter, PackedPairsEndAtTheDoubleNul) {
    EXPECT_EQ(ParseDialogFilter(std::string("All Files\0*.*\0\0", 15)), (Pairs{{"All Files", "*.*"}}));
    EXPECT_EQ(ParseDialogFilter(std::string("Pages\0*.htm;*.html\0Text\0*.txt\0\0Ignored\0*.x\0", 43)),
              (Pairs{{"Pages", "*.htm;*.html"}, {"Text", "*.txt"}}));
    EXPECT_EQ(ParseDialogFilter(std::string("Lonely\0", 7)), Pairs{});
    EXPECT_EQ(ParseDialogFilter(""), Pairs{});
}

class OpenDialogTest : public test::ProgramFixture {
  protected:
    OpenDialogTest() { Platform().desktop = &desktop_; }
    test::ScriptedDesktop desktop_;
    std::string filter_ = std::string("All Files\0*.*\0\0", 15);
    std::string folder_ = "/srv/cache/";
};

TEST_F(OpenDialogTest, ChosenFileComesBackCutAtItsFirstNul) {
    desktop_.fileDialogAnswers.push_back(std::string("/srv/cache/a.htm\0junk", 21));
    std::string name = "  proposed.htm  ";
    EXPECT_NE(ShowOpenDialog(name, "Open", filter_, folder_), 0);
    EXPECT_EQ(name, "/srv/cache/a.htm");
    ASSERT_EQ(desktop_.fileDialogs.size(), 1u);
    EXPECT_EQ(desktop_.fileDialogs[0].fileName, "proposed.htm");
    EXPECT_EQ(desktop_.fileDialogs[0].title, "Open");
    EXPECT_EQ(desktop_.fileDialogs[0].initialFolder, "/srv/cache/");
    EXPECT_EQ(desktop_.fileDialogs[0].filters, (Pairs{{"All Files", "*.*"}}));
    EXPECT_EQ(ShowOpenDialog(name, "Open", filter_, folder_), 0);  // cancelled
    EXPECT_EQ(name, "");
}

}  // namespace
}  // namespace loftwick
