// The WinProxy side of the cache builder: the bytes on disk are checked by hand, byte for byte, since
// every cache test of the program trusts them.
#include "cachebuilder/WinProxyBuilder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <fstream>

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

TEST(WinProxyBuilder, LfObjectIsLeadInUrlStatusHeadersEmptyLineAndContent) {
    TempDir dir;
    WinProxyCache cache(dir.path());
    const std::string path = cache.Add(Page(LineBreak::Lf));

    EXPECT_EQ(path, dir / "www.example.com/0a1b2c3d_index.html");
    const std::string expectedBlock =
        "LOFTWICK\n"
        "http://www.example.com/index.html\n"
        "HTTP/1.0 200 OK\n"
        "Content-Type: text/html\n"
        "Content-Length: 5\n"
        "\n";
    EXPECT_EQ(dir.ReadFile("www.example.com/0a1b2c3d_index.html"), expectedBlock + "hello");
    EXPECT_EQ(HeaderBlock(Page(LineBreak::Lf)), expectedBlock);
    EXPECT_EQ(cache.CacheDir(), dir.path() + "/");
}

TEST(WinProxyBuilder, EachLineBreakStyleEndsEveryLineAndTheBlock) {
    struct Case {
        LineBreak style;
        std::string afterUrl, afterStatus, afterFirstHeader, afterLastHeader, blockEnd;
    };
    const Case cases[] = {
        {LineBreak::CrLf, "\r\n", "\r\n", "\r\n", "\r\n", "\r\n"},
        {LineBreak::Cr, "\r", "\r", "\r", "\r", "\r"},
        {LineBreak::Nul, std::string(1, '\0'), std::string(1, '\0'), std::string(1, '\0'),
         std::string(1, '\0'), std::string(1, '\0')},
        // LF, CR LF, CR in turn; the empty line repeats the last line's break.
        {LineBreak::Mixed, "\n", "\r\n", "\r", "\n", "\n"},
    };
    for (const Case& c : cases) {
        const std::string expected = std::string("LOFTWICK\n") + "http://www.example.com/index.html" +
                                     c.afterUrl + "HTTP/1.0 200 OK" + c.afterStatus +
                                     "Content-Type: text/html" + c.afterFirstHeader + "Content-Length: 5" +
                                     c.afterLastHeader + c.blockEnd;
        EXPECT_EQ(HeaderBlock(Page(c.style)), expected) << static_cast<int>(c.style);
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
    raw.url = "ignored";
    raw.content = Content::Bytes("ignored too");
    cache.Add(raw);
    EXPECT_EQ(dir.ReadFile("h/1_raw"), *raw.rawFile);
}

TEST(WinProxyBuilder, PatternContentMatchesItsSliceAcrossWriteChunks) {
    TempDir dir;
    WinProxyCache cache(dir.path());
    WinProxyObject o = Page(LineBreak::CrLf);
    const uint64_t chunk = 1 << 20;
    o.content = Content::Sized(3 * chunk + 17).Patch(chunk - 3, "NEEDLE").Patch(0, "AT-START");
    const std::string path = cache.Add(o);

    const std::string onDisk = dir.ReadFile("www.example.com/0a1b2c3d_index.html");
    const std::string block = HeaderBlock(o);
    ASSERT_EQ(onDisk.size(), block.size() + 3 * chunk + 17);
    EXPECT_EQ(onDisk.substr(block.size()), o.content.Slice(0, o.content.Size()));
    EXPECT_EQ(onDisk.substr(block.size() + chunk - 3, 6), "NEEDLE");
    EXPECT_EQ(onDisk.substr(block.size(), 8), "AT-START");
    const std::string pattern = kPatternText;
    EXPECT_EQ(onDisk.substr(block.size() + 8, pattern.size() - 8), pattern.substr(8));
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

TEST(WinProxyBuilder, PatchOutsideTheContentIsRefused) {
    EXPECT_THROW(Content::Bytes("abc").Patch(2, "xy"), std::invalid_argument);
    EXPECT_THROW(Content::Sized(10).Patch(11, ""), std::invalid_argument);
    EXPECT_NO_THROW(Content::Sized(10).Patch(8, "xy"));
}

TEST(WinProxyBuilder, StampSetsWriteTimeAndCreationAttribute) {
    TempDir dir;
    WinProxyCache cache(dir.path());
    WinProxyObject o = Page(LineBreak::Lf);
    o.stamp.writeTime = 1000000000;
    o.stamp.creationTime = 1700000000;
    const std::string path = cache.Add(o);

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    char value[64] = {};
    const ssize_t n = ::getxattr(path.c_str(), "user.loftwick.created", value, sizeof value - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(value, static_cast<size_t>(n)), "1700000000.000000000");
}

TEST(WinProxyBuilder, DefaultFileNameIsHashPrefixAndLastSegment) {
    const std::string name = DefaultFileName("http://www.example.com/img/logo.gif?v=2");
    ASSERT_EQ(name.size(), 9u + 8u);
    EXPECT_EQ(name.substr(8), "_logo.gif");
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), 8u);
    EXPECT_EQ(DefaultFileName("http://www.example.com/img/logo.gif?v=2"), name);  // stable
    EXPECT_NE(DefaultFileName("http://www.example.com/img2/logo.gif"), name);
    EXPECT_EQ(DefaultFileName("http://www.example.com/").substr(8), "_index");
    EXPECT_EQ(DefaultFileName("http://h/a b%c").substr(8), "_a-b-c");
}

TEST(WinProxyBuilder, HttpDateIsTheRfc1123Form) {
    EXPECT_EQ(HttpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(HttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(HttpDate(1733479200), "Fri, 06 Dec 2024 10:00:00 GMT");
}

}  // namespace
}  // namespace loftwick::builder
