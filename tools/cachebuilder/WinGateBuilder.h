#pragma once
// Writes WinGate caches: an index "cache.idx" of records one after the other, and one "<name>.wgc"
// content file per record beside it.
//
// A record is six fields with no gaps: 1 the URL without its scheme (length byte + bytes), 2 the base
// name of the content file (length byte + bytes), 3 the retrieval time and 4 the origin's modification
// time (4 bytes each, little-endian seconds since 1970 UTC), 5 the content type (length byte + bytes),
// 6 the content length (8 bytes, little-endian).
#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "cachebuilder/CacheBuilder.h"

namespace loftwick::builder {

inline constexpr const char* kIndexName = "cache.idx";
inline constexpr const char* kContentSuffix = ".wgc";

struct WinGateRecord {
    std::string url;             // field 1: host and path, without "http://"
    std::string baseName;        // field 2: the content file is this + ".wgc"
    uint32_t retrieved = 0;      // field 3
    uint32_t modified = 0;       // field 4
    std::string contentType;     // field 5
    uint64_t contentLength = 0;  // field 6

    // Hostile shapes. Fields are numbered 1 to 6 as in the index.
    std::array<std::optional<std::string>, 6> rawFields;  // exact bytes of a field, length byte included
    std::array<int, 6> zerosBefore{};  // 0 bytes written in front of a field (extra length bytes of 0)
    std::optional<size_t> cutAfter;    // the record is cut short after this many bytes
    std::string trailing;              // bytes written after field 6

    // Field `field` (1 to 6) is written as exactly `bytes`.
    WinGateRecord& Raw(int field, std::string bytes);
    // `count` bytes of 0 in front of field `field` (1 to 6); in front of a text field they are length
    // bytes of 0, in front of a number field plain data that shifts what follows.
    WinGateRecord& ZerosBefore(int field, int count);
};

// The bytes of one record as the index holds them. Throws std::invalid_argument for a text field of
// more than 255 bytes (use Raw for a length byte that lies).
std::string EncodeRecord(const WinGateRecord& record);

// Little-endian bytes of a number, `width` of them.
std::string LittleEndian(uint64_t value, size_t width);

// Whether a base name names a file directly inside the cache folder (no separator, NUL, "." or "..").
bool IsPlainBaseName(const std::string& baseName);

struct WinGateContent {
    Content content;
    bool missing = false;  // write no content file
    FileStamp stamp;
};

class WinGateCache {
  public:
    // Creates the cache folder when missing and an empty "cache.idx" in it (an existing one is emptied).
    explicit WinGateCache(std::string dir);

    // Appends the record to the index and writes its content file, unless the content is marked
    // missing or the base name would leave the cache folder. Returns the content file's path, or "".
    std::string Add(const WinGateRecord& record, const WinGateContent& content = {});
    // Appends bytes to the index as they are (garbage, cut-short records, runs of zeros).
    void AppendRaw(const std::string& bytes);

    std::string IndexPath() const;
    std::string ContentPath(const std::string& baseName) const;
    // The cache folder, ending in "/", as the program's CacheDir holds it.
    std::string CacheDir() const;

  private:
    std::string dir_;
    std::ofstream index_;
};

}  // namespace loftwick::builder
