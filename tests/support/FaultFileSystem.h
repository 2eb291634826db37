#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/PosixFileSystem.h"

namespace loftwick::test {

enum class FsOp {
    List, Stat, Lstat, OpenRead, Read, OpenWrite, Write, Sync, Close, Rename, RemoveFile, MakeDir,
    RemoveDir, SetTimes, GetCreation, SetCreation
};

// The real file system with faults on request: the n-th call of a kind fails with an errno, a hook runs
// before a call (to delete or replace a file between listing and opening), and every call is recorded.
// Tests run as root, so this is how permission denials are made.
class FaultFileSystem final : public FileSystem {
public:
    struct Call {
        FsOp op;
        std::string path;
    };

    // The n-th (1-based, counted from now) call of `op` fails with `err`; `times` calls in a row fail.
    void FailNth(FsOp op, int n, int err, int times = 1);
    // Every call of `op` whose path contains `pathPart` fails with `err`.
    void FailPath(FsOp op, const std::string& pathPart, int err);
    // Runs before every call of `op`; the hook gets the path.
    void SetHook(FsOp op, std::function<void(const std::string&)> hook);
    // Output files fail after this many bytes have been written to them (each file counts on its own).
    void FailWritesAfterBytes(uint64_t bytes, int err);
    void Reset();

    int CountOf(FsOp op) const;
    const std::vector<Call>& calls() const { return calls_; }

    // Called by the wrapped files; public so they can reach it.
    void Check(FsOp op, const std::string& path);
    uint64_t writeLimit_ = UINT64_MAX;
    int writeLimitErr_ = 0;

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

private:
    struct Plan {
        int countdown = 0;  // fails when it reaches 1
        int times = 0;
        int err = 0;
    };
    PosixFileSystem real_;
    std::map<FsOp, Plan> plans_;
    std::vector<std::pair<FsOp, std::pair<std::string, int>>> pathFaults_;
    std::map<FsOp, std::function<void(const std::string&)>> hooks_;
    std::map<FsOp, int> counts_;
    std::vector<Call> calls_;
};

}  // namespace loftwick::test
