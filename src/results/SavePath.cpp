#include "results/SavePath.h"

#include <cstdint>
#include <cstdio>

#include "support/TextCodec.h"

namespace loftwick {
namespace {

// 64-bit FNV-1a: short, stable across runs and platforms, and plenty to tell two long URLs apart.
uint64_t Fnv1a64(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string Hex16(uint64_t value) {
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(value));
    return buffer;
}

// Never cuts a UTF-8 sequence in two.
size_t Utf8Boundary(const std::string& text, size_t at) {
    while (at > 0 && at < text.size() && IsUtf8Continuation(text[at])) --at;
    return at;
}

std::string ShortenedName(const std::string& name) {
    constexpr size_t kHeadBytes = 200;
    constexpr size_t kLongestKeptExtension = 16;
    std::string extension;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot - 1 <= kLongestKeptExtension) {
        extension = name.substr(dot);
    }
    return name.substr(0, Utf8Boundary(name, kHeadBytes)) + "~" + Hex16(Fnv1a64(name)) + extension;
}

}  // namespace

std::string SaveRoot(const std::string& tempDirText) {
    std::string root(Trim(tempDirText));
    if (root.empty()) return {};
    for (char& c : root) {
        if (c == '\\') c = '/';
    }
    if (root.back() != '/') root += '/';
    return root;
}

std::string SafeNamePart(std::string_view latin1Part) {
    std::string bytes(latin1Part);
    for (char& c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '_';
    }
    if (bytes.empty()) return "_";
    if (bytes == ".") return "%2E";
    if (bytes == "..") return "%2E%2E";
    std::string name = NameBytesToUtf8(bytes);
    if (name.size() > kMaxSavedNameBytes) name = ShortenedName(name);
    return name;
}

std::vector<std::string> SafeNameParts(std::string_view localPath) {
    std::vector<std::string> parts;
    if (localPath.empty()) return parts;
    if (IsPathSeparator(localPath.front())) localPath.remove_prefix(1);
    size_t start = 0;
    for (size_t i = 0; i <= localPath.size(); ++i) {
        if (i == localPath.size() || IsPathSeparator(localPath[i])) {
            parts.push_back(SafeNamePart(localPath.substr(start, i - start)));
            start = i + 1;
        }
    }
    return parts;
}

}  // namespace loftwick
