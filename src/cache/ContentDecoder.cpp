#include "cache/ContentDecoder.h"

#define ZLIB_CONST
#include <brotli/decode.h>
#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>

#include "support/TextCodec.h"

namespace loftwick {
namespace {

// Decoded bytes are handed on in pieces of at most this size.
constexpr size_t kOutputBlock = 16384;
// A chunk-size line or trailer line longer than this is no chunked framing.
constexpr size_t kLongestFramingLine = 4096;
// Chunk sizes beyond this cannot be real and would overflow the counting.
constexpr uint64_t kLargestChunk = uint64_t{1} << 56;
// No server stacks more codings than this; a deeper chain is hostile, and each layer is one more nested
// call per piece of output.
constexpr size_t kMostCodings = 8;

enum class Coding { Gzip, Deflate, Brotli, Chunked };

// The codings a header value lists, in the order they were applied; "identity" and empty items name no
// coding. False when an item is one this program cannot undo (or "chunked" among content codings).
bool ParseCodings(const std::string& value, bool transfer, std::vector<Coding>& codings) {
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string::npos) end = value.size();
        std::string item = value.substr(start, end - start);
        item = item.substr(0, item.find(';'));  // parameters change nothing for these codings
        item = LowerAscii(Trim(item, " \t"));
        if (item == "gzip" || item == "x-gzip") {
            codings.push_back(Coding::Gzip);
        } else if (item == "deflate") {
            codings.push_back(Coding::Deflate);
        } else if (item == "br") {
            codings.push_back(Coding::Brotli);
        } else if (item == "chunked" && transfer) {
            codings.push_back(Coding::Chunked);
        } else if (!item.empty() && item != "identity") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// The end of every chain: counts what comes out, so that a bomb is stopped before it fills the disk.
class LimitStage final : public DecodeStage {
  public:
    LimitStage(uint64_t limit, ByteSink sink) : limit_(limit), sink_(std::move(sink)) {}
    void Put(const char* data, size_t size) override {
        if (size > limit_ - written_) throw DecodeError("decoded content larger than allowed");
        written_ += size;
        sink_(data, size);
    }
    void Finish() override {}

  private:
    uint64_t limit_;
    uint64_t written_ = 0;
    ByteSink sink_;
};

// gzip (one member or several in a row) and deflate. Deflate content comes as a zlib stream or, from
// some servers, as bare deflate data; a valid zlib header tells which.
class ZlibStage final : public DecodeStage {
  public:
    ZlibStage(Coding coding, DecodeStage& next) : gzip_(coding == Coding::Gzip), next_(next) {
        if (gzip_) Init(16 + MAX_WBITS);
    }
    ~ZlibStage() override {
        if (initialised_) inflateEnd(&z_);
    }
    ZlibStage(const ZlibStage&) = delete;
    ZlibStage& operator=(const ZlibStage&) = delete;

    void Put(const char* data, size_t size) override {
        if (size == 0 || trailing_) return;
        sawInput_ = true;
        if (!initialised_) {
            // Deflate: the choice of wrapper waits for the first two bytes.
            const size_t take = std::min(size, 2 - lead_.size());
            lead_.append(data, take);
            data += take;
            size -= take;
            if (lead_.size() < 2) return;
            const auto b0 = static_cast<unsigned char>(lead_[0]);
            const auto b1 = static_cast<unsigned char>(lead_[1]);
            const bool zlibHeader = (b0 & 0x0f) == Z_DEFLATED && (b0 * 256 + b1) % 31 == 0;
            Init(zlibHeader ? MAX_WBITS : -MAX_WBITS);
            Inflate(lead_.data(), lead_.size());
        }
        Inflate(data, size);
    }

    void Finish() override {
        if (sawInput_ && !ended_) throw DecodeError("compressed content cut short");
        next_.Finish();
    }

  private:
    void Init(int windowBits) {
        z_ = z_stream{};
        if (inflateInit2(&z_, windowBits) != Z_OK) throw DecodeError("no decompressor");
        initialised_ = true;
    }

    void Inflate(const char* data, size_t size) {
        z_.next_in = reinterpret_cast<const Bytef*>(data);
        z_.avail_in = static_cast<uInt>(size);  // callers put far less than 4 GiB at a time
        while (z_.avail_in > 0 || pendingOutput_) {
            if (ended_) {
                // Another gzip member may follow; anything else after a complete stream is ignored.
                if (!gzip_ || *z_.next_in != 0x1f) {
                    trailing_ = true;
                    return;
                }
                if (inflateReset(&z_) != Z_OK) throw DecodeError("no decompressor");
                ended_ = false;
            }
            char* const out = out_.get();
            z_.next_out = reinterpret_cast<Bytef*>(out);
            z_.avail_out = static_cast<uInt>(kOutputBlock);
            const int rc = inflate(&z_, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
                throw DecodeError("damaged compressed content");
            const size_t produced = kOutputBlock - z_.avail_out;
            pendingOutput_ = z_.avail_out == 0;
            if (produced > 0) next_.Put(out, produced);
            if (rc == Z_STREAM_END) {
                ended_ = true;
                pendingOutput_ = false;
            } else if (rc == Z_BUF_ERROR && produced == 0) {
                return;  // nothing more to do with this input
            }
        }
    }

    bool gzip_;
    DecodeStage& next_;
    // On the heap, not the stack: the stages call each other, one frame per coding.
    std::unique_ptr<char[]> out_ = std::make_unique_for_overwrite<char[]>(kOutputBlock);
    z_stream z_{};
    bool initialised_ = false;
    std::string lead_;
    bool sawInput_ = false;
    bool ended_ = false;
    bool trailing_ = false;
    bool pendingOutput_ = false;
};

class BrotliStage final : public DecodeStage {
  public:
    explicit BrotliStage(DecodeStage& next)
        : next_(next), state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {
        if (state_ == nullptr) throw DecodeError("no decompressor");
    }
    ~BrotliStage() override { BrotliDecoderDestroyInstance(state_); }
    BrotliStage(const BrotliStage&) = delete;
    BrotliStage& operator=(const BrotliStage&) = delete;

    void Put(const char* data, size_t size) override {
        if (size == 0 || ended_) return;
        sawInput_ = true;
        auto in = reinterpret_cast<const uint8_t*>(data);
        size_t availableIn = size;
        for (;;) {
            uint8_t* const out = out_.get();
            uint8_t* nextOut = out;
            size_t availableOut = kOutputBlock;
            const BrotliDecoderResult rc =
                BrotliDecoderDecompressStream(state_, &availableIn, &in, &availableOut, &nextOut, nullptr);
            if (rc == BROTLI_DECODER_RESULT_ERROR) throw DecodeError("damaged compressed content");
            const size_t produced = kOutputBlock - availableOut;
            if (produced > 0) next_.Put(reinterpret_cast<const char*>(out), produced);
            if (rc == BROTLI_DECODER_RESULT_SUCCESS) {
                ended_ = true;
                return;
            }
            if (rc == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) return;
        }
    }

    void Finish() override {
        if (sawInput_ && !ended_) throw DecodeError("compressed content cut short");
        next_.Finish();
    }

  private:
    DecodeStage& next_;
    std::unique_ptr<uint8_t[]> out_ = std::make_unique_for_overwrite<uint8_t[]>(kOutputBlock);
    BrotliDecoderState* state_;
    bool sawInput_ = false;
    bool ended_ = false;
};

// The chunked framing: hex size lines (extensions ignored), each chunk followed by a line break, a last
// chunk of size 0, then trailer lines up to an empty line. A bare LF is accepted where CR LF belongs.
class ChunkedStage final : public DecodeStage {
  public:
    explicit ChunkedStage(DecodeStage& next) : next_(next) {}

    void Put(const char* data, size_t size) override {
        sawInput_ = sawInput_ || size > 0;
        while (size > 0 && state_ != State::Done) {
            if (state_ == State::Data) {
                const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining_, size));
                next_.Put(data, take);
                data += take;
                size -= take;
                remaining_ -= take;
                if (remaining_ == 0) state_ = State::DataEnd;
                continue;
            }
            const char c = *data++;
            --size;
            if (c != '\n') {
                if (line_.size() >= kLongestFramingLine) throw DecodeError("damaged chunked framing");
                line_ += c;
                continue;
            }
            if (!line_.empty() && line_.back() == '\r') line_.pop_back();
            TakeLine();
            line_.clear();
        }
    }

    void Finish() override {
        // Trailers cut short lose nothing of the content.
        if (sawInput_ && state_ != State::Done && state_ != State::Trailer)
            throw DecodeError("chunked content cut short");
        next_.Finish();
    }

  private:
    enum class State { Size, Data, DataEnd, Trailer, Done };

    void TakeLine() {
        switch (state_) {
            case State::Size: {
                uint64_t value = 0;
                size_t digits = 0;
                for (; digits < line_.size(); ++digits) {
                    const int d = HexDigitValue(line_[digits]);
                    if (d < 0) break;
                    value = value * 16 + static_cast<uint64_t>(d);
                    if (value > kLargestChunk) throw DecodeError("damaged chunked framing");
                }
                const size_t rest = line_.find_first_not_of(" \t", digits);
                if (digits == 0 || (rest != std::string::npos && line_[rest] != ';'))
                    throw DecodeError("damaged chunked framing");
                remaining_ = value;
                state_ = value == 0 ? State::Trailer : State::Data;
                break;
            }
            case State::DataEnd:
                if (!line_.empty()) throw DecodeError("damaged chunked framing");
                state_ = State::Size;
                break;
            case State::Trailer:
                if (line_.empty()) state_ = State::Done;
                break;
            case State::Data:
            case State::Done:
                break;
        }
    }

    DecodeStage& next_;
    State state_ = State::Size;
    std::string line_;
    uint64_t remaining_ = 0;
    bool sawInput_ = false;
};

std::unique_ptr<DecodeStage> MakeStage(Coding coding, DecodeStage& next) {
    switch (coding) {
        case Coding::Gzip:
        case Coding::Deflate:
            return std::make_unique<ZlibStage>(coding, next);
        case Coding::Brotli:
            return std::make_unique<BrotliStage>(next);
        case Coding::Chunked:
            return std::make_unique<ChunkedStage>(next);
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<ContentDecoder> ContentDecoder::Make(const std::string& contentEncoding,
                                                     const std::string& transferEncoding, uint64_t limit,
                                                     ByteSink sink) {
    std::vector<Coding> content, transfer;
    if (!ParseCodings(contentEncoding, false, content) || !ParseCodings(transferEncoding, true, transfer))
        return nullptr;
    if (content.empty() && transfer.empty()) return nullptr;
    if (content.size() + transfer.size() > kMostCodings) throw DecodeError("more codings than are undone");

    std::unique_ptr<ContentDecoder> decoder(new ContentDecoder());
    decoder->stages_.push_back(std::make_unique<LimitStage>(limit, std::move(sink)));
    // Built from the sink backwards: the coding applied first is undone last.
    for (const std::vector<Coding>* codings : {&content, &transfer}) {
        for (const Coding coding : *codings) {
            DecodeStage& next = *decoder->stages_.back();
            decoder->stages_.push_back(MakeStage(coding, next));
        }
    }
    decoder->first_ = decoder->stages_.back().get();
    return decoder;
}

bool IsDecodable(const std::string& contentEncoding, const std::string& transferEncoding) {
    std::vector<Coding> content, transfer;
    return ParseCodings(contentEncoding, false, content) && ParseCodings(transferEncoding, true, transfer) &&
           !(content.empty() && transfer.empty());
}

uint64_t DecodedSizeLimit(uint64_t storedSize) {
    constexpr uint64_t kFactor = 64;
    constexpr uint64_t kAllowance = uint64_t{64} << 20;
    if (storedSize > (std::numeric_limits<uint64_t>::max() - kAllowance) / kFactor)
        return std::numeric_limits<uint64_t>::max();
    return storedSize * kFactor + kAllowance;
}

}  // namespace loftwick
