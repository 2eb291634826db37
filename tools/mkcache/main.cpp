// loftwick-mkcache: writes a WinProxy, WinGate or Squid cache, generated from a seed or read from a
// description file, for demos, benchmarks and bug reports.
#include <CLI/CLI.hpp>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "cachebuilder/CacheGenerator.h"
#include "cachebuilder/DemoCaches.h"
#include "cachebuilder/DescriptionFile.h"

int main(int argc, char** argv) {
    using namespace loftwick::builder;
    CLI::App app{"Writes a WinProxy, WinGate or Squid cache for Loftwick to work on."};
    GeneratorOptions options;
    std::string format;
    std::string describe;
    bool force = false;
    app.add_option("--format", format, "winproxy, wingate or squid (a ufs store)")
        ->transform(CLI::IsMember({"winproxy", "wingate", "squid"}, CLI::ignore_case));
    app.add_option("--out", options.out, "the cache folder to write (created when missing)");
    app.add_option("--objects", options.objects, "number of objects")->check(CLI::NonNegativeNumber);
    app.add_option("--hosts", options.hosts, "number of hosts")->check(CLI::PositiveNumber);
    app.add_option("--seed", options.seed, "the same seed writes the same cache");
    app.add_option("--now", options.now, "seconds since 1970: the cache's dates lie in the months before");
    app.add_option("--max-size", options.maxObjectSize, "largest content in bytes")
        ->check(CLI::PositiveNumber);
    app.add_option("--describe", describe, "a description file to build instead of generating")
        ->check(CLI::ExistingFile);
    app.add_flag("--force", force, "write into a folder that is not empty (an index there is replaced)");
    std::string demo;
    app.add_option("--demo", demo, "write the demo caches (winproxy/ and wingate/) into this folder");
    CLI11_PARSE(app, argc, argv);

    try {
        if (!demo.empty()) {
            const int64_t now = app.count("--now") ? options.now : static_cast<int64_t>(std::time(nullptr));
            const DemoCaches made = BuildDemoCaches(demo, now);
            std::cout << "Wrote the demo caches " << made.winProxyDir << " and " << made.winGateDir << "\n";
            return 0;
        }
        // The output could be a proxy's real cache folder; its index must not be overwritten by mistake.
        std::error_code ec;
        if (!force && std::filesystem::exists(options.out, ec) &&
            !std::filesystem::is_empty(options.out, ec)) {
            std::cerr << "loftwick-mkcache: " << options.out
                      << " is not empty (use --force to write into it)\n";
            return 2;
        }
        if (options.out.empty()) {
            std::cerr << "loftwick-mkcache: --out DIR is needed\n";
            return 2;
        }
        if (!describe.empty()) {
            std::ifstream in(describe, std::ios::binary);
            const uint64_t count = BuildFromDescription(in, options.out);
            std::cout << "Wrote " << count << " objects to " << options.out << "\n";
            return 0;
        }
        if (format.empty()) {
            std::cerr << "loftwick-mkcache: --format winproxy|wingate|squid is needed to generate a cache\n";
            return 2;
        }
        options.format = format == "wingate" ? CacheFormat::WinGate
                         : format == "squid" ? CacheFormat::Squid
                                             : CacheFormat::WinProxy;
        const GeneratedCache made = GenerateCache(options);
        std::cout << "Wrote " << made.objects << " objects (" << made.contentBytes << " content bytes) over "
                  << made.hosts.size() << " hosts to " << options.out << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "loftwick-mkcache: " << e.what() << "\n";
        return 1;
    }
}
