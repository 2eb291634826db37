// A corpus of hostile caches, each with the outcome it must have: files cut short at every boundary of
// their header block, header lines of 100 KB, NULs everywhere, index runs of zero length bytes, records
// cut at every byte, base names that try to leave the cache, host folders that are links to elsewhere,
// and folders that cannot be read; Squid swap files cut at every byte, lengths that run past the file or
// the metadata, no URL, internal objects, and deletions with and without a running Squid. One test body
// runs them all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>

#include "cachebuilder/SquidBuilder.h"
#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "scan/ProcessAllFiles.h"
#include "scan/ScanTestSupport.h"
#include "support/FaultFileSystem.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basErrorHandler.h"

namespace loftwick {
namespace {

namespace fs = std::filesystem;
using builder::Content;
using builder::HttpDate;
using builder::SquidCache;
using builder::SquidObject;
using builder::WinGateCache;
using builder::WinGateContent;
using builder::WinGateRecord;
using builder::WinProxyCache;
using builder::WinProxyObject;

constexpr int64_t kNow = 1733479200;  // the fixture's clock: 2024-12-06 10:00:00 UTC
constexpr int64_t kDay = 86400;
constexpr const char* kYesterday = "2024-12-05 10:00:00";
constexpr const char* kNoDate = "00:00:00";

struct HostileCase {
    std::string name;
    int32_t proxyType = 1;
    // Writes the cache below root + "/cache/" and anything else below root.
    std::function<void(const std::string& root)> build;
    std::function<void(ScanInputs&)> options = [](ScanInputs&) {};
    // Faults for the scan, given the root.
    std::function<void(test::FaultFileSystem&, const std::string& root)> faults;
    std::vector<std::string> lines;      // every line of the list, in order
    std::vector<std::string> survivors;  // paths below root that must still exist afterwards
    std::vector<std::string> messages;   // texts each message box begins with, in order ("*" any report)
    // Squid: whether one runs, what each URL's PURGE is answered, and the PURGE requests expected
    // ("url" then its header lines, joined by " | ").
    bool squidRunning = false;
    std::map<std::string, int> purgeAnswers;
    std::vector<std::string> purges;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

WinProxyObject Page(const std::string& host, const std::string& path, const std::string& body = "BODY") {
    WinProxyObject o;
    o.host = host;
    o.url = "http://" + host + path;
    o.Header("Date", HttpDate(kNow - kDay)).Header("Content-Type", "text/html");
    o.content = Content::Bytes(body);
    return o;
}

WinGateRecord Record(const std::string& url, const std::string& base) {
    WinGateRecord r;
    r.url = url;
    r.baseName = base;
    r.retrieved = static_cast<uint32_t>(kNow - kDay);
    r.contentType = "text/html";
    r.contentLength = 4;
    return r;
}

WinGateContent Body(const std::string& bytes = "BODY") {
    WinGateContent c;
    c.content = Content::Bytes(bytes);
    return c;
}

std::string Line(int n, const std::string& url, const std::string& date, int64_t length) {
    return std::to_string(n) + " " + url + " : " + date + " : " + std::to_string(length);
}

std::string Ok(int selected, int total, const std::string& more = "") {
    return "OK! " + std::to_string(selected) + " of " + std::to_string(total) + " files selected" + more +
           ", 0 seconds";
}

std::string NotFound(int n) {
    return "Warning! " + std::to_string(n) +
           " files were not found in cache. Maybe your proxy's cache index needs to be rebuilt.";
}

// A WinProxy file cut after every byte of its header block, and the first content byte.
void TruncatedFiles(std::vector<HostileCase>& cases) {
    const WinProxyObject page = Page("t.example", "/page");
    const std::string whole = builder::HeaderBlock(page) + "BODY";
    const size_t headerLength = builder::HeaderBlock(page).size();
    const size_t urlEnd = builder::kLeadInSize + page.url.size();  // the CR after the URL
    const size_t dateEnd = whole.find('\r', whole.find("Date:"));
    for (size_t cut = 0; cut <= headerLength + 1; ++cut) {
        HostileCase c;
        c.name = "WinProxyFileCutAfter" + std::to_string(cut) + "Bytes";
        c.build = [=](const std::string& root) {
            WinProxyObject o = page;
            o.rawFile = whole.substr(0, cut);
            WinProxyCache(root + "/cache/").Add(o);
        };
        // Nothing is read from fewer than 20 bytes; a line counts once its line break is there; the
        // content starts after the block only when the whole block is there.
        const bool parsed = cut >= 20;
        const std::string url = parsed && cut > urlEnd ? page.url : "";
        const std::string date = parsed && cut > dateEnd ? kYesterday : kNoDate;
        const int64_t length = static_cast<int64_t>(cut >= headerLength ? cut - headerLength : cut);
        c.lines = {Line(1, url, date, length), Ok(1, 1)};
        cases.push_back(c);
    }
}

void OddWinProxyFiles(std::vector<HostileCase>& cases) {
    {
        // Only the first 10,000 bytes are examined: the Date before the long line counts, the type after
        // it does not, and the block never ends, so the whole file is content.
        WinProxyObject o = Page("huge.example", "/h");
        o.headerLines = {"Date: " + HttpDate(kNow - kDay), "X-Filler: " + std::string(100 * 1024, 'x'),
                         "Content-Type: text/html"};
        const int64_t size = static_cast<int64_t>(builder::HeaderBlock(o).size() + 4);
        HostileCase c;
        c.name = "HeaderLineOf100KB";
        c.build = [o](const std::string& root) { WinProxyCache(root + "/cache/").Add(o); };
        c.lines = {Line(1, o.url, kYesterday, size), Ok(1, 1)};
        cases.push_back(c);
        HostileCase typed = c;
        typed.name = "HeaderLineOf100KBHidesTheTypeFromTheFilter";
        typed.options = [](ScanInputs& in) { in.contentTypeFilter = "html"; };
        typed.lines = {Ok(0, 1)};
        cases.push_back(typed);
    }
    {
        HostileCase c;
        c.name = "FileOfNulsOnly";
        c.build = [](const std::string& root) {
            WinProxyObject o = Page("nul.example", "/n");
            o.rawFile = std::string(5000, '\0');
            WinProxyCache(root + "/cache/").Add(o);
        };
        c.lines = {Line(1, "", kNoDate, 5000), Ok(1, 1)};
        cases.push_back(c);
    }
    {
        // NUL ends a line but never the block: the lines are read, the whole file is content.
        WinProxyObject o = Page("nulbreaks.example", "/n");
        o.lineBreak = builder::LineBreak::Nul;
        const int64_t size = static_cast<int64_t>(builder::HeaderBlock(o).size() + 4);
        HostileCase c;
        c.name = "NulLineBreaks";
        c.build = [o](const std::string& root) { WinProxyCache(root + "/cache/").Add(o); };
        c.lines = {Line(1, o.url, kYesterday, size), Ok(1, 1)};
        cases.push_back(c);
    }
    {
        // A FIFO is no cache object, and a folder holding only one is not empty: it cannot be removed.
        HostileCase c;
        c.name = "HostFolderHoldingOnlyAFifo";
        c.build = [](const std::string& root) {
            fs::create_directories(root + "/cache/fifo.example");
            ASSERT_EQ(mkfifo((root + "/cache/fifo.example/pipe").c_str(), 0600), 0);
        };
        c.options = [](ScanInputs& in) { in.deleteOld = 1; };
        c.lines = {"Deleting dir: <cache>/fifo.example/",
                   "Ended with error(s). 0 of 0 files selected, 0 seconds"};
        c.survivors = {"cache/fifo.example/pipe"};
        c.messages = {"*"};
        cases.push_back(c);
    }
}

void ZeroRunsAndCutRecords(std::vector<HostileCase>& cases) {
    {
        HostileCase c;
        c.name = "ZeroLengthBytesBeforeEveryTextField";
        c.proxyType = 2;
        c.build = [](const std::string& root) {
            WinGateRecord r = Record("z.example/zeros", "zz");
            r.ZerosBefore(1, 300).ZerosBefore(2, 7).ZerosBefore(5, 255);
            WinGateCache(root + "/cache/").Add(r, Body());
        };
        c.lines = {Line(1, "http://z.example/zeros", kYesterday, 4), Ok(1, 1)};
        cases.push_back(c);
    }
    {
        // A run longer than the record buffer swallows the record after it: the buffer holds only zeros,
        // so the record binds nothing; the overflow and the unreadable record are both reported.
        HostileCase c;
        c.name = "ZeroRunLongerThanTheBufferBeforeARecord";
        c.proxyType = 2;
        c.build = [](const std::string& root) {
            WinGateCache cache(root + "/cache/");
            cache.Add(Record("a.example/first", "aa"), Body());
            cache.AppendRaw(std::string(10000, '\0'));
            cache.Add(Record("b.example/swallowed", "bb"), Body());
        };
        // The second report is an error of the run: the summary cannot say "OK!".
        c.lines = {Line(1, "http://a.example/first", kYesterday, 4), NotFound(1),
                   "Ended with error(s). 1 of 2 files selected, 0 seconds"};
        c.survivors = {"cache/bb.wgc"};
        c.messages = {"Too long cache object (>8192 bytes)", "*"};
        cases.push_back(c);
    }
    {
        HostileCase c;
        c.name = "ZeroRunAtTheEndOfTheIndex";
        c.proxyType = 2;
        c.build = [](const std::string& root) {
            WinGateCache cache(root + "/cache/");
            cache.Add(Record("a.example/first", "aa"), Body());
            cache.AppendRaw(std::string(30000, '\0'));
        };
        c.lines = {Line(1, "http://a.example/first", kYesterday, 4), Ok(1, 1)};
        c.messages = {"Too long cache object (>8192 bytes)"};
        cases.push_back(c);
    }
    const std::string second = builder::EncodeRecord(Record("b.example/cut", "bb"));
    for (size_t cut = 0; cut < second.size(); ++cut) {
        HostileCase c;
        c.name = "IndexCutAfter" + std::to_string(cut) + "BytesOfItsLastRecord";
        c.proxyType = 2;
        c.build = [cut](const std::string& root) {
            WinGateCache cache(root + "/cache/");
            cache.Add(Record("a.example/whole", "aa"), Body());
            WinGateRecord r = Record("b.example/cut", "bb");
            r.cutAfter = cut;
            cache.Add(r, Body());
        };
        c.options = [](ScanInputs& in) { in.deleteOld = 1; };
        c.lines = {Line(1, "http://a.example/whole", kYesterday, 4), Ok(1, 1, ", 1 files deleted")};
        c.survivors = {"cache/bb.wgc"};
        cases.push_back(c);
    }
}

void EscapesFromTheCache(std::vector<HostileCase>& cases) {
    {
        // Names that would reach outside the cache folder, or below it, bind nothing, even with Delete on.
        HostileCase c;
        c.name = "BaseNamesWithSeparatorsAndDots";
        c.proxyType = 2;
        c.build = [](const std::string& root) {
            builder::WriteObjectFile(root + "/outside/precious.wgc", {}, Content::Bytes("precious"));
            builder::WriteObjectFile(root + "/cache/sub/x.wgc", {}, Content::Bytes("below"));
            builder::WriteObjectFile(root + "/cache/...wgc", {}, Content::Bytes("dots"));
            WinGateCache cache(root + "/cache/");
            const std::vector<std::string> bases = {
                "../outside/precious",     "sub/x", "..", ".", "sub\\x", std::string("x\0y", 3),
                root + "/outside/precious"};
            for (const std::string& base : bases) {
                cache.Add(Record("evil.example/" + std::to_string(base.size()), base), Body());
            }
        };
        c.options = [](ScanInputs& in) { in.deleteOld = 1; };
        c.lines = {NotFound(7), Ok(0, 7)};
        c.survivors = {"outside/precious.wgc", "cache/sub/x.wgc", "cache/...wgc"};
        cases.push_back(c);
    }
    {
        HostileCase c;
        c.name = "ContentFileThatIsALinkOutside";
        c.proxyType = 2;
        c.build = [](const std::string& root) {
            builder::WriteObjectFile(root + "/outside/precious", {}, Content::Bytes("precious"));
            WinGateCache cache(root + "/cache/");
            cache.Add(Record("l.example/linked", "linked"), Body());
            fs::remove(root + "/cache/linked.wgc");
            fs::create_symlink(root + "/outside/precious", root + "/cache/linked.wgc");
        };
        c.options = [](ScanInputs& in) { in.deleteOld = 1; };
        c.lines = {NotFound(1), Ok(0, 1)};
        c.survivors = {"outside/precious", "cache/linked.wgc"};
        cases.push_back(c);
    }
    {
        // Links to folders elsewhere are never walked: not the one holding what looks like cache objects,
        // not the empty one (which is no empty host folder to remove), not a link to a file.
        HostileCase c;
        c.name = "HostFoldersThatAreLinksOutside";
        c.build = [](const std::string& root) {
            WinProxyCache(root + "/outside/full/").Add(Page("x", "/looks-like-an-object"));
            fs::create_directories(root + "/outside/empty");
            WinProxyCache cache(root + "/cache/");
            cache.Add(Page("real.example", "/page"));
            fs::create_directory_symlink(root + "/outside/full/x", root + "/cache/full.example");
            fs::create_directory_symlink(root + "/outside/empty", root + "/cache/empty.example");
            fs::create_directory_symlink("../../outside/full/x", root + "/cache/real.example/relative");
            fs::create_symlink(root + "/outside/full/x", root + "/cache/file-link.example");
        };
        c.options = [](ScanInputs& in) {
            in.deleteOld = 1;
            in.fixTime = 1;
        };
        c.lines = {Line(1, "http://real.example/page", kYesterday, 4), Ok(1, 1, ", 1 files deleted")};
        c.survivors = {"outside/full/x", "outside/empty", "cache/full.example", "cache/empty.example",
                       "cache/real.example/relative"};
        cases.push_back(c);
    }
}

void UnreadableFolders(std::vector<HostileCase>& cases) {
    {
        HostileCase c;
        c.name = "HostFolderWithoutReadPermission";
        c.build = [](const std::string& root) {
            WinProxyCache cache(root + "/cache/");
            cache.Add(Page("locked.example", "/secret"));
            cache.Add(Page("open.example", "/page"));
        };
        c.faults = [](test::FaultFileSystem& faults, const std::string&) {
            faults.FailPath(FsOp::List, "/locked.example", EACCES);
        };
        c.options = [](ScanInputs& in) { in.deleteOld = 1; };
        c.lines = {Line(1, "http://open.example/page", kYesterday, 4),
                   "Ended with error(s). 1 of 1 files selected, 1 files deleted, 0 seconds"};
        c.survivors = {"cache/locked.example"};
        c.messages = {"*"};
        cases.push_back(c);
    }
    {
        HostileCase c;
        c.name = "CacheFolderWithoutReadPermission";
        c.build = [](const std::string& root) {
            WinProxyCache(root + "/cache/").Add(Page("a.example", "/p"));
        };
        c.faults = [](test::FaultFileSystem& faults, const std::string& root) {
            faults.FailPath(FsOp::List, root + "/cache", EACCES);
        };
        c.lines = {"Ended with error(s). 0 of 0 files selected, 0 seconds"};
        c.messages = {"*"};
        cases.push_back(c);
    }
    {
        HostileCase c;
        c.name = "IndexWithoutReadPermission";
        c.proxyType = 2;
        c.build = [](const std::string& root) {
            WinGateCache(root + "/cache/").Add(Record("a.example/x", "aa"), Body());
        };
        c.faults = [](test::FaultFileSystem& faults, const std::string&) {
            faults.FailPath(FsOp::OpenRead, "cache.idx", EACCES);
        };
        c.lines = {"Ended with error(s). 0 of 0 files selected, 0 seconds"};
        c.messages = {"*"};
        cases.push_back(c);
    }
}

SquidObject SwapPage(const std::string& url, const std::string& body = "BODY") {
    SquidObject o;
    o.url = url;
    o.Header("Date", HttpDate(kNow - kDay)).Header("Content-Type", "text/html");
    o.Header("Content-Length", std::to_string(body.size()));
    o.timestamp = o.lastReference = kNow - kDay;
    o.content = Content::Bytes(body);
    return o;
}

// A small store: one L1 folder of two L2 folders, two swap files in each.
SquidCache SmallStore(const std::string& root) { return SquidCache(root + "/cache/", 1, 2); }

std::string Skipped(int selected, int total, int skipped, const std::string& more = "") {
    return "OK! " + std::to_string(selected) + " of " + std::to_string(total) + " files selected" + more +
           ", " + std::to_string(skipped) + " files skipped, 0 seconds";
}

// A swap file cut after every byte: within the metadata it is skipped; after it the object is listed with
// the bytes there are, its date from the metadata until the Date line is whole.
void TruncatedSwapFiles(std::vector<HostileCase>& cases) {
    const SquidObject page = SwapPage("http://s.example/page");
    const std::string meta = builder::SwapMetadataOf(page);
    const std::string head = builder::ReplyHeadOf(page);
    const std::string whole = meta + head + "BODY";
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        HostileCase c;
        c.name = "SquidSwapFileCutAfter" + std::to_string(cut) + "Bytes";
        c.proxyType = 3;
        c.build = [=](const std::string& root) {
            SquidObject o = page;
            o.rawFile = whole.substr(0, cut);
            SmallStore(root).Add(o);
        };
        if (cut < meta.size()) {
            c.lines = {Skipped(0, 1, 1)};
        } else {
            const size_t reply = cut - meta.size();
            const int64_t length = static_cast<int64_t>(reply >= head.size() ? reply - head.size() : reply);
            c.lines = {Line(1, page.url, kYesterday, length), Ok(1, 1)};
        }
        cases.push_back(c);
    }
}

void OddSwapFiles(std::vector<HostileCase>& cases) {
    const auto skippedCase = [&](const std::string& name, std::function<void(SquidObject&)> change) {
        HostileCase c;
        c.name = name;
        c.proxyType = 3;
        c.build = [change](const std::string& root) {
            SquidObject o = SwapPage("http://odd.example/x");
            change(o);
            SmallStore(root).Add(o);
        };
        c.options = [](ScanInputs& in) { in.deleteOld = 1; };
        c.lines = {Skipped(0, 1, 1)};
        c.survivors = {"cache/00/00/00000000", "cache/swap.state"};
        cases.push_back(c);
    };
    skippedCase("SquidMetadataLengthPastTheFile", [](SquidObject& o) { o.metaLength = 100000; });
    skippedCase("SquidMetadataLengthBelowItsPrefix", [](SquidObject& o) { o.metaLength = 3; });
    skippedCase("SquidMetadataLengthNegative", [](SquidObject& o) { o.metaLength = -7; });
    skippedCase("SquidEntryRunningPastTheMetadata", [](SquidObject& o) {
        o.extraEntries = {{99, "tail"}};
        o.metaLength = static_cast<int64_t>(builder::SwapMetadataOf(o).size()) - 1;
    });
    skippedCase("SquidEntryLengthNegative", [](SquidObject& o) {
        o.rawFile = std::string("\x03\x0e\x00\x00\x00\x04\xff\xff\xff\xffhttp", 14) + "BODY";
    });
    skippedCase("SquidNoUrl", [](SquidObject& o) { o.writeUrl = false; });
    skippedCase("SquidEmptyUrl", [](SquidObject& o) {
        o.writeUrl = false;
        o.extraEntries = {{4, std::string(1, '\0')}};
    });
    skippedCase("SquidFirstByteIsNoMagic", [](SquidObject& o) { o.rawFile = "HTTP/1.1 200 OK\r\n\r\nBODY"; });
    {
        // Deprecated, reserved and unknown types are skipped by their length; a value of the longest kind
        // Squid allows is no damage.
        HostileCase c;
        c.name = "SquidUnknownEntryTypes";
        c.proxyType = 3;
        c.build = [](const std::string& root) {
            SquidObject o = SwapPage("http://odd.example/x");
            o.extraEntries = {
                {0, ""}, {1, "old key"}, {7, "valid"}, {12, "vary id"}, {200, std::string(65536, 'v')}};
            SmallStore(root).Add(o);
        };
        c.lines = {Line(1, "http://odd.example/x", kYesterday, 4), Ok(1, 1)};
        cases.push_back(c);
    }
    {
        HostileCase c;
        c.name = "SquidVaryMarkerIsNeverListed";
        c.proxyType = 3;
        c.build = [](const std::string& root) {
            SquidCache store = SmallStore(root);
            store.AddVaryMarker("http://v.example/app.js", "Accept-Encoding", kNow - kDay);
            SquidObject o = SwapPage("http://v.example/app.js");
            o.varyHeaders = "accept-encoding=\"gzip\"";
            store.Add(o);
        };
        c.lines = {Line(1, "http://v.example/app.js", kYesterday, 4), Skipped(1, 2, 1)};
        cases.push_back(c);
    }
    {
        // The head never ends: everything after the metadata is content, and the date is the metadata's.
        HostileCase c;
        c.name = "SquidReplyHeadThatNeverEnds";
        c.proxyType = 3;
        c.build = [](const std::string& root) {
            SquidObject o = SwapPage("http://odd.example/x");
            o.headerLines = {"X-Filler: " + std::string(20000, 'x')};
            o.content = Content::Bytes("");
            SmallStore(root).Add(o);
        };
        c.lines = {Line(1, "http://odd.example/x", kYesterday, 20000 + 15 + 12 + 4), Ok(1, 1)};
        cases.push_back(c);
    }
}

void SquidStoreShapes(std::vector<HostileCase>& cases) {
    {
        HostileCase c;
        c.name = "SquidRockStoreIsNotRead";
        c.proxyType = 3;
        c.build = [](const std::string& root) {
            builder::WriteObjectFile(root + "/cache/rock", {}, Content::Bytes(std::string(4096, '\0')));
        };
        c.lines = {"Ended with error(s). 0 of 0 files selected, 0 seconds"};
        c.survivors = {"cache/rock"};
        c.messages = {"'"};
        cases.push_back(c);
    }
    {
        HostileCase c;
        c.name = "SquidL2FolderWithoutReadPermission";
        c.proxyType = 3;
        c.build = [](const std::string& root) {
            SquidCache store = SmallStore(root);
            store.Add(SwapPage("http://a.example/0"));
            store.Add(SwapPage("http://a.example/1"));
            store.Add(SwapPage("http://a.example/locked"));
        };
        c.faults = [](test::FaultFileSystem& faults, const std::string&) {
            faults.FailPath(FsOp::List, "/00/01", EACCES);
        };
        c.lines = {Line(1, "http://a.example/0", kYesterday, 4), Line(2, "http://a.example/1", kYesterday, 4),
                   "Ended with error(s). 2 of 2 files selected, 0 seconds"};
        c.messages = {"*"};
        cases.push_back(c);
    }
    {
        // Only hex names of the right length, never through a link, in name order whatever the listing's.
        HostileCase c;
        c.name = "SquidNamesLinksAndOrder";
        c.proxyType = 3;
        c.build = [](const std::string& root) {
            SquidCache store = SmallStore(root);
            SquidObject later = SwapPage("http://n.example/later");
            later.fileNumber = 1;
            store.Add(later);
            SquidObject first = SwapPage("http://n.example/first");
            first.fileNumber = 0;
            store.Add(first);
            SquidCache(root + "/outside/", 1, 1).Add(SwapPage("http://outside.example/x"));
            fs::copy_file(root + "/cache/00/00/00000000", root + "/cache/00/00/0000000G");
            fs::copy_file(root + "/cache/00/00/00000000", root + "/cache/00/00/000000001");
            fs::create_symlink(root + "/outside/00/00/00000000", root + "/cache/00/00/00000002");
            fs::create_directory_symlink(root + "/outside/00", root + "/cache/01");
            fs::create_directory_symlink(root + "/outside/00/00", root + "/cache/00/02");
        };
        c.options = [](ScanInputs& in) { in.deleteOld = 1; };
        c.lines = {Line(1, "http://n.example/first", kYesterday, 4),
                   Line(2, "http://n.example/later", kYesterday, 4),
                   "No Squid is running for this cache: removed 2 swap files and 1 swap.state files; Squid "
                   "rebuilds its index on its next start",
                   Ok(2, 2, ", 2 files deleted")};
        c.survivors = {"cache/00/00/0000000G", "cache/00/00/000000001", "cache/00/00/00000002", "cache/01",
                       "cache/00/02"};
        cases.push_back(c);
    }
}

void SquidDeletions(std::vector<HostileCase>& cases) {
    const auto store = [](const std::string& root) {
        SquidCache cache = SmallStore(root);
        cache.Add(SwapPage("http://d.example/purged"));
        cache.Add(SwapPage("http://d.example/refused"));
        SquidObject variant = SwapPage("http://d.example/silent");
        variant.varyHeaders = "accept-encoding=\"gzip%2C%20br\", user-agent, cookie=\"a%3Db\"";
        cache.Add(variant);
    };
    const std::vector<std::string> listed = {Line(1, "http://d.example/purged", kYesterday, 4),
                                             Line(2, "http://d.example/refused", kYesterday, 4),
                                             Line(3, "http://d.example/silent", kYesterday, 4)};
    {
        // Under a running Squid nothing is removed from the store: each object is purged through it.
        HostileCase c;
        c.name = "SquidRunningDeletesByPurge";
        c.proxyType = 3;
        c.build = store;
        c.options = [](ScanInputs& in) { in.deleteOld = 1; };
        c.squidRunning = true;
        c.purgeAnswers = {{"http://d.example/purged", 200},
                          {"http://d.example/refused", 403},
                          {"http://d.example/silent", 0}};
        c.lines = listed;
        c.lines.insert(
            c.lines.end(),
            {"Purged through Squid at 127.0.0.1:3128: 1 objects",
             "Squid at 127.0.0.1:3128 refused to purge 1 objects (403 Forbidden). Squid's configuration "
             "must allow PURGE from this host, for example with these two lines in squid.conf, before "
             "its first \"http_access deny\":",
             "    acl purge method PURGE", "    http_access allow localhost purge",
             "1 objects were not deleted: no answer from Squid at 127.0.0.1:3128: Connection refused",
             "Ended with error(s). 3 of 3 files selected, 1 files deleted, 0 seconds"});
        c.survivors = {"cache/00/00/00000000", "cache/00/00/00000001", "cache/00/01/00000002",
                       "cache/swap.state"};
        c.purges = {"http://d.example/purged", "http://d.example/refused",
                    "http://d.example/silent | accept-encoding: gzip, br | cookie: a=b"};
        cases.push_back(c);

        HostileCase preview = c;
        preview.name = "SquidRunningPreviewSaysPurge";
        preview.options = [](ScanInputs& in) {
            in.deleteOld = 1;
            in.dryRun = true;
        };
        preview.lines = listed;
        preview.lines.insert(preview.lines.end(),
                             {"Would delete through PURGE requests to Squid at 127.0.0.1:3128",
                              "Would delete: 3 files, 12 bytes",
                              "OK! 3 of 3 files selected, 0 seconds (preview: nothing was changed)"});
        preview.purges = {};
        cases.push_back(preview);
    }
    {
        HostileCase c;
        c.name = "SquidStoppedPreviewSaysRemove";
        c.proxyType = 3;
        c.build = store;
        c.options = [](ScanInputs& in) {
            in.deleteOld = 1;
            in.dryRun = true;
        };
        c.lines = listed;
        c.lines.insert(
            c.lines.end(),
            {"Would remove the swap files and the store's swap.state files: no Squid is running for this "
             "cache, and it rebuilds its index on its next start",
             "Would delete: 3 files, 12 bytes",
             "OK! 3 of 3 files selected, 0 seconds (preview: nothing was changed)"});
        c.survivors = {"cache/00/00/00000000", "cache/swap.state"};
        cases.push_back(c);
    }
    {
        // Aged means past the expiry in the metadata; an object without one never ages.
        HostileCase c;
        c.name = "SquidDeleteAgedUsesTheMetadataExpiry";
        c.proxyType = 3;
        c.build = [](const std::string& root) {
            SquidCache cache = SmallStore(root);
            SquidObject expired = SwapPage("http://e.example/expired");
            expired.expires = kNow - 1;
            cache.Add(expired);
            SquidObject fresh = SwapPage("http://e.example/fresh");
            fresh.expires = kNow + kDay;
            cache.Add(fresh);
            cache.Add(SwapPage("http://e.example/never"));
        };
        c.options = [](ScanInputs& in) { in.deleteAged = 1; };
        c.lines = {Line(1, "http://e.example/expired", kYesterday, 4),
                   Line(2, "http://e.example/fresh", kYesterday, 4),
                   Line(3, "http://e.example/never", kYesterday, 4),
                   "No Squid is running for this cache: removed 1 swap files and 1 swap.state files; Squid "
                   "rebuilds its index on its next start",
                   Ok(3, 3, ", 1 files deleted")};
        c.survivors = {"cache/00/00/00000001", "cache/00/01/00000002"};
        cases.push_back(c);
    }
}

std::vector<HostileCase> AllCases() {
    std::vector<HostileCase> cases;
    TruncatedFiles(cases);
    OddWinProxyFiles(cases);
    ZeroRunsAndCutRecords(cases);
    EscapesFromTheCache(cases);
    UnreadableFolders(cases);
    TruncatedSwapFiles(cases);
    OddSwapFiles(cases);
    SquidStoreShapes(cases);
    SquidDeletions(cases);
    return cases;
}

class HostileCache : public test::ProgramFixture, public ::testing::WithParamInterface<HostileCase> {};

// Read ahead or not, the same lines, the same survivors, the same messages.
TEST_P(HostileCache, ScanEndsAsExpected) {
    for (const bool readAhead : {false, true}) {
        SCOPED_TRACE(readAhead ? "read ahead" : "one thread");
        const HostileCase& c = GetParam();
        test::TempDir dir;
        c.build(dir.path());
        // Everything outside the cache folder must be there afterwards, whatever the case.
        std::vector<std::string> before;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir / "outside", ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            before.push_back(it->path().string());
        }

        Program().ProxyType = c.proxyType;
        Program().CacheDir = dir / "cache/";
        Program().AppParentDir = dir / "";
        ResetLogFolder();
        test::ScriptedDesktop desktop;
        Platform().desktop = &desktop;
        test::FaultFileSystem faults;
        if (c.faults) c.faults(faults, dir.path());
        if (readAhead) faults.AllowThreads();
        Program().ReadAhead = readAhead;
        Platform().fileSystem = &faults;
        proxy_.purges.clear();
        proxy_.running = c.squidRunning;
        proxy_.answers = c.purgeAnswers;
        ScanInputs inputs;
        c.options(inputs);
        test::RecordingScanHost host;
        ScanState state;
        ProcessAllFiles(state, inputs, host);

        std::vector<std::string> lines;
        for (std::string line : host.lines) {
            if (const size_t at = line.find(dir / "cache"); at != std::string::npos) {
                line.replace(at, (dir / "cache").size(), "<cache>");
            }
            lines.push_back(line);
        }
        EXPECT_EQ(lines, c.lines);
        for (const std::string& survivor : c.survivors) {
            EXPECT_TRUE(dir.Exists(survivor)) << survivor << " was removed";
        }
        for (const std::string& path : before)
            EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << path << " was removed";
        std::vector<std::string> purges;
        for (const auto& call : proxy_.purges) {
            std::string text = call.url;
            for (const std::string& header : call.headers) text += " | " + header;
            purges.push_back(text);
        }
        EXPECT_EQ(purges, c.purges);
        ASSERT_EQ(desktop.messages.size(), c.messages.size());
        for (size_t i = 0; i < c.messages.size(); ++i) {
            if (c.messages[i] == "*") continue;
            EXPECT_EQ(desktop.messages[i].text.rfind(c.messages[i], 0), 0u) << desktop.messages[i].text;
        }
        Platform().fileSystem = nullptr;
        Platform().desktop = nullptr;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileCache, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

}  // namespace
}  // namespace loftwick
