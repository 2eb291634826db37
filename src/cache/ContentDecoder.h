#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace loftwick {

// Raised by a decoder when the stored bytes are not one whole, valid stream of their coding, or when
// they decode to more than the decoder may write. It never leaves the cache object that decodes: it only
// makes the object use the content as stored.
class DecodeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Receives decoded bytes; the pointer is valid only during the call. A sink may throw; the exception
// passes through the decoder unchanged.
using ByteSink = std::function<void(const char* data, size_t size)>;

// One step of a decoding chain.
class DecodeStage {
  public:
    virtual ~DecodeStage() = default;
    virtual void Put(const char* data, size_t size) = 0;
    // The stored bytes have all been put; raises DecodeError when the stream ended early.
    virtual void Finish() = 0;
};

// Undoes what a cached response's headers say was done to its content on the way: first the transfer
// codings ("chunked", possibly a compression), then the content codings ("gzip", "deflate", "br"), each
// list from its last coding back to its first. Fed the stored bytes in pieces of any size; memory use
// does not depend on the content's size.
class ContentDecoder {
  public:
    // A decoder for the header values (as stored; names are compared without regard to case), sending
    // decoded bytes to `sink`, that raises DecodeError once more than `limit` bytes came out. Null when
    // there is nothing to undo, or when a coding is one this program cannot undo: the content is then
    // used as stored, and that is no failure. More than 8 codings raise DecodeError: the content is then
    // used as stored, and marked as content that did not decode.
    static std::unique_ptr<ContentDecoder> Make(const std::string& contentEncoding,
                                                const std::string& transferEncoding, uint64_t limit,
                                                ByteSink sink);

    // Raise DecodeError on a damaged stream; a stream that ended early is found by Finish. Bytes after
    // the end of a complete stream are ignored, as browsers do with the padding some servers send.
    void Put(const char* data, size_t size) { first_->Put(data, size); }
    void Finish() { first_->Finish(); }

  private:
    ContentDecoder() = default;

    std::vector<std::unique_ptr<DecodeStage>> stages_;  // from the sink back to the first stage
    DecodeStage* first_ = nullptr;
};

// Whether Make would give a decoder for these header values.
bool IsDecodable(const std::string& contentEncoding, const std::string& transferEncoding);

// The most a decoded copy of `storedSize` bytes may hold: beyond 64 times the stored size plus 64 MiB a
// stream is taken for a decompression bomb, not for content.
uint64_t DecodedSizeLimit(uint64_t storedSize);

}  // namespace loftwick
