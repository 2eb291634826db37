#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace loftwick {

// Cache and index bytes are one byte per character and are shown as Latin-1; everything the program
// writes for people (controls, messages, the log, settings) is UTF-8. These convert at that edge.
std::string Latin1ToUtf8(std::string_view bytes);
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

// ASCII-only case folding, as the cache's bytes are compared without regard to case.
std::string UpperAscii(std::string_view text);
// Whether `needle` occurs in `haystack`, ASCII letters compared without regard to case.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

}  // namespace loftwick
