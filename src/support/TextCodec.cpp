#include "support/TextCodec.h"

#include <algorithm>
#include <cstdint>

namespace loftwick {
namespace {

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

// Shortest form, a real character.
bool IsWellFormed(const Utf8Char& ch) {
    static constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    return ch.len >= 2 && ch.cp >= kShortest[ch.len] && ch.cp <= 0x10FFFF &&
           (ch.cp < 0xD800 || ch.cp > 0xDFFF);
}

// A sequence only a typed character beyond Latin-1 puts into a name.
bool IsTypedWideChar(const Utf8Char& ch) { return ch.cp >= 0x100 && IsWellFormed(ch); }

bool SameNoCase(char a, char b) { return UpperAscii(a) == UpperAscii(b); }

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";
}  // namespace

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const unsigned char c : bytes) AppendUtf8(out, c);
    return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
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
            out += kUpperHex[c >> 4];
            out += kUpperHex[c & 0x0F];
        }
    }
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameNoCase);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

size_t FindNoCase(std::string_view haystack, std::string_view needle) {
    const auto at = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(), SameNoCase);
    return needle.empty()         ? 0
           : at == haystack.end() ? std::string_view::npos
                                  : static_cast<size_t>(at - haystack.begin());
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
    return FindNoCase(haystack, needle) != std::string_view::npos;
}

std::string_view TrimLeft(std::string_view text, std::string_view blanks) {
    const size_t first = text.find_first_not_of(blanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view TrimRight(std::string_view text, std::string_view blanks) {
    const size_t last = text.find_last_not_of(blanks);
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
    return TrimRight(TrimLeft(text, blanks), blanks);
}

std::string HexOf(std::string_view bytes, bool lower) {
    const char* const digits = lower ? kLowerHex : kUpperHex;
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        text += digits[u >> 4];
        text += digits[u & 0x0F];
    }
    return text;
}

size_t Utf8SequenceAt(std::string_view text, size_t at) {
    if (static_cast<unsigned char>(text[at]) < 0x80) return 1;
    const Utf8Char ch = DecodeAt(text, at);
    return IsWellFormed(ch) ? ch.len : 0;
}

std::string HostOfUrl(std::string_view url) {
    const size_t slashes = url.find("//");
    if (slashes == std::string_view::npos) return "";
    const size_t start = slashes + 2;
    const size_t end = url.find('/', start);
    return std::string(
        url.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

}  // namespace loftwick
