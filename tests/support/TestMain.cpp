// The one main() of every test program: it pins the environment before any test runs, so that no
// test depends on the machine's time zone, language, home folder, display or Wine prefix.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "support/Kit.h"

int main(int argc, char** argv) {
    const std::string sandbox = loftwick::test::MakeTempFolder("loftwick-test");
    loftwick::test::PinEnvironment(sandbox);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;  // leftovers in the temporary folder do not change the verdict
    std::filesystem::remove_all(sandbox, ec);
    return rc;
}
