#include "support/ForwardingFileSystem.h"

#include "support/RuntimeError.h"

namespace loftwick {
namespace {

class ForwardedInput final : public InputFile {
  public:
    ForwardedInput(ForwardingFileSystem& owner, std::unique_ptr<InputFile> inner, std::string path)
        : owner_(owner), inner_(std::move(inner)), path_(std::move(path)) {}
    size_t Read(char* buffer, size_t count) override {
        owner_.Before(FsOp::Read, path_);
        return inner_->Read(buffer, count);
    }
    void Seek(uint64_t offset) override { inner_->Seek(offset); }
    std::pair<uint64_t, uint64_t> DataExtent(uint64_t at) override {
        owner_.Before(FsOp::Read, path_);
        return inner_->DataExtent(at);
    }
    uint64_t Size() override { return inner_->Size(); }
    FileInfo Info() override { return inner_->Info(); }
    FileInfo Current() override {
        owner_.Before(FsOp::Stat, path_);
        return inner_->Current();
    }
    void SetTimes(std::optional<FileTimeSpec> writeTime, std::optional<FileTimeSpec> accessTime) override {
        owner_.Before(FsOp::SetTimes, path_);
        inner_->SetTimes(writeTime, accessTime);
    }
    std::optional<FileTimeSpec> CreationTime() override {
        try {
            owner_.Before(FsOp::GetCreation, path_);
        } catch (const RuntimeError&) {
            return std::nullopt;
        }
        return inner_->CreationTime();
    }
    void SetCreationTime(FileTimeSpec time) override {
        owner_.Before(FsOp::SetCreation, path_);
        inner_->SetCreationTime(time);
    }

  private:
    ForwardingFileSystem& owner_;
    std::unique_ptr<InputFile> inner_;
    std::string path_;
};

class ForwardedOutput final : public OutputFile {
  public:
    ForwardedOutput(ForwardingFileSystem& owner, std::unique_ptr<OutputFile> inner, std::string path)
        : owner_(owner), inner_(std::move(inner)), path_(std::move(path)) {}
    void Write(const char* data, size_t count) override {
        owner_.Before(FsOp::Write, path_);
        if (const auto limit = owner_.WriteLimit(); limit && written_ + count > limit->first) {
            const uint64_t room = limit->first > written_ ? limit->first - written_ : 0;
            inner_->Write(data, static_cast<size_t>(room));
            written_ += room;
            RaiseFromErrno(limit->second, path_);
        }
        inner_->Write(data, count);
        written_ += count;
    }
    void Skip(uint64_t count) override {
        owner_.Before(FsOp::Write, path_);
        if (const auto limit = owner_.WriteLimit(); limit && written_ + count > limit->first) {
            RaiseFromErrno(limit->second, path_);
        }
        inner_->Skip(count);
        written_ += count;
    }
    void Sync() override {
        owner_.Before(FsOp::Sync, path_);
        inner_->Sync();
    }
    void Close() override {
        owner_.Before(FsOp::Close, path_);
        inner_->Close();
    }
    void SetWriteTime(FileTimeSpec time) override {
        owner_.Before(FsOp::SetTimes, path_);
        inner_->SetWriteTime(time);
    }

  private:
    ForwardingFileSystem& owner_;
    std::unique_ptr<OutputFile> inner_;
    std::string path_;
    uint64_t written_ = 0;
};

}  // namespace

std::unique_ptr<InputFile> ForwardingFileSystem::Wrapped(std::unique_ptr<InputFile> file,
                                                         const std::string& path) {
    return std::make_unique<ForwardedInput>(*this, std::move(file), path);
}

std::unique_ptr<OutputFile> ForwardingFileSystem::Wrapped(std::unique_ptr<OutputFile> file,
                                                          const std::string& path) {
    return std::make_unique<ForwardedOutput>(*this, std::move(file), path);
}

bool ForwardingFileSystem::Allowed(FsOp op, const std::string& path) {
    try {
        Before(op, path);
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}

std::vector<DirEntry> ForwardingFileSystem::ListDirectory(const std::string& path) {
    Before(FsOp::List, path);
    return real_.ListDirectory(path);
}

std::optional<FileInfo> ForwardingFileSystem::Stat(const std::string& path) {
    if (!Allowed(FsOp::Stat, path)) return std::nullopt;
    return real_.Stat(path);
}

std::optional<FileInfo> ForwardingFileSystem::Lstat(const std::string& path) {
    if (!Allowed(FsOp::Lstat, path)) return std::nullopt;
    return real_.Lstat(path);
}

std::unique_ptr<InputFile> ForwardingFileSystem::OpenRead(const std::string& path, bool followLinks) {
    Before(FsOp::OpenRead, path);
    return Wrapped(real_.OpenRead(path, followLinks), path);
}

std::unique_ptr<OutputFile> ForwardingFileSystem::OpenWrite(const std::string& path, WriteMode mode) {
    Before(FsOp::OpenWrite, path);
    return Wrapped(real_.OpenWrite(path, mode), path);
}

std::unique_ptr<OutputFile> ForwardingFileSystem::OpenStream(const std::string& path) {
    Before(FsOp::OpenWrite, path);
    return Wrapped(real_.OpenStream(path), path);
}

void ForwardingFileSystem::Rename(const std::string& from, const std::string& to) {
    Before(FsOp::Rename, from);
    real_.Rename(from, to);
}

void ForwardingFileSystem::RemoveFile(const std::string& path) {
    Before(FsOp::RemoveFile, path);
    real_.RemoveFile(path);
}

void ForwardingFileSystem::MakeDirectory(const std::string& path, bool ownerOnly) {
    Before(FsOp::MakeDir, path);
    real_.MakeDirectory(path, ownerOnly);
}

void ForwardingFileSystem::RemoveDirectory(const std::string& path) {
    Before(FsOp::RemoveDir, path);
    real_.RemoveDirectory(path);
}

bool ForwardingFileSystem::IsWritableDirectory(const std::string& path) {
    return Allowed(FsOp::Stat, path) && real_.IsWritableDirectory(path);
}

HeldDir ForwardingFileSystem::OpenDirectory(const std::string& path, bool followLinks) {
    Before(FsOp::OpenDir, path);
    return real_.OpenDirectory(path, followLinks);
}

HeldDir ForwardingFileSystem::OpenDirectoryAt(const HeldDir& dir, const std::string& name) {
    Before(FsOp::OpenDir, dir.PathOf(name));
    return real_.OpenDirectoryAt(dir, name);
}

std::vector<DirEntry> ForwardingFileSystem::ListAt(const HeldDir& dir) {
    Before(FsOp::List, dir.path());
    return real_.ListAt(dir);
}

std::optional<FileInfo> ForwardingFileSystem::LstatAt(const HeldDir& dir, const std::string& name) {
    if (!Allowed(FsOp::Lstat, dir.PathOf(name))) return std::nullopt;
    return real_.LstatAt(dir, name);
}

std::unique_ptr<InputFile> ForwardingFileSystem::OpenReadAt(const HeldDir& dir, const std::string& name) {
    Before(FsOp::OpenRead, dir.PathOf(name));
    return Wrapped(real_.OpenReadAt(dir, name), dir.PathOf(name));
}

std::unique_ptr<OutputFile> ForwardingFileSystem::CreateAt(const HeldDir& dir, const std::string& name) {
    Before(FsOp::OpenWrite, dir.PathOf(name));
    return Wrapped(real_.CreateAt(dir, name), dir.PathOf(name));
}

void ForwardingFileSystem::MakeDirectoryAt(const HeldDir& dir, const std::string& name) {
    Before(FsOp::MakeDir, dir.PathOf(name));
    real_.MakeDirectoryAt(dir, name);
}

bool ForwardingFileSystem::RemoveAt(const HeldDir& dir, const std::string& name, const FileInfo* expected) {
    Before(FsOp::RemoveFile, dir.PathOf(name));
    return real_.RemoveAt(dir, name, expected);
}

void ForwardingFileSystem::RemoveDirectoryAt(const HeldDir& dir, const std::string& name) {
    Before(FsOp::RemoveDir, dir.PathOf(name));
    real_.RemoveDirectoryAt(dir, name);
}

void ForwardingFileSystem::RenameAt(const HeldDir& fromDir, const std::string& from, const HeldDir& toDir,
                                    const std::string& to) {
    Before(FsOp::Rename, fromDir.PathOf(from));
    real_.RenameAt(fromDir, from, toDir, to);
}

}  // namespace loftwick
