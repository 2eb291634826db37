#include "support/FaultFileSystem.h"

#include <algorithm>
#include <cerrno>

#include "support/RuntimeError.h"

namespace loftwick::test {

void FaultFileSystem::FailNth(FsOp op, int n, int err) { plans_[op] = Plan{n, err}; }

void FaultFileSystem::FailPath(FsOp op, const std::string& pathPart, int err) {
    pathFaults_.push_back({op, {pathPart, err}});
}

void FaultFileSystem::SetHook(FsOp op, std::function<void(const std::string&)> hook) {
    hooks_[op] = std::move(hook);
}

void FaultFileSystem::HookNthCall(int n, std::function<void()> hook) {
    nthCall_ = static_cast<int>(calls_.size()) + n;
    nthHook_ = std::move(hook);
}

void FaultFileSystem::FailWritesAfterBytes(uint64_t bytes, int err) {
    writeLimit_ = bytes;
    writeLimitErr_ = err;
}

int FaultFileSystem::CountOf(FsOp op) const {
    return static_cast<int>(
        std::count_if(calls_.begin(), calls_.end(), [op](const Call& c) { return c.op == op; }));
}

void FaultFileSystem::Before(FsOp op, const std::string& path) {
    const std::lock_guard<std::recursive_mutex> lock(mutex_);
    calls_.push_back({op, path});
    if (nthHook_ && static_cast<int>(calls_.size()) == nthCall_) std::exchange(nthHook_, nullptr)();
    if (auto hook = hooks_.find(op); hook != hooks_.end() && hook->second) hook->second(path);
    for (const auto& [fop, fault] : pathFaults_)
        if (fop == op && path.find(fault.first) != std::string::npos) RaiseFromErrno(fault.second, path);
    if (auto plan = plans_.find(op);
        plan != plans_.end() && plan->second.countdown > 0 && --plan->second.countdown == 0)
        RaiseFromErrno(plan->second.err, path);
}

}  // namespace loftwick::test
