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

// Every byte of `text` but ASCII letters, digits and the characters of `plain` as "%XX".
std::string PercentEncode(std::string_view text, std::string_view plain);

// ASCII-only case folding, as the cache's bytes are compared without regard to case.
std::string UpperAscii(std::string_view text);
// Whether `needle` occurs in `haystack`, ASCII letters compared without regard to case.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

}  // namespace loftwick
