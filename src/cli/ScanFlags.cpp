#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "cli/BatchScan.h"
#include "support/Variant.h"
#include "support/basUtils.h"

namespace loftwick::cli {
namespace {

// Numbers are checked here so that a typo is a usage error, not a scan that silently ignores a bound,
// and so that a number the scan's 32-bit fields cannot hold (rounded as the window rounds them) is one
// too, not an overflow the scan reports after it started.
CLI::Validator WholeNumberIn(int64_t lowest, int64_t highest) {
    const std::string range = std::to_string(lowest) + " to " + std::to_string(highest);
    return CLI::Validator(
        [lowest, highest, range](std::string& value) {
            const std::optional<double> number = ParseNumber(value);
            if (!number) return "'" + value + "' is not a number";
            const double rounded = RoundHalfEven(*number);
            if (!(rounded >= static_cast<double>(lowest) && rounded <= static_cast<double>(highest)))
                return "'" + value + "' is out of range " + range;
            return std::string();
        },
        "NUMBER " + range);
}

const int64_t kLongMin = std::numeric_limits<int32_t>::min();
const int64_t kLongMax = std::numeric_limits<int32_t>::max();

}  // namespace

int ParseScanFlags(const std::vector<std::string>& args, ScanFlags& flags, std::ostream& out,
                   std::ostream& err) {
    CLI::App app{
        "Scans a WinProxy, WinGate or Squid cache as the Loftwick window's \"Go!\" does, without a display.",
        "loftwick-scan"};
    app.add_option("--proxy", flags.proxy, "the cache's format")
        ->required()
        ->check(CLI::IsMember({"winproxy", "wingate", "squid"}));
    app.add_option("--cache", flags.cache, "the cache folder")->required();
    app.add_option("--content-type", flags.contentType, "select objects whose content type contains S");
    app.add_option("--host", flags.host, "select objects whose host contains S");
    app.add_option("--url", flags.url, "select objects whose URL contains S");
    app.add_option("--contents", flags.contents,
                   "words to find in the contents (+word required, -word excluded)");
    app.add_option("--min", flags.min, "retrieved at least N days (or hours) ago")
        ->check(WholeNumberIn(0, kLongMax));
    app.add_option("--max", flags.max, "retrieved at most N days (or hours) ago")
        ->check(WholeNumberIn(0, kLongMax));
    app.add_option("--unit", flags.unit, "unit of --min and --max")->check(CLI::IsMember({"days", "hours"}));
    app.add_flag("--fix-time", flags.fixTime, "set each file's modification time to its retrieval time");
    app.add_option("--ttl", flags.ttl, "set each file's time-to-live to DAYS (WinProxy)")
        ->check(WholeNumberIn(kLongMin, kLongMax));
    app.add_flag("--delete", flags.remove, "delete each selected file (Squid: by PURGE while Squid runs)");
    app.add_option("--squid-address", flags.squidAddress,
                   "where a running Squid answers PURGE requests (default 127.0.0.1:3128)")
        ->type_name("HOST:PORT");
    app.add_flag("--delete-aged", flags.removeAged,
                 "delete each selected file whose time-to-live has run out");
    app.add_flag("--save-tree", flags.saveTree,
                 "save each selected object below the temp directory as a tree");
    app.add_option("--temp-dir", flags.tempDir, "where saved copies go (default: ~/.cache/loftwick)");
    app.add_option("--save-all", flags.saveAll, "after the scan, save every result")
        ->check(CLI::IsMember({"tree", "domain", "none"}));
    app.add_option("--format", flags.format, "output: every list line, or one record per object")
        ->check(CLI::IsMember({"text", "csv", "json"}));
    app.add_flag("--dry-run", flags.dryRun, "select and report, change nothing on disk");
    app.add_flag("--raw", flags.raw,
                 "search and save contents as stored, without undoing gzip, deflate, br or chunked");
    app.add_option("--warc", flags.warc,
                   "after the scan, export every result to FILE (WARC 1.1, gzip-compressed)")
        ->type_name("FILE");

    app.set_version_flag("--version", "loftwick-scan " + GetVersion(), "print the version and exit");

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    if (!reversed.empty()) reversed.pop_back();  // the program's own name
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitOk;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n";
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        err << "loftwick-scan: " << e.what() << "\n" << app.help();
        return kExitUsage;
    }
    if (flags.proxy == "squid" && (flags.fixTime || !flags.ttl.empty())) {
        err << "loftwick-scan: " << (flags.fixTime ? "--fix-time" : "--ttl")
            << " cannot be used with --proxy squid: Squid keeps its own times in each swap file's metadata "
               "and in "
               "swap.state, and file times mean nothing to it\n"
            << app.help();
        return kExitUsage;
    }
    return -1;
}

}  // namespace loftwick::cli
