#include "support/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "support/RuntimeError.h"

namespace loftwick {
namespace {

// The creation time as SetCreationTime stores it: seconds, then "." and nanoseconds; what follows the
// number is not looked at. Nothing for a text that starts with no number or has nanoseconds out of range.
std::optional<FileTimeSpec> ParseCreationTime(std::string_view text) {
    const char* const end = text.data() + text.size();
    long long seconds = 0;
    const auto [at, failed] = std::from_chars(text.data(), end, seconds);
    if (failed != std::errc()) return std::nullopt;
    long nanoseconds = 0;
    if (at != end && *at == '.' && std::from_chars(at + 1, end, nanoseconds).ec != std::errc())
        nanoseconds = 0;
    if (nanoseconds < 0 || nanoseconds >= 1000000000) return std::nullopt;
    return FileTimeSpec{static_cast<int64_t>(seconds), static_cast<int32_t>(nanoseconds)};
}

FileTimeSpec FromTimespec(const struct timespec& ts) {
    return FileTimeSpec{static_cast<int64_t>(ts.tv_sec), static_cast<int32_t>(ts.tv_nsec)};
}

EntryKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::File;
    if (S_ISDIR(mode)) return EntryKind::Directory;
    return EntryKind::Other;
}

FileInfo FromStat(const struct stat& st, bool isLink) {
    FileInfo info;
    info.kind = KindOf(st.st_mode);
    info.isLink = isLink;
    info.size = static_cast<uint64_t>(st.st_size);
    info.allocated = static_cast<uint64_t>(st.st_blocks) * 512;  // st_blocks counts 512-byte units
    info.writeTime = FromTimespec(st.st_mtim);
    info.accessTime = FromTimespec(st.st_atim);
    info.changeTime = FromTimespec(st.st_ctim);
    info.device = static_cast<uint64_t>(st.st_dev);
    info.inode = static_cast<uint64_t>(st.st_ino);
    info.links = static_cast<uint64_t>(st.st_nlink);
    return info;
}

struct timespec ToTimespec(std::optional<FileTimeSpec> time) {
    struct timespec ts {};
    ts.tv_sec = time ? time->seconds : 0;
    ts.tv_nsec = time ? time->nanoseconds : UTIME_OMIT;
    return ts;
}

// A name relative to a held folder is one entry of it: anything that could reach elsewhere is refused.
bool IsOnePart(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

void RequireOnePart(const std::string& name, const std::string& path) {
    if (!IsOnePart(name)) RaiseFromErrno(EINVAL, path);
}

// The same, for a look that needs the path only to report it.
void RequireOnePart(const HeldDir& dir, const std::string& name) {
    if (!IsOnePart(name)) RaiseFromErrno(EINVAL, dir.PathOf(name));
}

// A link met where no link may be followed is reported as access denied, as it always was.
[[noreturn]] void RaiseOpenError(int err, const std::string& path) {
    RaiseFromErrno(err == ELOOP ? EACCES : err, path);
}

// Opens a regular file for reading relative to `dirFd` (AT_FDCWD for a path). O_NONBLOCK: a FIFO planted
// where a file is expected must not hang the open; it stays on, changing nothing for a regular file.
int OpenRegularFile(int dirFd, const std::string& name, const std::string& path, bool followLinks,
                    struct stat& st) {
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::openat(dirFd, name.c_str(), flags);
    if (fd < 0) RaiseOpenError(errno, path);
    const int err = ::fstat(fd, &st) != 0 ? errno
                    : S_ISDIR(st.st_mode) ? EISDIR
                    : S_ISREG(st.st_mode) ? 0
                                          : EACCES;
    if (err != 0) {
        ::close(fd);
        RaiseFromErrno(err, path);
    }
    return fd;
}

// Fills `entries` in listing order; the entries already there lend their names' room, so that listing
// folder after folder into one vector allocates only for longer names.
void ListOpenDirectory(int fd, const std::string& path, std::vector<DirEntry>& entries) {
    // The descriptor is the caller's to keep: the listing reads a duplicate of it.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) RaiseFromErrno(errno, path);
    DIR* dir = ::fdopendir(own);
    if (!dir) {
        const int err = errno;
        ::close(own);
        RaiseFromErrno(err, path);
    }
    // A duplicate shares the position of the held descriptor, which an earlier listing left at the end.
    ::rewinddir(dir);
    size_t count = 0;
    errno = 0;
    while (struct dirent* ent = ::readdir(dir)) {
        if (count == entries.size()) entries.emplace_back();
        DirEntry& e = entries[count++];
        e.name.assign(ent->d_name);
        unsigned char type = ent->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(own, ent->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                type = S_ISLNK(st.st_mode)   ? DT_LNK
                       : S_ISDIR(st.st_mode) ? DT_DIR
                       : S_ISREG(st.st_mode) ? DT_REG
                                             : DT_UNKNOWN;
            }
        }
        e.isLink = type == DT_LNK;
        e.kind = type == DT_REG ? EntryKind::File : type == DT_DIR ? EntryKind::Directory : EntryKind::Other;
        errno = 0;
    }
    const int err = errno;
    ::closedir(dir);
    entries.resize(count);
    if (err != 0) RaiseFromErrno(err, path);
}

std::vector<DirEntry> ListOpenDirectory(int fd, const std::string& path) {
    std::vector<DirEntry> entries;
    ListOpenDirectory(fd, path, entries);
    return entries;
}

// A scan opens and closes its objects by the hundred thousand: the memory of closed files is kept for
// the next ones (per thread, a few at most), and a path of usual length is kept inline, so that opening a
// file allocates nothing in the steady state.
class PosixInputFile final : public InputFile {
  public:
    PosixInputFile(int fd, const std::string& path, const FileInfo& opened) : fd_(fd), opened_(opened) {
        if (path.size() < sizeof inline_) {
            std::memcpy(inline_, path.data(), path.size());
            inline_[path.size()] = '\0';
        } else {
            long_ = path;
        }
    }
    ~PosixInputFile() override { ::close(fd_); }

    static void* operator new(size_t size) {
        Spare& spare = spares;
        if (size == sizeof(PosixInputFile) && spare.count > 0) return spare.blocks[--spare.count];
        return ::operator new(size);
    }
    static void operator delete(void* block, size_t size) {
        Spare& spare = spares;
        if (size == sizeof(PosixInputFile) && spare.count < Spare::kKept) {
            spare.blocks[spare.count++] = block;
            return;
        }
        ::operator delete(block);
    }

    // The position is kept here and handed to each read, so that a seek costs no call of its own.
    size_t Read(char* buffer, size_t count) override {
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(fd_, buffer + done, count - done, static_cast<off_t>(pos_));
            if (n < 0) {
                if (errno == EINTR) continue;
                RaiseFromErrno(errno, Path());
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
            pos_ += static_cast<uint64_t>(n);
        }
        return done;
    }
    void Seek(uint64_t offset) override {
        if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) RaiseFromErrno(EINVAL, Path());
        pos_ = offset;
    }
    uint64_t Size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) RaiseFromErrno(errno, Path());
        return static_cast<uint64_t>(st.st_size);
    }
    // What was opened: taken once at the open, as binding a cache file asks for it right away.
    FileInfo Info() override { return opened_; }
    FileInfo Current() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) RaiseFromErrno(errno, Path());
        return FromStat(st, false);
    }
    std::pair<uint64_t, uint64_t> DataExtent(uint64_t at) override {
        constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();
        const off_t data = ::lseek(fd_, static_cast<off_t>(at), SEEK_DATA);
        if (data < 0) return errno == ENXIO ? std::pair{kNone, kNone} : std::pair{at, kNone};
        const off_t hole = ::lseek(fd_, data, SEEK_HOLE);
        return {static_cast<uint64_t>(data), hole < 0 ? kNone : static_cast<uint64_t>(hole)};
    }
    void SetTimes(std::optional<FileTimeSpec> writeTime, std::optional<FileTimeSpec> accessTime) override {
        const struct timespec times[2] = {ToTimespec(accessTime), ToTimespec(writeTime)};
        if (::futimens(fd_, times) != 0) RaiseFromErrno(errno, Path());
    }
    std::optional<FileTimeSpec> CreationTime() override {
        char value[64];
        const ssize_t n = ::fgetxattr(fd_, kCreationTimeAttribute, value, sizeof value - 1);
        if (n > 0) {
            if (const std::optional<FileTimeSpec> stored = ParseCreationTime(std::string_view(value, n)))
                return stored;
        }
        struct statx stx {};
        if (::statx(fd_, "", AT_EMPTY_PATH, STATX_BTIME | STATX_CTIME, &stx) != 0) {
            SetLastError(Win32FromErrno(errno));
            return std::nullopt;
        }
        const auto& t = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_ctime;
        return FileTimeSpec{static_cast<int64_t>(t.tv_sec), static_cast<int32_t>(t.tv_nsec)};
    }
    void SetCreationTime(FileTimeSpec time) override {
        char value[64];
        const int len = std::snprintf(value, sizeof value, "%lld.%09d", static_cast<long long>(time.seconds),
                                      static_cast<int>(time.nanoseconds));
        if (::fsetxattr(fd_, kCreationTimeAttribute, value, static_cast<size_t>(len), 0) != 0) {
            RaiseFromErrno(errno, Path());
        }
    }

  private:
    struct Spare {
        static constexpr int kKept = 8;
        void* blocks[kKept];
        int count = 0;
        ~Spare() {
            while (count > 0) ::operator delete(blocks[--count]);
        }
    };
    static thread_local Spare spares;

    // For messages only, so made when one is due.
    std::string Path() const { return long_.empty() ? std::string(inline_) : long_; }

    int fd_;
    uint64_t pos_ = 0;
    char inline_[200];
    std::string long_;  // a path too long for inline_
    FileInfo opened_;
};

thread_local PosixInputFile::Spare PosixInputFile::spares;

class PosixOutputFile final : public OutputFile {
  public:
    PosixOutputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixOutputFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    void Write(const char* data, size_t count) override {
        while (count > 0) {
            const ssize_t n = ::write(fd_, data, count);
            if (n < 0) {
                if (errno == EINTR) continue;
                RaiseFromErrno(errno, path_);
            }
            data += n;
            count -= static_cast<size_t>(n);
        }
    }
    void Skip(uint64_t count) override {
        // Extending a file leaves a hole on every file system that has them, and zeros elsewhere; a
        // stream or a device is sent the zeros.
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return OutputFile::Skip(count);
        const off_t at = ::lseek(fd_, 0, SEEK_CUR);
        if (at < 0) RaiseFromErrno(errno, path_);
        const off_t end = at + static_cast<off_t>(count);
        if (::ftruncate(fd_, end) != 0 || ::lseek(fd_, end, SEEK_SET) < 0) RaiseFromErrno(errno, path_);
    }
    void Sync() override {
        if (::fsync(fd_) != 0 && errno != EINVAL) RaiseFromErrno(errno, path_);
    }
    void Close() override {
        if (fd_ < 0) return;
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) RaiseFromErrno(errno, path_);
    }
    void SetWriteTime(FileTimeSpec time) override {
        const struct timespec times[2] = {ToTimespec(std::nullopt), ToTimespec(time)};
        if (fd_ >= 0 && ::futimens(fd_, times) != 0) RaiseFromErrno(errno, path_);
    }

  private:
    int fd_;
    std::string path_;
};

}  // namespace

std::vector<DirEntry> PosixFileSystem::ListDirectory(const std::string& path) {
    return ListAt(OpenDirectory(path, true));
}

std::optional<FileInfo> PosixFileSystem::Stat(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(Win32FromErrno(errno));
        return std::nullopt;
    }
    return FromStat(st, false);
}

std::optional<FileInfo> PosixFileSystem::Lstat(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        SetLastError(Win32FromErrno(errno));
        return std::nullopt;
    }
    return FromStat(st, S_ISLNK(st.st_mode));
}

std::unique_ptr<InputFile> PosixFileSystem::OpenRead(const std::string& path, bool followLinks) {
    struct stat st {};
    const int fd = OpenRegularFile(AT_FDCWD, path, path, followLinks, st);
    return std::make_unique<PosixInputFile>(fd, path, FromStat(st, false));
}

std::unique_ptr<OutputFile> PosixFileSystem::OpenWrite(const std::string& path, WriteMode mode) {
    // O_NONBLOCK: a FIFO planted at the name (the daily log's, say) fails the open instead of hanging
    // it, and what opens must be a regular file, so nothing is ever written into a device or a pipe.
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    switch (mode) {
        case WriteMode::Truncate:
            flags |= O_TRUNC;
            break;
        case WriteMode::Append:
            flags |= O_APPEND;
            break;
        case WriteMode::CreateNew:
            flags |= O_EXCL;
            break;
    }
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) RaiseOpenError(errno == ENXIO ? EACCES : errno, path);
    struct stat st {};
    const int err = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EACCES;
    if (err != 0) {
        ::close(fd);
        RaiseFromErrno(err, path);
    }
    return std::make_unique<PosixOutputFile>(fd, path);
}

void PosixFileSystem::Rename(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) RaiseFromErrno(errno, from + "' to '" + to);
}

void PosixFileSystem::RemoveFile(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) RaiseFromErrno(EISDIR, path);
    if (::unlink(path.c_str()) != 0) RaiseFromErrno(errno, path);
}

void PosixFileSystem::MakeDirectory(const std::string& path, bool ownerOnly) {
    if (::mkdir(path.c_str(), ownerOnly ? 0700 : 0755) != 0) RaiseFromErrno(errno, path);
}

void PosixFileSystem::RemoveDirectory(const std::string& path) {
    if (::rmdir(path.c_str()) != 0) RaiseFromErrno(errno, path);
}

bool PosixFileSystem::IsWritableDirectory(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::unique_ptr<OutputFile> PosixFileSystem::OpenStream(const std::string& path) {
    // No O_CREAT and no O_TRUNC: should the name stand for a stored file after all, opening it changes
    // nothing, and the check on the descriptor refuses it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) RaiseFromErrno(errno, path);
    struct stat st {};
    const int err = ::fstat(fd, &st) != 0                                                   ? errno
                    : (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISSOCK(st.st_mode)) ? 0
                                                                                            : EACCES;
    if (err != 0) {
        ::close(fd);
        RaiseFromErrno(err, path);
    }
    return std::make_unique<PosixOutputFile>(fd, path);
}

HeldDir PosixFileSystem::OpenDirectory(const std::string& path, bool followLinks) {
    const int fd = ::open(path.empty() ? "." : path.c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) RaiseOpenError(errno, path);
    return HeldDir(fd, path);
}

HeldDir PosixFileSystem::OpenDirectoryAt(const HeldDir& dir, const std::string& name) {
    const std::string path = dir.PathOf(name);
    RequireOnePart(name, path);
    const int fd = ::openat(dir.fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) RaiseOpenError(errno, path);
    return HeldDir(fd, path);
}

std::vector<DirEntry> PosixFileSystem::ListAt(const HeldDir& dir) {
    return ListOpenDirectory(dir.fd(), dir.path());
}

void PosixFileSystem::ListInto(const HeldDir& dir, std::vector<DirEntry>& entries) {
    ListOpenDirectory(dir.fd(), dir.path(), entries);
}

std::optional<FileInfo> PosixFileSystem::LstatAt(const HeldDir& dir, const std::string& name) {
    RequireOnePart(dir, name);
    struct stat st {};
    if (::fstatat(dir.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastError(Win32FromErrno(errno));
        return std::nullopt;
    }
    return FromStat(st, S_ISLNK(st.st_mode));
}

std::unique_ptr<InputFile> PosixFileSystem::OpenReadAt(const HeldDir& dir, const std::string& name) {
    // Its room is reused from one open to the next.
    thread_local std::string path;
    path.assign(dir.path()).append(name);
    RequireOnePart(name, path);
    struct stat st {};
    const int fd = OpenRegularFile(dir.fd(), name, path, false, st);
    return std::make_unique<PosixInputFile>(fd, path, FromStat(st, false));
}

std::unique_ptr<OutputFile> PosixFileSystem::CreateAt(const HeldDir& dir, const std::string& name) {
    const std::string path = dir.PathOf(name);
    RequireOnePart(name, path);
    const int fd =
        ::openat(dir.fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) RaiseOpenError(errno, path);
    return std::make_unique<PosixOutputFile>(fd, path);
}

void PosixFileSystem::MakeDirectoryAt(const HeldDir& dir, const std::string& name) {
    const std::string path = dir.PathOf(name);
    RequireOnePart(name, path);
    if (::mkdirat(dir.fd(), name.c_str(), 0755) != 0) RaiseFromErrno(errno, path);
}

bool PosixFileSystem::RemoveAt(const HeldDir& dir, const std::string& name, const FileInfo* expected) {
    const std::string path = dir.PathOf(name);
    RequireOnePart(name, path);
    struct stat st {};
    if (::fstatat(dir.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (expected && errno == ENOENT) return false;  // gone already: it is not the file expected
        RaiseFromErrno(errno, path);
    }
    if (expected && (static_cast<uint64_t>(st.st_dev) != expected->device ||
                     static_cast<uint64_t>(st.st_ino) != expected->inode)) {
        return false;
    }
    if (S_ISDIR(st.st_mode)) RaiseFromErrno(EISDIR, path);
    if (::unlinkat(dir.fd(), name.c_str(), 0) != 0) RaiseFromErrno(errno, path);
    return true;
}

void PosixFileSystem::RemoveDirectoryAt(const HeldDir& dir, const std::string& name) {
    const std::string path = dir.PathOf(name);
    RequireOnePart(name, path);
    if (::unlinkat(dir.fd(), name.c_str(), AT_REMOVEDIR) != 0) RaiseFromErrno(errno, path);
}

void PosixFileSystem::RenameAt(const HeldDir& fromDir, const std::string& from, const HeldDir& toDir,
                               const std::string& to) {
    const std::string fromPath = fromDir.PathOf(from), toPath = toDir.PathOf(to);
    RequireOnePart(from, fromPath);
    RequireOnePart(to, toPath);
    if (::renameat(fromDir.fd(), from.c_str(), toDir.fd(), to.c_str()) != 0) {
        RaiseFromErrno(errno, fromPath + "' to '" + toPath);
    }
}

}  // namespace loftwick
