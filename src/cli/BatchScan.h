#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace loftwick::cli {

// Everything loftwick-scan is asked to do, from its flags.
struct ScanFlags {
    std::string proxy;  // "winproxy", "wingate" or "squid"
    std::string cache;
    std::string contentType, host, url, contents;
    std::string min, max;
    std::string unit = "days";
    bool fixTime = false;
    std::string ttl;  // sets both the TTL box and its field
    bool remove = false;
    bool removeAged = false;
    bool saveTree = false;
    std::string tempDir;
    std::string saveAll;  // "tree", "domain", "none" or "" for no Save All
    std::string format = "text";
    bool dryRun = false;
    bool raw = false;          // copies and the contents search use the content as stored, not decoded
    std::string warc;          // after the scan, export every result to this WARC file ("" for none)
    std::string squidAddress;  // where a running Squid answers ("" for the default)
};

// Exit statuses: 0 when the summary begins "OK!", 1 when it begins "Ended with error(s)." (or the run
// failed otherwise), 2 for a usage error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitErrors = 1;
inline constexpr int kExitUsage = 2;

// Parses the command line. Returns -1 when the run should go on, else the exit status (a usage error
// printed with the help text, or 0 after --help or --version).
int ParseScanFlags(const std::vector<std::string>& args, ScanFlags& flags, std::ostream& out,
                   std::ostream& err);

// Runs the scan the flags describe through the window model on in-memory controls, prints its lines or
// records to `out` and reports to `err`. Returns the exit status.
int RunBatchScan(const ScanFlags& flags, const std::string& executablePath, std::ostream& out,
                 std::ostream& err);

// The whole program: parse, then run.
int BatchMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace loftwick::cli
