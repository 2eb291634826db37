// The WinProxy side of the cache builder: the bytes on disk checked by hand and read back by the
// program's own parser, since every cache test of the program trusts them. (Stamps, default file names
// and HTTP dates are read back by the cache-object and scan tests.)
#include "cachebuilder/WinProxyBuilder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "cache/StoredHeaders.h"
#include "support/TestEnv.h"

namespace loftwick::builder {
namespace {

using test::TempDir;

std::string ReadRange(const std::string& path, uint64_t offset, size_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

WinProxyObject Page(LineBreak style) {
    WinProxyObject o;
    o.host = "www.example.com";
    o.fileName = "0a1b2c3d_index.html";
    o.url = "http://www.example.com/index.html";
    o.lineBreak = style;
    o.Header("Content-Type", "text/html").Header("Content-Length", "5");
    o.content = Content::Bytes("hello");
    return o;
}

TEST(WinProxyBuilder, LfObjectIsWrittenByteForByteAndParsesBack) {
    TempDir dir;
    WinProxyCache cache(dir.path());
    EXPECT_EQ(cache.Add(Page(LineBreak::Lf)), dir / "www.example.com/0a1b2c3d_index.html");
    EXPECT_EQ(cache.CacheDir(), dir.path() + "/");
    const std::string block =
        "LOFTWICK\nhttp://www.example.com/index.html\nHTTP/1.0 200 OK\nContent-Type: text/html\n"
        "Content-Length: 5\n\n";
    const std::string file = dir.ReadFile("www.example.com/0a1b2c3d_index.html");
    EXPECT_EQ(file, block + "hello");
    EXPECT_EQ(HeaderBlock(Page(LineBreak::Lf)), block);
    const StoredHeaderBlock parsed = ParseStoredHeaderBlock(file);
    EXPECT_EQ(parsed.headerLength, static_cast<int64_t>(block.size()));
    EXPECT_EQ(parsed.url, "http://www.example.com/index.html");
    EXPECT_EQ(parsed.contentType, "text/html");
    EXPECT_EQ(parsed.contentLength, 5);
}

TEST(WinProxyBuilder, EachLineBreakStyleEndsEveryLineAndTheBlock) {
    const std::string nul(1, '\0');
    // After the URL, the status, each header, and the empty line; Mixed takes LF, CR LF, CR in turn.
    const std::pair<LineBreak, std::vector<std::string>> cases[] = {
        {LineBreak::CrLf, {"\r\n", "\r\n", "\r\n", "\r\n", "\r\n"}},
        {LineBreak::Cr, {"\r", "\r", "\r", "\r", "\r"}},
        {LineBreak::Nul, {nul, nul, nul, nul, nul}},
        {LineBreak::Mixed, {"\n", "\r\n", "\r", "\n", "\n"}},
    };
    for (const auto& [style, b] : cases) {
        EXPECT_EQ(HeaderBlock(Page(style)), "LOFTWICK\nhttp://www.example.com/index.html" + b[0] +
                                                "HTTP/1.0 200 OK" + b[1] + "Content-Type: text/html" + b[2] +
                                                "Content-Length: 5" + b[3] + b[4])
            << static_cast<int>(style);
    }
}

TEST(WinProxyBuilder, HostileShapesAreWrittenVerbatim) {
    TempDir dir;
    WinProxyCache cache(dir.path());
    WinProxyObject unended = Page(LineBreak::Lf);
    unended.blockEnd = "";  // the block never ends: the content follows the last header line directly
    unended.leadIn = std::string(9, '\0');
    EXPECT_EQ(HeaderBlock(unended), std::string(9, '\0') +
                                        "http://www.example.com/index.html\nHTTP/1.0 200 OK\n"
                                        "Content-Type: text/html\nContent-Length: 5\n");
    WinProxyObject raw;
    raw.host = "h";
    raw.fileName = "1_raw";
    raw.rawFile = "LOFTWICK\nhttp://h/\n" + std::string(100 * 1024, 'X') + std::string("\0\r\0", 3);
    raw.content = Content::Bytes("ignored");
    cache.Add(raw);
    EXPECT_EQ(dir.ReadFile("h/1_raw"), *raw.rawFile);
}

TEST(WinProxyBuilder, PatternContentMatchesItsSliceAcrossWriteChunks) {
    TempDir dir;
    WinProxyCache cache(dir.path());
    WinProxyObject o = Page(LineBreak::CrLf);
    const uint64_t chunk = 1 << 20;
    o.content = Content::Sized(3 * chunk + 17).Patch(chunk - 3, "NEEDLE").Patch(0, "AT-START");
    const std::string onDisk = dir.ReadFile(cache.Add(o).substr(dir.path().size() + 1));
    const size_t block = HeaderBlock(o).size();
    ASSERT_EQ(onDisk.size(), block + 3 * chunk + 17);
    EXPECT_EQ(onDisk.substr(block), o.content.Slice(0, o.content.Size()));
    EXPECT_EQ(onDisk.substr(block + chunk - 3, 6), "NEEDLE");
    EXPECT_EQ(onDisk.substr(block, 8), "AT-START");
    const std::string pattern = kPatternText;
    EXPECT_EQ(onDisk.substr(block + 8, pattern.size() - 8), pattern.substr(8));
    EXPECT_THROW(Content::Bytes("abc").Patch(2, "xy"), std::invalid_argument);
    EXPECT_THROW(Content::Sized(10).Patch(11, ""), std::invalid_argument);
    EXPECT_NO_THROW(Content::Sized(10).Patch(8, "xy"));
}

TEST(WinProxyBuilder, SparseContentOfFiveGibibytesCostsNoSpace) {
    TempDir dir;
    WinProxyCache cache(dir.path());
    WinProxyObject o = Page(LineBreak::Lf);
    const uint64_t size = 5ull << 30;
    o.content = Content::Sized(size, Fill::Sparse).Patch(size - 6, "AT-END").Patch(1ull << 32, "PAST-4G");
    const std::string path = cache.Add(o);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const uint64_t block = HeaderBlock(o).size();
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), block + size);
    EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, 1u << 20);
    EXPECT_EQ(ReadRange(path, block + size - 6, 16), "AT-END");
    EXPECT_EQ(ReadRange(path, block + (1ull << 32), 7), "PAST-4G");
    EXPECT_EQ(ReadRange(path, block + 100, 4), std::string(4, '\0'));
}

}  // namespace
}  // namespace loftwick::builder
