// The WinGate side of the cache builder: one record checked byte by byte, its hostile shapes, and an index
// that the program's own framing cuts back into the records written.
#include "cachebuilder/WinGateBuilder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "scan/IndexFraming.h"
#include "support/TestEnv.h"

namespace loftwick::builder {
namespace {

using test::TempDir;

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

WinGateRecord Record() {
    WinGateRecord r;
    r.url = "h/p";
    r.baseName = "AB";
    r.retrieved = 1000000000;  // 00 CA 9A 3B
    r.modified = 0x01020304;
    r.contentType = "text/x";
    r.contentLength = 0x8877665544332211ull;
    return r;
}

TEST(WinGateBuilder, RecordIsSixLittleEndianFieldsWithoutGaps) {
    EXPECT_EQ(EncodeRecord(Record()),
              Bytes({3, 'h', '/', 'p', 2,   'A', 'B', 0x00, 0xCA, 0x9A, 0x3B, 0x04, 0x03, 0x02, 0x01,
                     6, 't', 'e', 'x', 't', '/', 'x', 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
}

TEST(WinGateBuilder, HostileShapesChangeOnlyWhatTheyName) {
    const std::string plain = EncodeRecord(Record());
    WinGateRecord zeros = Record();
    zeros.ZerosBefore(2, 2).ZerosBefore(5, 1);
    EXPECT_EQ(EncodeRecord(zeros),
              plain.substr(0, 4) + Bytes({0, 0}) + plain.substr(4, 11) + Bytes({0}) + plain.substr(15));
    WinGateRecord lying = Record();
    lying.Raw(1, Bytes({200, 'h'}));  // a length byte that promises more than follows
    EXPECT_EQ(EncodeRecord(lying).substr(0, 3), Bytes({200, 'h', 2}));
    WinGateRecord cut = Record();
    cut.cutAfter = 10;
    EXPECT_EQ(EncodeRecord(cut), plain.substr(0, 10));
    WinGateRecord tail = Record();
    tail.trailing = "junk";
    EXPECT_EQ(EncodeRecord(tail), plain + "junk");
    WinGateRecord tooLong = Record();
    tooLong.url.assign(256, 'u');
    EXPECT_THROW(EncodeRecord(tooLong), std::invalid_argument);
    EXPECT_THROW(Record().Raw(7, ""), std::invalid_argument);
}

TEST(WinGateBuilder, IndexFramesBackIntoTheRecordsWrittenAndRestartsEmpty) {
    TempDir dir;
    std::string index;
    {
        WinGateCache cache(dir.path());
        WinGateRecord second = Record();
        second.url = "other.host/x/y";
        second.baseName = "CD";
        second.ZerosBefore(1, 1).ZerosBefore(2, 3);
        WinGateRecord cut = Record();
        cut.cutAfter = 12;
        cache.Add(Record(), {Content::Bytes("first"), false, {}});
        cache.Add(second, {Content::Bytes("second"), false, {}});
        cache.Add(cut, {Content::Bytes("never"), true, {}});
        index = dir.ReadFile("cache.idx");
        ASSERT_EQ(index, EncodeRecord(Record()) + EncodeRecord(second) + EncodeRecord(cut));
        std::vector<std::string> records;
        IndexFraming framing;
        for (size_t pos = 0;
             framing.Feed(reinterpret_cast<const uint8_t*>(index.data()), index.size(), pos);) {
            records.emplace_back(reinterpret_cast<const char*>(framing.Buffer()), framing.StoredLength());
            framing.Reset();
        }
        EXPECT_EQ(records, (std::vector<std::string>{EncodeRecord(Record()), EncodeRecord(second)}));
        cache.AppendRaw(std::string(9000, '\0'));
    }
    EXPECT_EQ(dir.ReadFile("cache.idx"), index + std::string(9000, '\0'));
    WinGateCache again(dir.path());
    EXPECT_EQ(dir.ReadFile("cache.idx"), "");
    EXPECT_EQ(again.CacheDir(), dir.path() + "/");
}

TEST(WinGateBuilder, ContentFilesSitBesideTheIndexUnlessMissingOrUnsafe) {
    TempDir dir;
    WinGateCache cache(dir.path() + "/cache");
    WinGateContent content{Content::Bytes("payload"), false, {}};
    content.stamp.writeTime = 1000000000;
    EXPECT_EQ(cache.Add(Record(), content), dir / "cache/AB.wgc");
    EXPECT_EQ(dir.ReadFile("cache/AB.wgc"), "payload");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "cache/AB.wgc").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);

    const std::vector<std::string> unwritten = {
        "GONE", "../escape", "a/b", ".", "..", "", std::string("n\0ul", 4), "back\\slash"};
    for (const std::string& name : unwritten) {
        WinGateRecord r = Record();
        r.baseName = name;
        EXPECT_EQ(cache.Add(r, {Content::Bytes("x"), name == "GONE", {}}), "") << name;
    }
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
        written.push_back(entry.path().string().substr(dir.path().size()));
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"/cache", "/cache/AB.wgc", "/cache/cache.idx"}));
}

}  // namespace
}  // namespace loftwick::builder
