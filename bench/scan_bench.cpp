// scan_bench: how fast a scan walks a cache, against the least work that visits the same objects.
//
// It builds WinProxy and WinGate caches with the cache builder in a temporary folder, then times, per
// cache, a scan with no filters and a contents search for a word no object holds, each beside a minimal
// reader doing the same work with plain system calls. Page cache warm (one untimed pass first), median of
// several passes. Each case runs in a child process so that its peak memory is its own. Then the batch
// front end's peak memory on a scan that selects every object of a big cache, in each output format, and
// the window's liveliness (offscreen) during a scan.
//
//   scan_bench [--quick] [--reps N] [--dir FOLDER] [--keep]
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <streambuf>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "AllocationCount.h"
#include "BenchHost.h"
#include "ChildRun.h"
#include "Measure.h"
#include "MinimalReader.h"
#include "WindowCase.h"
#include "cachebuilder/CacheGenerator.h"
#include "cachebuilder/DemoCaches.h"
#include "cli/BatchScan.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ReadAhead.h"
#include "support/Program.h"

namespace loftwick::bench {
namespace {

using builder::CacheFormat;

// Found in no generated object: the builder's texts use other words and a run of eight given letters
// is as good as impossible in its random bytes.
constexpr const char* kAbsentWord = "quixotry";

constexpr int64_t kRssAllowanceKiB = 64 * 1024;  // plus 1 KiB per kept result
constexpr double kKeptBytesAllowance = 400;      // heap per kept result beyond its URL
constexpr double kStarvationAllowanceMs = 50;
constexpr double kFirstLineAllowanceMs = 100;

struct Options {
    bool quick = false;
    int reps = 5;
    std::string dir;
    bool keep = false;
};

struct CachePlan {
    std::string label;
    CacheFormat format;
    uint64_t objects;
    uint32_t hosts;
    uint64_t maxObjectSize = 1 << 20;
};

struct BuiltCache {
    CachePlan plan;
    std::string dir;  // ends in "/", as the program's CacheDir does
    uint64_t contentBytes = 0;
    double buildSeconds = 0;
};

enum class Work { Headers, Search };

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            options.quick = true;
            options.reps = 3;
        } else if (arg == "--reps" && i + 1 < argc) {
            options.reps = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--dir" && i + 1 < argc) {
            options.dir = argv[++i];
        } else if (arg == "--keep") {
            options.keep = true;
        } else {
            std::fprintf(stderr, "usage: scan_bench [--quick] [--reps N] [--dir FOLDER] [--keep]\n");
            return false;
        }
    }
    return true;
}

std::vector<CachePlan> Specs(bool quick) {
    // Every host gets an object when there are at least as many objects as hosts, so no host folder is
    // empty; an empty one would make the scan remove it and wait a second.
    if (quick) {
        return {{"WinProxy 1k", CacheFormat::WinProxy, 1000, 200},
                {"WinProxy 5k", CacheFormat::WinProxy, 5000, 200},
                {"WinGate 5k", CacheFormat::WinGate, 5000, 200},
                {"Squid 5k", CacheFormat::Squid, 5000, 200}};
    }
    return {{"WinProxy 10k", CacheFormat::WinProxy, 10000, 200},
            {"WinProxy 100k", CacheFormat::WinProxy, 100000, 200},
            {"WinGate 100k", CacheFormat::WinGate, 100000, 200},
            {"Squid 100k", CacheFormat::Squid, 100000, 200}};
}

// The batch front end's memory is judged on a scan that selects this many objects: small ones, as only
// their number matters.
CachePlan BatchPlan(bool quick) {
    if (quick) return {"WinGate 20k", CacheFormat::WinGate, 20000, 200, 64};
    return {"WinGate 1M", CacheFormat::WinGate, 1000000, 200, 64};
}

std::string MakeWorkFolder(const Options& options) {
    if (!options.dir.empty()) {
        std::filesystem::create_directories(options.dir);
        return options.dir;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/loftwick-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    return pattern;
}

// Written pages still on their way to the disk would slow the first passes down unevenly.
void FlushWrites(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::syncfs(fd);
    ::close(fd);
}

BuiltCache Build(const CachePlan& plan, const std::string& root, size_t index) {
    BuiltCache built;
    built.plan = plan;
    builder::GeneratorOptions options;
    options.format = plan.format;
    options.out = root + "/cache" + std::to_string(index);
    options.objects = plan.objects;
    options.hosts = plan.hosts;
    options.seed = 1 + index;
    options.maxObjectSize = plan.maxObjectSize;
    builder::GeneratedCache made;
    built.buildSeconds = SecondsOf([&] { made = builder::GenerateCache(options); });
    built.dir = options.out + "/";
    built.contentBytes = made.contentBytes;
    return built;
}

ReaderCount RunReader(const BuiltCache& cache, Work work) {
    if (cache.plan.format == CacheFormat::Squid)
        return work == Work::Headers ? ReadSquidHeaders(cache.dir) : SearchSquid(cache.dir, kAbsentWord);
    const bool proxy = cache.plan.format == CacheFormat::WinProxy;
    if (work == Work::Headers) return proxy ? ReadWinProxyHeaders(cache.dir) : ReadWinGateIndex(cache.dir);
    return proxy ? SearchWinProxy(cache.dir, kAbsentWord) : SearchWinGate(cache.dir, kAbsentWord);
}

// Two figures of a metadata scan: allocations per object when nothing is selected (a URL filter no
// object passes), and the heap each kept result takes beyond its URL when every object is kept.
void MeasureObjectCosts(ScanState& state, BenchHost& host, CaseFigures& figures) {
    ScanInputs none;
    none.urlFilter = kAbsentWord;
    ProcessAllFiles(state, none, host);  // warm: buffers grown, the cache object made
    StartCountingAllocations();
    ProcessAllFiles(state, none, host);
    const uint64_t allocations = StopCountingAllocations();
    figures.allocationsPerObject =
        state.FilesTotal > 0 ? static_cast<double>(allocations) / static_cast<double>(state.FilesTotal) : 0;

    host.keep = true;
    host.Results().Clear();
    ::malloc_trim(0);
    const size_t before = ::mallinfo2().uordblks;
    ProcessAllFiles(state, ScanInputs(), host);
    const size_t after = ::mallinfo2().uordblks;
    double urlBytes = 0;
    const int64_t kept = host.Results().Count();
    for (int64_t i = 1; i <= kept; ++i)
        urlBytes += static_cast<double>(host.Results().Item(i)->ObjectName().size());
    if (kept > 0) {
        figures.keptBytesBeyondUrl =
            (static_cast<double>(after) - static_cast<double>(before) - urlBytes) / static_cast<double>(kept);
    }
    host.Results().Clear();
    host.keep = false;
}

// The body of a child: one warm-up pass of each, then `reps` timed passes, scan and reader taking turns
// at going first.
CaseFigures MeasureCase(const BuiltCache& cache, Work work, int reps) {
    CaseFigures figures;
    figures.startRssKiB = ResidentKiB();
    Program().ProxyType = cache.plan.format == CacheFormat::WinProxy ? 1
                          : cache.plan.format == CacheFormat::Squid  ? 3
                                                                     : 2;
    Program().CacheDir = cache.dir;

    BenchHost host;
    ScanState state;
    ScanInputs inputs;
    if (work == Work::Search) inputs.contentsFilter = kAbsentWord;

    std::vector<double> scanTimes, aheadTimes, readerTimes;
    auto scanWith = [&](bool readAhead, bool timed) {
        host.Results().Clear();  // the previous pass's results are not this pass's work
        Program().ReadAhead = readAhead;
        bool ok = false;
        const double s = SecondsOf([&] { ok = ProcessAllFiles(state, inputs, host); });
        figures.scanOk = (readAhead ? figures.scanOk : true) && ok;
        if (readAhead &&
            (state.FilesTotal != figures.scanTotal || state.FilesSelected != figures.scanSelected))
            figures.scanOk = false;  // reading ahead must see what one thread saw
        figures.scanTotal = state.FilesTotal;
        figures.scanSelected = state.FilesSelected;
        figures.scanSkipped = state.SwapFilesSkipped;
        if (timed) (readAhead ? aheadTimes : scanTimes).push_back(s);
    };
    auto scan = [&](bool timed) {
        scanWith(false, timed);
        scanWith(true, timed);
    };
    auto read = [&](bool timed) {
        ReaderCount count;
        const double s = SecondsOf([&] { count = RunReader(cache, work); });
        figures.readerObjects = static_cast<long long>(count.objects);
        figures.readerHits = static_cast<long long>(count.hits);
        if (timed) readerTimes.push_back(s);
    };

    scan(false);
    read(false);
    for (int r = 0; r < reps; ++r) {
        if (r % 2 == 0) {
            scan(true);
            read(true);
        } else {
            read(true);
            scan(true);
        }
    }
    figures.scanSeconds = Median(scanTimes);
    figures.readAheadSeconds = Median(aheadTimes);
    figures.readerSeconds = Median(readerTimes);
    // The costs per object are those of one thread: reading ahead adds its window's buffers.
    Program().ReadAhead = false;
    if (work == Work::Headers) MeasureObjectCosts(state, host, figures);
    // The high-water mark is kept lazily by the kernel; the present figure may be the fresher one.
    figures.peakRssKiB = std::max<long long>(PeakResidentKiB(), ResidentKiB());
    return figures;
}

std::string Today() {
    const std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&now));
    return text;
}

std::string CpuModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            if (colon != std::string::npos) return line.substr(line.find_first_not_of(' ', colon + 1));
        }
    }
    return "unknown CPU";
}

double MiB(long long kib) { return static_cast<double>(kib) / 1024.0; }

struct Verdict {
    bool sound = true;       // the scan ran to its end and saw what the reader saw
    bool targetsMet = true;  // ratio and memory
};

// Prints one table row.
Verdict Report(const BuiltCache& cache, Work work, const CaseFigures& f) {
    const double objects = static_cast<double>(cache.plan.objects);
    const double mb = static_cast<double>(cache.contentBytes) / 1e6;
    const double ratio = f.scanSeconds > 0 ? f.readerSeconds / f.scanSeconds : 0;
    const double aheadRatio = f.readAheadSeconds > 0 ? f.readerSeconds / f.readAheadSeconds : 0;
    const long long limitKiB = kRssAllowanceKiB + f.scanSelected;
    const bool ratioMet = ratio >= 0.7;
    const bool rssMet = f.peakRssKiB < limitKiB;
    std::printf(
        "| %-13s | %-9s | %8.0f | %7.0f | %8.0f | %7.0f | %5.2f%s | %8.0f | %5.2f | %6.1f | %6.1f | %6.1f%s "
        "|\n",
        cache.plan.label.c_str(), work == Work::Headers ? "no filter" : "contents", objects / f.scanSeconds,
        mb / f.scanSeconds, objects / f.readerSeconds, mb / f.readerSeconds, ratio, ratioMet ? "" : " (!)",
        objects / f.readAheadSeconds, aheadRatio, MiB(f.peakRssKiB), MiB(f.peakRssKiB - f.startRssKiB),
        MiB(limitKiB), rssMet ? "" : " (!)");

    // The two must have seen the same cache, or the comparison means nothing.
    // Squid's Vary markers are files the reader opens too, but no objects the scan lists.
    const long long wantSelected = work == Work::Headers ? f.scanTotal - f.scanSkipped : 0;
    if (!f.scanOk || f.scanTotal != f.readerObjects || f.scanSelected != wantSelected ||
        (work == Work::Search && f.readerHits != 0)) {
        std::printf("|   warning: scan %s, %lld of %lld selected; reader saw %lld objects, %lld hits |\n",
                    f.scanOk ? "OK" : "not OK", f.scanSelected, f.scanTotal, f.readerObjects, f.readerHits);
        return {false, false};
    }
    return {true, ratioMet && rssMet};
}

// A stream that only counts what it is given.
class CountingBuffer final : public std::streambuf {
  public:
    long long count = 0;

  protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) ++count;
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
        count += n;
        return n;
    }
};

// loftwick-scan selecting every object of a big cache, once per output format, each in its own child:
// its peak memory must stay flat whatever the number of objects.
bool RunBatchCases(const Options& options, const std::string& root, size_t index, bool& allSound) {
    const BuiltCache cache = Build(BatchPlan(options.quick), root, index);
    std::printf("\nbuilt %s: %llu objects of at most %llu bytes, %.1f s\n", cache.plan.label.c_str(),
                static_cast<unsigned long long>(cache.plan.objects),
                static_cast<unsigned long long>(cache.plan.maxObjectSize), cache.buildSeconds);
    FlushWrites(root);
    ::malloc_trim(0);
    std::printf("\n| loftwick-scan, every object selected | format | seconds | output MB | peak RSS MiB |\n");
    std::printf("|---|---|--:|--:|--:|\n");
    bool met = true;
    for (const char* format : {"text", "csv", "json"}) {
        const auto figures = RunInChild([&] {
            CaseFigures f;
            f.startRssKiB = ResidentKiB();
            cli::ScanFlags flags;
            flags.proxy = "wingate";
            flags.cache = cache.dir;
            flags.format = format;
            CountingBuffer outBuffer, errBuffer;
            std::ostream out(&outBuffer), err(&errBuffer);
            int status = 0;
            f.scanSeconds =
                SecondsOf([&] { status = cli::RunBatchScan(flags, root + "/loftwick-scan", out, err); });
            f.scanOk = status == cli::kExitOk;
            f.scanSelected = outBuffer.count;  // bytes written
            f.peakRssKiB = std::max<long long>(PeakResidentKiB(), ResidentKiB());
            return f;
        });
        if (!figures || !figures->scanOk) {
            std::printf("| %s | %s | the run failed |\n", cache.plan.label.c_str(), format);
            allSound = met = false;
            continue;
        }
        const bool rssMet = figures->peakRssKiB < kRssAllowanceKiB;
        met = met && rssMet;
        std::printf("| %s | %-4s | %6.1f | %6.0f | %5.1f%s |\n", cache.plan.label.c_str(), format,
                    figures->scanSeconds, static_cast<double>(figures->scanSelected) / 1e6,
                    MiB(figures->peakRssKiB), rssMet ? "" : " (!)");
        std::fflush(stdout);
    }
    std::printf("(target: peak RSS < 64 MiB)\n");
    return met;
}

// The window, offscreen: the first result line after "Go!" on the demo cache, and the longest the event
// loop waited during a scan of the biggest WinProxy cache.
bool RunWindowCase(const std::string& root, const std::vector<BuiltCache>& caches, bool& allSound) {
    const BuiltCache* big = nullptr;
    for (const BuiltCache& c : caches) {
        if (c.plan.format == CacheFormat::WinProxy && (!big || c.plan.objects > big->plan.objects)) big = &c;
    }
    if (!big) return true;
    const builder::DemoCaches demo = builder::BuildDemoCaches(root + "/demo", std::time(nullptr));
    FlushWrites(root);
    const auto figures = RunInChild([&] { return MeasureWindow(demo.winProxyDir, big->dir); });
    std::printf("\n| window (offscreen) | figure | target |\n|---|--:|--:|\n");
    if (!figures || figures->firstLineMs < 0) {
        std::printf("| the window case failed | | |\n");
        allSound = false;
        return false;
    }
    const bool firstMet = figures->firstLineMs <= kFirstLineAllowanceMs;
    const bool starvedMet = figures->starvedMs <= kStarvationAllowanceMs;
    std::printf("| first result line after \"Go!\", demo cache, ms | %.1f%s | <= %.0f |\n",
                figures->firstLineMs, firstMet ? "" : " (!)", kFirstLineAllowanceMs);
    std::printf("| longest wait of the event loop, %s scan, ms | %.1f%s | <= %.0f |\n",
                big->plan.label.c_str(), figures->starvedMs, starvedMet ? "" : " (!)",
                kStarvationAllowanceMs);
    std::fflush(stdout);
    return firstMet && starvedMet;
}

int Run(const Options& options) {
    const std::string root = MakeWorkFolder(options);
    Program().AppParentDir = root + "/";  // a log, should the scan report anything, stays in there

    std::printf("scan_bench %s: %s, %u cores, %s; %d timed passes (median), page cache warm\n",
                options.quick ? "--quick" : "(full)", Today().c_str(), std::thread::hardware_concurrency(),
                CpuModel().c_str(), options.reps);
    std::vector<BuiltCache> caches;
    for (const CachePlan& plan : Specs(options.quick)) {
        caches.push_back(Build(plan, root, caches.size()));
        const BuiltCache& c = caches.back();
        std::printf("built %-13s: %llu objects over %u hosts, %.0f MB of content, %.1f s\n",
                    plan.label.c_str(), static_cast<unsigned long long>(plan.objects), plan.hosts,
                    static_cast<double>(c.contentBytes) / 1e6, c.buildSeconds);
        std::fflush(stdout);
    }
    FlushWrites(root);
    // The builder's freed buffers would otherwise stay resident and be inherited by every case, hiding
    // the growth of the scans that reuse them.
    ::malloc_trim(0);

    std::printf(
        "\n| cache         | scan      | scan obj/s | scan MB/s | reader obj/s | reader MB/s | ratio | "
        "read-ahead obj/s | read-ahead ratio | peak RSS MiB | RSS growth MiB | RSS limit MiB |\n");
    std::printf("|---|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
    bool allMet = true;
    bool allSound = true;
    std::vector<std::pair<std::string, CaseFigures>> metadata;
    for (const BuiltCache& cache : caches) {
        for (const Work work : {Work::Headers, Work::Search}) {
            const auto figures = RunInChild([&] { return MeasureCase(cache, work, options.reps); });
            if (!figures) {
                std::printf("| %-13s | %-9s | the case failed |\n", cache.plan.label.c_str(),
                            work == Work::Headers ? "no filter" : "contents");
                allSound = allMet = false;
                continue;
            }
            const Verdict verdict = Report(cache, work, *figures);
            allSound = allSound && verdict.sound;
            allMet = allMet && verdict.targetsMet;
            if (work == Work::Headers) metadata.emplace_back(cache.plan.label, *figures);
            std::fflush(stdout);
        }
    }
    std::printf(
        "\nratio = scan throughput / minimal reader throughput (target >= 0.7), on one thread; read-ahead:\n"
        "the same scan reading ahead on a second thread (%zu objects or %llu MiB); MB = 10^6 content "
        "bytes;\n",
        ReadAhead::kWindowObjects, static_cast<unsigned long long>(ReadAhead::kWindowBytes >> 20));
    std::printf("peak RSS of the child that ran the case (target < 64 MiB + 1 KiB per kept result).\n");

    std::printf(
        "\n| cache | allocations per object, nothing selected | heap per kept result beyond its URL, bytes "
        "|\n");
    std::printf("|---|--:|--:|\n");
    for (const auto& [label, f] : metadata) {
        const bool keptMet = f.keptBytesBeyondUrl <= kKeptBytesAllowance;
        allMet = allMet && keptMet;
        std::printf("| %-13s | %6.3f | %5.0f%s |\n", label.c_str(), f.allocationsPerObject,
                    f.keptBytesBeyondUrl, keptMet ? "" : " (!)");
    }
    std::printf("(target: at most %.0f bytes per kept result beyond its URL)\n", kKeptBytesAllowance);
    std::fflush(stdout);

    allMet = RunBatchCases(options, root, caches.size() + 1, allSound) && allMet;
    allMet = RunWindowCase(root, caches, allSound) && allMet;

    std::printf("\n%s\n", allMet ? "All targets met." : "Some targets missed (marked (!)).");

    if (options.keep) {
        std::printf("caches kept in %s\n", root.c_str());
    } else {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    // Missed targets are figures to read, not a broken build; only a case that went wrong fails the run.
    return allSound ? 0 : 1;
}

}  // namespace
}  // namespace loftwick::bench

int main(int argc, char** argv) {
    loftwick::bench::Options options;
    if (!loftwick::bench::ParseOptions(argc, argv, options)) return 2;
    try {
        return loftwick::bench::Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "scan_bench: %s\n", e.what());
        return 1;
    }
}
