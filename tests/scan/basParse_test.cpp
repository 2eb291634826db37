#include "scan/basParse.h"

#include <gtest/gtest.h>

#include <vector>

namespace loftwick {
namespace {

std::string Tokens(const std::string& text) {
    std::string out;
    int32_t position = 1, start = 0;
    for (std::string token = GetNextWord(text, position, start); start != 0;
         token = GetNextWord(text, position, start)) {
        out += (out.empty() ? "" : " / ") + token;
    }
    return out;
}

TEST(GetNextWord, TokensOfTheTypedExamples) {
    EXPECT_EQ(Tokens("apple pie"), "APPLE / PIE");
    EXPECT_EQ(Tokens("+apple -pie"), "+ / APPLE / -PIE");
    EXPECT_EQ(Tokens("+apple - pie"), "+ / APPLE / - / PIE");
    EXPECT_EQ(Tokens("e-mail"), "E / -MAIL");
    EXPECT_EQ(Tokens("3.14 x1.2"), "3.14 / X1 / 2");
    EXPECT_EQ(Tokens("a:b"), "A / : / B");
    EXPECT_EQ(Tokens("say \"hello world\""), "SAY / \"HELLO WORLD\"");
    EXPECT_EQ(Tokens("x\"a \"\"b\"\" c\"y"), "X / \"A \"\"B\"\" C\" / Y");
    EXPECT_EQ(Tokens("#open ended  "), "#OPEN ENDED");
    EXPECT_EQ(Tokens(" ,;/[]{}*! ."), "");
    EXPECT_EQ(Tokens("(a='b')"), "( / A / = / ' / B / ' / )");
    EXPECT_EQ(Tokens("-5 -3.14 a.b"), "-5 / -3.14 / A / B");
}

TEST(GetNextWord, PositionsAreOneBasedAndPointPastTheToken) {
    int32_t position = 1, start = -1;
    EXPECT_EQ(GetNextWord("  apple pie  ", position, start), "APPLE");
    EXPECT_EQ(start, 3);
    EXPECT_EQ(position, 8);
    EXPECT_EQ(GetNextWord("  apple pie  ", position, start), "PIE");
    EXPECT_EQ(start, 9);
    EXPECT_EQ(GetNextWord("  apple pie  ", position, start), "");
    EXPECT_EQ(start, 0);
    EXPECT_EQ(position, 12);
    position = -7;  // nonsense in: read from the start
    EXPECT_EQ(GetNextWord("x", position, start), "X");
}

struct Term {
    std::string word;
    bool excluded = false, required = false;
    friend bool operator==(const Term&, const Term&) = default;
};

std::vector<Term> Parsed(const std::string& text) {
    ParsedFilter f;
    EXPECT_TRUE(ParseFilter(text, f));
    EXPECT_EQ(f.Words.size(), static_cast<size_t>(f.Count));
    EXPECT_EQ(f.Found.size(), static_cast<size_t>(f.Count));
    std::vector<Term> terms;
    for (int32_t i = 0; i < f.Count; ++i) terms.push_back({f.Words[i], f.Excluded[i], f.Required[i]});
    return terms;
}

TEST(ParseFilter, SignsEdgesEmptyTextsAndGluedMinus) {
    EXPECT_TRUE(Parsed("").empty());
    EXPECT_TRUE(Parsed("   ").empty());
    EXPECT_EQ(Parsed("apple +"), (std::vector<Term>{{"APPLE"}}));
    EXPECT_EQ(Parsed("apple -"), (std::vector<Term>{{"APPLE"}}));
    EXPECT_EQ(Parsed("- pie"), (std::vector<Term>{{"PIE", true}}));
    EXPECT_EQ(Parsed("+apple - pie x:y"),
              (std::vector<Term>{{"APPLE", false, true}, {"PIE", true}, {"X"}, {":"}, {"Y"}}));
    // A glued minus excludes too when it begins a typed word, but numbers stay words, and a minus cut
    // out of a word stays part of the word to find.
    EXPECT_EQ(Parsed("+apple -pie"), (std::vector<Term>{{"APPLE", false, true}, {"PIE", true}}));
    EXPECT_EQ(Parsed("-pie cherry"), (std::vector<Term>{{"PIE", true}, {"CHERRY"}}));
    EXPECT_EQ(Parsed("a,-b;-c"), (std::vector<Term>{{"A"}, {"B", true}, {"C", true}}));
    EXPECT_EQ(Parsed("e-mail"), (std::vector<Term>{{"E"}, {"-MAIL"}}));
    EXPECT_EQ(Parsed("x-ray -e-mail"), (std::vector<Term>{{"X"}, {"-RAY"}, {"E", true}, {"-MAIL"}}));
    EXPECT_EQ(Parsed("-5 -3.14 -.5"), (std::vector<Term>{{"-5"}, {"-3.14"}, {"-.5"}}));
}

TEST(ParseFilter, QuotedPhrasesLoseTheirQuotes) {
    EXPECT_EQ(Parsed("say \"hello world\""), (std::vector<Term>{{"SAY"}, {"HELLO WORLD"}}));
    EXPECT_EQ(Parsed("-\"a \"\"b\"\"\""), (std::vector<Term>{{"A \"B\"", true}}));
    EXPECT_EQ(Parsed("#no end"), (std::vector<Term>{{"NO END"}}));
    EXPECT_EQ(Parsed("x \"\" y"), (std::vector<Term>{{"X"}, {"Y"}}));
}

TEST(ParseFilter, ReparsingEmptiesTheFilterFirst) {
    ParsedFilter f;
    ASSERT_TRUE(ParseFilter("a b c", f));
    f.Found[1] = true;
    ASSERT_TRUE(ParseFilter("", f));
    EXPECT_EQ(f.Count, 0);
    EXPECT_TRUE(f.Words.empty() && f.Found.empty() && f.Excluded.empty() && f.Required.empty());
}

// Parses `text` and marks the words found in `body` as the cache object's contents search would.
int16_t Score(const std::string& text, const std::vector<std::string>& body) {
    ParsedFilter f;
    EXPECT_TRUE(ParseFilter(text, f));
    f.Found.assign(f.Found.size(), true);
    ResetFilterFound(f);
    for (int32_t i = 0; i < f.Count; ++i) {
        for (const std::string& word : body) f.Found[i] = f.Found[i] || word == f.Words[i];
    }
    return FilterScore(f);
}

std::string Words(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "W" + std::to_string(i) + " ";
    return text;
}

TEST(FilterScore, SharesOfSatisfiedTermsWithHalvesToEven) {
    EXPECT_EQ(Score("", {"A"}), 0);
    EXPECT_EQ(Score("- pie", {}), 100);
    EXPECT_EQ(Score("- pie", {"PIE"}), 0);
    EXPECT_EQ(Score("+a b c", {"A"}), 33);
    EXPECT_EQ(Score("+a b c", {"B", "C"}), 0);
    EXPECT_EQ(Score(Words(12), {"W1", "W5", "W12"}), 25);
    EXPECT_EQ(Score(Words(13), {"W1", "W5", "W13"}), 23);
    EXPECT_EQ(Score(Words(5), {"W2"}), 20);
    EXPECT_EQ(Score(Words(4), {"W2"}), 25);
    EXPECT_EQ(Score("-pie cake", {"CAKE"}), 100);
    // Halves round to even.
    EXPECT_EQ(Score(Words(40), {"W1"}), 2);              // 250 / 100 = 2.5
    EXPECT_EQ(Score(Words(40), {"W1", "W2", "W3"}), 8);  // 7.5
    std::vector<std::string> all;
    for (int i = 1; i <= 160; ++i) all.push_back("W" + std::to_string(i));
    EXPECT_EQ(Score(Words(160), all), 99);  // weight 62.5 becomes 62
}

TEST(FilterScore, ManyTermsAllFoundScoreAHundredNotMore) {
    ParsedFilter f;
    std::string text;
    for (int i = 0; i < 600; ++i) text += "w" + std::to_string(i) + " ";
    ASSERT_TRUE(ParseFilter(text, f));
    for (int32_t i = 0; i < f.Count; ++i) f.Found[static_cast<size_t>(i)] = true;
    EXPECT_EQ(FilterScore(f), 100);  // 600 weights of 17 add up to 10200
}

}  // namespace
}  // namespace loftwick
