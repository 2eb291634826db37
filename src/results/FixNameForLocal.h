#pragma once
#include <cstdint>
#include <string>

namespace loftwick {

class SaveHost;

// The relative local path for a saved copy of result `index` (1-based), built from its URL: the scheme
// goes, the host comes first, "/" becomes "\", the query becomes a prefix of the file name, the fragment
// goes, and FixDefaultName completes the name. Cache bytes (Latin-1), "\" separated, no root. The path
// may still hold "..", empty parts or control characters: only the save step makes it a file-system
// path, and it is the one that keeps the copy inside the save root.
// Reports errors as "frmMain:FixNameForLocal" and returns "".
std::string FixNameForLocal(SaveHost& host, int64_t index);

}  // namespace loftwick
