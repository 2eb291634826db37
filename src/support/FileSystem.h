#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace loftwick {

enum class EntryKind { File, Directory, Other };

struct DirEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;  // of the entry itself; a symbolic link is Other with isLink set
    bool isLink = false;
};

struct FileTimeSpec {
    int64_t seconds = 0;  // since 1970-01-01 00:00 UTC
    int32_t nanoseconds = 0;
    friend bool operator==(const FileTimeSpec&, const FileTimeSpec&) = default;
};

struct FileInfo {
    EntryKind kind = EntryKind::Other;
    bool isLink = false;  // only from Lstat
    uint64_t size = 0;
    uint64_t allocated = 0;  // bytes the file system stores for it: far less than size for a sparse file
    FileTimeSpec writeTime, accessTime, changeTime;
    uint64_t device = 0, inode = 0;
    uint64_t links = 1;  // names the file has; a second one may lie anywhere on the device
};

// Whether two facts name the same file (device and inode).
inline bool SameFile(const FileInfo& a, const FileInfo& b) {
    return a.device == b.device && a.inode == b.inode;
}
// Whether the file is also unchanged: the same file, with the same size and last-write time.
inline bool SameFileUnchanged(const FileInfo& a, const FileInfo& b) {
    return SameFile(a, b) && a.size == b.size && a.writeTime == b.writeTime;
}

// A folder held open. Whatever is renamed or replaced along its path afterwards, every name looked up
// relative to it is looked up in this very folder, so a check made on it still holds when the operation
// follows. Copies share the one descriptor; the last one closes it.
class HeldDir {
  public:
    HeldDir() = default;
    HeldDir(int fd, std::string path);  // takes the descriptor; `path` gets a trailing "/"
    explicit operator bool() const { return static_cast<bool>(fd_); }
    int fd() const;                   // -1 when nothing is held
    const std::string& path() const;  // for messages and result lines only; "" when nothing is held
    std::string PathOf(const std::string& name) const { return path() + name; }
    // Holds nothing any more.
    void Release() { fd_.reset(); }

  private:
    // Shared by every copy, path included: each object a scan keeps holds its folder, and a copy must
    // cost no more than a reference.
    struct Descriptor;
    std::shared_ptr<const Descriptor> fd_;
};

// An open file for reading. Reads return fewer bytes than asked only at the end of the file.
class InputFile {
  public:
    virtual ~InputFile() = default;
    virtual size_t Read(char* buffer, size_t count) = 0;  // throws RuntimeError on a read error
    virtual void Seek(uint64_t offset) = 0;
    virtual uint64_t Size() = 0;     // the present size of the open file
    virtual FileInfo Info() = 0;     // what was opened, as it was at the open (device, inode, size, times)
    virtual FileInfo Current() = 0;  // the same facts as they are now
    // The first stretch at or after `at` that holds data, as [first, end); what lies before `first` is
    // a hole (reads as zeros, nothing stored). {max, max} when only a hole is left; a file system that
    // cannot tell answers {at, max}, all data. Leaves the read position undefined.
    virtual std::pair<uint64_t, uint64_t> DataExtent(uint64_t at) { return {at, UINT64_MAX}; }

    // Sets the last-write and/or last-access time of the open file; a missing value leaves it unchanged.
    virtual void SetTimes(std::optional<FileTimeSpec> writeTime, std::optional<FileTimeSpec> accessTime) = 0;
    // The creation time: the one stored by SetCreationTime, else the file system's birth time, else the
    // change time.
    virtual std::optional<FileTimeSpec> CreationTime() = 0;
    // Linux cannot set a birth time, so the creation time is kept in an extended attribute.
    virtual void SetCreationTime(FileTimeSpec time) = 0;
};

// An open file for writing. Close() reports a failed flush; the destructor closes silently.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    virtual void Write(const char* data, size_t count) = 0;  // throws RuntimeError
    // Adds `count` zero bytes, as a hole where the file system keeps them so (nothing stored).
    virtual void Skip(uint64_t count);
    virtual void Sync() = 0;  // flush to the device
    virtual void Close() = 0;
    // Sets the last-write time of the file being written.
    virtual void SetWriteTime(FileTimeSpec time) = 0;
};

enum class WriteMode {
    Truncate,   // create or empty an existing file
    Append,     // create or add at the end
    CreateNew,  // fail with "File already exists" when anything is at the path
};

// All access to files goes through this interface so that tests can run the program over a fault-
// injecting implementation. Paths are native ("/"). Failures throw RuntimeError and set the last error
// (GetLastError). Nothing here follows a symbolic link in the last path component, except Stat,
// OpenRead and OpenDirectory when asked to.
//
// Below a folder that was checked, nothing goes by path again: the folder is held (OpenDirectory) and
// every later call names one entry relative to it (the "At" calls), so that a folder swapped for a link
// after the check cannot lead anywhere. Paths serve the folders the user names and the program's own
// files.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Every entry of a directory in listing order, "." and ".." included.
    virtual std::vector<DirEntry> ListDirectory(const std::string& path) = 0;

    // Information on the file a path names (following links), or nothing when it does not exist.
    virtual std::optional<FileInfo> Stat(const std::string& path) = 0;
    // The same for the path itself, links not followed.
    virtual std::optional<FileInfo> Lstat(const std::string& path) = 0;

    virtual std::unique_ptr<InputFile> OpenRead(const std::string& path, bool followLinks = false) = 0;
    virtual std::unique_ptr<OutputFile> OpenWrite(const std::string& path, WriteMode mode) = 0;
    // An existing FIFO, character device or socket, opened for writing; anything else is refused
    // (PermissionDenied), so nothing stored is ever written through this.
    virtual std::unique_ptr<OutputFile> OpenStream(const std::string& path) = 0;

    virtual void Rename(const std::string& from, const std::string& to) = 0;
    virtual void RemoveFile(const std::string& path) = 0;
    virtual void MakeDirectory(const std::string& path, bool ownerOnly = false) = 0;  // ownerOnly: mode 0700
    virtual void RemoveDirectory(const std::string& path) = 0;  // only an empty directory

    // Whether new files can be created in a directory.
    virtual bool IsWritableDirectory(const std::string& path) = 0;

    // Holds the folder at a path; with followLinks false a link as the last component is refused.
    virtual HeldDir OpenDirectory(const std::string& path, bool followLinks = true) = 0;
    // Holds the folder `name` of a held folder; a link or anything but a folder is refused.
    virtual HeldDir OpenDirectoryAt(const HeldDir& dir, const std::string& name) = 0;
    // The entries of a held folder in listing order, "." and ".." included.
    virtual std::vector<DirEntry> ListAt(const HeldDir& dir) = 0;
    // The same into `entries` (its former content replaced), whose names' room may be reused.
    virtual void ListInto(const HeldDir& dir, std::vector<DirEntry>& entries) { entries = ListAt(dir); }
    // What `name` in a held folder is itself (a link is not followed); nothing when it does not exist.
    virtual std::optional<FileInfo> LstatAt(const HeldDir& dir, const std::string& name) = 0;
    // Opens the regular file `name` of a held folder; a link, a FIFO, a folder or a device is refused.
    virtual std::unique_ptr<InputFile> OpenReadAt(const HeldDir& dir, const std::string& name) = 0;
    // Creates the new file `name` in a held folder; fails with "File already exists" when anything is
    // there.
    virtual std::unique_ptr<OutputFile> CreateAt(const HeldDir& dir, const std::string& name) = 0;
    virtual void MakeDirectoryAt(const HeldDir& dir, const std::string& name) = 0;
    // Removes the file `name` of a held folder; with `expected`, only while the name still stands for
    // that file (device and inode). False, with nothing removed, when it does not.
    virtual bool RemoveAt(const HeldDir& dir, const std::string& name, const FileInfo* expected) = 0;
    virtual void RemoveDirectoryAt(const HeldDir& dir, const std::string& name) = 0;
    // Renames within held folders; the target is replaced when it exists.
    virtual void RenameAt(const HeldDir& fromDir, const std::string& from, const HeldDir& toDir,
                          const std::string& to) = 0;

    // Whether two threads may call it at once (the scan's read-ahead needs that).
    virtual bool ThreadSafe() const { return false; }

    // By path, for the cache builder and set-ups: open the regular file (no link followed) and set its
    // times through the descriptor.
    void SetFileTimes(const std::string& path, std::optional<FileTimeSpec> writeTime,
                      std::optional<FileTimeSpec> accessTime);
    std::optional<FileTimeSpec> GetCreationTime(const std::string& path);
    void SetCreationTime(const std::string& path, FileTimeSpec time);
};

// Writes `content` as the file `name` of a held folder: a new file under a temporary name there,
// flushed, then renamed over `name`, so the name holds either its old content or the new one and
// nothing is ever written through a link. `write` fills the open file. Throws RuntimeError; the
// temporary file is removed.
void ReplaceFileAt(FileSystem& fs, const HeldDir& dir, const std::string& name,
                   const std::function<void(OutputFile&)>& write);

// Creates a new file in a held folder beside `name` ("name.part", else "name.part1", ...) for content
// that will be renamed over `name` once complete; `temporary` receives its name. Never opens an existing
// file or a link.
std::unique_ptr<OutputFile> CreateTemporaryAt(FileSystem& fs, const HeldDir& dir, const std::string& name,
                                              std::string& temporary);

// The folder part of a path ("" or ending in "/") and its last part.
std::string FolderOf(const std::string& path);
std::string LastPartOf(const std::string& path);

// Reads a whole (small) regular file, no link followed; throws RuntimeError.
std::string ReadWholeFile(FileSystem& fs, const std::string& path);
// Writes a file atomically: a temporary file beside it, flushed, then renamed over the target, so the
// target is either its old content or the new one. Throws RuntimeError; the temporary file is removed.
void WriteFileAtomically(FileSystem& fs, const std::string& path, const std::string& content);

}  // namespace loftwick
