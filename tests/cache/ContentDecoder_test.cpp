// Copies and contents searches of objects stored with a content or transfer coding: decoded when the
// coding is known and decoding is on, the stored bytes (and a mark) when the stream is damaged.
#include "cache/ContentDecoder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "cache/CacheTestKit.h"
#include "cache/StoredHeaders.h"
#include "cachebuilder/Encodings.h"

namespace loftwick::test {
namespace {

using builder::Content;

// `text` gzip-compressed `layers` times over.
std::string Nested(std::string text, int layers) {
    for (int i = 0; i < layers; ++i) text = builder::Gzip(text);
    return text;
}

// One object per row: its codings, the stored bytes, whether the copy holds the decoded text (else the
// bytes of the file), whether the decoding is marked as failed and whether the words are found.
struct Row {
    std::string name;
    std::vector<std::string> headers;
    std::string stored;
    bool decoded = false, failed = false;
    std::vector<std::string> words = {"straddle", "TailWord"};
    bool found = true;
    uint64_t sparseSize = 0;  // the stored bytes begin a sparse file of this size (the rest a hole)
};

TEST_F(CacheFixture, DecoderMatrix) {
    // 40,000 bytes of fill text with two words only the decoded text holds: one across the first
    // boundary of both the search's blocks and the decoder's output pieces, one near the end.
    const std::string text =
        Content::Sized(40000).Patch(16384 - 4, "STRADDLE").Patch(39990, "TAILWORD").Slice(0, 40000);
    const std::string gzip = builder::Gzip(text);
    const std::string bomb = builder::Gzip(std::string(size_t{80} << 20, '\0'));
    const uint64_t apparent = 1 << 20;  // big enough a file for the bomb, were holes stored bytes
    ASSERT_LT(DecodedSizeLimit(bomb.size()), uint64_t{80} << 20);
    ASSERT_GT(DecodedSizeLimit(apparent), uint64_t{80} << 20);
    std::string sevenHundred = "Content-Encoding: gzip";
    for (int i = 1; i < 700; ++i) sevenHundred += ", gzip";
    // Decoded; damaged: the stored bytes, marked, and the words in them found; gzip damaged, the words
    // missed.
    const auto decoded = [](std::string name, std::vector<std::string> headers, std::string stored) {
        return Row{name, headers, stored, true};
    };
    const auto damaged = [](std::string name, std::string coding, std::string stored) {
        return Row{name, {coding}, stored, false, true, {"RAWMARK"}};
    };
    const auto missed = [](std::string name, std::string stored, std::vector<std::string> words,
                           uint64_t sparse) {
        return Row{name, {"Content-Encoding: gzip"}, stored, false, true, words, false, sparse};
    };
    const Row rows[] = {
        decoded("gzip", {"Content-Encoding: gzip"}, gzip),
        decoded("two gzip members", {"Content-Encoding: x-gzip"},
                builder::Gzip(text.substr(0, 9000)) + builder::Gzip(text.substr(9000))),
        decoded("zlib deflate", {"Content-Encoding: deflate"}, builder::ZlibDeflate(text)),
        decoded("raw deflate", {"Content-Encoding: Deflate"}, builder::RawDeflate(text)),
        decoded("brotli", {"Content-Encoding: br"}, builder::Brotli(text)),
        decoded("chunked", {"Transfer-Encoding: chunked"}, builder::Chunked(text, 1000)),
        decoded("chunked around gzip", {"Content-Encoding: gzip", "Transfer-Encoding: chunked"},
                builder::Chunked(gzip, 777)),
        decoded("two header lines, undone last first", {"Content-Encoding: gzip", "Content-Encoding: br"},
                builder::Brotli(gzip)),
        decoded("eight codings, the most undone",
                {"Content-Encoding: gzip, gzip, gzip, gzip, gzip, gzip, gzip", "Transfer-Encoding: chunked"},
                builder::Chunked(Nested(text, 7), 500)),
        // Deeper than any server goes: used as stored, whatever the layers hold, on a bounded stack.
        damaged("nine codings", "Content-Encoding: gzip, gzip, gzip, gzip, gzip, gzip, gzip, gzip, gzip",
                Nested("RAWMARK", 9) + " RAWMARK"),
        damaged("seven hundred codings", sevenHundred, Nested("RAWMARK", 700) + " RAWMARK"),
        damaged("gzip cut short", "Content-Encoding: gzip", gzip.substr(0, gzip.size() / 2) + " RAWMARK"),
        damaged("not gzip at all", "Content-Encoding: gzip", "<html>plain RAWMARK text</html>"),
        damaged("brotli garbage", "Content-Encoding: br", std::string(100, '\xff') + "RAWMARK"),
        damaged("chunk size not hex", "Transfer-Encoding: chunked", "zz\r\nRAWMARK\r\n0\r\n\r\n"),
        // Words found before the damage stay found: the first is, the second nowhere.
        missed("gzip cut near the end", gzip.substr(0, gzip.size() - 12), {"STRADDLE", "NOWHERE"}, 0),
        {"unknown coding", {"Content-Encoding: compress"}, "compressed?", false, false, {"compressed"}},
        missed("decompression bomb", bomb, {"NOWHERE"}, 0),
        missed("bomb in a sparse file", bomb, {"NOWHERE"}, apparent),
    };
    WinProxyKit kit(root_.path());
    int objects = 0;
    const auto check = [&](const Row& row) {
        SCOPED_TRACE(row.name);
        ObjectSpec o;
        o.name = "1a2b_page" + std::to_string(++objects) + ".html";
        o.headerLines = row.headers;
        o.content = row.sparseSize
                        ? Content::Sized(row.sparseSize, builder::Fill::Sparse).Patch(0, row.stored)
                        : Content::Bytes(row.stored);
        const auto object = Bind(kit, o);
        const std::string copy = "copy" + std::to_string(objects);
        EXPECT_TRUE(object->FileCopy(root_ / copy));
        EXPECT_EQ(root_.ReadFile(copy), row.decoded ? text : o.content.Slice(0, o.content.Size()));
        ParsedFilter filter = Filter(row.words);
        EXPECT_EQ(object->FindInContents(filter, 1), row.found);
        // Of two words, the first is always there to be found.
        EXPECT_EQ(filter.Found[0], row.found || row.words.size() > 1);
        EXPECT_EQ(object->DecodeFailed(), row.failed);
    };
    for (const Row& row : rows) check(row);
    // Off, every coding is left as stored, unmarked.
    Program().DecodeContent = false;
    check({"decoding off", {"Content-Encoding: gzip"}, gzip, false, false, {"STRADDLE"}, false});
    EXPECT_EQ(ReportCount(), 0u);
    for (const auto& entry : std::filesystem::directory_iterator(root_.path()))
        EXPECT_EQ(entry.path().extension(), "") << "left behind: " << entry.path();
    // A block without a status line has no response head (the WARC export reads the heads back).
    EXPECT_EQ(ResponseHeadOf(std::string(9, 'x') + "http://h/\nnot a status\nA: b\n\nbody"), "");
}

}  // namespace
}  // namespace loftwick::test
