// The hostile caches that are made by cutting one good file at every byte: a WinProxy file within and
// just after its header block, the last record of a WinGate index, and a Squid swap file; the other
// hostile caches are golden cases (golden/).
#include <gtest/gtest.h>

#include "cachebuilder/SquidBuilder.h"
#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ScanTestSupport.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"

namespace loftwick {
namespace {

using builder::Content;
using builder::HttpDate;

constexpr int64_t kNow = 1733479200;  // the fixture's clock: 2024-12-06 10:00:00 UTC
constexpr int64_t kDay = 86400;
constexpr const char* kYesterday = "2024-12-05 10:00:00";
constexpr const char* kNoDate = "00:00:00";

std::string Line(const std::string& url, const std::string& date, size_t length) {
    return "1 " + url + " : " + date + " : " + std::to_string(length);
}

builder::WinGateRecord Record(const std::string& url, const std::string& base) {
    builder::WinGateRecord r;
    r.url = url;
    r.baseName = base;
    r.retrieved = static_cast<uint32_t>(kNow - kDay);
    r.contentType = "text/html";
    r.contentLength = 4;
    return r;
}

// One good file of each format cut after every byte, each cut with the list it must give.
struct CutFile {
    int32_t proxyType;
    size_t size;  // the cuts go from 0 to this
    // Writes the cache with the file cut there; returns a file that must be left, or "".
    std::function<std::string(const std::string&, size_t)> build;
    std::function<std::vector<std::string>(size_t)> list;
};

using CutAtEveryByte = test::ProgramFixture;

TEST_F(CutAtEveryByte, EachFormatListsWhatIsThere) {
    const std::string deleted = "OK! 1 of 1 files selected, 1 files deleted, 0 seconds";
    // WinProxy: nothing is read from fewer than 20 bytes; a line counts once its line break is there; the
    // content starts after the block only when the whole block is there.
    builder::WinProxyObject page;
    page.host = "t.example";
    page.url = "http://t.example/page";
    page.Header("Date", HttpDate(kNow - kDay)).Header("Content-Type", "text/html");
    const std::string block = builder::HeaderBlock(page), file = block + "BODY";
    const size_t urlEnd = builder::kLeadInSize + page.url.size(),
                 dateEnd = file.find('\r', file.find("Date:"));
    // WinGate: a record cut short is no record: the one before it is deleted, its content file stays.
    const std::string second = builder::EncodeRecord(Record("b.example/cut", "bb"));
    // Squid: within the metadata the file is skipped; after it the object is listed with the bytes there
    // are, its date from the metadata until the Date line is whole.
    builder::SquidObject swap;
    swap.url = "http://s.example/page";
    swap.Header("Date", HttpDate(kNow - kDay))
        .Header("Content-Type", "text/html")
        .Header("Content-Length", "4");
    swap.timestamp = swap.lastReference = kNow - kDay;
    swap.content = Content::Bytes("BODY");
    const std::string meta = builder::SwapMetadataOf(swap), head = builder::ReplyHeadOf(swap);
    const std::string swapFile = meta + head + "BODY";
    const CutFile files[] = {
        {1, block.size() + 1,
         [&](const std::string& cache, size_t cut) {
             builder::WinProxyObject o = page;
             o.rawFile = file.substr(0, cut);
             builder::WinProxyCache(cache).Add(o);
             return "";
         },
         [&](size_t cut) {
             return std::vector<std::string>{Line(cut >= 20 && cut > urlEnd ? page.url : "",
                                                  cut >= 20 && cut > dateEnd ? kYesterday : kNoDate,
                                                  cut >= block.size() ? cut - block.size() : cut),
                                             deleted};
         }},
        {2, second.size() - 1,
         [&](const std::string& cache, size_t cut) {
             builder::WinGateCache index(cache);
             builder::WinGateContent body{Content::Bytes("BODY"), false, {}};
             index.Add(Record("a.example/whole", "aa"), body);
             builder::WinGateRecord r = Record("b.example/cut", "bb");
             r.cutAfter = cut;
             index.Add(r, body);
             return "bb.wgc";
         },
         [&](size_t) {
             return std::vector<std::string>{Line("http://a.example/whole", kYesterday, 4), deleted};
         }},
        {3, swapFile.size(),
         [&](const std::string& cache, size_t cut) {
             builder::SquidObject o = swap;
             o.rawFile = swapFile.substr(0, cut);
             builder::SquidCache(cache, 1, 2).Add(o);
             return cut < meta.size() ? "00/00/00000000" : "";
         },
         [&](size_t cut) {
             if (cut < meta.size())
                 return std::vector<std::string>{"OK! 0 of 1 files selected, 1 files skipped, 0 seconds"};
             const size_t reply = cut - meta.size();
             return std::vector<std::string>{
                 Line(swap.url, kYesterday, reply >= head.size() ? reply - head.size() : reply),
                 "No Squid is running for this cache: removed 1 swap files and 1 swap.state files; Squid "
                 "rebuilds its index on its next start",
                 deleted};
         }},
    };
    // Each cut scanned below a fresh folder, deleting what it selects.
    for (const CutFile& f : files) {
        for (size_t cut = 0; cut <= f.size; ++cut) {
            SCOPED_TRACE("format " + std::to_string(f.proxyType) + " cut after " + std::to_string(cut) +
                         " bytes");
            test::TempDir dir;
            const std::string unselected = f.build(dir / "cache/", cut);
            Program().ProxyType = f.proxyType;
            Program().CacheDir = dir / "cache/";
            test::ScriptedDesktop desktop;
            Platform().desktop = &desktop;
            ScanInputs inputs;
            inputs.deleteOld = 1;
            test::RecordingScanHost host;
            ScanState state;
            ProcessAllFiles(state, inputs, host);
            Platform().desktop = nullptr;
            EXPECT_TRUE(desktop.messages.empty()) << desktop.messages.front().text;
            EXPECT_TRUE(unselected.empty() || dir.Exists("cache/" + unselected)) << unselected;
            EXPECT_EQ(host.lines, f.list(cut));
        }
    }
}

}  // namespace
}  // namespace loftwick
