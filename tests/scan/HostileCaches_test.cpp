// The hostile caches that are made by cutting one good file at every byte: a WinProxy file within and
// just after its header block, the last record of a WinGate index, and a Squid swap file. Each cut has
// the list it must give; the other hostile caches are golden cases (golden/).
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

class CutAtEveryByte : public test::ProgramFixture {
  protected:
    // Scans the cache `build` writes below a fresh folder, deleting what it selects, and returns the list;
    // `unselected` is a file below the cache that must be left.
    std::vector<std::string> Scan(int32_t proxyType, const std::function<void(const std::string&)>& build,
                                  const std::string& unselected = "") {
        test::TempDir dir;
        build(dir / "cache/");
        Program().ProxyType = proxyType;
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
        return host.lines;
    }
};

// Nothing is read from fewer than 20 bytes; a line counts once its line break is there; the content
// starts after the block only when the whole block is there.
TEST_F(CutAtEveryByte, WinProxyFileCutWithinItsHeaderBlock) {
    builder::WinProxyObject page;
    page.host = "t.example";
    page.url = "http://t.example/page";
    page.Header("Date", HttpDate(kNow - kDay)).Header("Content-Type", "text/html");
    const std::string head = builder::HeaderBlock(page), whole = head + "BODY";
    const size_t urlEnd = builder::kLeadInSize + page.url.size();
    const size_t dateEnd = whole.find('\r', whole.find("Date:"));
    for (size_t cut = 0; cut <= head.size() + 1; ++cut) {
        SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes");
        const std::string url = cut >= 20 && cut > urlEnd ? page.url : "";
        const std::string date = cut >= 20 && cut > dateEnd ? kYesterday : kNoDate;
        const size_t length = cut >= head.size() ? cut - head.size() : cut;
        EXPECT_EQ(Scan(1,
                       [&](const std::string& cache) {
                           builder::WinProxyObject o = page;
                           o.rawFile = whole.substr(0, cut);
                           builder::WinProxyCache(cache).Add(o);
                       }),
                  (std::vector<std::string>{Line(url, date, length),
                                            "OK! 1 of 1 files selected, 1 files deleted, 0 seconds"}));
    }
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

// A record cut short is no record: the one before it is deleted, its content file stays.
TEST_F(CutAtEveryByte, WinGateIndexCutWithinItsLastRecord) {
    const std::string second = builder::EncodeRecord(Record("b.example/cut", "bb"));
    for (size_t cut = 0; cut < second.size(); ++cut) {
        SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes");
        EXPECT_EQ(Scan(
                      2,
                      [&](const std::string& cache) {
                          builder::WinGateCache index(cache);
                          builder::WinGateContent body{Content::Bytes("BODY"), false, {}};
                          index.Add(Record("a.example/whole", "aa"), body);
                          builder::WinGateRecord r = Record("b.example/cut", "bb");
                          r.cutAfter = cut;
                          index.Add(r, body);
                      },
                      "bb.wgc"),
                  (std::vector<std::string>{Line("http://a.example/whole", kYesterday, 4),
                                            "OK! 1 of 1 files selected, 1 files deleted, 0 seconds"}));
    }
}

// Within the metadata the file is skipped; after it the object is listed with the bytes there are, its
// date from the metadata until the Date line is whole.
TEST_F(CutAtEveryByte, SquidSwapFileCutAnywhere) {
    builder::SquidObject page;
    page.url = "http://s.example/page";
    page.Header("Date", HttpDate(kNow - kDay))
        .Header("Content-Type", "text/html")
        .Header("Content-Length", "4");
    page.timestamp = page.lastReference = kNow - kDay;
    page.content = Content::Bytes("BODY");
    const std::string meta = builder::SwapMetadataOf(page), head = builder::ReplyHeadOf(page);
    const std::string whole = meta + head + "BODY";
    const std::string removed =
        "No Squid is running for this cache: removed 1 swap files and 1 swap.state files; Squid rebuilds "
        "its index on its next start";
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes");
        const size_t reply = cut < meta.size() ? 0 : cut - meta.size();
        const std::vector<std::string> expected =
            cut < meta.size()
                ? std::vector<std::string>{"OK! 0 of 1 files selected, 1 files skipped, 0 seconds"}
                : std::vector<std::string>{
                      Line(page.url, kYesterday, reply >= head.size() ? reply - head.size() : reply), removed,
                      "OK! 1 of 1 files selected, 1 files deleted, 0 seconds"};
        EXPECT_EQ(Scan(
                      3,
                      [&](const std::string& cache) {
                          builder::SquidObject o = page;
                          o.rawFile = whole.substr(0, cut);
                          builder::SquidCache(cache, 1, 2).Add(o);
                      },
                      cut < meta.size() ? "00/00/00000000" : ""),
                  expected);
    }
}

}  // namespace
}  // namespace loftwick
