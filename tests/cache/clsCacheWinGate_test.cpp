// What only the WinGate object does: read an index record field by field, agree with the index framing
// on where each field starts, and never bind a file outside the cache folder.
#include "cache/clsCacheWinGate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "cache/CacheTestKit.h"

namespace loftwick::test {
namespace {

namespace fs = std::filesystem;
using builder::Content;
using builder::WinGateContent;
using builder::WinGateRecord;

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

class WinGateObjectTest : public CacheFixture {
  protected:
    WinGateObjectTest() : cache_(root_.path() + "/cache") { Program().CacheDir = cache_.CacheDir(); }

    static WinGateRecord Record(const std::string& name = "0000002A") {
        WinGateRecord r;
        r.url = "www.example.com/dir/page.html";
        r.baseName = name;
        r.retrieved = static_cast<uint32_t>(kNow - 10 * kDay);
        r.modified = static_cast<uint32_t>(kNow - 40 * kDay);
        r.contentType = "text/plain";
        r.contentLength = 3;
        return r;
    }

    // Writes the record with a 3-byte content file (unless told otherwise) and binds a fresh object.
    std::shared_ptr<clsCacheWinGate> Take(const WinGateRecord& record, bool* result = nullptr,
                                          bool writeContent = true) {
        cache_.Add(record, WinGateContent{Content::Bytes("abc"), !writeContent, {}});
        return TakeOnly(builder::EncodeRecord(record), result);
    }
    static std::shared_ptr<clsCacheWinGate> TakeOnly(const std::string& bytes, bool* result = nullptr) {
        auto object = std::make_shared<clsCacheWinGate>();
        const bool ok = object->TakeMetadata(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        if (result) *result = ok;
        return object;
    }

    builder::WinGateCache cache_;
};

TEST_F(WinGateObjectTest, ContentLengthIsReadAsAFullSixtyFourBitNumber) {
    const std::pair<std::string, int64_t> cases[] = {
        {Bytes({0x00, 0x10, 0, 0, 0, 0, 0, 0}), 4096},
        {Bytes({0, 0, 0, 0, 0x01, 0, 0, 0}), 4294967296},
        {Bytes({0, 0, 0, 0x80, 0, 0, 0, 0}), 2147483648},
        {Bytes({0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}), 0x0102030405060708},
    };
    for (const auto& [field, expected] : cases) {
        WinGateRecord r = Record();
        r.Raw(6, field);
        EXPECT_EQ(Take(r)->ContentLen(), expected);
    }
    EXPECT_EQ(Take(Record())->ContentLenActual(), 3);
}

TEST_F(WinGateObjectTest, TimeStampsAreUtcSecondsShownInLocalTime) {
    WinGateRecord r = Record();
    r.Raw(3, Bytes({0x00, 0xCA, 0x9A, 0x3B}));  // 1,000,000,000 s
    EXPECT_EQ(Take(r)->DateRetrieved(), MakeDate(2001, 9, 9, 1, 46, 40));
    EXPECT_EQ(Take(r)->DateModified(), EpochToLocalDate(kNow - 40 * kDay));
    EXPECT_EQ(Take(Record())->AgeRetrieved(), 10);

    ScopedTimeZone berlin("Europe/Berlin");
    EXPECT_EQ(Take(r)->DateRetrieved(), MakeDate(2001, 9, 9, 3, 46, 40));
}

TEST_F(WinGateObjectTest, ZeroLengthBytesAreSkippedAsTheIndexFramingSkipsThem) {
    WinGateRecord r = Record();
    r.ZerosBefore(1, 2).ZerosBefore(2, 1).ZerosBefore(5, 3);
    bool ok = false;
    const auto object = Take(r, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(object->ObjectName(), "http://www.example.com/dir/page.html");
    EXPECT_EQ(object->fileName(), cache_.ContentPath("0000002A"));
    EXPECT_EQ(object->DateRetrieved(), EpochToLocalDate(kNow - 10 * kDay));
    EXPECT_EQ(object->ContentType(), "text/plain");
    EXPECT_EQ(object->ContentLen(), 3);  // field 6 read from where the framing says it starts
    EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(WinGateObjectTest, BaseNamesThatWouldLeaveTheCacheFolderBindNothing) {
    // Decoys where each hostile name would lead if it were joined to the cache folder.
    root_.WriteFile("x.wgc", "outside");
    root_.WriteFile("cache/a/b.wgc", "in a subfolder");
    root_.WriteFile("cache/..wgc", "dot");
    root_.WriteFile("cache/...wgc", "dot dot");
    root_.WriteFile("cache/n", "cut at the NUL");
    root_.WriteFile("cache/back\\slash.wgc", "backslash");
    const std::vector<std::string> hostile = {"../x",       "a/b", ".", "..", std::string("n\0.wgc", 6),
                                              "back\\slash"};
    for (const std::string& name : hostile) {
        SCOPED_TRACE(name);
        WinGateRecord r = Record();
        r.baseName = name;
        bool ok = false;
        const auto object = TakeOnly(builder::EncodeRecord(r), &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(object->fileName(), "");
        EXPECT_EQ(object->ObjectName(), "http://www.example.com/dir/page.html");
        object->Delete();
        object->FixFileTime();
        object->FileCopy(root_ / "copy");
    }
    EXPECT_EQ(root_.ReadFile("x.wgc"), "outside");
    EXPECT_EQ(root_.ReadFile("cache/a/b.wgc"), "in a subfolder");
    EXPECT_EQ(root_.ReadFile("cache/..wgc"), "dot");
    EXPECT_EQ(root_.ReadFile("cache/...wgc"), "dot dot");
    EXPECT_EQ(root_.ReadFile("cache/n"), "cut at the NUL");
    EXPECT_EQ(root_.ReadFile("cache/back\\slash.wgc"), "backslash");
    EXPECT_FALSE(root_.Exists("copy"));
    EXPECT_FALSE(IsPlainContentName(""));
    EXPECT_TRUE(IsPlainContentName("..x"));
}

TEST_F(WinGateObjectTest, MissingContentFileKeepsTheMetadataWithoutAReport) {
    bool ok = false;
    const auto object = Take(Record(), &ok, /*writeContent=*/false);
    EXPECT_TRUE(ok);
    EXPECT_EQ(object->fileName(), "");
    EXPECT_EQ(object->ObjectName(), "http://www.example.com/dir/page.html");
    EXPECT_EQ(object->ContentLen(), 3);
    EXPECT_EQ(object->ContentLenActual(), 0);
    EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(WinGateObjectTest, RecordCutShortKeepsWhatItHas) {
    const std::string full = builder::EncodeRecord(Record());
    const size_t field5 = 1 + 29 + 1 + 8 + 4 + 4;  // where field 5's length byte lies

    // Inside field 5's text: the text and field 6 stop early, and that is not a failure.
    bool ok = false;
    auto object = TakeOnly(full.substr(0, field5 + 3), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(object->ContentType(), "te");
    EXPECT_EQ(object->ContentLen(), 0);

    // Before field 5's length byte: a failure, reported; fields 1 to 4 stay.
    cache_.Add(Record(), WinGateContent{Content::Bytes("abc"), false, {}});
    object = TakeOnly(full.substr(0, field5), &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(object->ObjectName(), "http://www.example.com/dir/page.html");
    EXPECT_EQ(object->fileName(), cache_.ContentPath("0000002A"));
    EXPECT_EQ(object->DateModified(), EpochToLocalDate(kNow - 40 * kDay));
    EXPECT_EQ(ReportsAt("clsCacheWinGate:clsCache_Filename").size(), 1u);

    // A buffer of zeros holds no length byte at all.
    object = TakeOnly(std::string(8192, '\0'), &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(object->ObjectName(), "");
    EXPECT_EQ(ReportsAt("clsCacheWinGate:clsCache_Filename").size(), 2u);
}

TEST_F(WinGateObjectTest, BytesAfterFieldSixAreNotRead) {
    WinGateRecord r = Record();
    r.trailing = Bytes({0xFF, 0x00, 0x05}) + std::string(5000, 'z');
    bool ok = false;
    const auto object = Take(r, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(object->ContentLen(), 3);
    EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(WinGateObjectTest, EachRecordStartsFromNothing) {
    auto object = Take(Record());
    ASSERT_EQ(object->fileName(), cache_.ContentPath("0000002A"));
    WinGateRecord second = Record("GONE");
    second.url = "other.example.org/x";
    second.contentType = "image/gif";
    cache_.AppendRaw(builder::EncodeRecord(second));
    const std::string bytes = builder::EncodeRecord(second);
    EXPECT_TRUE(object->TakeMetadata(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_EQ(object->fileName(), "");
    EXPECT_EQ(object->ContentLenActual(), 0);
    EXPECT_EQ(object->ObjectName(), "http://other.example.org/x");
    EXPECT_EQ(object->ContentType(), "image/gif");
}

TEST_F(WinGateObjectTest, BindingByPathKeepsTheRecordsFields) {
    auto object = Take(Record());
    cache_.Add(Record("OTHER"), WinGateContent{Content::Bytes("12345"), false, {}});
    object->setFileName(cache_.ContentPath("OTHER"));
    EXPECT_EQ(object->fileName(), cache_.ContentPath("OTHER"));
    EXPECT_EQ(object->ContentLenActual(), 5);
    EXPECT_EQ(object->ObjectName(), "http://www.example.com/dir/page.html");
    object->setFileName(cache_.ContentPath("NOWHERE"));
    EXPECT_EQ(object->fileName(), "");
    EXPECT_EQ(object->ContentType(), "text/plain");
}

TEST_F(WinGateObjectTest, HostIsTheTextBetweenTheSlashesAndTheNextSlash) {
    const std::pair<std::string, std::string> cases[] = {
        {"h/p", "h"},
        {"www.example.com:8080/a//b", "www.example.com:8080"},
        {"hostonly", ""},
        {"h/", "h"},
    };
    for (const auto& [field1, host] : cases) {
        WinGateRecord r = Record();
        r.url = field1;
        EXPECT_EQ(Take(r)->Host(), host) << field1;
    }
}

}  // namespace
}  // namespace loftwick::test
