// loftwick-scan: the window's scan for scripts and cron, no display needed.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/BatchScan.h"
#include "support/Clock.h"
#include "support/PosixFileSystem.h"
#include "support/Program.h"

int main(int argc, char** argv) {
    loftwick::PosixFileSystem fileSystem;
    loftwick::SystemClock clock;
    loftwick::Platform().fileSystem = &fileSystem;
    loftwick::Platform().clock = &clock;

    // Lines go out as the scan selects objects, and nothing here mixes C and C++ output.
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv, argv + argc);
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0 && !args.empty()) args[0] = std::string(self, static_cast<size_t>(n));
    const int rc = loftwick::cli::BatchMain(args, std::cout, std::cerr);
    loftwick::Platform() = {};
    return rc;
}
