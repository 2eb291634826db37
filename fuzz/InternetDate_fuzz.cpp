// HTTP date texts as servers send them, and as they should not: whatever the text, the answer is a date
// the rest of the program can format, compare and count days with.
#include <cmath>
#include <string>

#include "FuzzWorld.h"
#include "cache/StoredHeaders.h"
#include "support/OleDate.h"

using namespace loftwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::TheWorld();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const OleDate date = InternetDateTime2Date(text);
    FUZZ_REQUIRE(std::isfinite(date.Serial()), "a date is a number");
    // What a result line and the age filters do with it.
    FUZZ_REQUIRE(!FormatGeneralDate(date).empty() || date.IsZero(), "a date has a text");
    (void)DayBoundaries(date, OleDate(45632.0));
    (void)HourBoundaries(date, OleDate(45632.0));
    return 0;
}
