#include "support/Program.h"

#include <cstdlib>

#include "support/Clock.h"
#include "support/Desktop.h"
#include "support/PosixFileSystem.h"
#include "support/ProxyControl.h"

namespace loftwick {

ProgramValues& Program() {
    static ProgramValues values;
    return values;
}

Services& Platform() {
    static Services services;
    return services;
}

Desktop& TheDesktop() {
    static Desktop fallback;  // shows nothing, answers "cancel"
    return Platform().desktop ? *Platform().desktop : fallback;
}

FileSystem& TheFileSystem() {
    static PosixFileSystem fallback;
    return Platform().fileSystem ? *Platform().fileSystem : fallback;
}

Clock& TheClock() {
    static SystemClock fallback;
    return Platform().clock ? *Platform().clock : fallback;
}

ProxyControl& TheProxyControl() {
    static CurlProxyControl fallback;
    return Platform().proxyControl ? *Platform().proxyControl : fallback;
}

std::string Environ(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

}  // namespace loftwick
