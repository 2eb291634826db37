// What only the WinProxy object does: find where the stored header block ends, bind small and huge
// files, and start each binding from nothing.
#include "cache/clsCacheWinProxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "cache/CacheTestKit.h"
#include "support/FaultFileSystem.h"
#include "support/HugeCopyFileSystem.h"

namespace loftwick::test {
namespace {

namespace fs = std::filesystem;
using builder::Content;
using builder::Fill;
using builder::LineBreak;
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

TEST_F(WinProxyObjectTest, ContentStartsRightAfterTheEmptyLineOfAnLfOrCrLfBlock) {
    for (const LineBreak style : {LineBreak::Lf, LineBreak::CrLf}) {
        WinProxyObject o = Page();
        o.lineBreak = style;
        const auto object = Bind(o);
        EXPECT_EQ(object->ContentLenActual(), 7);
        ASSERT_TRUE(object->FileCopy(root_ / "copy"));
        EXPECT_EQ(root_.ReadFile("copy"), "CONTENT");
    }
}

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

TEST_F(WinProxyObjectTest, BlockNotEndedInTheFirst10000BytesMakesTheWholeFileContent) {
    WinProxyObject o = Page();
    o.Header("X-Padding", std::string(10000, 'p'));
    const auto object = Bind(o);
    const int64_t size = static_cast<int64_t>(fs::file_size(object->fileName()));
    EXPECT_EQ(object->ContentLenActual(), size);
    EXPECT_EQ(object->ObjectName(), "http://www.example.com/page.html");
    ASSERT_TRUE(object->FileCopy(root_ / "copy"));
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(root_ / "copy")), size);
}

TEST_F(WinProxyObjectTest, HeaderBlockFillingTheWholeFileCopiesToAnEmptyStampedFile) {
    WinProxyObject o = Page();
    o.Header("Last-Modified", builder::HttpDate(kNow - 3 * kDay));
    o.content = Content::Bytes("");
    const auto object = Bind(o);
    EXPECT_EQ(object->ContentLenActual(), 0);
    ASSERT_TRUE(object->FileCopy(root_ / "copy"));
    EXPECT_EQ(fs::file_size(root_ / "copy"), 0u);
    EXPECT_EQ(WriteTimeOf(root_ / "copy"), kNow - 3 * kDay);
}

// Where a text of 19 or 20 bytes is parsed is the header parser's golden case; the object binds both.
TEST_F(WinProxyObjectTest, FilesBelowTwentyBytesAreContentWithoutMetadata) {
    WinProxyObject tiny = Page("0000_tiny");
    tiny.rawFile = "0123456789";
    const auto ten = Bind(tiny);
    EXPECT_EQ(ten->fileName(), cache_.PathOf(tiny));
    EXPECT_EQ(ten->ContentLenActual(), 10);
    EXPECT_EQ(ten->ObjectName() + ten->ContentType(), "");
    EXPECT_TRUE(ten->DateRetrieved().IsZero());
    tiny.rawFile = std::string(builder::kLeadIn) + "http://hx\n\n";
    EXPECT_EQ(Bind(tiny)->ObjectName(), "http://hx");
}

TEST_F(WinProxyObjectTest, BindingAnotherFileForgetsEverythingOfTheFirst) {
    WinProxyObject a = Page("aaaa_a.html");
    a.Header("Date", builder::HttpDate(kNow - 2 * kDay))
        .Header("Last-Modified", builder::HttpDate(kNow - 9 * kDay))
        .Header("Content-Length", "7");
    WinProxyObject b;
    b.host = "www.example.com";
    b.fileName = "bbbb_b.html";
    b.url = "http://other.example.com/b";
    b.content = Content::Bytes("B");

    auto object = std::make_shared<clsCacheWinProxy>();
    object->setFileName(cache_.Add(a));
    ASSERT_EQ(object->ContentType(), "text/html");
    object->setFileName(cache_.Add(b));
    EXPECT_EQ(object->fileName(), cache_.PathOf(b));
    EXPECT_EQ(object->ObjectName(), "http://other.example.com/b");
    EXPECT_EQ(object->ContentType(), "");
    EXPECT_EQ(object->ContentLen(), 0);
    EXPECT_EQ(object->ContentLenActual(), 1);
    EXPECT_TRUE(object->DateRetrieved().IsZero() && object->DateModified().IsZero());

    object->setFileName("");
    EXPECT_EQ(object->fileName(), "");
    EXPECT_EQ(object->ObjectName(), "");
}

TEST_F(WinProxyObjectTest, ContentLengthThatIsNotANumberCountsAsZero) {
    WinProxyObject o = Page();
    o.Header("Content-Length", "about 12 bytes");
    const auto object = Bind(o);
    EXPECT_EQ(object->fileName(), cache_.PathOf(o));
    EXPECT_EQ(object->ContentLen(), 0);
    EXPECT_EQ(object->ContentType(), "text/html");
    EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(WinProxyObjectTest, LengthsPastTwoAndFourGibibytesAreExact) {
    for (const uint64_t size : {(1ull << 31) + 5, (1ull << 32) + 7}) {
        SCOPED_TRACE(size);
        WinProxyObject o = Page(std::to_string(size) + "_big");
        o.Header("Content-Length", std::to_string(size));
        o.content = Content::Sized(size, Fill::Sparse).Patch(size - 6, "AT-END");
        const auto object = Bind(o);
        EXPECT_EQ(object->ContentLen(), static_cast<int64_t>(size));
        EXPECT_EQ(object->ContentLenActual(), static_cast<int64_t>(size));
        // A search that starts near the end reads only the last bytes.
        ParsedFilter filter = Filter({"AT-END"});
        EXPECT_TRUE(object->FindInContents(filter, static_cast<int64_t>(size) - 100));
        ParsedFilter before = Filter({"AT-END"});
        EXPECT_FALSE(object->FindInContents(before, static_cast<int64_t>(size) - 4));
    }
}

TEST_F(WinProxyObjectTest, CopyPastFourGibibytesIsWholeAndStreamedInBlocks) {
    const uint64_t size = (1ull << 32) + 3;
    WinProxyObject o = Page("cccc_huge");
    o.content = Content::Sized(size, Fill::Sparse).Patch(0, "HEAD").Patch(size - 4, "TAIL");
    const auto object = Bind(o);
    HugeCopyFileSystem counting;
    Platform().fileSystem = &counting;

    ASSERT_TRUE(object->FileCopy(root_ / "huge.copy"));
    EXPECT_EQ(counting.written, size);
    EXPECT_EQ(counting.head.substr(0, 4), "HEAD");
    EXPECT_EQ(counting.tail.substr(4), "TAIL");
    EXPECT_GE(counting.largestWrite, 32768u);
    EXPECT_LE(counting.largestWrite, 16u << 20);  // never the whole content at once
    EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(WinProxyObjectTest, SearchNeverLooksIntoTheHeaderBlockAndNeedsNoContentLength) {
    WinProxyObject o = Page();  // no Content-Length header
    o.Header("X-Secret", "HIDDEN");
    const auto object = Bind(o);
    ASSERT_EQ(object->ContentLen(), 0);
    ParsedFilter filter = Filter({"HIDDEN"});
    EXPECT_FALSE(object->FindInContents(filter, 1));
    ParsedFilter body = Filter({"content"});
    EXPECT_TRUE(object->FindInContents(body, 1));
}

TEST_F(WinProxyObjectTest, StampsFallBackToTheModificationDateThenToNowAndCopiesToTheRetrievalDate) {
    const auto undated = Bind(Page("dddd_undated"));
    EXPECT_TRUE(undated->FixFileTime());
    EXPECT_EQ(WriteTimeOf(undated->fileName()), kNow);

    WinProxyObject o = Page();
    o.Header("Last-Modified", builder::HttpDate(kNow - 20 * kDay));
    const auto modified = Bind(o);
    EXPECT_TRUE(modified->FixFileTime());
    EXPECT_EQ(WriteTimeOf(modified->fileName()), kNow - 20 * kDay);

    o = Page();
    o.Header("Date", builder::HttpDate(kNow - 6 * kDay));
    ASSERT_TRUE(Bind(o)->FileCopy(root_ / "copy"));
    EXPECT_EQ(WriteTimeOf(root_ / "copy"), kNow - 6 * kDay);
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

TEST_F(WinProxyObjectTest, HasNoHostAndIsNotBoundByRecords) {
    const auto object = Bind(Page());
    EXPECT_EQ(object->Host(), "");
    const uint8_t record[] = {1, 'h'};
    EXPECT_FALSE(object->TakeMetadata(record, sizeof record));
    EXPECT_EQ(object->fileName(), cache_.PathOf(Page()));
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
    EXPECT_EQ(object->fileName(), "");
    EXPECT_EQ(object->ObjectName(), "");
    const auto reports = ReportsAt("clsCacheWinProxy:clsCache_Filename");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(path), std::string::npos);
}

TEST(ContentTypePrefix, WordIsTheSubtypeElseTheTypeAndNeverEndsThePrefixEarly) {
    EXPECT_EQ(ContentTypePrefix("text/html; charset=utf-8"), "html_");
    EXPECT_EQ(ContentTypePrefix(" image / gif "), "gif_");
    EXPECT_EQ(ContentTypePrefix("image/*"), "image_");
    EXPECT_EQ(ContentTypePrefix("application/x_shock/wave"), "x-shock-wave_");
    EXPECT_EQ(ContentTypePrefix("/html"), "_");
    EXPECT_EQ(ContentTypePrefix("nonsense"), "_");
    EXPECT_EQ(ContentTypePrefix(std::string("a/b\0c\\d", 7)), "b-c-d_");
}

}  // namespace
}  // namespace loftwick::test
