#include "cachebuilder/WinProxyBuilder.h"

#include <time.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace loftwick::builder {

std::string BreakOf(LineBreak style, size_t index) {
    switch (style) {
        case LineBreak::Lf:
            return "\n";
        case LineBreak::CrLf:
            return "\r\n";
        case LineBreak::Cr:
            return "\r";
        case LineBreak::Nul:
            return std::string(1, '\0');
        case LineBreak::Mixed: {
            static const char* const kTurns[] = {"\n", "\r\n", "\r"};
            return kTurns[index % 3];
        }
    }
    return "\n";
}

WinProxyObject& WinProxyObject::Header(const std::string& name, const std::string& value) {
    headerLines.push_back(name + ": " + value);
    return *this;
}

std::string HeaderBlock(const WinProxyObject& object) {
    std::vector<const std::string*> lines{&object.url, &object.statusLine};
    for (const auto& line : object.headerLines) lines.push_back(&line);
    std::string block = object.leadIn;
    for (size_t i = 0; i < lines.size(); ++i) block += *lines[i] + BreakOf(object.lineBreak, i);
    block += object.blockEnd ? *object.blockEnd : BreakOf(object.lineBreak, lines.size() - 1);
    return block;
}

std::string DefaultFileName(const std::string& url) {
    uint32_t hash = 2166136261u;  // FNV-1a: short, stable across runs and machines
    for (unsigned char c : url) {
        hash ^= c;
        hash *= 16777619u;
    }
    std::string segment =
        url.substr(url.find_last_of('/') == std::string::npos ? 0 : url.find_last_of('/') + 1);
    if (const auto query = segment.find('?'); query != std::string::npos) segment.resize(query);
    std::string clean;
    for (char c : segment) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-' || c == '_';
        clean += plain ? c : '-';
    }
    if (clean.empty() || clean == "." || clean == "..") clean = "index";
    if (clean.size() > 80) clean.resize(80);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%08x_", hash);
    return prefix + clean;
}

std::string HttpDate(int64_t epochSeconds) {
    const time_t t = static_cast<time_t>(epochSeconds);
    struct tm parts {};
    gmtime_r(&t, &parts);
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[parts.tm_wday],
                  parts.tm_mday, kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min,
                  parts.tm_sec);
    return text;
}

WinProxyCache::WinProxyCache(std::string dir) : dir_(std::move(dir)) {
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    std::filesystem::create_directories(dir_);
}

std::string WinProxyCache::PathOf(const WinProxyObject& object) const {
    const std::string name = object.fileName.empty() ? DefaultFileName(object.url) : object.fileName;
    return object.host.empty() ? JoinPath(dir_, name) : JoinPath(JoinPath(dir_, object.host), name);
}

std::string WinProxyCache::Add(const WinProxyObject& object) {
    const std::string path = PathOf(object);
    if (object.rawFile) {
        WriteObjectFile(path, *object.rawFile, Content{});
    } else {
        WriteObjectFile(path, HeaderBlock(object), object.content);
    }
    ApplyStamp(path, object.stamp);
    return path;
}

std::string WinProxyCache::CacheDir() const { return dir_ + "/"; }

}  // namespace loftwick::builder
