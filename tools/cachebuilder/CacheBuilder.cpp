#include "cachebuilder/CacheBuilder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/PosixFileSystem.h"

namespace loftwick::builder {

namespace fs = std::filesystem;

namespace {

// Large contents go to disk in pieces of this size, so a content of gigabytes never sits in memory.
constexpr uint64_t kWriteChunk = 1 << 20;

}  // namespace

Content Content::Bytes(std::string bytes) {
    Content c;
    c.bytes = std::move(bytes);
    return c;
}

Content Content::Sized(uint64_t size, Fill fill) {
    Content c;
    c.size = size;
    c.fill = fill;
    return c;
}

Content& Content::Patch(uint64_t offset, std::string patch) {
    if (offset > Size() || patch.size() > Size() - offset) {
        throw std::invalid_argument("content patch at " + std::to_string(offset) +
                                    " lies beyond the content");
    }
    patches.emplace_back(offset, std::move(patch));
    return *this;
}

uint64_t Content::Size() const { return size ? *size : bytes.size(); }

std::string Content::Slice(uint64_t offset, uint64_t count) const {
    const uint64_t total = Size();
    if (offset >= total) return {};
    count = std::min(count, total - offset);
    std::string out;
    if (!size) {
        out = bytes.substr(static_cast<size_t>(offset), static_cast<size_t>(count));
    } else if (fill == Fill::Pattern) {
        const size_t period = std::strlen(kPatternText);
        out.reserve(static_cast<size_t>(count));
        size_t phase = static_cast<size_t>(offset % period);
        while (out.size() < count) {
            const size_t take = std::min(period - phase, static_cast<size_t>(count) - out.size());
            out.append(kPatternText + phase, take);
            phase = 0;
        }
    } else {
        out.assign(static_cast<size_t>(count), '\0');
    }
    for (const auto& [at, patch] : patches) {
        const uint64_t end = at + patch.size();
        if (end <= offset || at >= offset + count) continue;
        const uint64_t from = std::max(at, offset);
        const uint64_t to = std::min(end, offset + count);
        out.replace(static_cast<size_t>(from - offset), static_cast<size_t>(to - from), patch,
                    static_cast<size_t>(from - at), static_cast<size_t>(to - from));
    }
    return out;
}

void WriteObjectFile(const std::string& path, const std::string& prefix, const Content& content) {
    const fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path());
    {
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("cannot write " + path);
        out.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
        if (content.size && content.fill == Fill::Sparse) {
            for (const auto& [at, patch] : content.patches) {
                out.seekp(static_cast<std::streamoff>(prefix.size() + at));
                out.write(patch.data(), static_cast<std::streamsize>(patch.size()));
            }
        } else {
            for (uint64_t at = 0; at < content.Size(); at += kWriteChunk) {
                const std::string piece = content.Slice(at, kWriteChunk);
                out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            }
        }
        out.close();
        if (!out) throw std::runtime_error("cannot write " + path);
    }
    if (content.size && content.fill == Fill::Sparse) {
        fs::resize_file(target, prefix.size() + content.Size());
    }
}

void ApplyStamp(const std::string& path, const FileStamp& stamp) {
    PosixFileSystem real;
    // The creation time first: setting the attribute does not touch the write time set after it.
    if (stamp.creationTime) real.SetCreationTime(path, FileTimeSpec{*stamp.creationTime, 0});
    if (stamp.writeTime || stamp.accessTime) {
        std::optional<FileTimeSpec> write, access;
        if (stamp.writeTime) write = FileTimeSpec{*stamp.writeTime, 0};
        if (stamp.accessTime) access = FileTimeSpec{*stamp.accessTime, 0};
        real.SetFileTimes(path, write, access);
    }
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace loftwick::builder
