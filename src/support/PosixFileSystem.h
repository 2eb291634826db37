#pragma once
#include "support/FileSystem.h"

namespace loftwick {

// The real file system, through POSIX calls. Symbolic links in the last path component are never
// followed when writing, renaming, removing or changing times.
class PosixFileSystem final : public FileSystem {
  public:
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
    // It keeps no state of its own: every call is the kernel's.
    bool ThreadSafe() const override { return true; }
    void ListInto(const HeldDir& dir, std::vector<DirEntry>& entries) override;

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
};

// The extended attribute that holds a file's creation time ("<seconds>.<nanoseconds>").
inline constexpr const char* kCreationTimeAttribute = "user.loftwick.created";

}  // namespace loftwick
