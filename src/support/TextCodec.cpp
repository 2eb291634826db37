#include "support/TextCodec.h"

#include <algorithm>
#include <cstdint>

namespace loftwick {
namespace {
char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The UTF-8 sequence that begins at `i`: its length and code point, or a length of 0 when none does.
struct Utf8Char {
    size_t len = 0;
    uint32_t cp = 0;
};

Utf8Char DecodeAt(std::string_view text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > text.size()) return {};
    uint32_t cp = c & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k) {
        const unsigned char cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80) return {};
        cp = (cp << 6) | (cc & 0x3F);
    }
    return {len, cp};
}

// A sequence only a typed character beyond Latin-1 puts into a name: shortest form, a real character.
bool IsTypedWideChar(const Utf8Char& ch) {
    static constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    return ch.len >= 2 && ch.cp >= 0x100 && ch.cp >= kShortest[ch.len] && ch.cp <= 0x10FFFF &&
           (ch.cp < 0xD800 || ch.cp > 0xDFFF);
}
}  // namespace

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToLatin1(std::string_view text) {
    std::vector<bool> unheld;
    return Utf8ToLatin1(text, unheld);
}

std::string Utf8ToLatin1(std::string_view text, std::vector<bool>& unheld) {
    unheld.clear();
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            unheld.push_back(false);
            ++i;
            continue;
        }
        const Utf8Char ch = DecodeAt(text, i);
        const bool held = ch.len != 0 && ch.cp < 0x100;
        out += held ? static_cast<char>(ch.cp) : '?';
        unheld.push_back(!held);
        i += ch.len != 0 ? ch.len : 1;
    }
    return out;
}

std::string Utf8ToNameBytes(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const Utf8Char ch = c < 0x80 ? Utf8Char{1, c} : DecodeAt(text, i);
        if (ch.len == 0) {
            out += '?';
            ++i;
            continue;
        }
        if (ch.cp < 0x100)
            out += static_cast<char>(ch.cp);
        else
            out.append(text.substr(i, ch.len));
        i += ch.len;
    }
    return out;
}

std::string NameBytesToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const Utf8Char ch = static_cast<unsigned char>(bytes[i]) < 0x80 ? Utf8Char{} : DecodeAt(bytes, i);
        if (IsTypedWideChar(ch)) {
            out.append(bytes.substr(i, ch.len));
            i += ch.len;
        } else {
            out += Latin1ToUtf8(bytes.substr(i, 1));
            ++i;
        }
    }
    return out;
}

std::string PercentEncode(std::string_view text, std::string_view plain) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          plain.find(ch) != std::string_view::npos;
        if (kept) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = Up(c);
    return out;
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                       [](char a, char b) { return Up(a) == Up(b); }) != haystack.end();
}

}  // namespace loftwick
