#include "FuzzWorld.h"

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/Clock.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"

namespace loftwick::fuzz {
namespace {

namespace stdfs = std::filesystem;

bool IsLogFile(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".log") == 0;
}

class DroppedOutput final : public OutputFile {
  public:
    void Write(const char*, size_t) override {}
    void Sync() override {}
    void Close() override {}
    void SetWriteTime(FileTimeSpec) override {}
};

// A folder in memory when there is one: the targets rewrite small files thousands of times a second, and
// truncating a file on a journalling disk can take milliseconds.
std::string MakeRoot() {
    const char* base = getenv("TMPDIR");
    std::string folder = base && *base ? base : "/tmp";
    if (stdfs::is_directory("/dev/shm") && access("/dev/shm", W_OK) == 0) folder = "/dev/shm";
    std::string pattern = folder + "/loftwick-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

void RemoveRootAtExit() {
    std::error_code ec;
    stdfs::remove_all(TheWorld().root, ec);
}

}  // namespace

bool LiesBelow(const std::string& path, const std::string& folder) {
    const std::string p = stdfs::path(path).lexically_normal().string();
    std::string f = stdfs::path(folder).lexically_normal().string();
    if (f.empty()) return false;
    if (f.back() != '/') f += '/';
    return p.size() > f.size() && p.compare(0, f.size(), f) == 0;
}

void GuardedFileSystem::Fence(const std::string& path) const {
    if (LiesBelow(path, writable_)) return;
    std::fprintf(stderr, "broken promise: a change outside %s: %s\n", writable_.c_str(), path.c_str());
    std::abort();
}

void GuardedFileSystem::Before(FsOp op, const std::string& path) {
    switch (op) {
        case FsOp::List:
        case FsOp::OpenRead:
        case FsOp::GetCreation:
        case FsOp::Stat:
        case FsOp::Lstat:
            if (watching_) reads_.push_back(path);
            return;
        case FsOp::Read:
        case FsOp::OpenDir:
        case FsOp::Sync:
        case FsOp::Close:
            return;
        case FsOp::OpenWrite:
        case FsOp::Write:
        case FsOp::Rename:
        case FsOp::RemoveFile:
        case FsOp::MakeDir:
        case FsOp::RemoveDir:
        case FsOp::SetTimes:
        case FsOp::SetCreation:
            Fence(path);
            return;
    }
}

std::optional<FileInfo> GuardedFileSystem::Stat(const std::string& path) {
    if (IsLogFile(path)) return std::nullopt;
    return ForwardingFileSystem::Stat(path);
}

std::optional<FileInfo> GuardedFileSystem::Lstat(const std::string& path) {
    if (IsLogFile(path)) return std::nullopt;
    return ForwardingFileSystem::Lstat(path);
}

std::unique_ptr<OutputFile> GuardedFileSystem::OpenWrite(const std::string& path, WriteMode mode) {
    if (IsLogFile(path)) return std::make_unique<DroppedOutput>();
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
        w->root = MakeRoot();
        w->fileSystem.SetWritableFolder(w->root);
        setenv("TZ", "UTC", 1);
        tzset();
        setenv("HOME", w->root.c_str(), 1);
        setenv("TEMP", w->root.c_str(), 1);
        setenv("TMPDIR", w->root.c_str(), 1);
        setenv("XDG_STATE_HOME", (w->root + "/state").c_str(), 1);
        // Made now, so that the first error report finds it whatever folder a target allows changes in.
        stdfs::create_directories(w->root + "/state/loftwick");
        setenv("XDG_CONFIG_HOME", (w->root + "/config").c_str(), 1);
        setenv("WINEPREFIX", (w->root + "/no-wine-prefix").c_str(), 1);
        static FixedClock clock(1733479200);  // 2024-12-06 10:00:00 UTC
        Platform().clock = &clock;
        Platform().fileSystem = &w->fileSystem;
        ProgramValues& program = Program();
        program.AppTitle = "Loftwick v. 2.1.20";
        program.AppExeName = "loftwick";
        program.ProgramDir = w->root + "/program/";
        program.AppParentDir = w->root + "/";
        program.IsUnattended = true;
        ResetLogFolder();
        std::atexit(RemoveRootAtExit);
        return w;
    }();
    return *world;
}

void EmptyFolder(const std::string& folder) {
    std::error_code ec;
    stdfs::remove_all(folder, ec);
    stdfs::create_directories(folder);
}

void WriteRealFile(const std::string& path, const std::string& content) {
    stdfs::create_directories(stdfs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace loftwick::fuzz
