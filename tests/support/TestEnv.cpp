#include "support/TestEnv.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/basErrorHandler.h"

namespace loftwick::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/dir-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void TempDir::WriteFile(const std::string& relative, const std::string& content) const {
    const fs::path p = fs::path(path_) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string TempDir::ReadFile(const std::string& relative) const {
    std::ifstream in(fs::path(path_) / relative, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool TempDir::Exists(const std::string& relative) const {
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(path_) / relative, ec));
}

void TempDir::MakeDirs(const std::string& relative) const {
    fs::create_directories(fs::path(path_) / relative);
}

ScopedTimeZone::ScopedTimeZone(const std::string& tz) {
    const char* old = getenv("TZ");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    setenv("TZ", tz.c_str(), 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (hadOld_)
        setenv("TZ", old_.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    const char* old = getenv(name.c_str());
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (hadOld_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ProgramFixture::ProgramFixture() : savedValues_(Program()), savedServices_(Platform()) {
    Platform().clock = &clock_;
    Platform().proxyControl = &proxy_;
    Program().SquidConf = "/nonexistent/squid.conf";
    Program().AppTitle = "Loftwick v. 2.1.20";
    Program().AppExeName = "loftwick";
    ResetLogFolder();
}

ProgramFixture::~ProgramFixture() {
    Program() = savedValues_;
    Platform() = savedServices_;
    ResetLogFolder();
}

}  // namespace loftwick::test
