#pragma once
// A file system for copies of gigabytes that cost neither disk space nor time: files are read for real
// only within 1 MiB of either end (the hole between is passed over as if read), and what is written goes
// nowhere but is counted. Everything else is the real file system.
#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "support/PosixFileSystem.h"

namespace loftwick::test {

class HugeCopyFileSystem final : public FileSystem {
  public:
    uint64_t written = 0;
    size_t largestWrite = 0;
    std::string head, tail;                      // the first and last 8 bytes written
    std::map<std::string, std::string> renamed;  // target -> what was renamed to it

    std::unique_ptr<InputFile> OpenRead(const std::string& path, bool follow) override {
        struct HoleSkipping final : InputFile {
            std::unique_ptr<InputFile> real;
            uint64_t size, pos = 0;
            explicit HoleSkipping(std::unique_ptr<InputFile> file)
                : real(std::move(file)), size(real->Size()) {}
            size_t Read(char* buffer, size_t count) override {
                constexpr uint64_t kEnds = 1 << 20;
                const uint64_t n = std::min<uint64_t>(count, size - std::min(pos, size));
                if (pos >= kEnds && pos + n + kEnds <= size) {
                    Seek(pos + n);
                    return static_cast<size_t>(n);
                }
                const size_t got = real->Read(buffer, count);
                pos += got;
                return got;
            }
            void Seek(uint64_t offset) override { real->Seek(pos = offset); }
            uint64_t Size() override { return size; }
            FileInfo Info() override { return real->Info(); }
        };
        return std::make_unique<HoleSkipping>(real_.OpenRead(path, follow));
    }
    std::unique_ptr<OutputFile> OpenWrite(const std::string&, WriteMode) override {
        struct Counting final : OutputFile {
            HugeCopyFileSystem& fs;
            explicit Counting(HugeCopyFileSystem& f) : fs(f) {}
            void Write(const char* data, size_t count) override {
                if (fs.head.size() < 8) fs.head.append(data, std::min<size_t>(count, 8 - fs.head.size()));
                fs.tail += std::string(data + count - std::min<size_t>(count, 8), std::min<size_t>(count, 8));
                fs.tail.erase(0, fs.tail.size() - std::min<size_t>(fs.tail.size(), 8));
                fs.written += count;
                fs.largestWrite = std::max(fs.largestWrite, count);
            }
            void Sync() override {}
            void Close() override {}
        };
        return std::make_unique<Counting>(*this);
    }
    void Rename(const std::string& from, const std::string& to) override { renamed[to] = from; }
    std::optional<FileInfo> Lstat(const std::string& path) override {
        return renamed.count(path) ? std::optional<FileInfo>(FileInfo{}) : real_.Lstat(path);
    }
    std::vector<DirEntry> ListDirectory(const std::string& path) override {
        return real_.ListDirectory(path);
    }
    std::optional<FileInfo> Stat(const std::string& path) override { return real_.Stat(path); }
    void RemoveFile(const std::string& path) override { real_.RemoveFile(path); }
    void MakeDirectory(const std::string& path) override { real_.MakeDirectory(path); }
    void RemoveDirectory(const std::string& path) override { real_.RemoveDirectory(path); }
    void SetFileTimes(const std::string&, std::optional<FileTimeSpec>, std::optional<FileTimeSpec>) override {
    }
    std::optional<FileTimeSpec> GetCreationTime(const std::string& path) override {
        return real_.GetCreationTime(path);
    }
    void SetCreationTime(const std::string&, FileTimeSpec) override {}
    bool IsWritableDirectory(const std::string& path) override { return real_.IsWritableDirectory(path); }

  private:
    PosixFileSystem real_;
};

}  // namespace loftwick::test
