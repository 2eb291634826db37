#pragma once
// What every fuzz target shares: a private folder to run in, the program-wide values of an unattended
// run, a fixed clock, and a file system that aborts the run the moment anything outside an allowed
// folder would be changed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/ForwardingFileSystem.h"
#include "support/Kit.h"

namespace loftwick::fuzz {

// A broken promise is a crash, so that libFuzzer keeps the input that broke it.
#define FUZZ_REQUIRE(condition, what)                                                       \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            std::fprintf(stderr, "broken promise: %s (%s:%d)\n", what, __FILE__, __LINE__); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

// The real file system with a fence: every call that changes something must name a path below the
// writable folder, or the run aborts. Log entries are dropped (a fuzzer provokes thousands of reports a
// second), and the paths of every read are kept for targets that check what was bound.
class GuardedFileSystem final : public ForwardingFileSystem {
  public:
    void SetWritableFolder(std::string folder) { writable_ = std::move(folder); }
    // The paths read from now on, kept until the next call; reads are not kept otherwise.
    void WatchReads(bool on) {
        watching_ = on;
        reads_.clear();
    }
    const std::vector<std::string>& reads() const { return reads_; }

    void Before(FsOp op, const std::string& path) override;
    std::optional<FileInfo> Stat(const std::string& path) override;
    std::optional<FileInfo> Lstat(const std::string& path) override;
    std::unique_ptr<OutputFile> OpenWrite(const std::string& path, WriteMode mode) override;
    void Rename(const std::string& from, const std::string& to) override;
    void RenameAt(const HeldDir& fromDir, const std::string& from, const HeldDir& toDir,
                  const std::string& to) override;

  private:
    void Fence(const std::string& path) const;
    std::string writable_;
    std::vector<std::string> reads_;
    bool watching_ = false;
};

// Set up once per process, on first use: a fresh folder below $TMPDIR (removed at exit), TZ=UTC, an
// unattended program, a clock standing at 2024-12-06 10:00:00 UTC and the guarded file system, whose
// writable folder is the private folder until a target narrows it.
struct World {
    std::string root;  // no trailing "/"
    GuardedFileSystem fileSystem;
};
World& TheWorld();

}  // namespace loftwick::fuzz
