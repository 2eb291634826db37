// The WinGate side of the cache builder: index records checked byte by byte and with a hand-written
// framing reader (length byte + text for fields 1, 2, 5; 4, 4 and 8 bytes for fields 3, 4, 6; a length
// byte of 0 is followed by the field's length again).
#include "cachebuilder/WinGateBuilder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/TestEnv.h"

namespace loftwick::builder {
namespace {

using test::TempDir;

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

// Cuts an index into complete records the way the index walk does; an incomplete tail is left out.
std::vector<std::string> FrameRecords(const std::string& index) {
    std::vector<std::string> records;
    std::string current;
    int field = 1;
    size_t length = 0, count = 0;
    for (char c : index) {
        current += c;
        const auto byte = static_cast<unsigned char>(c);
        if (length == 0) {
            length = byte;
            continue;
        }
        if (++count < length) continue;
        ++field;
        count = 0;
        length = (field == 3 || field == 4) ? 4 : field == 6 ? 8 : 0;
        if (field == 7) {
            records.push_back(current);
            current.clear();
            field = 1;
        }
    }
    return records;
}

WinGateRecord Record() {
    WinGateRecord r;
    r.url = "h/p";
    r.baseName = "AB";
    r.retrieved = 1000000000;  // 00 CA 9A 3B
    r.modified = 0x01020304;
    r.contentType = "text/x";
    r.contentLength = 4096;
    return r;
}

TEST(WinGateBuilder, RecordIsSixFieldsWithoutGaps) {
    const std::string expected =
        Bytes({3, 'h', '/', 'p', 2,   'A', 'B', 0x00, 0xCA, 0x9A, 0x3B, 0x04, 0x03, 0x02, 0x01,
               6, 't', 'e', 'x', 't', '/', 'x', 0x00, 0x10, 0,    0,    0,    0,    0,    0});
    EXPECT_EQ(EncodeRecord(Record()), expected);
    EXPECT_EQ(expected.size(), 19u + 3 + 2 + 6);
}

TEST(WinGateBuilder, ContentLengthIsAFullLittleEndianSixtyFourBitNumber) {
    WinGateRecord r = Record();
    r.contentLength = 0x0000000100000000ull;
    EXPECT_EQ(EncodeRecord(r).substr(22), Bytes({0, 0, 0, 0, 1, 0, 0, 0}));
    r.contentLength = 0x8877665544332211ull;
    EXPECT_EQ(EncodeRecord(r).substr(22), Bytes({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
}

TEST(WinGateBuilder, HostileShapesChangeOnlyWhatTheyName) {
    WinGateRecord zeros = Record();
    zeros.ZerosBefore(2, 2).ZerosBefore(5, 1);
    EXPECT_EQ(EncodeRecord(zeros), EncodeRecord(Record()).substr(0, 4) + Bytes({0, 0}) +
                                       EncodeRecord(Record()).substr(4, 11) + Bytes({0}) +
                                       EncodeRecord(Record()).substr(15));

    WinGateRecord lying = Record();
    lying.Raw(1, Bytes({200, 'h'}));  // a length byte that promises more than follows
    EXPECT_EQ(EncodeRecord(lying).substr(0, 3), Bytes({200, 'h', 2}));

    WinGateRecord cut = Record();
    cut.cutAfter = 10;
    EXPECT_EQ(EncodeRecord(cut), EncodeRecord(Record()).substr(0, 10));

    WinGateRecord tail = Record();
    tail.trailing = "junk";
    EXPECT_EQ(EncodeRecord(tail), EncodeRecord(Record()) + "junk");

    WinGateRecord tooLong = Record();
    tooLong.url.assign(256, 'u');
    EXPECT_THROW(EncodeRecord(tooLong), std::invalid_argument);
    EXPECT_THROW(Record().Raw(7, ""), std::invalid_argument);
}

TEST(WinGateBuilder, IndexHoldsRecordsInOrderAndFramesBack) {
    TempDir dir;
    WinGateCache cache(dir.path());
    WinGateRecord second = Record();
    second.url = "other.host/x/y";
    second.baseName = "CD";
    second.ZerosBefore(1, 1).ZerosBefore(2, 3);
    cache.Add(Record(), {Content::Bytes("first"), false, {}});
    cache.Add(second, {Content::Bytes("second"), false, {}});
    WinGateRecord cut = Record();
    cut.cutAfter = 12;
    cache.Add(cut, {Content::Bytes("never"), true, {}});

    const std::string index = dir.ReadFile("cache.idx");
    EXPECT_EQ(index, EncodeRecord(Record()) + EncodeRecord(second) + EncodeRecord(cut));
    const std::vector<std::string> records = FrameRecords(index);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], EncodeRecord(Record()));
    EXPECT_EQ(records[1], EncodeRecord(second));
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

    WinGateRecord missing = Record();
    missing.baseName = "GONE";
    EXPECT_EQ(cache.Add(missing, {Content::Bytes("x"), true, {}}), "");
    EXPECT_FALSE(dir.Exists("cache/GONE.wgc"));

    const std::vector<std::string> unsafe = {"../escape",  "a/b", ".", "..", "", std::string("n\0ul", 4),
                                             "back\\slash"};
    for (const std::string& name : unsafe) {
        WinGateRecord hostile = Record();
        hostile.baseName = name;
        EXPECT_EQ(cache.Add(hostile, {Content::Bytes("x"), false, {}}), "") << name;
    }
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        written.push_back(entry.path().string().substr(dir.path().size()));
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"/cache", "/cache/AB.wgc", "/cache/cache.idx"}));
}

TEST(WinGateBuilder, RawBytesAndARestartedIndex) {
    TempDir dir;
    {
        WinGateCache cache(dir.path());
        cache.Add(Record());
        cache.AppendRaw(std::string(9000, '\0'));
    }
    EXPECT_EQ(dir.ReadFile("cache.idx"), EncodeRecord(Record()) + std::string(9000, '\0'));
    WinGateCache again(dir.path());
    EXPECT_EQ(dir.ReadFile("cache.idx"), "");
    EXPECT_EQ(again.IndexPath(), dir / "cache.idx");
    EXPECT_EQ(again.CacheDir(), dir.path() + "/");
}

}  // namespace
}  // namespace loftwick::builder
