#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace loftwick {

// The parsed "File contents:" filter: the terms to look for in a cached object's body. The scan fills
// it (ParseFilter) and scores it (FilterScore); a cache object's FindInContents sets the Found flags.
// The vectors are 0-based and, but for Unfindable, always Count long.
struct ParsedFilter {
    int32_t Count = 0;
    std::vector<std::string> Words;  // upper-cased search text of each term
    std::vector<bool> Excluded;      // "-": the object must not contain it
    std::vector<bool> Required;      // "+": the object must contain it
    std::vector<bool> Found;         // set by FindInContents
    // The term holds a typed character that no cache byte can hold: it is never found. May be shorter
    // than Count (a filter built by hand); a missing flag is false.
    std::vector<bool> Unfindable;
    // Asked every few MiB while one object's contents are searched: lets events run and answers whether
    // to go on (false after Break), so that a huge object cannot hold the scan. None: always go on.
    std::function<bool()> KeepSearching;
};

}  // namespace loftwick
