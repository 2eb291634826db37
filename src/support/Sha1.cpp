#include "support/Sha1.h"

#include <algorithm>
#include <cstring>

namespace loftwick {
namespace {

uint32_t Rotl(uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

}  // namespace

Sha1::Sha1() : state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

void Sha1::Block(const uint8_t* block) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = uint32_t{block[4 * i]} << 24 | uint32_t{block[4 * i + 1]} << 16 |
               uint32_t{block[4 * i + 2]} << 8 | uint32_t{block[4 * i + 3]};
    }
    for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const uint32_t next = Rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::Update(const char* data, size_t size) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    totalBytes_ += size;
    if (pendingSize_ > 0) {
        const size_t take = std::min(size, pending_.size() - pendingSize_);
        std::memcpy(pending_.data() + pendingSize_, bytes, take);
        pendingSize_ += take;
        bytes += take;
        size -= take;
        if (pendingSize_ < pending_.size()) return;
        Block(pending_.data());
        pendingSize_ = 0;
    }
    for (; size >= pending_.size(); bytes += pending_.size(), size -= pending_.size()) Block(bytes);
    if (size > 0) std::memcpy(pending_.data(), bytes, size);
    pendingSize_ = size;
}

Sha1::Digest Sha1::Final() {
    const uint64_t bits = totalBytes_ * 8;
    const char one = static_cast<char>(0x80);
    Update(&one, 1);
    const char zero = 0;
    while (pendingSize_ != 56) Update(&zero, 1);
    char length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<char>(bits >> (56 - 8 * i));
    Update(length, sizeof length);

    Digest digest;
    for (size_t i = 0; i < state_.size(); ++i) {
        for (size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
    }
    return digest;
}

Sha1::Digest Sha1Of(std::string_view text) {
    Sha1 sha;
    sha.Update(text);
    return sha.Final();
}

}  // namespace loftwick
