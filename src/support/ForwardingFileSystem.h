#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "support/PosixFileSystem.h"

namespace loftwick {

// The kinds of file-system calls, as the forwarding file system tells them apart. The calls relative to
// a held folder count as their path-based kin (ListAt as List, OpenReadAt as OpenRead, ...).
enum class FsOp {
    List,
    Stat,
    Lstat,
    OpenRead,
    Read,
    OpenWrite,
    Write,
    Sync,
    Close,
    Rename,
    RemoveFile,
    MakeDir,
    RemoveDir,
    SetTimes,
    GetCreation,
    SetCreation,
    OpenDir
};

// The real file system with a say before every call, and the one base of the file systems that check
// the program: the fault layer of the tests, the huge-copy double and the fuzz targets' fence. Before()
// runs ahead of each call, including the calls on open files, with the path the call names; throwing
// from it fails the call (a query then answers "nothing"). Hooks run there can change the real folder
// between any two calls of an operation.
class ForwardingFileSystem : public FileSystem {
  public:
    // Runs before every call.
    virtual void Before(FsOp op, const std::string& path) { (void)op, (void)path; }
    // Output files fail after this many bytes, with this errno (each file counts on its own).
    virtual std::optional<std::pair<uint64_t, int>> WriteLimit() const { return std::nullopt; }

    std::vector<DirEntry> ListDirectory(const std::string& path) override;
    std::optional<FileInfo> Stat(const std::string& path) override;
    std::optional<FileInfo> Lstat(const std::string& path) override;
    std::unique_ptr<InputFile> OpenRead(const std::string& path, bool followLinks) override;
    std::unique_ptr<OutputFile> OpenWrite(const std::string& path, WriteMode mode) override;
    std::unique_ptr<OutputFile> OpenStream(const std::string& path) override;
    void Rename(const std::string& from, const std::string& to) override;
    void RemoveFile(const std::string& path) override;
    void MakeDirectory(const std::string& path, bool ownerOnly) override;
    void RemoveDirectory(const std::string& path) override;
    bool IsWritableDirectory(const std::string& path) override;

    HeldDir OpenDirectory(const std::string& path, bool followLinks) override;
    HeldDir OpenDirectoryAt(const HeldDir& dir, const std::string& name) override;
    std::vector<DirEntry> ListAt(const HeldDir& dir) override;
    std::optional<FileInfo> LstatAt(const HeldDir& dir, const std::string& name) override;
    std::unique_ptr<InputFile> OpenReadAt(const HeldDir& dir, const std::string& name) override;
    std::unique_ptr<OutputFile> CreateAt(const HeldDir& dir, const std::string& name) override;
    void MakeDirectoryAt(const HeldDir& dir, const std::string& name) override;
    bool RemoveAt(const HeldDir& dir, const std::string& name, const FileInfo* expected) override;
    void RemoveDirectoryAt(const HeldDir& dir, const std::string& name) override;
    void RenameAt(const HeldDir& fromDir, const std::string& from, const HeldDir& toDir,
                  const std::string& to) override;

  protected:
    // The files handed out, wrapped so that their calls pass Before() too.
    std::unique_ptr<InputFile> Wrapped(std::unique_ptr<InputFile> file, const std::string& path);
    std::unique_ptr<OutputFile> Wrapped(std::unique_ptr<OutputFile> file, const std::string& path);
    // Before() for a query: false when it failed the call.
    bool Allowed(FsOp op, const std::string& path);

    PosixFileSystem real_;
};

}  // namespace loftwick
