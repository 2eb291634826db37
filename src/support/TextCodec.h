#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace loftwick {

// Cache and index bytes are one byte per character and are shown as Latin-1; everything the program
// writes for people (controls, messages, the log, settings) is UTF-8. These convert at that edge.
std::string Latin1ToUtf8(std::string_view bytes);
// One code point (at most U+10FFFF) as its UTF-8 sequence.
void AppendUtf8(std::string& out, uint32_t cp);
// Characters beyond Latin-1 (and malformed sequences) become "?", so a typed filter never matches
// by accident.
std::string Utf8ToLatin1(std::string_view text);
// The same, telling where: `unheld` gets one flag per byte of the result, true where its "?" stands for
// a character that no cache byte can hold, so that such a character can be made to match nothing.
std::string Utf8ToLatin1(std::string_view text, std::vector<bool>& unheld);

// Names of saved copies are built from cache bytes, one per character. A name the user typed joins
// them with its Latin-1 characters as single bytes and every other character as its UTF-8 sequence
// (malformed input becomes "?"); NameBytesToUtf8 keeps such a sequence and reads every other byte as
// Latin-1, so the typed name comes back whole and cache bytes read as they always did.
std::string Utf8ToNameBytes(std::string_view text);
std::string NameBytesToUtf8(std::string_view bytes);
// Every byte of `text` but ASCII letters, digits and the characters of `plain` as "%XX".
std::string PercentEncode(std::string_view text, std::string_view plain);

// ASCII-only case folding, as the cache's bytes are compared without regard to case. The one-byte forms
// are inline: the contents search folds every byte it reads through them.
constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
// Comparisons with ASCII letters compared without regard to case (in place: header names of every
// object go through them).
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
// Where `needle` first occurs in `haystack`, npos when nowhere; an empty needle occurs at 0.
size_t FindNoCase(std::string_view haystack, std::string_view needle);
// Whether `needle` occurs in `haystack`, ASCII letters compared without regard to case.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

// `text` without the characters of `blanks` at its ends. Each format has its own blanks (a tab inside a
// stored header is part of its value), so the caller names them.
std::string_view TrimLeft(std::string_view text, std::string_view blanks = " ");
std::string_view TrimRight(std::string_view text, std::string_view blanks = " ");
std::string_view Trim(std::string_view text, std::string_view blanks = " ");

// The value of one hex digit, -1 when `c` is none.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
// Each byte as two hex digits, upper-case ones unless `lower`.
std::string HexOf(std::string_view bytes, bool lower = false);

// Both separators of a path, as settings and saved names may hold Windows paths.
constexpr bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }
inline bool EndsInSeparator(std::string_view path) { return !path.empty() && IsPathSeparator(path.back()); }

// A byte that continues a UTF-8 sequence rather than beginning a character.
constexpr bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
// The length of the well-formed UTF-8 sequence at `at` (shortest form, no surrogates, at most U+10FFFF;
// 1 for an ASCII byte), 0 when the bytes there are none.
size_t Utf8SequenceAt(std::string_view text, size_t at);

// The host of a URL: what follows its first "//" up to the next "/" (or the end); "" without "//".
std::string HostOfUrl(std::string_view url);

}  // namespace loftwick
