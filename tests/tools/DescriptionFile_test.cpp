// The cache builder is exercised by every suite that builds a cache; what none of them sees is the
// message a mistaken description file gets, which names its line.
#include "cachebuilder/DescriptionFile.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/TableCheck.h"
#include "support/TestEnv.h"

namespace loftwick::test {
namespace {

TEST(DescriptionFile, MistakesNameTheirLine) {
    TempDir dir;
    const auto call = [&](const std::string&, const std::string& text) -> std::string {
        std::istringstream in(builder::Unescape(text));
        try {
            builder::BuildFromDescription(in, dir.path());
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "built";
    };
    EXPECT_EQ(CheckTable("tools/golden/DescriptionMistakes.txt", call), 5);
}

}  // namespace
}  // namespace loftwick::test
