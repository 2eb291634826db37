#include "cachebuilder/SquidBuilder.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace loftwick::builder {

namespace fs = std::filesystem;

namespace {

template <class T>
std::string Native(T value) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

std::string Entry(uint8_t type, const std::string& value) {
    return std::string(1, static_cast<char>(type)) + Native<int32_t>(static_cast<int32_t>(value.size())) +
           value;
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

}  // namespace

SquidObject& SquidObject::Header(const std::string& name, const std::string& value) {
    headerLines.push_back(name + ": " + value);
    return *this;
}

std::string KeyOf(const std::string& url) {
    std::string key;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a, twice over: stable and spread enough
    for (int round = 0; round < 2; ++round) {
        for (unsigned char c : url) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
        key += Native<uint64_t>(hash);
    }
    return key;
}

std::string ReplyHeadOf(const SquidObject& object) {
    std::string head = object.statusLine + "\r\n";
    for (const std::string& line : object.headerLines) head += line + "\r\n";
    return head + "\r\n";
}

std::string SwapMetadataOf(const SquidObject& object) {
    const std::string head = ReplyHeadOf(object);
    std::string entries = Entry(3, KeyOf(object.url));
    entries += Entry(9, Native(object.timestamp) + Native(object.lastReference) + Native(object.expires) +
                            Native(object.lastModified) + Native<uint64_t>(0) +
                            Native(object.referenceCount) + Native(object.flags));
    if (object.writeUrl) entries += Entry(4, object.url + std::string(1, '\0'));
    entries += Entry(10, Native<uint64_t>(head.size() + object.content.Size()));
    if (!object.varyHeaders.empty()) entries += Entry(8, object.varyHeaders);
    for (const auto& [type, value] : object.extraEntries) entries += Entry(type, value);
    const int64_t length = object.metaLength ? *object.metaLength : static_cast<int64_t>(entries.size() + 5);
    return std::string(1, '\x03') + Native<int32_t>(static_cast<int32_t>(length)) + entries;
}

SquidCache::SquidCache(std::string dir, int firstLevel, int secondLevel)
    : dir_(std::move(dir)), firstLevel_(firstLevel), secondLevel_(secondLevel) {
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    // Only the folders that get a swap file are made: Squid's full tree is thousands of empty folders.
    fs::create_directories(dir_);
    // The log header Squid begins swap.state with: version 2, 72-byte entries.
    std::ofstream state(dir_ + "/swap.state", std::ios::binary | std::ios::trunc);
    std::string header =
        std::string(1, '\x03') + std::string(3, '\0') + Native<int32_t>(2) + Native<int32_t>(72);
    header.resize(72, '\0');
    state << header;
}

std::string SquidCache::PathOf(uint32_t fileNumber) const {
    const uint32_t l1 = (fileNumber / secondLevel_ / secondLevel_) % firstLevel_;
    const uint32_t l2 = (fileNumber / secondLevel_) % secondLevel_;
    return dir_ + "/" + Hex(l1, 2) + "/" + Hex(l2, 2) + "/" + Hex(fileNumber, 8);
}

std::string SquidCache::CacheDir() const { return dir_ + "/"; }

void SquidCache::AppendState(uint32_t fileNumber, const SquidObject& object, uint64_t fileSize) {
    std::string entry =
        std::string(1, '\x01') + std::string(3, '\0') + Native<int32_t>(static_cast<int32_t>(fileNumber));
    entry += Native(object.timestamp) + Native(object.lastReference) + Native(object.expires) +
             Native(object.lastModified) + Native<uint64_t>(fileSize) + Native(object.referenceCount) +
             Native(object.flags) + KeyOf(object.url);
    entry.resize(72, '\0');
    std::ofstream state(dir_ + "/swap.state", std::ios::binary | std::ios::app);
    state << entry;
}

std::string SquidCache::Add(const SquidObject& object) {
    const uint32_t number = object.fileNumber ? *object.fileNumber : next_;
    if (number >= next_) next_ = number + 1;
    const std::string path = PathOf(number);
    if (object.rawFile) {
        WriteObjectFile(path, {}, Content::Bytes(*object.rawFile));
    } else {
        WriteObjectFile(path, SwapMetadataOf(object) + ReplyHeadOf(object), object.content);
    }
    ApplyStamp(path, object.stamp);
    AppendState(number, object, fs::file_size(path));
    return path;
}

std::string SquidCache::AddVaryMarker(const std::string& url, const std::string& varyHeader,
                                      int64_t timestamp) {
    SquidObject marker;
    marker.url = url;
    marker.statusLine = "HTTP/1.1 200 Internal marker object";
    marker.Header("Server", "squid")
        .Header("Content-Type", "x-squid-internal/vary")
        .Header("Vary", varyHeader);
    marker.timestamp = marker.lastReference = timestamp;
    marker.referenceCount = 0;
    return Add(marker);
}

}  // namespace loftwick::builder
