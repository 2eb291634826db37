#pragma once
#include <string>
#include <string_view>

namespace loftwick {

// The few lines of a squid.conf this program needs.
struct SquidConfFacts {
    std::string cacheDir;  // the folder of the first ufs, aufs or diskd cache_dir ("" when none)
    std::string rockDir;   // the folder of the first rock cache_dir ("" when none)
    std::string pidFile = "/run/squid.pid";  // pid_filename, else Squid's default
};

// Reads the text of a squid.conf: comments and blank lines skipped, the first of each directive taken.
SquidConfFacts ParseSquidConf(std::string_view text);
// The same for the file at the path; the defaults when it cannot be read. Never throws.
SquidConfFacts ReadSquidConf(const std::string& path);

// The name of the group that owns a folder (Squid's are "proxy"); "" when it cannot be told.
std::string FolderGroupName(const std::string& path);

// Squid's cache folders on a fresh install, when squid.conf names none.
inline constexpr const char* kSquidDefaultCacheDir = "/var/spool/squid";

}  // namespace loftwick
