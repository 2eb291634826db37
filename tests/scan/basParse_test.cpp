#include "scan/basParse.h"

#include <gtest/gtest.h>

#include <sstream>

namespace loftwick {
namespace {

std::string Words(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "W" + std::to_string(i) + " ";
    return text;
}

struct FilterRow {
    std::string text;
    std::string terms;  // the parsed words: "+" required, "!" excluded, joined by " | "; "?" not checked
    std::string found;  // the words the contents hold, joined by "|"; "*" all of them
    int16_t score;
};

// One filter object for every row: parsing a new text empties it first.
TEST(ParseFilter, TermsAndScores) {
    const FilterRow rows[] = {
        {"", "", "A", 0},
        {" ,;/[]{}*! .", "", "", 0},
        {"apple +", "APPLE", "APPLE", 100},
        {"apple -", "APPLE", "", 0},
        {"- pie", "!PIE", "", 100},
        {"- pie", "!PIE", "PIE", 0},
        {"+apple - pie x:y", "+APPLE | !PIE | X | : | Y", "APPLE", 40},
        // A glued minus excludes when it begins a typed word; numbers stay words, and a minus cut out of a
        // word stays part of the word to find.
        {"+apple -pie", "+APPLE | !PIE", "APPLE", 100},
        {"-pie cake", "!PIE | CAKE", "CAKE", 100},
        {"a,-b;-c", "A | !B | !C", "A", 100},
        {"a,-b;-c", "A | !B | !C", "A|B", 0},
        {"e-mail", "E | -MAIL", "E|-MAIL", 100},
        {"x-ray -e-mail", "X | -RAY | !E | -MAIL", "X", 50},
        {"-5 -3.14 -.5", "-5 | -3.14 | -.5", "-5", 33},
        {"3.14 x1.2", "3.14 | X1 | 2", "", 0},
        {"(a='b')", "( | A | = | ' | B | ' | )", "", 0},
        {"say \"hello world\"", "SAY | HELLO WORLD", "HELLO WORLD", 50},
        {"-\"a \"\"b\"\"\"", "!A \"B\"", "", 100},
        {"#no end", "NO END", "", 0},
        {"x \"\" y", "X | Y", "Y", 50},
        {"+a b c", "+A | B | C", "A", 33},
        {"+a b c", "?", "B|C", 0},
        {Words(12), "?", "W1|W5|W12", 25},
        {Words(13), "?", "W1|W5|W13", 23},
        {Words(5), "?", "W2", 20},
        {Words(4), "?", "W2", 25},
        // Halves round to even: 2.5, 7.5, and weights of 62.5 become 62.
        {Words(40), "?", "W1", 2},
        {Words(40), "?", "W1|W2|W3", 8},
        {Words(160), "?", "*", 99},
        {Words(600), "?", "*", 100},  // 600 weights of 17 add up to 10200
    };
    ParsedFilter f;
    for (const FilterRow& row : rows) {
        SCOPED_TRACE("\"" + row.text.substr(0, 40) + "\" holding " + row.found);
        ASSERT_TRUE(ParseFilter(row.text, f));
        ASSERT_EQ(f.Words.size(), static_cast<size_t>(f.Count));
        ASSERT_EQ(f.Found.size(), static_cast<size_t>(f.Count));
        std::string terms;
        for (int32_t i = 0; i < f.Count; ++i) {
            terms += std::string(i ? " | " : "") + (f.Required[i] ? "+" : "") + (f.Excluded[i] ? "!" : "");
            terms += f.Words[i];
        }
        EXPECT_TRUE(row.terms == "?" || terms == row.terms) << terms;
        // What the contents search does: every mark cleared, then set for each word found.
        f.Found.assign(f.Found.size(), true);
        ResetFilterFound(f);
        for (int32_t i = 0; i < f.Count; ++i) {
            std::istringstream found(row.found);
            for (std::string word; std::getline(found, word, '|');)
                f.Found[i] = f.Found[i] || word == "*" || word == f.Words[i];
        }
        EXPECT_EQ(FilterScore(f), row.score);
    }
}

}  // namespace
}  // namespace loftwick
