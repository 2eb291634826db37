#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace loftwick {

enum class EntryKind { File, Directory, Other };

struct DirEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;  // of the entry itself; a symbolic link is Other with isLink set
    bool isLink = false;
};

struct FileTimeSpec {
    int64_t seconds = 0;   // since 1970-01-01 00:00 UTC
    int32_t nanoseconds = 0;
    friend bool operator==(const FileTimeSpec&, const FileTimeSpec&) = default;
};

struct FileInfo {
    EntryKind kind = EntryKind::Other;
    bool isLink = false;  // only from Lstat
    uint64_t size = 0;
    FileTimeSpec writeTime, accessTime, changeTime;
    uint64_t device = 0, inode = 0;
};

// An open file for reading. Reads return fewer bytes than asked only at the end of the file.
class InputFile {
public:
    virtual ~InputFile() = default;
    virtual size_t Read(char* buffer, size_t count) = 0;  // throws RuntimeError on a read error
    virtual void Seek(uint64_t offset) = 0;
    virtual uint64_t Size() = 0;  // the present size of the open file
    virtual FileInfo Info() = 0;  // what was opened, as it was at the open (device, inode, size, times)
};

// An open file for writing. Close() reports a failed flush; the destructor closes silently.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual void Write(const char* data, size_t count) = 0;  // throws RuntimeError
    virtual void Sync() = 0;                                  // flush to the device
    virtual void Close() = 0;
};

enum class WriteMode {
    Truncate,     // create or empty an existing file
    Append,       // create or add at the end
    CreateNew,    // fail with "File already exists" when anything is at the path
};

// All access to files goes through this interface so that tests can run the program over a fake or
// fault-injecting implementation. Paths are native ("/"). Failures throw RuntimeError and set the last
// error (GetLastError). Nothing here follows a symbolic link in the last path component, except Stat
// and OpenRead when asked to.
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

    virtual void Rename(const std::string& from, const std::string& to) = 0;
    virtual void RemoveFile(const std::string& path) = 0;
    virtual void MakeDirectory(const std::string& path) = 0;
    virtual void RemoveDirectory(const std::string& path) = 0;  // only an empty directory

    // Sets the last-write and/or last-access time; a missing value leaves that time unchanged.
    virtual void SetFileTimes(const std::string& path, std::optional<FileTimeSpec> writeTime,
                              std::optional<FileTimeSpec> accessTime) = 0;
    // The creation time: the one stored by SetCreationTime, else the file system's birth time, else the
    // change time. Nothing when the file does not exist.
    virtual std::optional<FileTimeSpec> GetCreationTime(const std::string& path) = 0;
    // Linux cannot set a birth time, so the creation time is kept in an extended attribute.
    virtual void SetCreationTime(const std::string& path, FileTimeSpec time) = 0;

    // Whether new files can be created in a directory.
    virtual bool IsWritableDirectory(const std::string& path) = 0;
};

// Creates a new file beside `path` ("path.part", else "path.part1", ...) for content that will be renamed
// over `path` once complete; `sibling` receives its name. Never opens an existing file or a link.
std::unique_ptr<OutputFile> CreateSibling(FileSystem& fs, const std::string& path, std::string& sibling);

// Reads a whole (small) file; throws RuntimeError.
std::string ReadWholeFile(FileSystem& fs, const std::string& path);
// Writes a file atomically: a temporary file beside it, flushed, then renamed over the target, so the
// target is either its old content or the new one. Throws RuntimeError; the temporary file is removed.
void WriteFileAtomically(FileSystem& fs, const std::string& path, const std::string& content);

}  // namespace loftwick
