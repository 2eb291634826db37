#include "results/clsSearchResults.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "results/SaveTestSupport.h"

namespace loftwick {
namespace {

class SearchResults : public ::testing::Test {
  protected:
    void AddAll(const std::vector<std::string>& urls) {
        for (const auto& url : urls) results.Add(std::make_shared<test::FakeCache>(url, "", "", &destroyed));
    }
    std::vector<std::string> Urls() const {
        std::vector<std::string> urls;
        for (int64_t i = 1; i <= results.Count(); ++i) urls.push_back(results.Item(i)->ObjectName());
        return urls;
    }

    int destroyed = 0;
    clsSearchResults results;
};

TEST_F(SearchResults, ResultsAreNumberedFromOneInTheOrderAddedAndSharedNotCopied) {
    EXPECT_EQ(results.Item(1), nullptr);
    auto second = std::make_shared<test::FakeCache>("http://b/");
    AddAll({"http://a/"});
    results.Add(second);
    EXPECT_EQ(results.Count(), 2);
    EXPECT_EQ(results.Item(2), second);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://a/", "http://b/"}));
    for (int64_t index : {int64_t{0}, int64_t{3}, int64_t{-1}, INT64_MAX, INT64_MIN}) {
        EXPECT_EQ(results.Item(index), nullptr) << index;
        results.Remove(index);
    }
    EXPECT_EQ(results.Count(), 2);
}

TEST_F(SearchResults, RemovingMovesTheLaterResultsDownAndReleasesTheObject) {
    AddAll({"http://1/", "http://2/", "http://3/"});
    results.Remove(2);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://1/", "http://3/"}));
    EXPECT_EQ(destroyed, 1);
    results.Remove(2);
    results.Remove(1);
    EXPECT_EQ(results.Count(), 0);
    AddAll({"http://again/"});
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://again/"}));
}

TEST_F(SearchResults, ClearAndDestructionReleaseEveryObjectNotHeldElsewhere) {
    AddAll({"http://1/", "http://2/"});
    auto keptByACommand = results.Item(1);
    results.Clear();
    EXPECT_EQ(results.Count(), 0);
    EXPECT_EQ(destroyed, 1);  // the other reference keeps the first alive
    EXPECT_EQ(keptByACommand->ObjectName(), "http://1/");
    AddAll({"http://3/"});
    EXPECT_EQ(results.Item(1)->ObjectName(), "http://3/");
    {
        clsSearchResults local;
        local.Add(std::make_shared<test::FakeCache>("http://a/", "", "", &destroyed));
    }
    EXPECT_EQ(destroyed, 2);
}

// ---- The number a list line begins with

TEST(ResultNumberOfLine, OnlyANumberBeforeTheFirstBlankCountsAndNothingFails) {
    const std::pair<std::string, int64_t> cases[] = {
        {"7 http://example.org/a.gif : 2024-12-06 10:00:00 : 1234", 7},
        {"7 85% http://example.org/a.gif : 2024-12-06 10:00:00 : 1234", 7},
        {"501 http://x/ : 2024-12-06 : 0", 501},
        {"", 0},
        {"WinProxy cache at /var/cache/winproxy/", 0},
        {"OK! 12 of 900 files selected, 41 seconds", 0},
        {"Warning! 3 files were not found in cache.", 0},
        {"12", 0},               // no blank at all
        {" 12 http://x/", 0},    // the blank comes first
        {"12\thttp://x/ y", 0},  // a tab is not the blank
        {"12a http://x/", 0},
        {"-3 x", -3},  // numeric; the caller treats it as no result
        {"6.5 x", 6},  // halves to even
        {"2147483647 x", 2147483647},
        {"2147483648 x", 0},  // beyond 32 bits: zero instead of a failure
        {std::string(400, '9') + " x", 0},
        {"1e999 x", 0},
    };
    for (const auto& [line, number] : cases) EXPECT_EQ(ResultNumberOfLine(line), number) << line;
}

}  // namespace
}  // namespace loftwick
