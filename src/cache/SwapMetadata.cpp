#include "cache/SwapMetadata.h"

#include <cstring>

#include "support/TextCodec.h"

namespace loftwick {
namespace {

// Squid writes its swap files in the host's byte order and sizes; this program reads the stores of the
// machine it runs on.
template <class T>
T ReadNative(std::string_view bytes, size_t at) {
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// The standard fields: four times of time_t width, the swap file size (32 bits in the old form, 64 in
// the large-file form), the reference count and the flags. Values of another size are not these fields.
bool TakeStandard(std::string_view value, bool lfs, SwapMetadata& meta) {
    const size_t sizeWidth = lfs ? 8 : 4;
    if (value.size() != 4 * sizeof(int64_t) + sizeWidth + 4) return false;
    meta.timestamp = ReadNative<int64_t>(value, 0);
    meta.lastReference = ReadNative<int64_t>(value, 8);
    meta.expires = ReadNative<int64_t>(value, 16);
    meta.lastModified = ReadNative<int64_t>(value, 24);
    meta.swapFileSize = lfs ? ReadNative<uint64_t>(value, 32) : ReadNative<uint32_t>(value, 32);
    meta.referenceCount = ReadNative<uint16_t>(value, 32 + sizeWidth);
    meta.flags = ReadNative<uint16_t>(value, 34 + sizeWidth);
    return true;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
            HexDigitValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool HeaderSafe(std::string_view text) {
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
    }
    return true;
}

}  // namespace

std::optional<uint64_t> SwapMetaLength(std::string_view start) {
    if (start.size() < kSwapMetaPrefixSize || static_cast<uint8_t>(start[0]) != kSwapMetaMagic)
        return std::nullopt;
    const int32_t length = ReadNative<int32_t>(start, 1);
    if (length < static_cast<int32_t>(kSwapMetaPrefixSize) ||
        static_cast<uint64_t>(length) > kSwapMetaLengthMax)
        return std::nullopt;
    return static_cast<uint64_t>(length);
}

SwapMetadata ParseSwapMetadata(std::string_view bytes) {
    SwapMetadata meta;
    ParseSwapMetadata(bytes, meta);
    return meta;
}

void ParseSwapMetadata(std::string_view bytes, SwapMetadata& meta) {
    // Emptied, not replaced.
    meta.valid = false;
    meta.length = 0;
    meta.hasKey = false;
    for (std::string* text : {&meta.problem, &meta.url, &meta.varyHeaders}) text->clear();
    meta.timestamp = meta.lastReference = meta.expires = meta.lastModified = -1;
    meta.swapFileSize = 0;
    meta.referenceCount = meta.flags = 0;
    meta.objectSize.reset();
    const std::optional<uint64_t> length = SwapMetaLength(bytes);
    if (!length) {
        meta.problem = bytes.size() < kSwapMetaPrefixSize ? "the swap metadata is cut short"
                                                          : "no swap metadata at the start of the file";
        return;
    }
    if (*length > bytes.size()) {
        meta.problem = "the swap metadata runs past the end of the file";
        return;
    }
    meta.length = *length;
    const std::string_view entries = bytes.substr(0, static_cast<size_t>(*length));
    for (size_t at = kSwapMetaPrefixSize; at < entries.size();) {
        if (entries.size() - at < 5) {
            meta.problem = "a swap metadata entry is cut short";
            return;
        }
        const auto type = static_cast<uint8_t>(entries[at]);
        const int32_t valueLength = ReadNative<int32_t>(entries, at + 1);
        at += 5;
        if (valueLength < 0 || static_cast<size_t>(valueLength) > kSwapMetaValueMax ||
            static_cast<size_t>(valueLength) > entries.size() - at) {
            meta.problem = "a swap metadata entry runs past the metadata";
            return;
        }
        const std::string_view value = entries.substr(at, static_cast<size_t>(valueLength));
        at += value.size();
        switch (static_cast<SwapMetaType>(type)) {
            case SwapMetaType::KeyMd5:
                meta.hasKey = value.size() == meta.key.size();
                if (meta.hasKey) std::memcpy(meta.key.data(), value.data(), meta.key.size());
                break;
            case SwapMetaType::Url:
                // The NUL ends the URL; bytes after it (there should be none) are not part of it.
                meta.url.assign(value.substr(0, value.find('\0')));
                break;
            case SwapMetaType::Standard:
                TakeStandard(value, false, meta);
                break;
            case SwapMetaType::StandardLfs:
                TakeStandard(value, true, meta);
                break;
            case SwapMetaType::VaryHeaders:
                meta.varyHeaders.assign(value.substr(0, value.find('\0')));
                break;
            case SwapMetaType::ObjectSize:
                if (value.size() == 8) meta.objectSize = ReadNative<uint64_t>(value, 0);
                break;
            default:
                break;  // deprecated, reserved and future types: skipped by their length
        }
    }
    if (meta.url.empty()) {
        meta.problem = "the swap metadata holds no URL";
        return;
    }
    meta.valid = true;
}

std::vector<std::string> VaryRequestHeaders(std::string_view varyHeaders) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < varyHeaders.size()) {
        while (at < varyHeaders.size() && (varyHeaders[at] == ' ' || varyHeaders[at] == ',')) ++at;
        const size_t nameEnd = varyHeaders.find_first_of("=,", at);
        const std::string_view name =
            varyHeaders.substr(at, nameEnd == std::string_view::npos ? std::string_view::npos : nameEnd - at);
        if (nameEnd == std::string_view::npos || varyHeaders[nameEnd] == ',') {
            at = nameEnd;  // a header the request did not send
            if (at == std::string_view::npos) break;
            continue;
        }
        size_t valueStart = nameEnd + 1;
        size_t valueEnd;
        if (valueStart < varyHeaders.size() && varyHeaders[valueStart] == '"') {
            ++valueStart;
            valueEnd = varyHeaders.find('"', valueStart);
            if (valueEnd == std::string_view::npos) valueEnd = varyHeaders.size();
            at = valueEnd + 1;
        } else {
            valueEnd = varyHeaders.find(',', valueStart);
            if (valueEnd == std::string_view::npos) valueEnd = varyHeaders.size();
            at = valueEnd;
        }
        const std::string value = Unescaped(varyHeaders.substr(valueStart, valueEnd - valueStart));
        if (!name.empty() && HeaderSafe(name) && HeaderSafe(value))
            lines.push_back(std::string(name) + ": " + value);
    }
    return lines;
}

}  // namespace loftwick
