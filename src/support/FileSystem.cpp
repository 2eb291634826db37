#include "support/FileSystem.h"

#include <unistd.h>

#include <algorithm>

#include "support/RuntimeError.h"

namespace loftwick {

struct HeldDir::Descriptor {
    int fd;
    std::string path;
    Descriptor(int f, std::string p) : fd(f), path(std::move(p)) {
        // "" stands for the current directory and stays "", so that names below it read as relative
        // paths.
        if (!path.empty() && path.back() != '/') path += '/';
    }
    ~Descriptor() { ::close(fd); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

HeldDir::HeldDir(int fd, std::string path) : fd_(std::make_shared<const Descriptor>(fd, std::move(path))) {}

int HeldDir::fd() const { return fd_ ? fd_->fd : -1; }

const std::string& HeldDir::path() const {
    static const std::string none;
    return fd_ ? fd_->path : none;
}

void OutputFile::Skip(uint64_t count) {
    static const char zeros[65536] = {};
    for (; count > 0;) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(count, sizeof zeros));
        Write(zeros, piece);
        count -= piece;
    }
}

void FileSystem::SetFileTimes(const std::string& path, std::optional<FileTimeSpec> writeTime,
                              std::optional<FileTimeSpec> accessTime) {
    OpenRead(path, false)->SetTimes(writeTime, accessTime);
}

std::optional<FileTimeSpec> FileSystem::GetCreationTime(const std::string& path) {
    try {
        return OpenRead(path, false)->CreationTime();
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
}

void FileSystem::SetCreationTime(const std::string& path, FileTimeSpec time) {
    OpenRead(path, false)->SetCreationTime(time);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string LastPartOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadWholeFile(FileSystem& fs, const std::string& path) {
    auto in = fs.OpenRead(path, false);
    std::string content;
    char buffer[65536];
    for (;;) {
        const size_t n = in->Read(buffer, sizeof buffer);
        content.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    return content;
}

std::unique_ptr<OutputFile> CreateTemporaryAt(FileSystem& fs, const HeldDir& dir, const std::string& name,
                                              std::string& temporary) {
    // The name sits in the same folder so that the final rename cannot cross file systems.
    for (int attempt = 0;; ++attempt) {
        temporary = name + ".part" + (attempt ? std::to_string(attempt) : std::string());
        try {
            return fs.CreateAt(dir, temporary);
        } catch (const RuntimeError& e) {
            if (e.Number() != vberr::FileAlreadyExists || attempt >= 100) throw;
        }
    }
}

void ReplaceFileAt(FileSystem& fs, const HeldDir& dir, const std::string& name,
                   const std::function<void(OutputFile&)>& write) {
    std::string temp;
    std::unique_ptr<OutputFile> out = CreateTemporaryAt(fs, dir, name, temp);
    try {
        write(*out);
        out->Sync();
        out->Close();
        fs.RenameAt(dir, temp, dir, name);
    } catch (...) {
        out.reset();
        try {
            fs.RemoveAt(dir, temp, nullptr);
        } catch (...) {
        }
        throw;
    }
}

void WriteFileAtomically(FileSystem& fs, const std::string& path, const std::string& content) {
    const std::string folder = FolderOf(path);
    const HeldDir dir = fs.OpenDirectory(folder.empty() ? "." : folder);
    ReplaceFileAt(fs, dir, LastPartOf(path),
                  [&](OutputFile& out) { out.Write(content.data(), content.size()); });
}

}  // namespace loftwick
