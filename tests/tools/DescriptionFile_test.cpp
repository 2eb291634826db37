// The cache builder is exercised by every suite that builds a cache; what none of them sees is the
// message a mistaken description file gets, which names its line.
#include "cachebuilder/DescriptionFile.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/TestEnv.h"

namespace loftwick::builder {
namespace {

TEST(DescriptionFile, MistakesNameTheirLine) {
    const std::pair<const char*, const char*> rows[] = {
        {"object\n", "line 1: the first line must be \"format winproxy|wingate|squid\""},
        {"format winproxy\nrecord\n", "line 2: \"record\" belongs to a WinGate cache; use \"object\""},
        {"format winproxy\nobject\nsize 12x\n", "line 3: not a number: \"12x\""},
        {"format winproxy\nobject\ncontent 12\npatch 11 abc\n",
         "line 4: content patch at 11 lies beyond the content"},
        {"format winproxy\nobject\ncontent \\x4\n", "line 3: \\x needs two hex digits"},
    };
    test::TempDir dir;
    for (const auto& [text, message] : rows) {
        std::istringstream in(text);
        try {
            BuildFromDescription(in, dir.path());
            ADD_FAILURE() << text;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

}  // namespace
}  // namespace loftwick::builder
