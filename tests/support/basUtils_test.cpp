// Whole-file copies: holes kept, links refused, no partial file left (the other file operations are rows
// of golden/Files.txt).
#include "support/basUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "cachebuilder/CacheBuilder.h"
#include "support/FaultFileSystem.h"
#include "support/PosixFileSystem.h"
#include "support/RuntimeError.h"
#include "support/TestEnv.h"

namespace loftwick::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ProgramFixture, CopyKeepsHolesRefusesLinksAndLeavesNoPartialFile) {
    TempDir dir_;
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
    // An output that cannot keep holes gets them as zeros.
    struct Collected final : OutputFile {
        std::string bytes;
        void Write(const char* data, size_t count) override { bytes.append(data, count); }
        void Sync() override {}
        void Close() override {}
        void SetWriteTime(FileTimeSpec) override {}
    } collected;
    CopyContent(*PosixFileSystem().OpenRead(dir_ / "sparse.bin", false), 5, collected);
    EXPECT_TRUE(collected.bytes == whole.substr(5));

    // A link at the target is replaced, not written through; a link as the source is refused.
    dir_.WriteFile("victim", "precious");
    fs::create_symlink(dir_ / "victim", dir_ / "dst.bin");
    fs::create_symlink(dir_ / "victim", dir_ / "srclink");
    CopyFilePart(dir_ / "none.bin", 0, dir_ / "dst.bin");
    EXPECT_FALSE(fs::is_symlink(dir_ / "dst.bin"));
    EXPECT_THROW(CopyFilePart(dir_ / "srclink", 0, dir_ / "out.bin"), RuntimeError);
    EXPECT_EQ(dir_.ReadFile("victim"), "precious");

    // A disk filling up midway leaves the old target and no partial file.
    FaultFileSystem faults;
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

}  // namespace
}  // namespace loftwick::test
