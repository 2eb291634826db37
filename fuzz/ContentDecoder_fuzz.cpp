// Stored content under any Content-Encoding and Transfer-Encoding a response may name: decoding either
// ends with a DecodeError or with bytes, never more than the limit, and the same bytes whatever pieces the
// stored content is fed in.
#include <optional>
#include <string>

#include "FuzzInput.h"
#include "FuzzWorld.h"
#include "cache/ContentDecoder.h"

using namespace loftwick;

namespace {

constexpr uint64_t kLimit = 1 << 20;

// The decoded bytes, or nothing for a stream the decoder refused; "no decoder" is the stored bytes.
std::optional<std::string> Decode(const std::string& contentEncoding, const std::string& transferEncoding,
                                  const std::string& stored, size_t piece) {
    std::string out;
    std::unique_ptr<ContentDecoder> decoder;
    try {
        decoder = ContentDecoder::Make(
            contentEncoding, transferEncoding, kLimit, [&](const char* data, size_t size) {
                out.append(data, size);
                FUZZ_REQUIRE(out.size() <= kLimit, "no more than the limit comes out");
            });
    } catch (const DecodeError&) {
        // More codings than are undone: refused before a byte is read.
        return std::nullopt;
    }
    FUZZ_REQUIRE((decoder != nullptr) == IsDecodable(contentEncoding, transferEncoding),
                 "IsDecodable says what Make does");
    if (!decoder) return stored;
    try {
        for (size_t at = 0; at < stored.size(); at += piece)
            decoder->Put(stored.data() + at, std::min(piece, stored.size() - at));
        decoder->Finish();
    } catch (const DecodeError&) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::TheWorld();
    fuzz::FieldReader input(data, size);
    const size_t piece = 1 + input.Byte() % 61;
    const std::string contentEncoding = input.Field();
    const std::string transferEncoding = input.Field();
    const std::string stored = input.Rest();

    const std::optional<std::string> whole =
        Decode(contentEncoding, transferEncoding, stored, std::max<size_t>(stored.size(), 1));
    const std::optional<std::string> pieces = Decode(contentEncoding, transferEncoding, stored, piece);
    FUZZ_REQUIRE(whole == pieces, "the pieces stored content is read in do not matter");
    FUZZ_REQUIRE(DecodedSizeLimit(stored.size()) >= stored.size(),
                 "a decoded copy may be as large as the stored one");
    return 0;
}
