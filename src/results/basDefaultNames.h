#pragma once
#include <cstdint>
#include <string>

namespace loftwick {

class SaveHost;

// Completes the local path of a saved copy of result `index` (1-based) so that a desktop can open it.
// The path is cache bytes (Latin-1) with "\" or "/" separators, relative or not; the directory part is
// kept as it is. A path that ends in a directory gets a base name: the default-name prompt is shown
// (unless the host says to skip it), and the part of the stored default name before its last "." is
// used, "index" when that is empty. A name without a usable extension (none, longer than 6 characters,
// or holding ";" or "&") gets the extension of the object's content type, "html" for an unknown type;
// with `checkExtension` an extension that stands for another content type gets it too.
// Reports errors as "frmMain:FixDefaultName" and returns "".
std::string FixDefaultName(SaveHost& host, const std::string& path, int64_t index, bool checkExtension);

}  // namespace loftwick
