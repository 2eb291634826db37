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
#include "support/PosixFileSystem.h"

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

TEST_F(WinProxyObjectTest, FilesBelowTwentyBytesAreNotParsed) {
    WinProxyObject tiny = Page("0000_tiny");
    tiny.rawFile = "0123456789";
    const auto ten = Bind(tiny);
    EXPECT_EQ(ten->fileName(), cache_.PathOf(tiny));
    EXPECT_EQ(ten->ContentLenActual(), 10);
    EXPECT_EQ(ten->ObjectName(), "");
    EXPECT_EQ(ten->ContentType(), "");
    EXPECT_TRUE(ten->DateRetrieved().IsZero());
    EXPECT_TRUE(ten->DateModified().IsZero());

    // 19 bytes that would read as a URL line and an ended block, were they parsed.
    WinProxyObject nineteen = Page("0000_nineteen");
    nineteen.rawFile = std::string(builder::kLeadIn) + "http://h\n\n";
    ASSERT_EQ(nineteen.rawFile->size(), 19u);
    const auto short19 = Bind(nineteen);
    EXPECT_EQ(short19->ObjectName(), "");
    EXPECT_EQ(short19->ContentLenActual(), 19);

    WinProxyObject twenty = Page("0000_twenty");
    twenty.rawFile = std::string(builder::kLeadIn) + "http://hx\n\n";
    ASSERT_EQ(twenty.rawFile->size(), 20u);
    EXPECT_EQ(Bind(twenty)->ObjectName(), "http://hx");
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
    EXPECT_TRUE(object->DateRetrieved().IsZero());
    EXPECT_TRUE(object->DateModified().IsZero());
    EXPECT_EQ(object->AgeRetrieved(), 0);

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

TEST_F(WinProxyObjectTest, LastOccurrenceOfAHeaderWins) {
    WinProxyObject o = Page();
    o.Header("Content-Type", "image/gif").Header("content-length ", "5").Header("CONTENT-LENGTH", "6");
    const auto object = Bind(o);
    EXPECT_EQ(object->ContentType(), "image/gif");
    EXPECT_EQ(object->ContentLen(), 6);
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

// A file read for real near its ends only: the long hole between them is passed over without copying
// its zeros, as far as the reader can tell it was read.
class HoleSkippingInput final : public InputFile {
  public:
    explicit HoleSkippingInput(std::unique_ptr<InputFile> real)
        : real_(std::move(real)), size_(real_->Size()) {}
    size_t Read(char* buffer, size_t count) override {
        constexpr uint64_t kEnds = 1 << 20;
        const uint64_t n = std::min<uint64_t>(count, size_ - std::min(pos_, size_));
        if (pos_ >= kEnds && pos_ + n + kEnds <= size_) {
            Seek(pos_ + n);
            return static_cast<size_t>(n);
        }
        const size_t got = real_->Read(buffer, count);
        pos_ += got;
        return got;
    }
    void Seek(uint64_t offset) override {
        pos_ = offset;
        real_->Seek(offset);
    }
    uint64_t Size() override { return size_; }
    FileInfo Info() override { return real_->Info(); }

  private:
    std::unique_ptr<InputFile> real_;
    uint64_t size_;
    uint64_t pos_ = 0;
};

// Reads through HoleSkippingInput; what is written goes nowhere but is counted, so that a copy of
// gigabytes costs neither disk space nor time.
class CountingSinkFileSystem final : public FileSystem {
  public:
    struct Sink {
        uint64_t bytes = 0;
        size_t largestWrite = 0;
        std::string head, tail;  // the first and last 8 bytes written
    };

    std::vector<DirEntry> ListDirectory(const std::string& path) override {
        return real_.ListDirectory(path);
    }
    std::optional<FileInfo> Stat(const std::string& path) override { return real_.Stat(path); }
    std::optional<FileInfo> Lstat(const std::string& path) override {
        return renamedTo_ == path ? std::optional<FileInfo>(FileInfo{}) : real_.Lstat(path);
    }
    std::unique_ptr<InputFile> OpenRead(const std::string& path, bool follow) override {
        return std::make_unique<HoleSkippingInput>(real_.OpenRead(path, follow));
    }
    std::unique_ptr<OutputFile> OpenWrite(const std::string&, WriteMode) override {
        class Counting final : public OutputFile {
          public:
            explicit Counting(Sink& sink) : sink_(sink) {}
            void Write(const char* data, size_t count) override {
                if (sink_.head.size() < 8)
                    sink_.head.append(data, std::min<size_t>(count, 8 - sink_.head.size()));
                sink_.tail = (sink_.tail + std::string(data + count - std::min<size_t>(count, 8),
                                                       std::min<size_t>(count, 8)));
                sink_.tail = sink_.tail.substr(sink_.tail.size() - std::min<size_t>(sink_.tail.size(), 8));
                sink_.bytes += count;
                sink_.largestWrite = std::max(sink_.largestWrite, count);
            }
            void Sync() override {}
            void Close() override {}

          private:
            Sink& sink_;
        };
        return std::make_unique<Counting>(sink);
    }
    void Rename(const std::string&, const std::string& to) override { renamedTo_ = to; }
    void RemoveFile(const std::string& path) override { real_.RemoveFile(path); }
    void MakeDirectory(const std::string& path) override { real_.MakeDirectory(path); }
    void RemoveDirectory(const std::string& path) override { real_.RemoveDirectory(path); }
    void SetFileTimes(const std::string&, std::optional<FileTimeSpec>, std::optional<FileTimeSpec>) override {
    }
    std::optional<FileTimeSpec> GetCreationTime(const std::string& path) override {
        return real_.GetCreationTime(path);
    }
    void SetCreationTime(const std::string&, FileTimeSpec) override {}
    bool IsWritableDirectory(const std::string& path) override { return real_.IsWritableDirectory(path); }

    Sink sink;

  private:
    PosixFileSystem real_;
    std::string renamedTo_;
};

TEST_F(WinProxyObjectTest, CopyPastFourGibibytesIsWholeAndStreamedInBlocks) {
    const uint64_t size = (1ull << 32) + 3;
    WinProxyObject o = Page("cccc_huge");
    o.content = Content::Sized(size, Fill::Sparse).Patch(0, "HEAD").Patch(size - 4, "TAIL");
    const auto object = Bind(o);
    CountingSinkFileSystem counting;
    Platform().fileSystem = &counting;

    ASSERT_TRUE(object->FileCopy(root_ / "huge.copy"));
    EXPECT_EQ(counting.sink.bytes, size);
    EXPECT_EQ(counting.sink.head.substr(0, 4), "HEAD");
    EXPECT_EQ(counting.sink.tail.substr(4), "TAIL");
    EXPECT_GE(counting.sink.largestWrite, 32768u);
    EXPECT_LE(counting.sink.largestWrite, 16u << 20);  // never the whole content at once
    EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(WinProxyObjectTest, SearchNeverLooksIntoTheHeaderBlock) {
    WinProxyObject o = Page();
    o.Header("X-Secret", "HIDDEN");
    const auto object = Bind(o);
    ParsedFilter filter = Filter({"HIDDEN"});
    EXPECT_FALSE(object->FindInContents(filter, 1));
    ParsedFilter body = Filter({"content"});
    EXPECT_TRUE(object->FindInContents(body, 1));
}

TEST_F(WinProxyObjectTest, SearchWorksWithoutAContentLengthHeader) {
    const auto object = Bind(Page());  // Page() records no Content-Length
    ASSERT_EQ(object->ContentLen(), 0);
    ParsedFilter filter = Filter({"CONTENT"});
    EXPECT_TRUE(object->FindInContents(filter, 1));
}

TEST_F(WinProxyObjectTest, FixFileTimeFallsBackToTheModificationDateThenToNow) {
    const auto undated = Bind(Page("dddd_undated"));
    EXPECT_TRUE(undated->FixFileTime());
    EXPECT_EQ(WriteTimeOf(undated->fileName()), kNow);

    WinProxyObject o = Page();
    o.Header("Last-Modified", builder::HttpDate(kNow - 20 * kDay));
    const auto modified = Bind(o);
    EXPECT_TRUE(modified->FixFileTime());
    EXPECT_EQ(WriteTimeOf(modified->fileName()), kNow - 20 * kDay);
}

TEST_F(WinProxyObjectTest, CopyStampsTheRetrievalDateWhenNoModificationDateWasStored) {
    WinProxyObject o = Page();
    o.Header("Date", builder::HttpDate(kNow - 6 * kDay));
    const auto object = Bind(o);
    ASSERT_TRUE(object->FileCopy(root_ / "copy"));
    EXPECT_EQ(WriteTimeOf(root_ / "copy"), kNow - 6 * kDay);
}

TEST_F(WinProxyObjectTest, FixFileNameOnANameWithoutPrefixAddsTheWord) {
    const auto object = Bind(Page("plain.html"));
    EXPECT_TRUE(object->FixFileName());
    EXPECT_EQ(object->fileName(), cache_.CacheDir() + "www.example.com/html_plain.html");
}

// (A WinGate record cannot hold an empty content type: a length byte of 0 is read past.)
TEST_F(WinProxyObjectTest, FixFileNameWithoutContentTypeDoesNothing) {
    WinProxyObject o = Page();
    o.headerLines.clear();
    const auto object = Bind(o);
    EXPECT_FALSE(object->FixFileName());
    EXPECT_EQ(object->fileName(), cache_.PathOf(o));
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
