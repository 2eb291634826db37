#pragma once
#include <string>
#include <string_view>

namespace loftwick {

// Cache and index bytes are one byte per character and are shown as Latin-1; everything the program
// writes for people (controls, messages, the log, settings) is UTF-8. These convert at that edge.
std::string Latin1ToUtf8(std::string_view bytes);
// Characters beyond Latin-1 (and malformed sequences) become "?", so a typed filter never matches
// by accident.
std::string Utf8ToLatin1(std::string_view text);

// ASCII-only case folding, as the cache's bytes are compared without regard to case.
std::string UpperAscii(std::string_view text);
// Whether `needle` occurs in `haystack`, ASCII letters compared without regard to case.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

}  // namespace loftwick
