// Stored header blocks and date texts as data: each golden folder holds the start of a cache file
// (input.bin) and what the parse and an object bound to the file make of it (expected.txt); Dates.txt
// holds one date text or date per row.
#include "cache/StoredHeaders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>

#include "cache/CacheTestKit.h"
#include "support/TextCodec.h"

namespace loftwick::test {
namespace {

namespace fs = std::filesystem;
const fs::path kGolden = fs::path(LOFTWICK_SOURCE_DIR) / "tests/cache/golden";

// Bytes as text: printable ASCII as it is, the rest as \xNN.
std::string Escaped(const std::string& bytes) {
    std::string out;
    for (const char c : bytes)
        out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, c) : "\\x" + HexOf({&c, 1});
    return out;
}

// Each object is bound by an object that was bound to a full header block before, so that nothing of
// that block may be left; the copy, a search for the status line (never looked for in the header block),
// Fix file time (the retrieval date, else the modification date, else now) and Fix file name follow.
TEST_F(CacheFixture, StoredHeaderGoldenCasesParseAndBind) {
    WinProxyKit kit(root_.path());
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(kGolden / "StoredHeaders")) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const std::string input = ReadRealFile((entry.path() / "input.bin").string());
        builder::WinProxyObject file;
        file.host = "h";
        file.fileName = name;
        file.rawFile = input;
        const auto object = Bind(kit, {});
        object->setFileName(kit.cache.Add(file));
        EXPECT_EQ(object->fileName(), kit.cache.PathOf(file));
        const StoredHeaderBlock b = ParseStoredHeaderBlock(input);
        ASSERT_TRUE(object->FileCopy(root_ / "copy"));
        const std::string copy = root_.ReadFile("copy");
        std::ostringstream got;
        // An absent header and a present one with an empty value are told apart: only the first has no date.
        got << "url=" << b.url << "\ndate=" << (b.hasDate ? b.date : "(absent)")
            << "\nlastModified=" << (b.hasLastModified ? b.lastModified : "(absent)")
            << "\ncontentType=" << b.contentType << "\ncontentLength=" << b.contentLength
            << "\nheaderLength=" << b.headerLength << "\nbound:\n"
            << FactsOf(*object) << "copy=" << copy.size() << " bytes: " << Escaped(copy.substr(0, 24))
            << "\n";
        if (!object->DateModified().IsZero() || !object->DateRetrieved().IsZero())
            got << "copy stamped=" << FormatGeneralDate(EpochToLocalDate(WriteTimeOf(root_ / "copy")))
                << "\n";
        ParsedFilter status = Filter({"HTTP/1."});
        got << "status line found=" << object->FindInContents(status, 1) << "\n";
        object->FixFileTime();
        got << "fixed time=" << FormatGeneralDate(EpochToLocalDate(WriteTimeOf(object->fileName()))) << "\n";
        const bool renamed = object->FixFileName();
        got << "fixed name=" << (renamed ? object->fileName().substr(kit.cache.CacheDir().size()) : "(none)")
            << "\n";
        EXPECT_EQ(got.str(), ReadRealFile((entry.path() / "expected.txt").string()));
        ++cases;
    }
    EXPECT_GE(cases, 12);
    EXPECT_EQ(ReportCount(), 0u);
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
            EXPECT_EQ(b.url, n <= lead.size() + url.size() ? "" : url);
        }
    }
}

// "YYYY-MM-DD hh:mm:ss", "YYYY-MM-DD" or "hh:mm:ss".
OleDate DateOf(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) >= 3)
        return MakeDate(y, mo, d, h, mi, s);
    if (std::sscanf(text.c_str(), "%d:%d:%d", &h, &mi, &s) == 3) return OleDate(TimeSerial(h, mi, s));
    ADD_FAILURE() << "not a date: " << text;
    return {};
}

// A date as the program shows it, marked when the text does not give the date back exactly.
std::string Shown(std::optional<OleDate> date) {
    if (!date) return "none";
    const std::string text = FormatGeneralDate(*date);
    return DateOf(text) == *date ? text : text + " (not whole seconds)";
}

std::string Call(const std::string& call, const std::string& arg) {
    const std::vector<std::string> both = Fields(arg, 2);
    int n[6] = {};
    std::istringstream(arg) >> n[0] >> n[1] >> n[2] >> n[3] >> n[4] >> n[5];
    if (call == "internet") return Shown(InternetDateTime2Date(arg));
    if (call == "parse") return Shown(ParseDateOrTime(arg));
    if (call == "utc") return Shown(EpochToUtcDate(std::stoll(arg)));
    if (call == "local") return Shown(EpochToLocalDate(std::stoll(arg)));
    if (call == "stamp" || call == "stamplocal")
        return Shown(TimeDateStampToDate(std::stoll(arg), call == "stamplocal"));
    if (call == "tolocal") return Shown(DateToLocalDate(DateOf(arg)));
    if (call == "fromfiletime") return Shown(FileTimeToLocalDate(FileTimeSpec{std::stoll(arg), 0}));
    if (call == "filetime") return std::to_string(LocalDateToFileTime(DateOf(arg)).seconds);
    if (call == "epoch") {
        const auto e = LocalDateToEpoch(DateOf(arg));
        return e ? std::to_string(*e) : "none";
    }
    if (call == "iso") return FormatIsoLocal(DateOf(arg));
    if (call == "serial") return (std::ostringstream() << DateOf(arg).Serial()).str();
    if (call == "dateserial") return Shown(DateSerial(n[0], n[1], n[2]));
    if (call == "makedate") return Shown(MakeDate(n[0], n[1], n[2], n[3], n[4], n[5]));
    if (call == "days") return std::to_string(DayBoundaries(DateOf(both[0]), DateOf(both[1])));
    if (call == "hours") return std::to_string(HourBoundaries(DateOf(both[0]), DateOf(both[1])));
    if (call == "seconds") return std::to_string(SecondBoundaries(DateOf(both[0]), DateOf(both[1])));
    if (call == "adddays") return Shown(AddDays(DateOf(both[0]), std::stoll(both[1])));
    if (call == "addseconds") return Shown(AddSeconds(DateOf(both[0]), std::stoll(both[1])));
    if (call == "parts") {
        const DateParts p = SplitDate(DateOf(arg));
        return (std::ostringstream() << p.year << ' ' << p.month << ' ' << p.day << ' ' << p.hour << ' '
                                     << p.minute << ' ' << p.second << " weekday " << p.weekday)
            .str();
    }
    ADD_FAILURE() << "unknown call " << call;
    return {};
}

TEST_F(CacheFixture, DateTable) {
    std::optional<ScopedTimeZone> zone;
    const int rows = CheckTable("cache/golden/Dates.txt", Call, [&](const std::string& directive) {
        if (directive.rfind("zone ", 0) == 0) {
            zone.reset();
            zone.emplace(directive.substr(5));
        } else {
            clock_.Set(std::stoll(directive.substr(6)));  // "clock SECONDS"
        }
    });
    EXPECT_GE(rows, 85);
}

}  // namespace
}  // namespace loftwick::test
