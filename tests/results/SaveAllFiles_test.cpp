#include <gtest/gtest.h>

#include "results/SaveObjects.h"
#include "results/SaveTestSupport.h"

namespace loftwick::test {
namespace {

TEST_F(SaveFixture, EveryResultIsSavedWithProgressAndASummaryTheChosenOneWhereTheUserSays) {
    SaveAllFiles(host_, "tree");
    EXPECT_EQ(host_.statuses, std::vector<std::string>{"Saved 0 of 0 files, 0 failed"});
    EXPECT_FALSE(dir_.Exists("out"));
    host_.statuses.clear();
    Add("http://h/a/1.gif", "image/gif");
    Add("http://h/b/2.gif", "image/gif");
    Add("http://g/3.txt", "text/plain");
    host_.current = 0;

    mnuSaveDomain_Click(host_);

    EXPECT_EQ(dir_.ReadFile("out/h/1.gif"), "content");
    EXPECT_EQ(dir_.ReadFile("out/h/2.gif"), "content");
    EXPECT_EQ(dir_.ReadFile("out/g/3.txt"), "content");
    EXPECT_EQ(host_.statuses, (std::vector<std::string>{"Saving 1 of 3", "Saving 2 of 3", "Saving 3 of 3",
                                                        "Saved 3 of 3 files, 0 failed"}));
    EXPECT_EQ(host_.eventsRun, 3);
    EXPECT_EQ(host_.current, 3);
    ASSERT_FALSE(desktop_.busyChanges.empty());
    EXPECT_TRUE(desktop_.busyChanges.front());
    EXPECT_FALSE(desktop_.busyChanges.back());
    // Save to the tree saves the current result, and with none nothing.
    mnuSaveTree_Click(host_);
    host_.current = 0;
    mnuSaveTree_Click(host_);
    EXPECT_EQ(host_.statuses.back(), "Saved to " + (dir_ / "out/g/3.txt"));

    // Save: no selected result asks nothing, a cancelled dialog saves nothing, one beyond them is reported.
    Add("proto://server:81/a/b.gif?x=1#top", "image/gif", "picture");
    host_.current = 0;
    host_.dirPrev = "/somewhere/before/";
    host_.selectedLine = 0;
    mnuFileSave_Click(host_);
    EXPECT_TRUE(desktop_.fileDialogs.empty());
    EXPECT_EQ(host_.current, 0);
    host_.selectedLine = 4;
    mnuFileSave_Click(host_);
    EXPECT_EQ(host_.dirPrev, "/somewhere/before/");
    dir_.MakeDirs("chosen");
    desktop_.fileDialogAnswers = {dir_ / "chosen/pic.gif"};
    mnuFileSave_Click(host_);
    ASSERT_EQ(desktop_.fileDialogs.size(), 2u);
    EXPECT_EQ(desktop_.fileDialogs[1].fileName, "b.gif?x=1#top");
    EXPECT_EQ(desktop_.fileDialogs[1].initialFolder, "/somewhere/before/");
    EXPECT_EQ(dir_.ReadFile("chosen/pic.gif"), "picture");
    EXPECT_EQ(host_.dirPrev, dir_ / "chosen/");
    EXPECT_EQ(host_.current, 4);
    host_.selectedLine = 9;
    mnuFileSave_Click(host_);
    EXPECT_EQ(desktop_.fileDialogs.size(), 2u);
    EXPECT_EQ(ReportLocations(), std::vector<std::string>{"mnuFileSave_Click"});
}

// While events run: a second Save All only beeps; results cleared count as failures.
TEST_F(SaveFixture, WhileEventsRun) {
    Add("http://h/1.gif", "image/gif");
    Add("http://h/2.gif", "image/gif");
    int nested = 0;
    host_.onEvents = [&] {
        ++nested;
        SaveAllFiles(host_, "none");
    };
    SaveAllFiles(host_, "tree");
    EXPECT_EQ(nested, 2);
    EXPECT_EQ(desktop_.beeps, 2);
    EXPECT_FALSE(dir_.Exists("out/1.gif"));
    EXPECT_TRUE(dir_.Exists("out/h/2.gif"));
    EXPECT_EQ(host_.statuses.back(), "Saved 2 of 2 files, 0 failed");

    Add("http://h/3.gif", "image/gif");
    host_.onEvents = [&] {
        if (host_.statuses.back() == "Saving 2 of 3") host_.results.Clear();
    };
    SaveAllFiles(host_, "domain");
    EXPECT_TRUE(dir_.Exists("out/h/1.gif"));
    EXPECT_FALSE(dir_.Exists("out/h/3.gif"));
    EXPECT_EQ(host_.statuses.back(), "Saved 1 of 3 files, 2 failed");
}

}  // namespace
}  // namespace loftwick::test
