#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace loftwick {

// The one place where a local path built by the naming code ("\" separated cache bytes, Latin-1) becomes
// a file-system path (UTF-8, "/" separated) below the save root. Whatever the URL held, the result
// names something inside the root: no part is empty, "." or "..", none holds a separator, a control
// character or a NUL, and none is longer than the file system allows.

// Longest name part written. Below the file system's 255 bytes, so that the copy's temporary sibling
// (name + ".part") and the "_tmp" of a displaced file still fit.
inline constexpr size_t kMaxSavedNameBytes = 240;

// The folder saved copies go below, from the text of the "Temp directory:" field: blanks trimmed,
// backslashes made "/", and a "/" appended. An empty text gives "", so copies go below the current
// directory.
std::string SaveRoot(const std::string& tempDirText);

// One name part made safe: control characters (below 0x20, and 0x7F) become "_", the text becomes
// UTF-8 (NameBytesToUtf8: a typed default name keeps its characters), "" becomes "_", "." "%2E" and ".."
// "%2E%2E", and a part longer than kMaxSavedNameBytes keeps its first 200 bytes, "~", 16 hex digits of a hash
// of the whole part and its extension (when short), so that different long names stay different.
std::string SafeNamePart(std::string_view latin1Part);

// The parts of a local path, each made safe. "\" and "/" both separate; one leading separator is the
// join with the root and is dropped, so a path never becomes absolute.
std::vector<std::string> SafeNameParts(std::string_view localPath);

}  // namespace loftwick
