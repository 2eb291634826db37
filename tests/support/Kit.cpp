#include "support/Kit.h"

#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace loftwick::test {

namespace fs = std::filesystem;

std::string MakeTempFolder(const std::string& stem, const std::string& base) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = (!base.empty() ? base : tmp && *tmp ? tmp : "/tmp") + ("/" + stem + "-XXXXXX");
    if (!mkdtemp(pattern.data())) abort();
    return pattern;
}

void WriteRealFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadRealFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void EmptyFolder(const std::string& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
}

bool LiesBelow(const std::string& path, const std::string& folder) {
    const std::string p = fs::path(path).lexically_normal().string();
    std::string f = fs::path(folder).lexically_normal().string();
    if (f.empty()) return false;
    if (f.back() != '/') f += '/';
    return p.size() > f.size() && p.compare(0, f.size(), f) == 0;
}

void PinEnvironment(const std::string& sandbox) {
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"TZ", "UTC"},
                                      {"LANG", "C.UTF-8"},
                                      {"LC_ALL", "C.UTF-8"},
                                      {"HOME", sandbox},
                                      {"XDG_CONFIG_HOME", sandbox + "/config"},
                                      {"XDG_STATE_HOME", sandbox + "/state"},
                                      {"XDG_DATA_HOME", sandbox + "/data"},
                                      {"XDG_CACHE_HOME", sandbox + "/cache"},
                                      {"TEMP", sandbox},
                                      {"TMPDIR", sandbox},
                                      {"WINEPREFIX", sandbox + "/no-wine-prefix"}}) {
        setenv(name, value.c_str(), 1);
    }
    tzset();
}

void NameTheProgram(ProgramValues& program) {
    program.AppTitle = "Loftwick v. 2.1.20";
    program.AppExeName = "loftwick";
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

bool TempDir::Exists(const std::string& relative) const {
    std::error_code ec;
    return fs::exists(fs::symlink_status(*this / relative, ec));
}

void TempDir::MakeDirs(const std::string& relative) const { fs::create_directories(*this / relative); }

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

ScopedTimeZone::ScopedTimeZone(const std::string& tz) : tz_(std::in_place, "TZ", tz) { tzset(); }

ScopedTimeZone::~ScopedTimeZone() {
    tz_.reset();
    tzset();
}

}  // namespace loftwick::test
