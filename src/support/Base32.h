#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace loftwick {

// The base 32 text of bytes (alphabet A-Z 2-7, "=" padding to a multiple of 8 characters), the form
// archive readers expect a digest in.
std::string Base32(const uint8_t* data, size_t size);

}  // namespace loftwick
