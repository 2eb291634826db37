// What only the WinProxy object does beyond its header block (the golden cases of StoredHeaders_test):
// huge files, files rewritten since binding, the content-type word of the file name.
#include "cache/clsCacheWinProxy.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "cache/CacheTestKit.h"
#include "support/FaultFileSystem.h"
#include "support/HugeCopyFileSystem.h"

namespace loftwick::test {
namespace {

namespace fs = std::filesystem;
using builder::Content;
using builder::WinProxyObject;

class WinProxyObjectTest : public CacheFixture {
  protected:
    WinProxyObjectTest() : cache_(root_.path() + "/cache") { Program().CacheDir = cache_.CacheDir(); }

    static WinProxyObject Page(const std::string& name = "5e5e_page.html") {
        WinProxyObject o;
        o.host = "www.example.com";
        o.fileName = name;
        o.url = "http://www.example.com/page.html";
        o.Header("Content-Type", "text/html");
        o.content = Content::Bytes("CONTENT");
        return o;
    }
    std::shared_ptr<clsCache> Bind(const WinProxyObject& o) {
        auto object = std::make_shared<clsCacheWinProxy>();
        object->setFileName(cache_.Add(o));
        return object;
    }

    builder::WinProxyCache cache_;
};

// The proxy rewrites an object after the scan, in place or by renaming a new file over it, with a longer
// header block: a later copy holds the new content, not a piece of the new header. An object gone since
// is a failed, reported copy.
TEST_F(WinProxyObjectTest, CopyOfAnObjectRewrittenSinceBindingReadsTheNewHeaderBlock) {
    for (const bool inPlace : {true, false}) {
        SCOPED_TRACE(inPlace ? "rewritten in place" : "replaced");
        const auto object = Bind(Page());
        object->ReleaseFile();
        WinProxyObject rewritten = Page();
        rewritten.Header("X-Longer", std::string(300, 'h'));
        rewritten.content = Content::Bytes("NEW CONTENT");
        const std::string file = object->fileName();
        builder::WriteObjectFile(inPlace ? file : root_ / "fresh", builder::HeaderBlock(rewritten),
                                 rewritten.content);
        if (!inPlace) fs::rename(root_ / "fresh", file);
        ASSERT_TRUE(object->FileCopy(root_ / "copy"));
        EXPECT_EQ(root_.ReadFile("copy"), "NEW CONTENT");
    }
    const auto gone = Bind(Page());
    fs::remove(gone->fileName());
    EXPECT_FALSE(gone->FileCopy(root_ / "gone"));
    EXPECT_FALSE(fs::exists(root_ / "gone"));
    EXPECT_EQ(ReportCount(), 1u);
}

// Lengths are exact past 2 and 4 GiB, a search from near the end reads only the last bytes, and a copy
// is whole and streamed in blocks, never the whole content at once.
TEST_F(WinProxyObjectTest, ObjectsPastTwoAndFourGibibytes) {
    HugeCopyFileSystem counting;
    for (const uint64_t size : {(1ull << 31) + 5, (1ull << 32) + 7}) {
        SCOPED_TRACE(size);
        WinProxyObject o = Page(std::to_string(size) + "_big");
        o.Header("Content-Length", std::to_string(size));
        o.content = Content::Sized(size, builder::Fill::Sparse).Patch(0, "HEAD").Patch(size - 6, "AT-END");
        const auto object = Bind(o);
        EXPECT_EQ(object->ContentLen(), static_cast<int64_t>(size));
        EXPECT_EQ(object->ContentLenActual(), static_cast<int64_t>(size));
        ParsedFilter filter = Filter({"AT-END"}), before = Filter({"AT-END"});
        EXPECT_TRUE(object->FindInContents(filter, static_cast<int64_t>(size) - 100));
        EXPECT_FALSE(object->FindInContents(before, static_cast<int64_t>(size) - 4));
        if (size < (1ull << 32)) continue;
        Platform().fileSystem = &counting;
        ASSERT_TRUE(object->FileCopy(root_ / "huge.copy"));
        EXPECT_EQ(counting.written, size);
        EXPECT_EQ(counting.head.substr(0, 4), "HEAD");
        EXPECT_EQ(counting.tail.substr(2), "AT-END");
        EXPECT_GE(counting.largestWrite, 32768u);
        EXPECT_LE(counting.largestWrite, 16u << 20);
    }
    EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(WinProxyObjectTest, SearchNeverLooksIntoTheHeaderBlockAndNeedsNoContentLength) {
    WinProxyObject o = Page();  // no Content-Length header
    o.Header("X-Secret", "HIDDEN");
    const auto object = Bind(o);
    ParsedFilter filter = Filter({"HIDDEN"}), body = Filter({"content"});
    EXPECT_FALSE(object->FindInContents(filter, 1));
    EXPECT_TRUE(object->FindInContents(body, 1));
}

TEST_F(WinProxyObjectTest, BindingAnotherFileForgetsEverythingOfTheFirst) {
    WinProxyObject a = Page("aaaa_a.html");
    a.Header("Date", builder::HttpDate(kNow - 2 * kDay)).Header("Content-Length", "7");
    WinProxyObject b = Page("bbbb_b.html");
    b.url = "http://other.example.com/b";
    b.headerLines.clear();
    auto object = Bind(a);
    object->setFileName(cache_.Add(b));
    EXPECT_EQ(FactsOf(*object), FactsOf(*Bind(b)));
    EXPECT_EQ(object->StoredResponseHead(), "HTTP/1.0 200 OK\r\n\r\n");
    EXPECT_FALSE(object->TakeMetadata(nullptr, 0));  // a WinProxy object is bound by its file alone
    object->setFileName("");
    EXPECT_EQ(object->fileName() + object->ObjectName(), "");
}

TEST_F(WinProxyObjectTest, StampsFallBackToTheModificationDateThenToNow) {
    const auto undated = Bind(Page("dddd_undated"));
    EXPECT_TRUE(undated->FixFileTime());
    EXPECT_EQ(WriteTimeOf(undated->fileName()), kNow);
    WinProxyObject o = Page();
    o.Header("Last-Modified", builder::HttpDate(kNow - 20 * kDay));
    const auto modified = Bind(o);
    EXPECT_TRUE(modified->FixFileTime());
    EXPECT_EQ(WriteTimeOf(modified->fileName()), kNow - 20 * kDay);
}

// (A WinGate record cannot hold an empty content type: a length byte of 0 is read past.)
TEST_F(WinProxyObjectTest, FixFileNameAddsTheWordToANameWithoutPrefixAndNeedsAContentType) {
    const auto object = Bind(Page("plain.html"));
    EXPECT_TRUE(object->FixFileName());
    EXPECT_EQ(object->fileName(), cache_.CacheDir() + "www.example.com/html_plain.html");
    WinProxyObject o = Page();
    o.headerLines.clear();
    const auto untyped = Bind(o);
    EXPECT_FALSE(untyped->FixFileName());
    EXPECT_EQ(untyped->fileName(), cache_.PathOf(o));
    EXPECT_TRUE(fs::exists(cache_.PathOf(o)));
}

TEST_F(WinProxyObjectTest, FolderOrUnreadableFileBindsNothing) {
    root_.MakeDirs("cache/www.example.com/a_folder");
    auto object = std::make_shared<clsCacheWinProxy>();
    object->setFileName(cache_.CacheDir() + "www.example.com/a_folder");
    EXPECT_EQ(object->fileName(), "");
    EXPECT_EQ(ReportCount(), 0u);
    const std::string path = cache_.Add(Page());
    FaultFileSystem faults;
    Platform().fileSystem = &faults;
    faults.FailNth(FsOp::OpenRead, 1, EIO);
    object->setFileName(path);
    EXPECT_EQ(object->fileName() + object->ObjectName(), "");
    const auto reports = ReportsAt("clsCacheWinProxy:clsCache_Filename");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(path), std::string::npos);
}

TEST(ContentTypePrefix, WordIsTheSubtypeElseTheTypeAndNeverEndsThePrefixEarly) {
    const std::pair<std::string, std::string> cases[] = {{"text/html; charset=utf-8", "html_"},
                                                         {" image / gif ", "gif_"},
                                                         {"image/*", "image_"},
                                                         {"application/x_shock/wave", "x-shock-wave_"},
                                                         {"/html", "_"},
                                                         {"nonsense", "_"},
                                                         {std::string("a/b\0c\\d", 7), "b-c-d_"}};
    for (const auto& [type, prefix] : cases) EXPECT_EQ(ContentTypePrefix(type), prefix) << type;
}

}  // namespace
}  // namespace loftwick::test
