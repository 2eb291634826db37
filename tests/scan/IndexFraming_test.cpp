#include "scan/IndexFraming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cachebuilder/WinGateBuilder.h"

namespace loftwick {
namespace {

std::string Record(const std::string& url, const std::string& base, const std::string& type) {
    builder::WinGateRecord r;
    r.url = url;
    r.baseName = base;
    r.contentType = type;
    return builder::EncodeRecord(r);
}

std::vector<std::string> Frame(const std::string& stream, size_t chunk) {
    std::vector<std::string> records;
    IndexFraming framing;
    for (size_t start = 0; start < stream.size(); start += chunk) {
        const std::string piece = stream.substr(start, chunk);
        size_t pos = 0;
        while (framing.Feed(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), pos)) {
            records.emplace_back(reinterpret_cast<const char*>(framing.Buffer()), framing.StoredLength());
            framing.Reset();
        }
    }
    return records;
}

TEST(IndexFraming, RecordsComeOutWholeWhateverTheChunkBoundaries) {
    const std::string a = Record("host/a", "0001", "text/html");
    const std::string b = Record("other.host/long/path?q=1", "0002", "image/gif");
    const std::string stream = a + b + a;
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, a.size(), a.size() + 1, stream.size()}) {
        const auto records = Frame(stream, chunk);
        ASSERT_EQ(records.size(), 3u) << "chunk " << chunk;
        EXPECT_EQ(records[0], a);
        EXPECT_EQ(records[1], b);
        EXPECT_EQ(records[2], a);
    }
    for (size_t cut = 0; cut < a.size(); ++cut) {  // a cut-short last record is not handed over
        EXPECT_EQ(Frame(a + a.substr(0, cut), 8192).size(), 1u) << cut;
    }
}

TEST(IndexFraming, RunOfZerosFillsTheBufferWithoutOverrunningIt) {
    const std::string zeros(20000, '\0');
    IndexFraming framing;
    size_t pos = 0;
    EXPECT_FALSE(framing.Feed(reinterpret_cast<const uint8_t*>(zeros.data()), zeros.size(), pos));
    EXPECT_EQ(pos, zeros.size());
    EXPECT_EQ(framing.StoredLength(), IndexFraming::kBufferSize);
    EXPECT_TRUE(framing.Overflowed());
    // The record still completes when real fields follow; its first 8192 bytes are kept.
    const std::string tail = Record("h/x", "9", "t");
    pos = 0;
    EXPECT_TRUE(framing.Feed(reinterpret_cast<const uint8_t*>(tail.data()), tail.size(), pos));
    EXPECT_EQ(framing.StoredLength(), IndexFraming::kBufferSize);
}

}  // namespace
}  // namespace loftwick
