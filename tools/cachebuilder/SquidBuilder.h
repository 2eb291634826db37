#pragma once
// Writes Squid ufs stores: a cache folder of L1 folders ("00".."0F") of L2 folders ("00".."FF"), swap
// files named by their eight-hex-digit file number, and swap.state. A swap file is the swap metadata
// (0x03, a 32-bit length of the whole metadata, then type / 32-bit length / value entries), then the
// stored HTTP reply: status line, header lines, empty line, body. Numbers are in this machine's byte
// order, as Squid writes them.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cachebuilder/CacheBuilder.h"

namespace loftwick::builder {

struct SquidObject {
    std::string url;
    std::string statusLine = "HTTP/1.1 200 OK";
    std::vector<std::string> headerLines;  // each "Name: value", written in order with CR LF
    Content content;
    // The standard fields (seconds since 1970 UTC; -1 for "none", as Squid stores it).
    int64_t timestamp = 0, lastReference = 0, expires = -1, lastModified = -1;
    uint16_t referenceCount = 1, flags = 0;
    std::string varyHeaders;  // the stored Vary text ("" writes no such entry)
    // Entries written after the standard ones, as they are (type, value).
    std::vector<std::pair<uint8_t, std::string>> extraEntries;
    bool writeUrl = true;
    // The length the prefix announces instead of the true one.
    std::optional<int64_t> metaLength;
    // The whole swap file verbatim, for hostile shapes.
    std::optional<std::string> rawFile;
    FileStamp stamp;
    // The file number; none takes the next free one.
    std::optional<uint32_t> fileNumber;

    SquidObject& Header(const std::string& name, const std::string& value);
};

// The swap metadata of an object, its announced length included.
std::string SwapMetadataOf(const SquidObject& object);
// The stored reply's head: status line, header lines and the empty line.
std::string ReplyHeadOf(const SquidObject& object);
// The 16 key bytes the builder gives an object: a hash of its URL (not Squid's own key).
std::string KeyOf(const std::string& url);

class SquidCache {
  public:
    // Creates the cache folder and swap.state; the L1 and L2 folders come with the swap files put there.
    explicit SquidCache(std::string dir, int firstLevel = 16, int secondLevel = 256);

    // Writes one swap file and its swap.state entry; returns the file's full path.
    std::string Add(const SquidObject& object);
    // The marker Squid keeps for a URL whose reply varies by request headers: an internal object of
    // type x-squid-internal/vary.
    std::string AddVaryMarker(const std::string& url, const std::string& varyHeader, int64_t timestamp);
    // The path of file number n.
    std::string PathOf(uint32_t fileNumber) const;

    std::string CacheDir() const;  // ending in "/"

  private:
    void AppendState(uint32_t fileNumber, const SquidObject& object, uint64_t fileSize);

    std::string dir_;
    int firstLevel_, secondLevel_;
    uint32_t next_ = 0;
};

}  // namespace loftwick::builder
