#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace loftwick {

// SHA-1 over a stream of bytes fed in pieces of any size. It serves as the content digest of exported
// archives, whose readers expect it; it is not used for anything that needs to resist forgery.
class Sha1 {
  public:
    using Digest = std::array<uint8_t, 20>;

    Sha1();
    void Update(const char* data, size_t size);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    // The digest of everything fed so far; the object must be fed no more afterwards.
    Digest Final();

  private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 5> state_;
    std::array<uint8_t, 64> pending_{};
    size_t pendingSize_ = 0;
    uint64_t totalBytes_ = 0;
};

// The digest of a whole text at once.
Sha1::Digest Sha1Of(std::string_view text);

}  // namespace loftwick
