#pragma once
// A file system for copies of gigabytes that cost neither disk space nor time: files are read for real
// only within 1 MiB of either end (the hole between is passed over as if read), and what is written goes
// nowhere but is counted. Everything else is the real file system.
#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "support/ForwardingFileSystem.h"

namespace loftwick::test {

class HugeCopyFileSystem final : public ForwardingFileSystem {
  public:
    uint64_t written = 0;
    size_t largestWrite = 0;
    std::string head, tail;                      // the first and last 8 bytes written
    std::map<std::string, std::string> renamed;  // target -> what was renamed to it

    std::unique_ptr<InputFile> OpenReadAt(const HeldDir& dir, const std::string& name) override {
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
            FileInfo Current() override { return real->Current(); }
            void SetTimes(std::optional<FileTimeSpec>, std::optional<FileTimeSpec>) override {}
            std::optional<FileTimeSpec> CreationTime() override { return real->CreationTime(); }
            void SetCreationTime(FileTimeSpec) override {}
        };
        return std::make_unique<HoleSkipping>(real_.OpenReadAt(dir, name));
    }
    std::unique_ptr<OutputFile> CreateAt(const HeldDir&, const std::string&) override {
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
            void SetWriteTime(FileTimeSpec) override {}
        };
        return std::make_unique<Counting>(*this);
    }
    void RenameAt(const HeldDir& fromDir, const std::string& from, const HeldDir& toDir,
                  const std::string& to) override {
        renamed[toDir.PathOf(to)] = fromDir.PathOf(from);
    }
    std::optional<FileInfo> LstatAt(const HeldDir& dir, const std::string& name) override {
        return renamed.count(dir.PathOf(name)) ? std::optional<FileInfo>(FileInfo{})
                                               : real_.LstatAt(dir, name);
    }
};

}  // namespace loftwick::test
