#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace loftwick {

// The metadata a Squid swap file begins with: the byte 0x03, a 32-bit length (native byte order) of the
// whole metadata prefix including these five bytes, then entries of one type byte, a 32-bit value length
// and the value, up to that length. The stored HTTP reply follows it.
enum class SwapMetaType : uint8_t {
    KeyMd5 = 3,       // 16 bytes: the store key
    Url = 4,          // the URL, ended by a NUL
    Standard = 5,     // the 32-bit-size form of StandardLfs (older stores)
    VaryHeaders = 8,  // the request headers a variant was chosen by: name="value", ...
    StandardLfs = 9,  // time stamp, last reference, expiry, last modification, swap file size (each 64
                      // bits), reference count and flags (16 bits each)
    ObjectSize = 10,  // 64 bits: the stored reply's bytes (head and body)
};

inline constexpr uint8_t kSwapMetaMagic = 0x03;
inline constexpr size_t kSwapMetaPrefixSize = 5;
// Squid refuses longer values itself; a longer one here is damage, not an object.
inline constexpr size_t kSwapMetaValueMax = 64 * 1024;
// A metadata prefix longer than this is not read: the entries Squid writes come to a few KB at most.
inline constexpr size_t kSwapMetaLengthMax = 256 * 1024;

struct SwapMetadata {
    bool valid = false;             // a whole prefix with a URL; the rest means nothing when false
    std::string problem;            // why it is not valid, for the log
    uint64_t length = 0;            // bytes of the metadata prefix: where the stored reply starts
    std::array<uint8_t, 16> key{};  // the store key (MD5)
    bool hasKey = false;
    std::string url;
    std::string varyHeaders;  // as stored ("" when none)
    // Seconds since 1970 UTC; -1 where Squid stored "none".
    int64_t timestamp = -1, lastReference = -1, expires = -1, lastModified = -1;
    uint64_t swapFileSize = 0;
    uint16_t referenceCount = 0;
    uint16_t flags = 0;
    std::optional<uint64_t> objectSize;
};

// The length the first five bytes announce; nothing when they are no metadata prefix (too few bytes,
// another first byte, a length below five or above kSwapMetaLengthMax).
std::optional<uint64_t> SwapMetaLength(std::string_view start);

// Parses the metadata at the start of `bytes`, which must hold at least the whole prefix. Never reads
// past `bytes` nor past the announced length; entries of unknown types are skipped by their length.
// Never fails: damage gives valid == false with the reason.
SwapMetadata ParseSwapMetadata(std::string_view bytes);
// The same into a record reused from file to file: its texts keep their room.
void ParseSwapMetadata(std::string_view bytes, SwapMetadata& meta);

// The request headers of a stored Vary text (`accept-encoding="gzip", user-agent="curl%2F8"`) as header
// lines (`accept-encoding: gzip`), for a request that must reach this very variant. Values are stored
// %-escaped; a name stored without a value stands for a header the request did not send.
std::vector<std::string> VaryRequestHeaders(std::string_view varyHeaders);

}  // namespace loftwick
