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

// A run of zeros fills the buffer without overrunning it; the record still completes when real fields
// follow, its first 8192 bytes kept.
TEST(IndexFraming, RecordsComeOutWholeWhateverTheChunkBoundaries) {
    const std::string a = Record("host/a", "0001", "text/html");
    const std::string b = Record("other.host/long/path?q=1", "0002", "image/gif");
    const std::string stream = a + b + a, zeros(20000, '\0');
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, a.size(), a.size() + 1, stream.size()}) {
        EXPECT_EQ(Frame(stream, chunk), (std::vector{a, b, a})) << "chunk " << chunk;
        EXPECT_EQ(Frame(zeros + a, chunk), std::vector{zeros.substr(0, IndexFraming::kBufferSize)}) << chunk;
    }
    for (size_t cut = 0; cut < a.size(); ++cut) {  // a cut-short last record is not handed over
        EXPECT_EQ(Frame(a + a.substr(0, cut), 8192).size(), 1u) << cut;
    }
}

}  // namespace
}  // namespace loftwick
