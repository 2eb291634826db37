// One contract, two formats: every behaviour here runs on a WinProxy object and on a WinGate object,
// each written by the cache builder, so that the implementations cannot drift apart.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>

#include "cache/CacheTestKit.h"
#include "support/FaultFileSystem.h"
#include "support/PosixFileSystem.h"

namespace loftwick::test {
namespace {

namespace fs = std::filesystem;
using builder::Content;
using builder::Fill;

template <class Kit>
class CacheContract : public CacheFixture {
  protected:
    CacheContract() : kit_(root_.path()) {}
    Kit kit_;
};

using Formats = ::testing::Types<WinProxyKit, WinGateKit>;
TYPED_TEST_SUITE(CacheContract, Formats);

// FixFileTime sets the write time and SetFileTTL the creation time, each alone.
TYPED_TEST(CacheContract, BindingReadsTheStoredMetadataOfThisVeryFileAndSetsItsTimes) {
    ObjectSpec desc;
    desc.reportedLength = 4096;
    desc.stamp.creationTime = kTestEpochSeconds - 100 * kDay;
    desc.stamp.writeTime = kTestEpochSeconds - 5 * kDay;
    const auto object = Bind(this->kit_, desc);

    EXPECT_EQ(object->fileName(), this->kit_.PathOf(desc));
    EXPECT_EQ(
        FactsOf(*object),
        std::string("name=http://www.example.com/dir/page.html\ntype=text/html\nlength=4096\nactual=31\n"
                    "retrieved=2024-11-26 10:00:00\nmodified=2024-10-27 10:00:00\nhost=") +
            (TypeParam::kProxyType == 2 ? "www.example.com\n" : "\n"));
    EXPECT_EQ(object->AgeRetrieved(), 10);
    EXPECT_TRUE(object->SetFileTTL(7));  // the expiry: retrieved 10 days ago, 7 days to live
    EXPECT_EQ(PosixFileSystem().GetCreationTime(object->fileName())->seconds, kTestEpochSeconds - 3 * kDay);
    EXPECT_EQ(this->WriteTimeOf(object->fileName()), kTestEpochSeconds - 5 * kDay);
    EXPECT_TRUE(object->FixFileTime());  // the retrieval moment
    EXPECT_EQ(this->WriteTimeOf(object->fileName()), kTestEpochSeconds - 10 * kDay);
    EXPECT_EQ(PosixFileSystem().GetCreationTime(object->fileName())->seconds, kTestEpochSeconds - 3 * kDay);
    EXPECT_TRUE(object->StillSameFile());
    // Not once the file is replaced (the replacement exists before the old file goes, so it cannot reuse
    // the old inode) or gone.
    this->root_.WriteFile("newcomer", "another file");
    fs::rename(this->root_ / "newcomer", object->fileName());
    EXPECT_FALSE(object->StillSameFile());
    const auto again = BindWritten(this->kit_, desc);
    ASSERT_TRUE(again->StillSameFile());
    fs::remove(again->fileName());
    EXPECT_FALSE(again->StillSameFile());
    EXPECT_FALSE(BindWritten(this->kit_, desc)->StillSameFile());

    desc.name = "4444_missing.html";  // never written: unbound, and no report
    EXPECT_EQ(BindWritten(this->kit_, desc)->fileName(), "");
    EXPECT_EQ(this->ReportCount(), 0u);
}

TYPED_TEST(CacheContract, SymbolicLinkInPlaceOfTheCacheFileIsNeverFollowed) {
    ObjectSpec desc;
    const std::string victim = this->root_ / "victim.txt";
    this->root_.WriteFile("victim.txt", "precious");
    const int64_t victimTime = this->WriteTimeOf(victim);
    const std::string path = this->kit_.Write(desc);
    fs::remove(path);
    fs::create_symlink(victim, path);

    const auto object = BindWritten(this->kit_, desc);
    EXPECT_EQ(object->fileName(), "");
    object->FixFileTime();
    object->SetFileTTL(3);
    EXPECT_FALSE(object->Delete());
    EXPECT_FALSE(object->FileCopy(this->root_ / "copy"));
    EXPECT_EQ(this->root_.ReadFile("victim.txt"), "precious");
    EXPECT_EQ(this->WriteTimeOf(victim), victimTime);
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_FALSE(this->root_.Exists("copy"));
    // Nor is a folder bound, silently; a file that cannot be read is reported.
    const size_t reports = this->ReportCount();
    fs::remove(path);
    fs::create_directory(path);
    EXPECT_EQ(BindWritten(this->kit_, desc)->fileName(), "");
    EXPECT_EQ(this->ReportCount(), reports);
    fs::remove(path);
    this->kit_.Write(desc);
    FaultFileSystem faults;
    Platform().fileSystem = &faults;
    faults.FailNth(FsOp::OpenRead, 1, EIO);
    // A WinGate record binds its content file by looking at it; the file is first opened to be read.
    const auto unreadable = BindWritten(this->kit_, desc);
    if (TypeParam::kProxyType == 2) {
        EXPECT_EQ(unreadable->fileName(), path);
        ParsedFilter filter = Filter({"CACHED"});
        EXPECT_FALSE(unreadable->FindInContents(filter, 1));
    }
    EXPECT_EQ(unreadable->HasFile(), TypeParam::kProxyType == 2);
    ASSERT_EQ(this->ReportCount(), reports + 1);
    EXPECT_NE(this->desktop_.messages.back().text.find(path), std::string::npos);
}

// DeleteIfAged judges by the creation time read at binding; both it and Delete report a file already gone.
TYPED_TEST(CacheContract, DeleteIfAgedJudgesByTheCreationTimeReadAtBindingDeleteByNothing) {
    ObjectSpec expired;
    expired.name = "1111_expired.html";
    expired.stamp.creationTime = kTestEpochSeconds - kDay;
    const auto old = Bind(this->kit_, expired);
    // The new expiry lies ahead, but this object already read the old one: it still goes.
    old->SetFileTTL(30);
    EXPECT_TRUE(old->DeleteIfAged());
    EXPECT_FALSE(fs::exists(this->kit_.PathOf(expired)));
    EXPECT_EQ(old->fileName(), this->kit_.PathOf(expired));  // the path stays
    EXPECT_EQ(this->ReportCount(), 0u);
    EXPECT_FALSE(old->Delete());
    EXPECT_FALSE(old->DeleteIfAged());
    ASSERT_EQ(this->ReportLocations(), (std::vector<std::string>{"Delete", "DeleteIfAged"}));
    EXPECT_NE(this->desktop_.messages[0].text.find("File:\"" + this->kit_.PathOf(expired) +
                                                   "\" DateCreated: 2024-12-05 10:00:00"),
              std::string::npos);

    ObjectSpec fresh;
    fresh.name = "2222_fresh.html";
    fresh.stamp.creationTime = kTestEpochSeconds + kDay;
    const auto young = Bind(this->kit_, fresh);
    EXPECT_FALSE(young->DeleteIfAged());
    EXPECT_TRUE(fs::exists(this->kit_.PathOf(fresh)));
    EXPECT_TRUE(young->Delete());
    EXPECT_FALSE(fs::exists(this->kit_.PathOf(fresh)));
    EXPECT_EQ(young->ObjectName(), "http://www.example.com/dir/page.html");
}

// The content-type word takes the place of the prefix; a second run finds the prefix it would give; a
// file of the new name is never replaced.
TYPED_TEST(CacheContract, FixFileNamePutsTheContentTypeWordInPlaceOfThePrefix) {
    ObjectSpec desc;
    desc.contentType = "text/html; charset=utf-8";
    const auto object = Bind(this->kit_, desc);
    const std::string path = this->kit_.PathOf(desc);
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const std::string renamed = folder + "html_page.html" + (TypeParam::kProxyType == 1 ? "" : ".wgc");
    for (int run = 0; run < 2; ++run) {
        EXPECT_TRUE(object->FixFileName());
        EXPECT_EQ(object->fileName(), renamed);
        EXPECT_FALSE(fs::exists(path));
        EXPECT_TRUE(object->StillSameFile());
    }
    EXPECT_EQ(this->ReportCount(), 0u);

    desc.name = "3f2a_other.html";
    const auto blocked = Bind(this->kit_, desc);
    const std::string before = blocked->fileName();
    const std::string rest = before.substr(folder.size() + 5);
    WriteRealFile(folder + "html_" + rest, "already here");
    EXPECT_FALSE(blocked->FixFileName());
    EXPECT_EQ(blocked->fileName(), before);
    EXPECT_EQ(ReadRealFile(folder + "html_" + rest), "already here");
    ASSERT_EQ(this->ReportLocations(), std::vector<std::string>{"FixFileName"});
    EXPECT_NE(this->desktop_.messages[0].text.find("Content-Type: text/html; charset=utf-8 Name:\"" + rest +
                                                   "\" -> \"html_\"\r\nFile: " + before),
              std::string::npos)
        << this->desktop_.messages[0].text;
}

// Words are found across block boundaries whatever their length, from the given position, with or without
// a length; a word found before is not looked for again; a file that vanished is reported.
TYPED_TEST(CacheContract, FindInContentsMarksWhatItFound) {
    ObjectSpec desc;
    const std::string longWord = "LONG-" + std::string(90, 'Q') + "-WORD";
    desc.content = Content::Sized(40000)
                       .Patch(8192 - 3, "NEEDLE")       // straddles the first block boundary
                       .Patch(2 * 8192 - 50, longWord)  // longer than any fixed tail of 30
                       .Patch(40000 - 4, "TAIL");       // the last bytes of the content
    ParsedFilter filter = Filter({"needle", longWord, "tail"});
    EXPECT_TRUE(Bind(this->kit_, desc)->FindInContents(filter, 1));
    EXPECT_EQ(filter.Found, (std::vector<bool>{true, true, true}));

    desc.name = "5555_small.html";
    desc.content = Content::Bytes("Some Mixed Case text");
    desc.reportedLength = 0;
    const auto object = Bind(this->kit_, desc);
    filter = Filter({"MIXED", "ABSENT", "TEXT"});
    EXPECT_FALSE(object->FindInContents(filter, 1));
    EXPECT_EQ(filter.Found, (std::vector<bool>{true, false, true}));
    filter.Words[1] = "SOME";
    EXPECT_TRUE(object->FindInContents(filter, 1));
    ParsedFilter fromSix = Filter({"SOME", "MIXED"});
    EXPECT_FALSE(object->FindInContents(fromSix, 6));
    EXPECT_EQ(fromSix.Found, (std::vector<bool>{false, true}));
    ParsedFilter lastByte = Filter({"T"}), pastEnd = Filter({"T"});
    EXPECT_TRUE(object->FindInContents(lastByte, 20));
    EXPECT_FALSE(object->FindInContents(pastEnd, 21));
    fs::remove(object->fileName());
    ParsedFilter vanished = Filter({"CACHED"});
    EXPECT_FALSE(object->FindInContents(vanished, 1));
    ASSERT_EQ(this->ReportLocations(), std::vector<std::string>{"FindInContents"});
    EXPECT_NE(this->desktop_.messages[0].text.find("http://www.example.com/dir/page.html"),
              std::string::npos);
}

// A copy holds the content and the modification date, over an older copy or in place of a link (never
// written through); a failed copy leaves nothing under its name and the previous copy as it was. The proxy
// rewrites an object after the scan, in place or by renaming a new file over it (WinProxy: with a longer
// header block): a later copy holds the new content, never a piece of the new header. An object gone since
// is a failed, reported copy.
TYPED_TEST(CacheContract, FileCopy) {
    ObjectSpec desc, rewritten;
    rewritten.contentType = "text/html; charset=" + std::string(200, 'h');
    rewritten.content = Content::Bytes("NEW CONTENT");
    for (const std::string& fresh : {desc.name, std::string("7777_fresh.html")}) {
        SCOPED_TRACE(fresh);
        const auto object = Bind(this->kit_, desc);
        object->ReleaseFile();
        rewritten.name = fresh;
        fs::rename(this->kit_.Write(rewritten), object->fileName());
        ASSERT_TRUE(object->FileCopy(this->root_ / "copy"));
        EXPECT_EQ(this->root_.ReadFile("copy"), "NEW CONTENT");
    }
    desc.content = Content::Sized(300000).Patch(0, "FIRST").Patch(300000 - 4, "LAST");
    const auto object = Bind(this->kit_, desc);
    const std::string saved = this->root_ / "saved/";
    fs::create_directories(saved);
    this->root_.WriteFile("saved/older.html", std::string(400000, 'o'));
    this->root_.WriteFile("saved/kept.html", "the previous copy");
    this->root_.WriteFile("elsewhere.txt", "not to be touched");
    fs::create_symlink(this->root_ / "elsewhere.txt", saved + "link.html");
    for (const std::string name : {"older.html", "link.html"}) {
        EXPECT_TRUE(object->FileCopy(saved + name));
        EXPECT_EQ(this->root_.ReadFile("saved/" + name), desc.content.Slice(0, desc.content.Size()));
        EXPECT_EQ(this->WriteTimeOf(saved + name), kTestEpochSeconds - 40 * kDay);
    }
    EXPECT_FALSE(fs::is_symlink(saved + "link.html"));
    EXPECT_EQ(this->root_.ReadFile("elsewhere.txt"), "not to be touched");

    FaultFileSystem faults;
    Platform().fileSystem = &faults;
    faults.FailWritesAfterBytes(70000, ENOSPC);
    EXPECT_FALSE(object->FileCopy(saved + "new.html"));
    EXPECT_FALSE(object->FileCopy(saved + "kept.html"));
    fs::remove(object->fileName());  // gone since binding
    EXPECT_FALSE(object->FileCopy(saved + "gone.html"));
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(saved)) names.insert(e.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"kept.html", "link.html", "older.html"}));
    EXPECT_EQ(this->root_.ReadFile("saved/kept.html"), "the previous copy");
    ASSERT_EQ(this->ReportLocations(), std::vector<std::string>(3, TypeParam::kFileCopyLocation));
    EXPECT_NE(this->desktop_.messages[0].text.find(object->fileName() + " to " + saved + "new.html"),
              std::string::npos);
}

}  // namespace
}  // namespace loftwick::test
