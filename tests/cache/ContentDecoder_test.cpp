// Copies and contents searches of objects stored with a content or transfer coding: decoded when the
// coding is known and decoding is on, the stored bytes (and a mark) when the stream is damaged.
#include "cache/ContentDecoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "cache/CacheTestKit.h"
#include "cache/StoredHeaders.h"
#include "cachebuilder/Encodings.h"

namespace loftwick::test {
namespace {

using builder::Content;

// 40,000 bytes of fill text with two words only the decoded text holds: one across the first boundary
// of both the search's blocks and the decoder's output pieces, one near the end.
std::string PlainText() {
    return Content::Sized(40000).Patch(16384 - 4, "STRADDLE").Patch(39990, "TAILWORD").Slice(0, 40000);
}

// `text` gzip-compressed `layers` times over.
std::string Nested(std::string text, int layers) {
    for (int i = 0; i < layers; ++i) text = builder::Gzip(text);
    return text;
}

class DecodedContent : public CacheFixture {
  protected:
    DecodedContent() : cache_(root_.path() + "/cache") {}

    // With `sparseSize`, the stored bytes begin a sparse file of that size (the rest a hole).
    std::shared_ptr<clsCache> Bind(const std::string& stored, const std::vector<std::string>& headerLines,
                                   uint64_t sparseSize = 0) {
        builder::WinProxyObject o;
        o.host = "www.example.com";
        o.fileName = "1a2b_page" + std::to_string(++objects_) + ".html";
        o.url = "http://www.example.com/page.html";
        o.Header("Content-Type", "text/html");
        for (const std::string& line : headerLines) o.headerLines.push_back(line);
        o.content = sparseSize > stored.size()
                        ? Content::Sized(sparseSize, builder::Fill::Sparse).Patch(0, stored)
                        : Content::Bytes(stored);
        auto object = NewCacheObject(1);
        object->setFileName(cache_.Add(o));
        return object;
    }

    std::string Copy(const std::shared_ptr<clsCache>& object) {
        const std::string target = root_ / ("copy" + std::to_string(objects_));
        EXPECT_TRUE(object->FileCopy(target));
        return root_.ReadFile("copy" + std::to_string(objects_));
    }

    static bool Finds(const std::shared_ptr<clsCache>& object, std::initializer_list<std::string> words) {
        ParsedFilter filter = Filter(words);
        return object->FindInContents(filter, 1);
    }

    builder::WinProxyCache cache_;
    int objects_ = 0;
};

TEST_F(DecodedContent, EveryKnownCodingIsUndoneForCopiesAndSearches) {
    const std::string text = PlainText();
    struct Case {
        std::string name;
        std::vector<std::string> headers;
        std::string stored;
    };
    const Case cases[] = {
        {"gzip", {"Content-Encoding: gzip"}, builder::Gzip(text)},
        {"two gzip members",
         {"Content-Encoding: x-gzip"},
         builder::Gzip(text.substr(0, 9000)) + builder::Gzip(text.substr(9000))},
        {"zlib deflate", {"Content-Encoding: deflate"}, builder::ZlibDeflate(text)},
        {"raw deflate", {"Content-Encoding: Deflate"}, builder::RawDeflate(text)},
        {"brotli", {"Content-Encoding: br"}, builder::Brotli(text)},
        {"chunked", {"Transfer-Encoding: chunked"}, builder::Chunked(text, 1000)},
        {"chunked around gzip",
         {"Content-Encoding: gzip", "Transfer-Encoding: chunked"},
         builder::Chunked(builder::Gzip(text), 777)},
        {"two header lines, undone last first",
         {"Content-Encoding: gzip", "Content-Encoding: br"},
         builder::Brotli(builder::Gzip(text))},
        {"eight codings, the most undone",
         {"Content-Encoding: gzip, gzip, gzip, gzip, gzip, gzip, gzip", "Transfer-Encoding: chunked"},
         builder::Chunked(Nested(text, 7), 500)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto object = Bind(c.stored, c.headers);
        EXPECT_EQ(Copy(object), text);
        EXPECT_TRUE(Finds(object, {"straddle", "TailWord"}));
        EXPECT_FALSE(object->DecodeFailed());
    }
    EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(DecodedContent, DamagedStreamsAreCopiedAndSearchedAsStoredAndMarked) {
    const std::string gzip = builder::Gzip(PlainText());
    struct Case {
        std::string name, header, stored;
    };
    std::string sevenHundred = "Content-Encoding: gzip";
    for (int i = 1; i < 700; ++i) sevenHundred += ", gzip";
    const Case cases[] = {
        // Deeper than any server goes: used as stored, whatever the layers hold, on a bounded stack.
        {"nine codings", "Content-Encoding: gzip, gzip, gzip, gzip, gzip, gzip, gzip, gzip, gzip",
         Nested("RAWMARK", 9) + " RAWMARK"},
        {"seven hundred codings", sevenHundred, Nested("RAWMARK", 700) + " RAWMARK"},
        {"gzip cut short", "Content-Encoding: gzip", gzip.substr(0, gzip.size() / 2) + " RAWMARK"},
        {"not gzip at all", "Content-Encoding: gzip", "<html>plain RAWMARK text</html>"},
        {"brotli garbage", "Content-Encoding: br", std::string(100, '\xff') + "RAWMARK"},
        {"chunk size not hex", "Transfer-Encoding: chunked", "zz\r\nRAWMARK\r\n0\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto object = Bind(c.stored, {c.header});
        EXPECT_TRUE(Finds(object, {"RAWMARK"}));
        EXPECT_TRUE(object->DecodeFailed());
        EXPECT_EQ(Copy(object), c.stored);
    }
    EXPECT_EQ(ReportCount(), 0u);
    for (const auto& entry : std::filesystem::directory_iterator(root_.path()))
        EXPECT_EQ(entry.path().extension(), "") << "left behind: " << entry.path();
    // Words found before the damage stay found.
    const auto cut = Bind(gzip.substr(0, gzip.size() - 12), {"Content-Encoding: gzip"});
    ParsedFilter filter = Filter({"STRADDLE", "NOWHERE"});
    EXPECT_FALSE(cut->FindInContents(filter, 1));
    EXPECT_TRUE(filter.Found[0]);
}

TEST_F(DecodedContent, UnknownCodingOrDecodingOffUsesTheStoredBytesWithoutAMark) {
    const auto unknown = Bind("compressed?", {"Content-Encoding: compress"});
    EXPECT_EQ(Copy(unknown), "compressed?");
    EXPECT_FALSE(unknown->DecodeFailed());
    Program().DecodeContent = false;
    const std::string gzip = builder::Gzip(PlainText());
    const auto object = Bind(gzip, {"Content-Encoding: gzip"});
    EXPECT_FALSE(Finds(object, {"STRADDLE"}));
    EXPECT_EQ(Copy(object), gzip);
    EXPECT_FALSE(object->DecodeFailed());
    // A block without a status line has no response head (the WARC export reads the heads back).
    EXPECT_EQ(ResponseHeadOf(std::string(9, 'x') + "http://h/\nnot a status\nA: b\n\nbody"), "");
}

TEST_F(DecodedContent, DecompressionBombIsCopiedAsStored) {
    const std::string bomb = builder::Gzip(std::string(size_t{80} << 20, '\0'));
    ASSERT_LT(DecodedSizeLimit(bomb.size()), uint64_t{80} << 20);
    const auto object = Bind(bomb, {"Content-Encoding: gzip"});
    EXPECT_EQ(Copy(object), bomb);
    EXPECT_TRUE(object->DecodeFailed());
    // A hole is not stored bytes: in a sparse file whose apparent size would allow the bomb, the guard
    // still counts what the file holds.
    const uint64_t apparent = 1 << 20;
    ASSERT_GT(DecodedSizeLimit(apparent), uint64_t{80} << 20);
    const auto sparse = Bind(bomb, {"Content-Encoding: gzip"}, apparent);
    EXPECT_EQ(Copy(sparse).substr(0, bomb.size()), bomb);
    EXPECT_TRUE(sparse->DecodeFailed());
    EXPECT_FALSE(Finds(sparse, {"NOWHERE"}));
    EXPECT_TRUE(sparse->DecodeFailed());
}

}  // namespace
}  // namespace loftwick::test
