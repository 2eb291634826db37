#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cache/clsCacheBase.h"

namespace loftwick {

// An object of a WinGate cache: one record of the index "cache.idx" for the metadata, and a content
// file "<name>.wgc" in the cache folder that holds the content alone.
//
// A record is six fields with no gaps: 1 the URL without "http://" and 2 the content file's base name
// (each a length byte and that many bytes), 3 the retrieval time and 4 the origin's modification time
// (4 bytes each: little-endian seconds since 1970 UTC), 5 the content type (length byte and bytes),
// 6 the content length (8 bytes, little-endian).
class clsCacheWinGate final : public clsCacheBase {
  public:
    int32_t ProxyType() const override { return 2; }

    // Binds the content file at the path, keeping the metadata already taken from the record. A missing
    // file, a link or a folder leaves the path empty without a report.
    void setFileName(const std::string& strNewValue) override;
    // Reads the record in `aBuffer` (the record buffer, `size` bytes) and binds its content file. A
    // length byte of 0 is skipped (the next byte is the field's length), as the index framing does, so
    // both agree on where every field starts. A base name that would leave the cache folder ("/", "\",
    // NUL, ".", "..", empty) counts as a missing file. False, with a report, when a length byte lies
    // past the end of the buffer; the fields read so far stay.
    bool TakeMetadata(const uint8_t* aBuffer, size_t size) override;
    // The walk's held cache folder: the records' content files are bound in it, never by path.
    void UseFolder(const HeldDir& folder) override { cacheFolder_ = folder; }

    // The text after the URL's first "//" up to the next "/"; empty when either is missing.
    std::string Host() const override;

  private:
    const char* FileCopyLocation() const override { return "clsCacheWinGate:clsCache_FileCopy"; }
    const char* BindLocation() const override { return "clsCacheWinGate:clsCache_Filename"; }
    // The content file holds the content alone.
    void TakeContentFacts(InputFile&, uint64_t size) override { actualLength_ = static_cast<int64_t>(size); }
    // Binds the content file `name` of `folder`, keeping the record's metadata.
    void BindContentFile(const HeldDir& folder, const std::string& name);

    HeldDir cacheFolder_;
};

// Whether a base name from the index names a file directly inside the cache folder.
bool IsPlainContentName(std::string_view baseName);

}  // namespace loftwick
