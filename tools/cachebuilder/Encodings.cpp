#include "cachebuilder/Encodings.h"

#define ZLIB_CONST
#include <brotli/encode.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace loftwick::builder {
namespace {

std::string Deflate(std::string_view data, int windowBits) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<const Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

}  // namespace

std::string Gzip(std::string_view data) { return Deflate(data, 16 + MAX_WBITS); }
std::string ZlibDeflate(std::string_view data) { return Deflate(data, MAX_WBITS); }
std::string RawDeflate(std::string_view data) { return Deflate(data, -MAX_WBITS); }

std::string Brotli(std::string_view data) {
    std::string out(BrotliEncoderMaxCompressedSize(data.size()) + 16, '\0');
    size_t size = out.size();
    if (!BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC,
                               data.size(), reinterpret_cast<const uint8_t*>(data.data()), &size,
                               reinterpret_cast<uint8_t*>(out.data())))
        throw std::runtime_error("BrotliEncoderCompress failed");
    out.resize(size);
    return out;
}

std::string Chunked(std::string_view data, size_t chunkSize) {
    chunkSize = std::max<size_t>(chunkSize, 1);
    std::string out;
    for (size_t at = 0; at < data.size(); at += chunkSize) {
        const std::string_view chunk = data.substr(at, chunkSize);
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        out += size;
        out += chunk;
        out += "\r\n";
    }
    return out + "0\r\n\r\n";
}

}  // namespace loftwick::builder
