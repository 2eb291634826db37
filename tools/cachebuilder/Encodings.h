#pragma once
// Content as servers send it encoded, for objects whose stored headers name a coding: the builder
// writes these bytes as the content, and the program is to undo them.
#include <cstddef>
#include <string>
#include <string_view>

namespace loftwick::builder {

std::string Gzip(std::string_view data);         // one gzip member
std::string ZlibDeflate(std::string_view data);  // "deflate" as the standard has it: a zlib stream
std::string RawDeflate(std::string_view data);   // "deflate" as some servers send it: bare deflate data
std::string Brotli(std::string_view data);
// Chunked framing: chunks of `chunkSize` bytes (the last one shorter), the 0 chunk and an empty trailer.
std::string Chunked(std::string_view data, size_t chunkSize);

}  // namespace loftwick::builder
