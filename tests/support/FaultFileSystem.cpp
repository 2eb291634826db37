#include "support/FaultFileSystem.h"

#include <cerrno>

#include "support/RuntimeError.h"

namespace loftwick::test {
namespace {

class FaultInputFile final : public InputFile {
public:
    FaultInputFile(FaultFileSystem& owner, std::unique_ptr<InputFile> inner, std::string path)
        : owner_(owner), inner_(std::move(inner)), path_(std::move(path)) {}
    size_t Read(char* buffer, size_t count) override {
        owner_.Check(FsOp::Read, path_);
        return inner_->Read(buffer, count);
    }
    void Seek(uint64_t offset) override { inner_->Seek(offset); }
    uint64_t Size() override { return inner_->Size(); }
    FileInfo Info() override { return inner_->Info(); }

private:
    FaultFileSystem& owner_;
    std::unique_ptr<InputFile> inner_;
    std::string path_;
};

class FaultOutputFile final : public OutputFile {
public:
    FaultOutputFile(FaultFileSystem& owner, std::unique_ptr<OutputFile> inner, std::string path)
        : owner_(owner), inner_(std::move(inner)), path_(std::move(path)) {}
    void Write(const char* data, size_t count) override {
        owner_.Check(FsOp::Write, path_);
        if (written_ + count > owner_.writeLimit_) {
            const uint64_t room = owner_.writeLimit_ > written_ ? owner_.writeLimit_ - written_ : 0;
            inner_->Write(data, static_cast<size_t>(room));
            written_ += room;
            RaiseFromErrno(owner_.writeLimitErr_, path_);
        }
        inner_->Write(data, count);
        written_ += count;
    }
    void Sync() override {
        owner_.Check(FsOp::Sync, path_);
        inner_->Sync();
    }
    void Close() override {
        owner_.Check(FsOp::Close, path_);
        inner_->Close();
    }

private:
    FaultFileSystem& owner_;
    std::unique_ptr<OutputFile> inner_;
    std::string path_;
    uint64_t written_ = 0;
};

}  // namespace

void FaultFileSystem::FailNth(FsOp op, int n, int err, int times) { plans_[op] = Plan{n, times, err}; }

void FaultFileSystem::FailPath(FsOp op, const std::string& pathPart, int err) {
    pathFaults_.push_back({op, {pathPart, err}});
}

void FaultFileSystem::SetHook(FsOp op, std::function<void(const std::string&)> hook) { hooks_[op] = std::move(hook); }

void FaultFileSystem::FailWritesAfterBytes(uint64_t bytes, int err) {
    writeLimit_ = bytes;
    writeLimitErr_ = err;
}

void FaultFileSystem::Reset() {
    plans_.clear();
    pathFaults_.clear();
    hooks_.clear();
    writeLimit_ = UINT64_MAX;
}

int FaultFileSystem::CountOf(FsOp op) const {
    auto it = counts_.find(op);
    return it == counts_.end() ? 0 : it->second;
}

void FaultFileSystem::Check(FsOp op, const std::string& path) {
    calls_.push_back({op, path});
    ++counts_[op];
    if (auto hook = hooks_.find(op); hook != hooks_.end() && hook->second) hook->second(path);
    for (const auto& [fop, fault] : pathFaults_) {
        if (fop == op && path.find(fault.first) != std::string::npos) RaiseFromErrno(fault.second, path);
    }
    auto it = plans_.find(op);
    if (it == plans_.end() || it->second.times <= 0) return;
    Plan& plan = it->second;
    if (plan.countdown > 1) {
        --plan.countdown;
        return;
    }
    --plan.times;
    RaiseFromErrno(plan.err, path);
}

std::vector<DirEntry> FaultFileSystem::ListDirectory(const std::string& path) {
    Check(FsOp::List, path);
    return real_.ListDirectory(path);
}

std::optional<FileInfo> FaultFileSystem::Stat(const std::string& path) {
    try {
        Check(FsOp::Stat, path);
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
    return real_.Stat(path);
}

std::optional<FileInfo> FaultFileSystem::Lstat(const std::string& path) {
    try {
        Check(FsOp::Lstat, path);
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
    return real_.Lstat(path);
}

std::unique_ptr<InputFile> FaultFileSystem::OpenRead(const std::string& path, bool followLinks) {
    Check(FsOp::OpenRead, path);
    return std::make_unique<FaultInputFile>(*this, real_.OpenRead(path, followLinks), path);
}

std::unique_ptr<OutputFile> FaultFileSystem::OpenWrite(const std::string& path, WriteMode mode) {
    Check(FsOp::OpenWrite, path);
    return std::make_unique<FaultOutputFile>(*this, real_.OpenWrite(path, mode), path);
}

void FaultFileSystem::Rename(const std::string& from, const std::string& to) {
    Check(FsOp::Rename, from);
    real_.Rename(from, to);
}

void FaultFileSystem::RemoveFile(const std::string& path) {
    Check(FsOp::RemoveFile, path);
    real_.RemoveFile(path);
}

void FaultFileSystem::MakeDirectory(const std::string& path) {
    Check(FsOp::MakeDir, path);
    real_.MakeDirectory(path);
}

void FaultFileSystem::RemoveDirectory(const std::string& path) {
    Check(FsOp::RemoveDir, path);
    real_.RemoveDirectory(path);
}

void FaultFileSystem::SetFileTimes(const std::string& path, std::optional<FileTimeSpec> writeTime,
                                   std::optional<FileTimeSpec> accessTime) {
    Check(FsOp::SetTimes, path);
    real_.SetFileTimes(path, writeTime, accessTime);
}

std::optional<FileTimeSpec> FaultFileSystem::GetCreationTime(const std::string& path) {
    try {
        Check(FsOp::GetCreation, path);
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
    return real_.GetCreationTime(path);
}

void FaultFileSystem::SetCreationTime(const std::string& path, FileTimeSpec time) {
    Check(FsOp::SetCreation, path);
    real_.SetCreationTime(path, time);
}

bool FaultFileSystem::IsWritableDirectory(const std::string& path) {
    try {
        Check(FsOp::Stat, path);
    } catch (const RuntimeError&) {
        return false;
    }
    return real_.IsWritableDirectory(path);
}

}  // namespace loftwick::test
