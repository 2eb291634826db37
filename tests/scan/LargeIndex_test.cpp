// A WinGate index of a million records (about 45 MB): the scan reads it to the end and its memory stays
// flat, because a record that is not selected leaves nothing behind. Built cheaply: one encoded record
// is copied a million times with its number patched in, and all records share four content files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cachebuilder/WinGateBuilder.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ScanTestSupport.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

constexpr int kRecords = 1000000;
constexpr int kEverySelected = 100000;  // every 100,000th record matches the URL filter
constexpr int64_t kNow = 1733479200;

int64_t PeakRssKilobytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The index, written in pieces of about a megabyte; returns its size.
uint64_t BuildIndex(builder::WinGateCache& cache) {
    builder::WinGateRecord record;
    record.url = "h.example/0000000";
    record.baseName = "c0";
    record.retrieved = static_cast<uint32_t>(kNow - 86400);
    record.contentType = "text/html";
    record.contentLength = 4;
    const std::string model = builder::EncodeRecord(record);
    const size_t digits = model.find("0000000");
    const size_t base = model.find("c0") + 1;
    for (int i = 0; i < 4; ++i) {
        builder::WinGateContent content;
        content.content = builder::Content::Bytes("BODY");
        record.baseName = "c" + std::to_string(i);
        record.url = "unused";
        builder::WriteObjectFile(cache.ContentPath(record.baseName), {}, content.content);
    }
    std::string piece;
    for (int i = 0; i < kRecords; ++i) {
        std::string one = model;
        const std::string number = std::to_string(i);
        one.replace(digits + 7 - number.size(), number.size(), number);
        one[base] = static_cast<char>('0' + i % 4);
        if (i % kEverySelected == 0) one[digits - 10] = 's';  // "s.example/..."
        piece += one;
        if (piece.size() > (1 << 20)) {
            cache.AppendRaw(piece);
            piece.clear();
        }
    }
    cache.AppendRaw(piece);
    return static_cast<uint64_t>(model.size()) * kRecords;
}

// Builds the index, scans it and ends the process: exit status 0 when the summary is right and the peak
// resident size grew by less than 32 MB during the scan (a million records kept would take hundreds).
[[noreturn]] void ScanAndExit() {
    test::TempDir dir;
    builder::WinGateCache cache(dir / "cache/");
    if (BuildIndex(cache) < (40u << 20)) std::_Exit(2);
    test::ScriptedDesktop desktop;
    Platform().desktop = &desktop;
    Program().ProxyType = 2;
    Program().CacheDir = cache.CacheDir();
    ScanInputs inputs;
    inputs.urlFilter = "s.example";
    test::RecordingScanHost host;
    ScanState state;

    const int64_t before = PeakRssKilobytes();
    const bool ok = ProcessAllFiles(state, inputs, host);
    const int64_t growth = PeakRssKilobytes() - before;

    std::fprintf(stderr, "summary: %s\npeak RSS growth: %lld KB\n", host.Summary().c_str(),
                 static_cast<long long>(growth));
    const bool right =
        ok && host.Summary() == "OK! 10 of 1000000 files selected, 0 seconds" && desktop.messages.empty();
    std::_Exit(right && growth < 32 * 1024 ? 0 : 1);
}

class LargeIndex : public test::ProgramFixture {};

// Run in a process of its own, started afresh: AddressSanitizer keeps freed blocks in a quarantine of up
// to 256 MB before reusing them, so in the test process any long run grows by that much however little
// it keeps. The child runs with the quarantine off and shows only what the scan itself keeps.
TEST_F(LargeIndex, MillionRecordsAreAllExaminedWithFlatMemory) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string options = Environ("ASAN_OPTIONS");
    test::ScopedEnv asan("ASAN_OPTIONS", (options.empty() ? "" : options + ":") + "quarantine_size_mb=0");
    EXPECT_EXIT(ScanAndExit(), ::testing::ExitedWithCode(0), "peak RSS growth");
}

}  // namespace
}  // namespace loftwick
