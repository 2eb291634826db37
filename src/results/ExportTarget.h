#pragma once
#include <functional>
#include <string>

#include "support/FileSystem.h"

namespace loftwick {

// Writes an export (a WARC archive, a CSV list) to the path the user named. A missing name or a regular
// file is written as a new file in the held folder and renamed over the name once complete; a FIFO, a
// character device or a socket (a link to one included, as /dev/stdout is) is written directly, as a
// stream; a link to anything else, a folder, and a name inside the cache folder are refused with a
// RuntimeError that says why, and nothing is written. `write` fills the open file.
void WriteExport(const std::string& path, const std::function<void(OutputFile&)>& write);

}  // namespace loftwick
