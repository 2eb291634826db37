#pragma once
// What both cache formats share in the builder: the content of an object file and the times it carries.
// The builder writes real files on the real disk (never through the program's file-system seam), so a
// test can build its cache first and then install a fault-injecting file system for the code under test.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace loftwick::builder {

// How a content of a given size is filled.
enum class Fill {
    Pattern,  // the repeating text of kPatternText, so any slice can be predicted
    Zero,     // written zero bytes
    Sparse,   // a hole: reads as zero bytes and costs no disk space (for contents of gigabytes)
};

// The fill text of Fill::Pattern. It holds no upper-case letters, so a test word in capitals placed by
// a patch is never also found in the fill.
inline constexpr const char* kPatternText = "lorem ipsum dolor sit amet, 0123456789; ";

// The content bytes of an object: given literally, or a size with a fill, with patches laid over it.
struct Content {
    std::string bytes;             // the content when `size` is not set
    std::optional<uint64_t> size;  // a content of this many bytes made by `fill`
    Fill fill = Fill::Pattern;
    std::vector<std::pair<uint64_t, std::string>> patches;  // bytes laid over the content at an offset

    static Content Bytes(std::string bytes);
    static Content Sized(uint64_t size, Fill fill = Fill::Pattern);
    // Lays `bytes` over the content at `offset`; the patch must lie inside the content.
    Content& Patch(uint64_t offset, std::string bytes);

    uint64_t Size() const;
    // The bytes [offset, offset + count) as they are written (cut at the end of the content).
    std::string Slice(uint64_t offset, uint64_t count) const;
};

// File times to give a written file; an unset value is left as the writing made it.
struct FileStamp {
    std::optional<int64_t> writeTime;     // seconds since 1970 UTC
    std::optional<int64_t> accessTime;    // seconds since 1970 UTC
    std::optional<int64_t> creationTime;  // kept where the program reads it: the creation-time attribute
};

// Writes `prefix` followed by the content to `path`, replacing the file and creating missing folders.
// A sparse content is made by growing the file, so its size costs nothing. Throws std::runtime_error.
void WriteObjectFile(const std::string& path, const std::string& prefix, const Content& content);

// Applies the times of `stamp` to the file at `path` (never through a symbolic link).
void ApplyStamp(const std::string& path, const FileStamp& stamp);

// Joins a folder and a name with exactly one "/" between them.
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace loftwick::builder
