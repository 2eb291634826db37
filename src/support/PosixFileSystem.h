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
    void Rename(const std::string& from, const std::string& to) override;
    void RemoveFile(const std::string& path) override;
    void MakeDirectory(const std::string& path) override;
    void RemoveDirectory(const std::string& path) override;
    void SetFileTimes(const std::string& path, std::optional<FileTimeSpec> writeTime,
                      std::optional<FileTimeSpec> accessTime) override;
    std::optional<FileTimeSpec> GetCreationTime(const std::string& path) override;
    void SetCreationTime(const std::string& path, FileTimeSpec time) override;
    bool IsWritableDirectory(const std::string& path) override;
};

// The extended attribute that holds a file's creation time ("<seconds>.<nanoseconds>").
inline constexpr const char* kCreationTimeAttribute = "user.loftwick.created";

}  // namespace loftwick
