// What only the WinGate object does: read an index record field by field and agree with the index framing
// on where each field starts. (Content names that would leave the cache folder: the scan golden cases.)
#include "cache/clsCacheWinGate.h"

#include <gtest/gtest.h>

#include <functional>

#include "cache/CacheTestKit.h"

namespace loftwick::test {
namespace {

using builder::WinGateRecord;

// One record per row, bound by a fresh object: the facts it must tell (besides those of the plain record,
// which the first row lists); an object bound to the rows before tells the same, as each record starts
// from nothing.
TEST_F(CacheFixture, WinGateRecordsReadFieldByField) {
    WinGateKit kit(root_.path());
    const auto edited = [](std::function<void(WinGateRecord&)> edit) {
        WinGateRecord r = WinGateKit::RecordOf({});
        edit(r);
        return builder::EncodeRecord(r);
    };
    const auto raw = [&](int n, std::string field) {
        return edited([=](WinGateRecord& r) { r.Raw(n, field); });
    };
    const auto url = [&](std::string text) { return edited([=](WinGateRecord& r) { r.url = text; }); };
    const std::string full = builder::EncodeRecord(WinGateKit::RecordOf({}));
    const size_t field5 = full.find("text/html") - 1;  // where field 5's length byte lies
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> facts;
        const char* zone = "UTC";
    } rows[] = {
        {"plain",
         full,
         {"name=http://www.example.com/dir/page.html", "type=text/html", "length=31", "actual=31",
          "retrieved=2024-11-26 10:00:00", "modified=2024-10-27 10:00:00", "host=www.example.com", "ok=1",
          "file=3f2a_page.html.wgc", "reports=0"}},
        // The content length is a full 64-bit number.
        {"4 GiB", raw(6, std::string("\0\0\0\0\x01\0\0\0", 8)), {"length=4294967296"}},
        {"all bytes", raw(6, "\x08\x07\x06\x05\x04\x03\x02\x01"), {"length=72623859790382856"}},
        // Time stamps are UTC seconds shown in local time.
        {"1e9 s", raw(3, std::string("\0\xCA\x9A\x3B", 4)), {"retrieved=2001-09-09 01:46:40"}},
        {"1e9 s in Berlin",
         raw(3, std::string("\0\xCA\x9A\x3B", 4)),
         {"retrieved=2001-09-09 03:46:40"},
         "Europe/Berlin"},
        // Zero length bytes are skipped as the index framing skips them.
        {"zeros",
         edited([](WinGateRecord& r) { r.ZerosBefore(1, 2).ZerosBefore(2, 1).ZerosBefore(5, 3); }),
         {"name=http://www.example.com/dir/page.html", "type=text/html", "length=31", "ok=1",
          "file=3f2a_page.html.wgc", "reports=0"}},
        {"bytes after field 6",
         full + std::string("\xFF\0\x05", 3) + std::string(5000, 'z'),
         {"length=31", "ok=1", "reports=0"}},
        // The host is the text between the slashes and the next slash.
        {"h/p", url("h/p"), {"host=h"}},
        {"port", url("www.example.com:8080/a//b"), {"host=www.example.com:8080"}},
        {"host only", url("hostonly"), {"host="}},
        {"h/", url("h/"), {"host=h"}},
        // Cut inside field 5's text: the text and field 6 stop early, and that is not a failure.
        {"cut in field 5", full.substr(0, field5 + 3), {"type=te", "length=0", "ok=1"}},
        // Cut before field 5's length byte: a failure, reported; fields 1 to 4 stay.
        {"cut before field 5",
         full.substr(0, field5),
         {"name=http://www.example.com/dir/page.html", "modified=2024-10-27 10:00:00",
          "file=3f2a_page.html.wgc", "ok=0", "reports=1"}},
        {"zeros only", std::string(8192, '\0'), {"name=", "ok=0", "reports=1"}},
        // A missing content file keeps the metadata without a report.
        {"no content file",
         edited([](WinGateRecord& r) { r.baseName = "MISSING"; }),
         {"name=http://www.example.com/dir/page.html", "length=31", "actual=0", "file=", "ok=1",
          "reports=0"}},
    };
    const auto reused = Bind(kit, {});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedTimeZone zone(row.zone);
        const size_t reportsBefore = ReportCount();
        const auto take = [&](clsCache& object) {
            return object.TakeMetadata(reinterpret_cast<const uint8_t*>(row.bytes.data()), row.bytes.size());
        };
        const auto object = std::make_shared<clsCacheWinGate>();
        const bool ok = take(*object);
        const std::string file = object->fileName();
        const std::string facts = "\n" + FactsOf(*object) + "ok=" + (ok ? "1" : "0") + "\nfile=" +
                                  file.substr(std::min(file.size(), kit.cache.CacheDir().size())) +
                                  "\nreports=" + std::to_string(ReportCount() - reportsBefore) + "\n";
        for (const std::string& fact : row.facts)
            EXPECT_NE(facts.find("\n" + fact + "\n"), std::string::npos) << fact << facts;
        take(*reused);
        EXPECT_EQ(FactsOf(*reused), FactsOf(*object));
    }
    // Binding by path keeps the record's fields (the last row's, of a content file not found).
    reused->setFileName(kit.PathOf({}));
    EXPECT_EQ(reused->ContentLenActual(), 31);
    EXPECT_EQ(reused->ObjectName(), "http://www.example.com/dir/page.html");
    reused->setFileName(kit.cache.ContentPath("NOWHERE"));
    EXPECT_EQ(reused->fileName(), "");
    EXPECT_EQ(reused->ContentType(), "text/html");
}

}  // namespace
}  // namespace loftwick::test
