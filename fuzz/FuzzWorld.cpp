#include "FuzzWorld.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "support/Clock.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"

namespace loftwick::fuzz {
namespace {

namespace stdfs = std::filesystem;

class DroppedOutput final : public OutputFile {
  public:
    void Write(const char*, size_t) override {}
    void Sync() override {}
    void Close() override {}
    void SetWriteTime(FileTimeSpec) override {}
};

}  // namespace

void GuardedFileSystem::Fence(const std::string& path) const {
    if (test::LiesBelow(path, writable_)) return;
    std::fprintf(stderr, "broken promise: a change outside %s: %s\n", writable_.c_str(), path.c_str());
    std::abort();
}

void GuardedFileSystem::Before(FsOp op, const std::string& path) {
    static constexpr FsOp kReads[] = {FsOp::List, FsOp::OpenRead, FsOp::GetCreation, FsOp::Stat, FsOp::Lstat};
    static constexpr FsOp kChanges[] = {FsOp::OpenWrite, FsOp::Write,     FsOp::Rename,   FsOp::RemoveFile,
                                        FsOp::MakeDir,   FsOp::RemoveDir, FsOp::SetTimes, FsOp::SetCreation};
    if (watching_ && std::find(std::begin(kReads), std::end(kReads), op) != std::end(kReads))
        reads_.push_back(path);
    // Making a folder that is there already changes nothing.
    if (op == FsOp::MakeDir && stdfs::is_directory(path)) return;
    if (std::find(std::begin(kChanges), std::end(kChanges), op) != std::end(kChanges)) Fence(path);
}

std::optional<FileInfo> GuardedFileSystem::Stat(const std::string& path) {
    return path.ends_with(".log") ? std::nullopt : ForwardingFileSystem::Stat(path);
}

std::optional<FileInfo> GuardedFileSystem::Lstat(const std::string& path) {
    return path.ends_with(".log") ? std::nullopt : ForwardingFileSystem::Lstat(path);
}

std::unique_ptr<OutputFile> GuardedFileSystem::OpenWrite(const std::string& path, WriteMode mode) {
    if (path.ends_with(".log")) return std::make_unique<DroppedOutput>();
    return ForwardingFileSystem::OpenWrite(path, mode);
}

void GuardedFileSystem::Rename(const std::string& from, const std::string& to) {
    Fence(to);
    ForwardingFileSystem::Rename(from, to);
}

void GuardedFileSystem::RenameAt(const HeldDir& fromDir, const std::string& from, const HeldDir& toDir,
                                 const std::string& to) {
    Fence(toDir.PathOf(to));
    ForwardingFileSystem::RenameAt(fromDir, from, toDir, to);
}

World& TheWorld() {
    static World* world = [] {
        auto* w = new World;
        // A folder in memory when there is one: the targets rewrite small files thousands of times a
        // second, and truncating a file on a journalling disk can take milliseconds.
        const bool shm = stdfs::is_directory("/dev/shm") && access("/dev/shm", W_OK) == 0;
        w->root = test::MakeTempFolder("loftwick-fuzz", shm ? "/dev/shm" : "");
        w->fileSystem.SetWritableFolder(w->root);
        test::PinEnvironment(w->root);
        // Made now, so that the first error report finds them whatever folder a target allows changes in:
        // the log folder, and the private temporary folder a report falls back to.
        stdfs::create_directories(w->root + "/state/loftwick");
        stdfs::create_directories(w->root + "/cache/loftwick");
        stdfs::permissions(w->root + "/cache/loftwick", stdfs::perms::owner_all);
        static FixedClock clock(test::kTestEpochSeconds);
        Platform().clock = &clock;
        Platform().fileSystem = &w->fileSystem;
        ProgramValues& program = Program();
        test::NameTheProgram(program);
        program.ProgramDir = w->root + "/program/";
        program.AppParentDir = w->root + "/";
        program.IsUnattended = true;
        ResetLogFolder();
        std::atexit([] {
            std::error_code ec;
            stdfs::remove_all(TheWorld().root, ec);
        });
        return w;
    }();
    return *world;
}

}  // namespace loftwick::fuzz
