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

TEST(Sha1, StandardVectors) {
    EXPECT_EQ(HexOf(Sha1Of("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(HexOf(Sha1Of("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(HexOf(Sha1Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
}

TEST(Sha1, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
    const std::string million(1000000, 'a');
    Sha1 sha;
    for (size_t at = 0, piece = 1; at < million.size(); at += piece, piece = piece % 131 + 7)
        sha.Update(million.data() + at, std::min(piece, million.size() - at));
    EXPECT_EQ(HexOf(sha.Final()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Base32, StandardVectorsWithPadding) {
    EXPECT_EQ(Base32Of(""), "");
    EXPECT_EQ(Base32Of("f"), "MY======");
    EXPECT_EQ(Base32Of("fo"), "MZXQ====");
    EXPECT_EQ(Base32Of("foo"), "MZXW6===");
    EXPECT_EQ(Base32Of("foob"), "MZXW6YQ=");
    EXPECT_EQ(Base32Of("fooba"), "MZXW6YTB");
    EXPECT_EQ(Base32Of("foobar"), "MZXW6YTBOI======");
}

}  // namespace
}  // namespace loftwick
