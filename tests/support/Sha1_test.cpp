#include "support/Sha1.h"

#include <gtest/gtest.h>

#include "support/Base32.h"

namespace loftwick {
namespace {

std::string HexOf(const Sha1::Digest& d) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t b : d) text += std::string{kDigits[b >> 4], kDigits[b & 15]};
    return text;
}

std::string Base32Of(const std::string& text) {
    return Base32(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(Sha1, StandardVectorsWholeAndInPiecesOfAnySize) {
    const std::pair<std::string, const char*> rows[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& [text, digest] : rows) {
        EXPECT_EQ(HexOf(Sha1Of(text)), digest);
        Sha1 sha;
        for (size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece % 131 + 7)
            sha.Update(text.data() + at, std::min(piece, text.size() - at));
        EXPECT_EQ(HexOf(sha.Final()), digest);
    }
}

TEST(Base32, StandardVectorsWithPadding) {
    const std::pair<const char*, const char*> rows[] = {{"", ""},
                                                        {"f", "MY======"},
                                                        {"fo", "MZXQ===="},
                                                        {"foo", "MZXW6==="},
                                                        {"foob", "MZXW6YQ="},
                                                        {"fooba", "MZXW6YTB"},
                                                        {"foobar", "MZXW6YTBOI======"}};
    for (const auto& [text, encoded] : rows) EXPECT_EQ(Base32Of(text), encoded);
}

}  // namespace
}  // namespace loftwick
