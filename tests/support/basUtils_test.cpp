// Tolerant conversions, path splitting, files and folders, temporary names, whole-file copies, waiting.
#include "support/basUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <tuple>

#include "cachebuilder/CacheBuilder.h"
#include "support/FaultFileSystem.h"
#include "support/RuntimeError.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

namespace fs = std::filesystem;

class FilesTest : public test::ProgramFixture {
  protected:
    FilesTest() { Platform().desktop = &desktop_; }
    test::TempDir dir_;
    test::ScriptedDesktop desktop_;
};

TEST_F(FilesTest, ExistenceAndFolderTestsLeaveNoErrorBehind) {
    dir_.WriteFile("a.txt", "a");
    dir_.MakeDirs("empty");
    dir_.MakeDirs("onlydirs/sub");
    SetLastError(0);
    EXPECT_TRUE(FileExists(dir_ / "a.txt"));
    EXPECT_FALSE(FileExists(dir_ / "missing.txt"));
    EXPECT_FALSE(FileExists(dir_ / "empty"));
    EXPECT_FALSE(FolderHasFiles(dir_ / "onlydirs"));
    EXPECT_FALSE(FolderHasFiles(dir_ / "missing"));
    EXPECT_TRUE(FolderHasFiles(dir_.path()));
    MakeDir(dir_ / "empty");  // exists: ignored
    KillFile(dir_ / "missing.txt");
    EXPECT_EQ(GetLastError(), 0u);
}

TEST_F(FilesTest, KillFileWithWildcardsRemovesMatchingFilesOnly) {
    dir_.WriteFile("one.tmp", "1");
    dir_.WriteFile("two.tmp", "2");
    dir_.WriteFile("keep.txt", "k");
    dir_.WriteFile(".hidden.tmp", "h");
    dir_.MakeDirs("dir.tmp");
    dir_.WriteFile("outside/target.tmp", "t");
    fs::create_symlink(dir_ / "outside/target.tmp", dir_ / "link.tmp");
    KillFile(dir_ / "*.tmp");
    EXPECT_FALSE(dir_.Exists("one.tmp"));
    EXPECT_FALSE(dir_.Exists("two.tmp"));
    EXPECT_FALSE(dir_.Exists("link.tmp"));
    EXPECT_TRUE(dir_.Exists("outside/target.tmp"));  // the link went, not what it pointed to
    EXPECT_TRUE(dir_.Exists(".hidden.tmp"));
    EXPECT_TRUE(dir_.Exists("dir.tmp"));
    KillFile(dir_ / "k??p.*");
    EXPECT_FALSE(dir_.Exists("keep.txt"));
}

TEST_F(FilesTest, TemporaryNamesAreReservedAndPlantedLinksSkipped) {
    // The user's own folder, made at need for the owner alone, over TEMP.
    test::ScopedEnv cache("XDG_CACHE_HOME", dir_ / "cache");
    test::ScopedEnv temp("TEMP", dir_.path());
    dir_.WriteFile("elsewhere/victim", "precious");
    const std::string first = MakeTempFileName("txt");
    EXPECT_EQ(first, dir_ / "cache/loftwick/loftwick_temp.txt");
    EXPECT_EQ(fs::status(dir_ / "cache/loftwick").permissions(), fs::perms::owner_all);
    fs::create_symlink(dir_ / "elsewhere/victim", dir_ / "cache/loftwick/loftwick_temp1.txt");
    EXPECT_TRUE(dir_.Exists("cache/loftwick/loftwick_temp.txt"));  // reserved: not handed out again
    EXPECT_EQ(MakeTempFileName("txt"), dir_ / "cache/loftwick/loftwick_temp2.txt");
    EXPECT_EQ(dir_.ReadFile("elsewhere/victim"), "precious");
    EXPECT_EQ(TempFolder(), dir_ / "cache/loftwick/");
    // A relative XDG_CACHE_HOME is ignored for ~/.cache.
    test::ScopedEnv home("HOME", dir_ / "home");
    test::ScopedEnv relative("XDG_CACHE_HOME", "cache");
    EXPECT_EQ(TempFolder(), dir_ / "home/.cache/loftwick/");
    EXPECT_EQ(fs::status(dir_ / "home/.cache/loftwick").permissions(), fs::perms::owner_all);
}

TEST_F(FilesTest, TemporaryNameFallsBackWhenTempIsUnusable) {
    test::TempDir other;
    // The private folder's name taken by a file, then TEMP missing: TMPDIR.
    test::ScopedEnv cache("XDG_CACHE_HOME", dir_.path());
    dir_.WriteFile("loftwick", "not a folder");
    test::ScopedEnv temp("TEMP", dir_ / "missing");
    test::ScopedEnv tmpdir("TMPDIR", other.path());
    EXPECT_EQ(MakeTempFileName("htm"), other / "loftwick_temp.htm");
    // A link planted at the private folder's name is not followed either.
    fs::remove(dir_ / "loftwick");
    fs::create_directory_symlink(other.path(), dir_ / "loftwick");
    EXPECT_EQ(TempFolder(), dir_ / "missing/");
}

TEST_F(FilesTest, CopyKeepsHolesRefusesLinksAndLeavesNoPartialFile) {
    std::string content(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 % 251);
    dir_.WriteFile("src.bin", content);
    CopyFilePart(dir_ / "src.bin", 3 * 1024 * 1024, dir_ / "tail.bin", 5);
    EXPECT_EQ(dir_.ReadFile("tail.bin"), content.substr(3 * 1024 * 1024));
    CopyFilePart(dir_ / "src.bin", content.size() + 10, dir_ / "none.bin");
    EXPECT_EQ(dir_.ReadFile("none.bin"), "");

    // Holes stay holes, wherever the copy begins: at the start, within a hole, within data.
    builder::WriteObjectFile(dir_ / "sparse.bin", "",
                             builder::Content::Sized(8 << 20, builder::Fill::Sparse)
                                 .Patch(0, "HEAD")
                                 .Patch(3 << 20, "MIDDLE")
                                 .Patch((8 << 20) - 4, "TAIL"));
    const std::string whole = dir_.ReadFile("sparse.bin");
    for (const uint64_t offset : {uint64_t{0}, uint64_t{1} << 20, (uint64_t{3} << 20) + 2}) {
        CopyFilePart(dir_ / "sparse.bin", offset, dir_ / "sparse.copy", 4096);
        EXPECT_EQ(dir_.ReadFile("sparse.copy"), whole.substr(offset));
        struct stat copy {};
        ASSERT_EQ(::stat((dir_ / "sparse.copy").c_str(), &copy), 0);
        EXPECT_LE(copy.st_blocks * 512, 3 * 64 * 1024) << offset;
    }

    // A link at the target is replaced, not written through; a link as the source is refused.
    dir_.WriteFile("victim", "precious");
    fs::create_symlink(dir_ / "victim", dir_ / "dst.bin");
    fs::create_symlink(dir_ / "victim", dir_ / "srclink");
    CopyFilePart(dir_ / "none.bin", 0, dir_ / "dst.bin");
    EXPECT_FALSE(fs::is_symlink(dir_ / "dst.bin"));
    EXPECT_THROW(CopyFilePart(dir_ / "srclink", 0, dir_ / "out.bin"), RuntimeError);
    EXPECT_EQ(dir_.ReadFile("victim"), "precious");

    // A disk filling up midway leaves the old target and no partial file.
    test::FaultFileSystem faults;
    faults.FailWritesAfterBytes(50000, ENOSPC);
    Platform().fileSystem = &faults;
    try {
        CopyFilePart(dir_ / "src.bin", 0, dir_ / "tail.bin", 8192);
        ADD_FAILURE() << "the copy did not fail";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), vberr::DiskFull);
    }
    EXPECT_EQ(dir_.ReadFile("tail.bin"), content.substr(3 * 1024 * 1024));
    EXPECT_FALSE(dir_.Exists("tail.bin.part"));
}

TEST_F(FilesTest, WaitLetsEventsRunUntilTheTimeHasPassedAndEndsAtOnceWithoutANumber) {
    Wait(Variant("soon"));
    Wait(Variant(1000000));  // the fixture's clock never moves
    EXPECT_LE(desktop_.doEvents, 2);
    desktop_.doEvents = 0;
    desktop_.onDoEvents = [&] { clock_.AdvanceMilliseconds(4); };  // as a real clock moves between looks
    Wait(Variant(20));
    EXPECT_GE(desktop_.doEvents, 4);
    EXPECT_LE(desktop_.doEvents, 6);
}

}  // namespace
}  // namespace loftwick
