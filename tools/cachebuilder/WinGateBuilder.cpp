#include "cachebuilder/WinGateBuilder.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace loftwick::builder {

namespace {

void CheckField(int field) {
    if (field < 1 || field > 6) throw std::invalid_argument("index fields are numbered 1 to 6");
}

std::string TextField(const std::string& text) {
    if (text.size() > 255) throw std::invalid_argument("an index text field holds at most 255 bytes");
    return std::string(1, static_cast<char>(text.size())) + text;
}

}  // namespace

WinGateRecord& WinGateRecord::Raw(int field, std::string bytes) {
    CheckField(field);
    rawFields[static_cast<size_t>(field - 1)] = std::move(bytes);
    return *this;
}

WinGateRecord& WinGateRecord::ZerosBefore(int field, int count) {
    CheckField(field);
    zerosBefore[static_cast<size_t>(field - 1)] = count;
    return *this;
}

std::string LittleEndian(uint64_t value, size_t width) {
    std::string out;
    for (size_t i = 0; i < width; ++i) {
        out += static_cast<char>(value & 0xFF);
        value >>= 8;
    }
    return out;
}

std::string EncodeRecord(const WinGateRecord& record) {
    const std::string encoded[6] = {
        TextField(record.url),
        TextField(record.baseName),
        LittleEndian(record.retrieved, 4),
        LittleEndian(record.modified, 4),
        TextField(record.contentType),
        LittleEndian(record.contentLength, 8),
    };
    std::string out;
    for (size_t i = 0; i < 6; ++i) {
        out.append(static_cast<size_t>(std::max(record.zerosBefore[i], 0)), '\0');
        out += record.rawFields[i] ? *record.rawFields[i] : encoded[i];
    }
    out += record.trailing;
    if (record.cutAfter && *record.cutAfter < out.size()) out.resize(*record.cutAfter);
    return out;
}

bool IsPlainBaseName(const std::string& baseName) {
    return !baseName.empty() && baseName != "." && baseName != ".." &&
           baseName.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

WinGateCache::WinGateCache(std::string dir) : dir_(std::move(dir)) {
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    std::filesystem::create_directories(dir_);
    index_.open(IndexPath(), std::ios::binary | std::ios::trunc);
    if (!index_) throw std::runtime_error("cannot write " + IndexPath());
}

std::string WinGateCache::Add(const WinGateRecord& record, const WinGateContent& content) {
    AppendRaw(EncodeRecord(record));
    if (content.missing || !IsPlainBaseName(record.baseName)) return {};
    const std::string path = ContentPath(record.baseName);
    WriteObjectFile(path, {}, content.content);
    ApplyStamp(path, content.stamp);
    return path;
}

void WinGateCache::AppendRaw(const std::string& bytes) {
    index_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    index_.flush();
    if (!index_) throw std::runtime_error("cannot write " + IndexPath());
}

std::string WinGateCache::IndexPath() const { return JoinPath(dir_, kIndexName); }

std::string WinGateCache::ContentPath(const std::string& baseName) const {
    return JoinPath(dir_, baseName + kContentSuffix);
}

std::string WinGateCache::CacheDir() const { return dir_ + "/"; }

}  // namespace loftwick::builder
