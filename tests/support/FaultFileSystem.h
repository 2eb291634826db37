#pragma once
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/ForwardingFileSystem.h"

namespace loftwick::test {

// The real file system with faults on request: the n-th call of a kind fails with an errno, a hook runs
// before a call (to delete or replace a file, or swap a folder for a link, between two calls), and every
// call is recorded. Tests run as root, so this is how permission denials are made.
class FaultFileSystem final : public ForwardingFileSystem {
  public:
    struct Call {
        FsOp op;
        std::string path;
    };

    // The n-th (1-based, counted from now) call of `op` fails with `err`.
    void FailNth(FsOp op, int n, int err);
    // Every call of `op` whose path contains `pathPart` fails with `err`.
    void FailPath(FsOp op, const std::string& pathPart, int err);
    // Runs before every call of `op`; the hook gets the path.
    void SetHook(FsOp op, std::function<void(const std::string&)> hook);
    // Runs once, before the n-th call of any kind counted from now (1-based).
    void HookNthCall(int n, std::function<void()> hook);
    // Output files fail after this many bytes have been written to them (each file counts on its own).
    void FailWritesAfterBytes(uint64_t bytes, int err);
    // Lets the scan read ahead on a second thread through it: its calls are then taken one at a time,
    // each counted and hooked on the thread that makes it.
    void AllowThreads() { threads_ = true; }
    bool ThreadSafe() const override { return threads_; }

    int CountOf(FsOp op) const;
    const std::vector<Call>& calls() const { return calls_; }

    void Before(FsOp op, const std::string& path) override;
    std::optional<std::pair<uint64_t, int>> WriteLimit() const override {
        if (writeLimit_ == UINT64_MAX) return std::nullopt;
        return std::make_pair(writeLimit_, writeLimitErr_);
    }

  private:
    struct Plan {
        int countdown = 0;  // the call that takes it to 0 fails
        int err = 0;
    };
    std::map<FsOp, Plan> plans_;
    std::vector<std::pair<FsOp, std::pair<std::string, int>>> pathFaults_;
    std::map<FsOp, std::function<void(const std::string&)>> hooks_;
    std::vector<Call> calls_;
    int nthCall_ = 0;
    std::function<void()> nthHook_;
    uint64_t writeLimit_ = UINT64_MAX;
    int writeLimitErr_ = 0;
    bool threads_ = false;
    std::recursive_mutex mutex_;  // a hook may make calls of its own
};

}  // namespace loftwick::test
