#include "cache/StoredHeaders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/TestEnv.h"

namespace loftwick {
namespace {

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Describe(const StoredHeaderBlock& b) {
    std::ostringstream ss;
    // An absent header and a present one with an empty value are told apart: only the first has no date.
    ss << "url=" << b.url << "\ndate=" << (b.hasDate ? b.date : "(absent)")
       << "\nlastModified=" << (b.hasLastModified ? b.lastModified : "(absent)")
       << "\ncontentType=" << b.contentType << "\ncontentLength=" << b.contentLength
       << "\nheaderLength=" << b.headerLength << "\n";
    return ss.str();
}

// Each folder holds the start of a cache file (input.bin) and what the parse makes of it (expected.txt).
TEST(StoredHeaderBlock, GoldenCases) {
    const std::filesystem::path root =
        std::filesystem::path(LOFTWICK_SOURCE_DIR) / "tests/cache/golden/StoredHeaders";
    int cases = 0;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(Describe(ParseStoredHeaderBlock(Slurp(entry.path() / "input.bin"))),
                  Slurp(entry.path() / "expected.txt"));
        ++cases;
    }
    EXPECT_GE(cases, 10);
}

// Cut a complete block short at every length: nothing may read past the text, the URL appears only once
// its line is terminated, and the block ends only with enough text after it (two characters after the
// first LF of LF LF, three after the first CR of CR LF CR LF). The lead-in's line breaks are not read.
TEST(StoredHeaderBlock, EveryTruncationIsSafeAndEndsOnlyWhenTheBlockDoes) {
    const std::string lead("L\0\r\n\0EAD!", 9);
    const std::string url = "http://a/bcdef";
    struct Style {
        std::string sep, blockEnd;
        size_t lookahead;  // characters needed beyond the header length
    };
    for (const Style& style : {Style{"\n", "\n\n", 1}, Style{"\r\n", "\r\n\r\n", 0},
                               Style{std::string("\0\0\n", 3), std::string("\0\0\n\n", 4), 1}}) {
        const std::string head = lead + url + style.sep + "HTTP/1.0 200 OK" + style.sep + "Content-Length: 3";
        const std::string full = head + style.blockEnd + "abc";
        const int64_t wanted = static_cast<int64_t>((head + style.blockEnd).size());
        ASSERT_EQ(ParseStoredHeaderBlock(full).headerLength, wanted);
        for (size_t n = 0; n <= full.size(); ++n) {
            SCOPED_TRACE(testing::Message() << "length " << n << " separator size " << style.sep.size());
            const StoredHeaderBlock b = ParseStoredHeaderBlock(std::string(full.substr(0, n)));
            EXPECT_EQ(b.headerLength, n >= static_cast<size_t>(wanted) + style.lookahead ? wanted : 0);
            EXPECT_EQ(b.url.empty(), n <= lead.size() + url.size());
            if (!b.url.empty()) {
                EXPECT_EQ(b.url, url);
            }
        }
    }
}

TEST(StoredHeaderBlock, CarriageReturnTwoAfterACarriageReturnEndsTheBlock) {
    const std::string text = std::string(9, 'x') + "http://a/\r\nHTTP/1.0 200\r\nDate: d\r\n\r\nbody";
    EXPECT_EQ(ParseStoredHeaderBlock(text).headerLength, static_cast<int64_t>(text.size() - 4));
    // CR LF CR with only two characters after the first CR is not enough.
    EXPECT_EQ(ParseStoredHeaderBlock(text.substr(0, text.size() - 5)).headerLength, 0);
}

// The clock stands at 2024-12-06; two-digit years are read relative to it.
class InternetDate : public test::ProgramFixture {};

TEST_F(InternetDate, WorkedExamplesInMoscow1994) {
    test::ScopedTimeZone tz("Europe/Moscow");  // UTC+3 in 1994
    EXPECT_EQ(InternetDateTime2Date("Sun, 06 Nov 1994 08:49:37 GMT"), MakeDate(1994, 11, 6, 11, 49, 37));
    EXPECT_EQ(InternetDateTime2Date("Sun Nov  6 08:49:37 1994"), MakeDate(1994, 11, 6, 8, 49, 37));
    EXPECT_EQ(InternetDateTime2Date("Sunday, 06-Nov-94 08:49:37 GMT"), MakeDate(1994, 11, 6, 11, 49, 37));
    EXPECT_EQ(InternetDateTime2Date("  Sun, 06 Nov 1994 08:49:37 GMT  "), MakeDate(1994, 11, 6, 11, 49, 37));
    // Unknown or lower-case zones leave the time as written; only the first zone counts.
    EXPECT_EQ(InternetDateTime2Date("Sun, 06 Nov 1994 08:49:37 gmt"), MakeDate(1994, 11, 6, 8, 49, 37));
    EXPECT_EQ(InternetDateTime2Date("Sun, 06 Nov 1994 08:49:37 CET"), MakeDate(1994, 11, 6, 8, 49, 37));
    EXPECT_EQ(InternetDateTime2Date("Sun, 06 Nov 1994 08:49:37 +2400x"), MakeDate(1994, 11, 6, 8, 49, 37));
    EXPECT_EQ(InternetDateTime2Date("06 Nov 1994 08:49:37 GMT PST"), MakeDate(1994, 11, 6, 11, 49, 37));
}

TEST_F(InternetDate, UtcZonesFollowTheMachinesRulesNotAFixedShift) {
    // The test main runs in UTC: a GMT date is the wall clock as written.
    EXPECT_EQ(InternetDateTime2Date("Sun, 06 Nov 1994 08:49:37 GMT"), MakeDate(1994, 11, 6, 8, 49, 37));
    for (const char* zone : {"UTC", "UT", "Z"}) {
        EXPECT_EQ(InternetDateTime2Date(std::string("06 Nov 1994 08:49:37 ") + zone),
                  MakeDate(1994, 11, 6, 8, 49, 37));
    }
    test::ScopedTimeZone tz("America/New_York");
    EXPECT_EQ(InternetDateTime2Date("Tue, 15 Jul 2003 12:00:00 GMT"), MakeDate(2003, 7, 15, 8, 0, 0));
    EXPECT_EQ(InternetDateTime2Date("Wed, 15 Jan 2003 12:00:00 GMT"), MakeDate(2003, 1, 15, 7, 0, 0));
}

TEST_F(InternetDate, NamedAndNumericZonesUseTheirRealOffsets) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const auto at = [](const std::string& zone) {
        return InternetDateTime2Date("Tue, 15 Jul 2003 12:00:00 " + zone);
    };
    EXPECT_EQ(at("PDT"), MakeDate(2003, 7, 15, 21, 0, 0));  // 19:00 UTC, summer in Berlin
    EXPECT_EQ(at("EST"), MakeDate(2003, 7, 15, 19, 0, 0));
    EXPECT_EQ(at("CDT"), MakeDate(2003, 7, 15, 19, 0, 0));
    EXPECT_EQ(at("MST"), MakeDate(2003, 7, 15, 21, 0, 0));
    EXPECT_EQ(at("+0230"), MakeDate(2003, 7, 15, 11, 30, 0));
    EXPECT_EQ(at("-0500"), MakeDate(2003, 7, 15, 19, 0, 0));  // last token: the "-" stays with it
    EXPECT_EQ(InternetDateTime2Date("Wed, 15 Jan 2003 12:00:00 PDT"), MakeDate(2003, 1, 15, 20, 0, 0));
}

TEST_F(InternetDate, MissingPartsDefaultAndOutOfRangePartsRollOver) {
    EXPECT_EQ(InternetDateTime2Date(""), DateSerial(1990, 1, 1));
    EXPECT_EQ(InternetDateTime2Date("qq xyz"), DateSerial(1990, 1, 1));
    EXPECT_EQ(InternetDateTime2Date("no 12:30:00"), MakeDate(1990, 11, 1, 12, 30, 0));  // "no" as in "Nov"
    EXPECT_EQ(InternetDateTime2Date("31 Feb 2001"), DateSerial(2001, 3, 3));
    // A "-" in the last token does not cut it, so the whole token is unrecognised.
    EXPECT_EQ(InternetDateTime2Date("06-Nov-1994"), DateSerial(1990, 1, 1));
    // Too large for 32 bits: not a number, skipped without complaint.
    EXPECT_EQ(InternetDateTime2Date("06 Nov 99999999999 08:49:37"), MakeDate(1990, 11, 6, 8, 49, 37));
    // Beyond the date type: no date, also when a zone shift or a rolled-over day carries 9999 past its end.
    EXPECT_EQ(InternetDateTime2Date("06 Nov 10000"), OleDate());
    EXPECT_EQ(InternetDateTime2Date("Fri, 31 Dec 9999 23:59:59 -2359"), OleDate());
    EXPECT_EQ(InternetDateTime2Date("31 Dec 9999 23:59:59 -0001"), OleDate());
    EXPECT_EQ(InternetDateTime2Date("31 Dec 9999 23:59:59 GMT"), MakeDate(9999, 12, 31, 23, 59, 59));
    // After the weekday, a month fragment counts: "n" sits at 3, (3 + 3) / 4 = 1.5 rounds to even, February.
    EXPECT_EQ(InternetDateTime2Date("Sun, 6 n 2001"), DateSerial(2001, 2, 6));
    // A second number under 32 is neither day nor (with more than two digits) year.
    EXPECT_EQ(InternetDateTime2Date("6 Mar 007 2001"), DateSerial(2001, 3, 6));
}

TEST_F(InternetDate, TwoDigitYearsAreTheNearestWithinFiftyYears) {
    EXPECT_EQ(InternetDateTime2Date("Sunday, 06-Nov-94 08:49:37"), MakeDate(1994, 11, 6, 8, 49, 37));
    EXPECT_EQ(InternetDateTime2Date("06 Nov 74"), DateSerial(2074, 11, 6));
    EXPECT_EQ(InternetDateTime2Date("06 Nov 75"), DateSerial(1975, 11, 6));
    EXPECT_EQ(InternetDateTime2Date("06 Nov 07"), DateSerial(2007, 11, 6));
    clock_.Set(2871763200);  // 2061-01-01
    EXPECT_EQ(InternetDateTime2Date("06 Nov 94"), DateSerial(2094, 11, 6));
    EXPECT_EQ(InternetDateTime2Date("06 Nov 11"), DateSerial(2111, 11, 6));
    EXPECT_EQ(InternetDateTime2Date("06 Nov 12"), DateSerial(2012, 11, 6));
}

}  // namespace
}  // namespace loftwick
