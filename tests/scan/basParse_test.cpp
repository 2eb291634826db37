#include "scan/basParse.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/TableCheck.h"

namespace loftwick {
namespace {

// The filter's terms as parsed, and its score once the contents search marked the words found.
TEST(ParseFilter, TermsAndScores) {
    ParsedFilter f;
    const auto call = [&](const std::string& found, std::string text) {
        const bool generated = text.starts_with("<");
        if (generated) {
            const int n = std::stoi(text.substr(1));
            text.clear();
            for (int i = 1; i <= n; ++i) text += "W" + std::to_string(i) + " ";
        }
        EXPECT_TRUE(ParseFilter(text, f));
        EXPECT_EQ(f.Words.size(), static_cast<size_t>(f.Count));
        EXPECT_EQ(f.Found.size(), static_cast<size_t>(f.Count));
        std::string terms;
        for (int32_t i = 0; i < f.Count && !generated; ++i)
            terms += (f.Required[i] ? "+" : "") + std::string(f.Excluded[i] ? "!" : "") + f.Words[i] + " ~ ";
        // What the contents search does: every mark cleared, then set for each word found.
        f.Found.assign(f.Found.size(), true);
        ResetFilterFound(f);
        for (int32_t i = 0; i < f.Count; ++i) {
            std::istringstream words(found);
            for (std::string word; std::getline(words, word, '|');)
                f.Found[i] = f.Found[i] || word == "*" || word == f.Words[i];
        }
        return terms.substr(0, terms.size() - std::min<size_t>(terms.size(), 2)) + "= " +
               std::to_string(FilterScore(f));
    };
    EXPECT_EQ(test::CheckTable("scan/Filters.txt", call), 30);
}

}  // namespace
}  // namespace loftwick
