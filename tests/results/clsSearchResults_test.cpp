#include "results/clsSearchResults.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace loftwick {
namespace {

// A cache object that is only told apart by its URL, and notes when it is destroyed.
class FakeCache final : public clsCache {
public:
    explicit FakeCache(std::string url, int* destroyed = nullptr)
        : url_(std::move(url)), destroyed_(destroyed) {}
    ~FakeCache() override {
        if (destroyed_) ++*destroyed_;
    }
    int32_t ProxyType() const override { return 1; }
    std::string fileName() const override { return ""; }
    void setFileName(const std::string&) override {}
    bool TakeMetadata(const uint8_t*, size_t) override { return false; }
    OleDate DateModified() const override { return {}; }
    OleDate DateRetrieved() const override { return {}; }
    int32_t AgeRetrieved() const override { return 0; }
    bool FixFileTime() override { return false; }
    bool SetFileTTL(int32_t) override { return false; }
    bool FixFileName() override { return false; }
    int64_t ContentLen() const override { return 0; }
    int64_t ContentLenActual() const override { return 0; }
    std::string ContentType() const override { return ""; }
    std::string ObjectName() const override { return url_; }
    std::string Host() const override { return ""; }
    bool DeleteIfAged() override { return false; }
    bool Delete() override { return false; }
    bool FindInContents(ParsedFilter&, int64_t) override { return false; }
    bool MetaGathered() const override { return true; }
    bool StillSameFile() const override { return true; }
    bool FileCopy(const std::string&) override { return false; }

private:
    std::string url_;
    int* destroyed_;
};

class SearchResults : public ::testing::Test {
protected:
    // Adds objects named by their URLs and hands back only the collection's references.
    void AddAll(const std::vector<std::string>& urls) {
        for (const auto& url : urls) results.Add(std::make_shared<FakeCache>(url, &destroyed));
    }
    std::vector<std::string> Urls() const {
        std::vector<std::string> urls;
        for (int64_t i = 1; i <= results.Count(); ++i) urls.push_back(results.Item(i)->ObjectName());
        return urls;
    }

    int destroyed = 0;
    clsSearchResults results;
};

TEST_F(SearchResults, ANewCollectionIsEmpty) {
    EXPECT_EQ(results.Count(), 0);
    EXPECT_EQ(results.Item(0), nullptr);
    EXPECT_EQ(results.Item(1), nullptr);
}

TEST_F(SearchResults, ResultsAreNumberedFromOneInTheOrderAdded) {
    auto second = std::make_shared<FakeCache>("http://b/");
    results.Add(std::make_shared<FakeCache>("http://a/"));
    results.Add(second);
    EXPECT_EQ(results.Count(), 2);
    EXPECT_EQ(results.Item(2), second);  // shared, not copied
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://a/", "http://b/"}));
}

TEST_F(SearchResults, IndexesOutsideOneToCountGiveNull) {
    AddAll({"http://a/", "http://b/"});
    for (int64_t index : {int64_t{0}, int64_t{3}, int64_t{-1}, INT64_MAX, INT64_MIN}) {
        EXPECT_EQ(results.Item(index), nullptr) << index;
    }
}

TEST_F(SearchResults, RemovingTheSecondOfThreeMovesTheThirdDownAndReleasesIt) {
    AddAll({"http://1/", "http://2/", "http://3/"});
    results.Remove(2);
    EXPECT_EQ(results.Count(), 2);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://1/", "http://3/"}));
    EXPECT_EQ(destroyed, 1);
}

TEST_F(SearchResults, RemovingTheOnlyResultLeavesAnEmptyCollection) {
    AddAll({"http://only/"});
    results.Remove(1);
    EXPECT_EQ(results.Count(), 0);
    EXPECT_EQ(results.Item(1), nullptr);
    AddAll({"http://again/"});
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://again/"}));
}

TEST_F(SearchResults, RemovingOutsideOneToCountChangesNothing) {
    AddAll({"http://1/", "http://2/", "http://3/"});
    for (int64_t index : {int64_t{0}, int64_t{4}, int64_t{-1}, INT64_MAX, INT64_MIN}) results.Remove(index);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://1/", "http://2/", "http://3/"}));
    EXPECT_EQ(destroyed, 0);
}

TEST_F(SearchResults, ClearReleasesEveryObjectAndNumberingStartsAgain) {
    AddAll({"http://1/", "http://2/"});
    auto keptByACommand = results.Item(1);
    results.Clear();
    EXPECT_EQ(results.Count(), 0);
    EXPECT_EQ(destroyed, 1);  // the other reference keeps the first alive
    EXPECT_EQ(keptByACommand->ObjectName(), "http://1/");
    AddAll({"http://3/"});
    EXPECT_EQ(results.Item(1)->ObjectName(), "http://3/");
}

TEST(SearchResultsLifetime, DestroyingTheCollectionReleasesItsObjects) {
    int destroyed = 0;
    {
        clsSearchResults results;
        results.Add(std::make_shared<FakeCache>("http://a/", &destroyed));
        results.Add(std::make_shared<FakeCache>("http://b/", &destroyed));
    }
    EXPECT_EQ(destroyed, 2);
}

// ---- The number a list line begins with

TEST(ResultNumberOfLine, AResultLineGivesItsNumberWithOrWithoutAScore) {
    EXPECT_EQ(ResultNumberOfLine("7 http://example.org/a.gif : 2024-12-06 10:00:00 : 1234"), 7);
    EXPECT_EQ(ResultNumberOfLine("7 85% http://example.org/a.gif : 2024-12-06 10:00:00 : 1234"), 7);
    EXPECT_EQ(ResultNumberOfLine("501 http://x/ : 2024-12-06 : 0"), 501);
}

TEST(ResultNumberOfLine, ReportAndInformationLinesGiveZero) {
    EXPECT_EQ(ResultNumberOfLine(""), 0);
    EXPECT_EQ(ResultNumberOfLine("WinProxy cache at /var/cache/winproxy/"), 0);
    EXPECT_EQ(ResultNumberOfLine("OK! 12 of 900 files selected, 41 seconds"), 0);
    EXPECT_EQ(ResultNumberOfLine("Warning! 3 files were not found in cache."), 0);
    EXPECT_EQ(ResultNumberOfLine("Ended with error(s). 5 of 200 files selected, 3 seconds"), 0);
}

TEST(ResultNumberOfLine, TheNumberMustStandBeforeAFirstBlank) {
    EXPECT_EQ(ResultNumberOfLine("12"), 0);               // no blank at all
    EXPECT_EQ(ResultNumberOfLine(" 12 http://x/"), 0);    // the blank comes first
    EXPECT_EQ(ResultNumberOfLine("12\thttp://x/ y"), 0);  // a tab is not the blank
    EXPECT_EQ(ResultNumberOfLine("12a http://x/"), 0);
}

TEST(ResultNumberOfLine, OtherNumbersAreRoundedAndThoseBeyond32BitsGiveZeroInsteadOfFailing) {
    EXPECT_EQ(ResultNumberOfLine("-3 x"), -3);  // numeric; the caller treats it as no result
    EXPECT_EQ(ResultNumberOfLine("6.5 x"), 6);  // halves to even
    EXPECT_EQ(ResultNumberOfLine("2147483647 x"), 2147483647);
    EXPECT_EQ(ResultNumberOfLine("2147483648 x"), 0);
    EXPECT_EQ(ResultNumberOfLine(std::string(400, '9') + " x"), 0);
    EXPECT_EQ(ResultNumberOfLine("1e999 x"), 0);
}

}  // namespace
}  // namespace loftwick
