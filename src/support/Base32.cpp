#include "support/Base32.h"

namespace loftwick {

std::string Base32(const uint8_t* data, size_t size) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    std::string text;
    uint32_t buffer = 0;
    int bits = 0;
    for (size_t i = 0; i < size; ++i) {
        buffer = (buffer << 8) | data[i];
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            text += kAlphabet[(buffer >> bits) & 31];
        }
    }
    if (bits > 0) text += kAlphabet[(buffer << (5 - bits)) & 31];
    while (text.size() % 8 != 0) text += '=';
    return text;
}

}  // namespace loftwick
