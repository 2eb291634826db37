// The "File contents:" field as anyone might type it: tokenising always moves forward and ends, the
// parsed terms keep their four lists in step, and any pattern of found words scores 0 to 100.
#include <string>

#include "FuzzInput.h"
#include "FuzzWorld.h"
#include "scan/basParse.h"

using namespace loftwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::TheWorld();
    fuzz::FieldReader input(data, size);
    const uint8_t foundBits = input.Byte();
    const std::string text = input.Rest();

    int32_t position = 1, start = 0;
    for (size_t tokens = 0;; ++tokens) {
        const int32_t before = position;
        const std::string token = GetNextWord(text, position, start);
        if (start == 0) break;
        FUZZ_REQUIRE(position > before && start >= before, "tokens move forward");
        FUZZ_REQUIRE(!token.empty() && token.size() <= text.size(), "a token is a piece of the text");
        FUZZ_REQUIRE(tokens <= text.size(), "there are no more tokens than characters");
    }

    ParsedFilter filter;
    ParseFilter(text, filter);
    const auto count = static_cast<size_t>(filter.Count);
    FUZZ_REQUIRE(filter.Count >= 0 && filter.Words.size() == count && filter.Excluded.size() == count &&
                     filter.Required.size() == count && filter.Found.size() == count,
                 "the term lists are Count long");
    for (const std::string& word : filter.Words)
        for (char c : word) FUZZ_REQUIRE(!(c >= 'a' && c <= 'z'), "search words are upper-case");

    bool requiredMissing = false, excludedPresent = false;
    for (size_t k = 0; k < count; ++k) {
        filter.Found[k] = (foundBits >> (k % 8)) & 1;
        requiredMissing = requiredMissing || (filter.Required[k] && !filter.Found[k]);
        excludedPresent = excludedPresent || (filter.Excluded[k] && filter.Found[k]);
    }
    const int16_t score = FilterScore(filter);
    // Each term weighs 10000 / Count rounded to a whole number, so beyond about a hundred terms the
    // rounding alone can carry a full house past 100; a score is a share up to there.
    FUZZ_REQUIRE(score >= 0 && (count > 100 || score <= 100), "a score is a share");
    if (count == 0 || requiredMissing || excludedPresent) FUZZ_REQUIRE(score == 0, "a broken rule scores 0");

    ResetFilterFound(filter);
    for (bool found : filter.Found) FUZZ_REQUIRE(!found, "reset clears every flag");
    return 0;
}
