// The one main() of every test program: it pins the environment before any test runs, so that no
// test depends on the machine's time zone, language, home folder, display or Wine prefix.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <string>

namespace {

std::string MakeSandbox() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/loftwick-test-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    return pattern;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string sandbox = MakeSandbox();
    setenv("TZ", "UTC", 1);
    setenv("LANG", "C.UTF-8", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("HOME", sandbox.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (sandbox + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (sandbox + "/state").c_str(), 1);
    setenv("XDG_DATA_HOME", (sandbox + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (sandbox + "/cache").c_str(), 1);
    setenv("TEMP", sandbox.c_str(), 1);
    setenv("TMPDIR", sandbox.c_str(), 1);
    setenv("WINEPREFIX", (sandbox + "/no-wine-prefix").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    tzset();
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    const std::string cleanup = "rm -rf '" + sandbox + "'";
    if (system(cleanup.c_str()) != 0) {
        // Leftovers in the temporary folder do not change the verdict.
    }
    return rc;
}
