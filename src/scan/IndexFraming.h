#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace loftwick {

// Cuts the byte stream of "cache.idx" into records. A record is six fields with no separator: a length
// byte and that many bytes (URL), the same (base name), 4 bytes, 4 bytes, a length byte and bytes
// (content type), 8 bytes. A length byte of 0 does not end its field: the next byte is its length
// again. A record is assembled in a fixed 8192-byte buffer; bytes beyond that are parsed but dropped.
class IndexFraming {
  public:
    static constexpr size_t kBufferSize = 8192;

    IndexFraming() { Reset(); }

    // Starts a new record: buffer zeroed, first field awaiting its length byte.
    void Reset();

    // Parses bytes data[pos..size) until a record is complete (returns true, pos just after its last
    // byte) or the data is used up (returns false, pos == size; the open record continues with the next
    // call).
    bool Feed(const uint8_t* data, size_t size, size_t& pos);

    // The record buffer: the stored bytes, then zeros up to kBufferSize.
    const uint8_t* Buffer() const { return buffer_.data(); }
    size_t StoredLength() const { return stored_; }
    // Whether bytes of the current record had to be dropped because the buffer was full.
    bool Overflowed() const { return overflowed_; }

  private:
    std::array<uint8_t, kBufferSize> buffer_{};
    size_t stored_ = 0;
    int field_ = 1;
    uint32_t fieldLength_ = 0;
    uint32_t fieldCount_ = 0;
    bool overflowed_ = false;
};

}  // namespace loftwick
