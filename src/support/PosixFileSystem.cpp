#include "support/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/RuntimeError.h"

namespace loftwick {
namespace {

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
    info.writeTime = FromTimespec(st.st_mtim);
    info.accessTime = FromTimespec(st.st_atim);
    info.changeTime = FromTimespec(st.st_ctim);
    info.device = static_cast<uint64_t>(st.st_dev);
    info.inode = static_cast<uint64_t>(st.st_ino);
    return info;
}

class PosixInputFile final : public InputFile {
public:
    PosixInputFile(int fd, std::string path, const FileInfo& opened)
        : fd_(fd), path_(std::move(path)), opened_(opened) {}
    ~PosixInputFile() override { ::close(fd_); }

    size_t Read(char* buffer, size_t count) override {
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::read(fd_, buffer + done, count - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                RaiseFromErrno(errno, path_);
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    }
    void Seek(uint64_t offset) override {
        if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) RaiseFromErrno(errno, path_);
    }
    uint64_t Size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) RaiseFromErrno(errno, path_);
        return static_cast<uint64_t>(st.st_size);
    }
    // What was opened: taken once at the open, as binding a cache file asks for it right away.
    FileInfo Info() override { return opened_; }

private:
    int fd_;
    std::string path_;
    FileInfo opened_;
};

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
    void Sync() override {
        if (::fsync(fd_) != 0 && errno != EINVAL) RaiseFromErrno(errno, path_);
    }
    void Close() override {
        if (fd_ < 0) return;
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) RaiseFromErrno(errno, path_);
    }

private:
    int fd_;
    std::string path_;
};

}  // namespace

std::vector<DirEntry> PosixFileSystem::ListDirectory(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) RaiseFromErrno(errno, path);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int err = errno;
        ::close(fd);
        RaiseFromErrno(err, path);
    }
    std::vector<DirEntry> entries;
    errno = 0;
    while (struct dirent* ent = ::readdir(dir)) {
        DirEntry e;
        e.name = ent->d_name;
        unsigned char type = ent->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(fd, ent->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                type = S_ISLNK(st.st_mode) ? DT_LNK : S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            }
        }
        e.isLink = type == DT_LNK;
        e.kind = type == DT_REG ? EntryKind::File : type == DT_DIR ? EntryKind::Directory : EntryKind::Other;
        entries.push_back(std::move(e));
        errno = 0;
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0) RaiseFromErrno(err, path);
    return entries;
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
    // O_NONBLOCK: a FIFO planted where a file is expected must not hang the open; regular files ignore it.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) RaiseFromErrno(errno == ELOOP ? EACCES : errno, path);
    struct stat st {};
    const int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : S_ISREG(st.st_mode) ? 0 : EACCES;
    if (err != 0) {
        ::close(fd);
        RaiseFromErrno(err, path);
    }
    // O_NONBLOCK stays: it changes nothing for the regular files that get this far.
    return std::make_unique<PosixInputFile>(fd, path, FromStat(st, false));
}

std::unique_ptr<OutputFile> PosixFileSystem::OpenWrite(const std::string& path, WriteMode mode) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
    switch (mode) {
        case WriteMode::Truncate: flags |= O_TRUNC; break;
        case WriteMode::Append: flags |= O_APPEND; break;
        case WriteMode::CreateNew: flags |= O_EXCL; break;
    }
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) RaiseFromErrno(errno == ELOOP ? EACCES : errno, path);
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

void PosixFileSystem::MakeDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0) RaiseFromErrno(errno, path);
}

void PosixFileSystem::RemoveDirectory(const std::string& path) {
    if (::rmdir(path.c_str()) != 0) RaiseFromErrno(errno, path);
}

void PosixFileSystem::SetFileTimes(const std::string& path, std::optional<FileTimeSpec> writeTime,
                                   std::optional<FileTimeSpec> accessTime) {
    struct timespec times[2];
    times[0].tv_sec = accessTime ? accessTime->seconds : 0;
    times[0].tv_nsec = accessTime ? accessTime->nanoseconds : UTIME_OMIT;
    times[1].tv_sec = writeTime ? writeTime->seconds : 0;
    times[1].tv_nsec = writeTime ? writeTime->nanoseconds : UTIME_OMIT;
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) RaiseFromErrno(errno, path);
}

std::optional<FileTimeSpec> PosixFileSystem::GetCreationTime(const std::string& path) {
    char value[64];
    const ssize_t n = ::lgetxattr(path.c_str(), kCreationTimeAttribute, value, sizeof value - 1);
    if (n > 0) {
        value[n] = '\0';
        long long sec = 0;
        long nsec = 0;
        if (std::sscanf(value, "%lld.%ld", &sec, &nsec) >= 1 && nsec >= 0 && nsec < 1000000000) {
            return FileTimeSpec{static_cast<int64_t>(sec), static_cast<int32_t>(nsec)};
        }
    }
    struct statx stx {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_CTIME, &stx) != 0) {
        SetLastError(Win32FromErrno(errno));
        return std::nullopt;
    }
    if (stx.stx_mask & STATX_BTIME) {
        return FileTimeSpec{static_cast<int64_t>(stx.stx_btime.tv_sec), static_cast<int32_t>(stx.stx_btime.tv_nsec)};
    }
    return FileTimeSpec{static_cast<int64_t>(stx.stx_ctime.tv_sec), static_cast<int32_t>(stx.stx_ctime.tv_nsec)};
}

void PosixFileSystem::SetCreationTime(const std::string& path, FileTimeSpec time) {
    char value[64];
    const int len = std::snprintf(value, sizeof value, "%lld.%09d", static_cast<long long>(time.seconds),
                                  static_cast<int>(time.nanoseconds));
    if (::lsetxattr(path.c_str(), kCreationTimeAttribute, value, static_cast<size_t>(len), 0) != 0) {
        RaiseFromErrno(errno, path);
    }
}

bool PosixFileSystem::IsWritableDirectory(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return ::access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace loftwick
