// Description files: what a hand-written description says is what lands on disk, and a mistake is
// named by its line.
#include "cachebuilder/DescriptionFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "cache/SwapMetadata.h"
#include "cachebuilder/WinGateBuilder.h"
#include "support/TestEnv.h"

namespace loftwick::builder {
namespace {

using test::TempDir;

uint64_t Build(const std::string& text, const std::string& out) {
    std::istringstream in(text);
    return BuildFromDescription(in, out);
}

TEST(DescriptionFile, WinProxyObjectWithHeadersContentAndTimes) {
    TempDir dir;
    const uint64_t count = Build(
        "# a page\n"
        "format winproxy\n"
        "object\n"
        "  host www.example.com\n"
        "  file 12ab_page.html\n"
        "  url http://www.example.com/page.html\n"
        "  break lf\n"
        "  header Content-Type: text/html\n"
        "  header X-Odd:\\x01\\0end\n"
        "  content Hello\\r\\nWorld\n"
        "  written 2001-09-09 01:46:40\n"
        "  created 1700000000\n"
        "object\r\n"
        "  host www.example.com\r\n"
        "  file raw_one\r\n"
        "  raw \\0\\0\\0\r\n",
        dir.path());
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(
        dir.ReadFile("www.example.com/12ab_page.html"),
        std::string("LOFTWICK\nhttp://www.example.com/page.html\nHTTP/1.0 200 OK\nContent-Type: text/html\n"
                    "X-Odd:\x01") +
            std::string(1, '\0') + "end\n\nHello\r\nWorld");
    EXPECT_EQ(dir.ReadFile("www.example.com/raw_one"), std::string(3, '\0'));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "www.example.com/12ab_page.html").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

// The layout a real Squid 5 writes: 0x03, the whole metadata's length, then key (3, 16 bytes), the
// standard fields (9, 44 bytes), the URL with its NUL (4), the object size (10, 8 bytes) and the Vary
// headers (8, no NUL); swap.state is one 72-byte header and one 72-byte entry per file.
TEST(DescriptionFile, SquidStoreWithVariantMarkerAndOddEntries) {
    TempDir dir;
    const uint64_t count = Build(
        "format squid\n"
        "marker http://s.example/app.js Accept-Encoding\n"
        "swapfile\n"
        "  url http://s.example/app.js\n"
        "  header Content-Type: application/javascript\n"
        "  timestamp 2024-12-05 10:00:00\n"
        "  expires -1\n"
        "  lastmod 1700000000\n"
        "  refcount 3\n"
        "  vary accept-encoding=\"gzip\"\n"
        "  entry 99 \\x01\\x02\n"
        "  content var a;\n"
        "swapfile\n"
        "  number 300\n"
        "  raw \\x03\n",
        dir.path());
    EXPECT_EQ(count, 3u);
    const std::string file = dir.ReadFile("00/00/00000001");
    ASSERT_GT(file.size(), 5u);
    std::string types;
    for (size_t at = 5; at + 5 <= file.size() && at < static_cast<uint8_t>(file[1]);) {
        types += std::to_string(file[at]) + " ";
        at += 5 + static_cast<uint8_t>(file[at + 1]);
    }
    EXPECT_EQ(types, "3 9 4 10 8 99 ");
    const SwapMetadata meta = ParseSwapMetadata(file);
    ASSERT_TRUE(meta.valid) << meta.problem;
    EXPECT_EQ(meta.url, "http://s.example/app.js");
    EXPECT_EQ(meta.timestamp, 1733392800);
    EXPECT_EQ(meta.expires, -1);
    EXPECT_EQ(meta.lastModified, 1700000000);
    EXPECT_EQ(meta.referenceCount, 3);
    EXPECT_EQ(meta.varyHeaders, "accept-encoding=\"gzip\"");
    EXPECT_EQ(file.substr(meta.length),
              "HTTP/1.1 200 OK\r\nContent-Type: application/javascript\r\n\r\nvar a;");
    EXPECT_EQ(meta.objectSize, file.size() - meta.length);
    EXPECT_NE(dir.ReadFile("00/00/00000000").find("x-squid-internal/vary"), std::string::npos);
    EXPECT_EQ(dir.ReadFile("00/01/0000012C"), "\x03");  // 300 = 0x12C, in L2 folder 300 / 256 = 1
    EXPECT_EQ(dir.ReadFile("swap.state").size(), 4u * 72);
}

TEST(DescriptionFile, WinGateRecordsGarbageAndMissingContent) {
    TempDir dir;
    const uint64_t count = Build(
        "format wingate\n"
        "record\n"
        "  url h/p\n"
        "  name AB\n"
        "  retrieved 1000000000\n"
        "  modified 2001-09-09 01:46:40\n"
        "  type text/x\n"
        "  length 4294967296\n"
        "  zeros 5 1\n"
        "  size 20 pattern\n"
        "  patch 2 NEEDLE\n"
        "record\n"
        "  url h/q\n"
        "  name GONE\n"
        "  missing\n"
        "  cut 5\n"
        "garbage \\xff\\x00\n",
        dir.path());
    EXPECT_EQ(count, 2u);

    WinGateRecord first;
    first.url = "h/p";
    first.baseName = "AB";
    first.retrieved = first.modified = 1000000000;
    first.contentType = "text/x";
    first.contentLength = 4294967296ull;
    first.ZerosBefore(5, 1);
    WinGateRecord second;
    second.url = "h/q";
    second.baseName = "GONE";
    second.cutAfter = 5;
    EXPECT_EQ(dir.ReadFile("cache.idx"),
              EncodeRecord(first) + EncodeRecord(second) + std::string("\xff\x00", 2));
    EXPECT_EQ(dir.ReadFile("AB.wgc"), "loNEEDLEsum dolor si");
    EXPECT_FALSE(dir.Exists("GONE.wgc"));
}

TEST(DescriptionFile, MistakesNameTheirLine) {
    TempDir dir;
    auto errorOf = [&](const std::string& text) {
        try {
            Build(text, dir.path());
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(errorOf("object\n"), "line 1: the first line must be \"format winproxy|wingate|squid\"");
    EXPECT_EQ(errorOf("format winproxy\nrecord\n"),
              "line 2: \"record\" belongs to a WinGate cache; use \"object\"");
    EXPECT_EQ(errorOf("format winproxy\nobject\nsize 12x\n"), "line 3: not a number: \"12x\"");
    EXPECT_EQ(errorOf("format winproxy\nobject\ncontent 12\npatch 11 abc\n"),
              "line 4: content patch at 11 lies beyond the content");
}

TEST(DescriptionFile, UnescapeTurnsEscapesIntoBytes) {
    EXPECT_EQ(Unescape("a\\tb\\\\c\\x41\\x7a trailing\\"), "a\tb\\cAz trailing\\");
    EXPECT_THROW(Unescape("\\x4"), std::runtime_error);
}

}  // namespace
}  // namespace loftwick::builder
