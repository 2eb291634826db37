#include "cli/BatchScan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cachebuilder/Encodings.h"
#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "results/RecordFormats.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TestEnv.h"
#include "support/basUtils.h"

namespace loftwick::cli {
namespace {

constexpr int64_t kNow = 1733479200;  // the fixture's clock: 2024-12-06 10:00:00 UTC

class BatchScanTest : public test::ProgramFixture {
  protected:
    BatchScanTest() : proxy_(dir_ / "wp") {
        Add("a.example", "/index.html", kNow - 3 * 86400, "text/html", "<html>hello</html>");
        Add("a.example", "/logo.gif", kNow - 10 * 86400, "image/gif", "GIF89a....");
        Add("b.example", "/data, \"quoted\".txt", kNow - 1 * 86400, "text/plain", "plain words");
    }
    std::string Add(const std::string& host, const std::string& path, int64_t date, const std::string& type,
                    const std::string& body) {
        builder::WinProxyObject o;
        o.host = host;
        o.url = "http://" + host + path;
        o.Header("Date", builder::HttpDate(date)).Header("Content-Type", type);
        o.content = builder::Content::Bytes(body);
        return proxy_.Add(o);
    }
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        args.insert(args.begin(), dir_ / "bin/loftwick-scan");
        return BatchMain(args, out_, err_);
    }
    std::vector<std::string> OutLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out_.str());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    test::TempDir dir_;
    builder::WinProxyCache proxy_;
    std::ostringstream out_, err_;
};

TEST_F(BatchScanTest, TextFormatPrintsEveryListLineAndExitsZero) {
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--max", "5"}), kExitOk);
    const auto lines = OutLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, 2), "1 ");
    EXPECT_EQ(lines[2], "OK! 2 of 3 files selected, 0 seconds");
    EXPECT_EQ(err_.str(), "");
    EXPECT_FALSE(dir_.Exists("bin/loftwick-scan.ini"));
}

TEST_F(BatchScanTest, FiltersAndUnitsReachTheScan) {
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--host", "a.", "--content-type", "IMAGE"}),
              kExitOk);
    EXPECT_EQ(OutLines().back(), "OK! 1 of 2 files selected, 0 seconds");
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--unit", "hours", "--min", "48"}),
              kExitOk);
    EXPECT_EQ(OutLines().back(), "OK! 2 of 3 files selected, 0 seconds");
    EXPECT_EQ(
        Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--contents", "+hello", "--url", "a.example"}),
        kExitOk);
    EXPECT_EQ(OutLines().front().rfind("1 100% http://a.example/index.html", 0), 0u);
}

TEST_F(BatchScanTest, TypedTextIsMatchedAsTypedNeverByAccident) {
    Add("a.example", "/mail?to=x", kNow - 86400, "text/plain", "write an e-mail");
    Add("bücher.example", "/", kNow - 86400, "text/plain", "Bücher");
    dir_.MakeDirs("wp/café.example");
    const std::vector<std::string> scan = {"--proxy", "winproxy", "--cache", dir_ / "wp", "--dry-run"};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), scan.begin(), scan.end());
        return more;
    };
    // "e-mail" is E and -MAIL, both in the text that says "e-mail"; "-mail" alone is the user's "not MAIL".
    EXPECT_EQ(Run(with({"--contents", "e-mail", "--url", "mail"})), kExitOk);
    EXPECT_NE(out_.str().find("\n1 100% http://a.example/mail?to=x : "), std::string::npos) << out_.str();
    EXPECT_EQ(Run(with({"--contents", "-mail"})), kExitOk);
    EXPECT_NE(out_.str().find("OK! 4 of 5 files selected"), std::string::npos) << out_.str();
    // A character no cache byte holds matches nothing, and never stands for "?".
    for (const std::vector<std::string>& filter : {std::vector<std::string>{"--url", "ё"},
                                                   {"--content-type", "ё"},
                                                   {"--contents", "ё"},
                                                   {"--contents", "+ё mail"}}) {
        EXPECT_EQ(Run(with(filter)), kExitOk);
        EXPECT_NE(out_.str().find("OK! 0 of 5 files selected"), std::string::npos) << filter[1] << out_.str();
    }
    EXPECT_EQ(Run(with({"--contents", "-ё"})), kExitOk);
    EXPECT_NE(out_.str().find("OK! 5 of 5 files selected"), std::string::npos) << out_.str();
    // Host folders are named in UTF-8 by the file system, and shown as named.
    EXPECT_EQ(Run(with({"--host", "bücher"})), kExitOk);
    EXPECT_NE(out_.str().find("OK! 1 of 1 files selected"), std::string::npos) << out_.str();
    EXPECT_EQ(Run(with({"--host", "café"})), kExitOk);
    EXPECT_NE(out_.str().find("Would delete dir: " + dir_ / "wp/café.example/\n"), std::string::npos)
        << out_.str();
}

TEST_F(BatchScanTest, DatesAreEmptyTextsOrWithinTheDateType) {
    builder::WinProxyObject o;
    o.host = "d.example";
    o.url = "http://d.example/empty";
    o.headerLines = {"Date:", "Last-Modified: Fri, 31 Dec 9999 23:59:59 -2359"};
    o.content = builder::Content::Bytes("x");
    proxy_.Add(o);
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--host", "d.example"}), kExitOk);
    EXPECT_EQ(OutLines().front(), "1 http://d.example/empty : 1990-01-01 : 1");
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--host", "d.example", "--format", "json"}),
              kExitOk);
    EXPECT_NE(out_.str().find("\"retrieved\": \"1990-01-01T00:00:00+00:00\", \"modified\": null"),
              std::string::npos)
        << out_.str();
}

TEST_F(BatchScanTest, CsvHoldsRecordsOnlyAndTheSummaryGoesToStderr) {
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--host", "b.example", "--format", "csv"}),
              kExitOk);
    const std::string csv = out_.str();
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "number,score,url,host,content_type,retrieved,modified,reported_length,actual_length,file");
    EXPECT_NE(csv.find("1,,\"http://b.example/data, \"\"quoted\"\".txt\",b.example,text/plain,"
                       "2024-12-05T10:00:00+00:00,,0,11,"),
              std::string::npos)
        << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2) << csv;
    EXPECT_EQ(err_.str(), "OK! 1 of 1 files selected, 0 seconds\n");

    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--format", "csv", "--contents",
                   "hello nowhere"}),
              kExitOk);
    EXPECT_NE(out_.str().find("\r\n1,50,http://a.example/index.html,"), std::string::npos) << out_.str();
}

// Cached URLs and file names are bytes from the network: they reach a terminal or a CSV reader escaped,
// and a file's name is written so that it can only name that file.
TEST_F(BatchScanTest, ControlBytesAreEscapedAndFileNamesKeptExact) {
    builder::WinProxyObject o;
    o.host = "c.example";
    o.fileName = "caf\xC3\xA9_50%_\xE9";
    o.url = std::string("http://c.example/\x1B[2J\x7F\\x\ty");
    o.Header("Content-Type", "text/plain");
    o.content = builder::Content::Bytes("x");
    proxy_.Add(o);
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--host", "c.example"}), kExitOk);
    EXPECT_EQ(OutLines().front().rfind("1 http://c.example/\\x1B[2J\\x7F\\\\x\\x09y : ", 0), 0u)
        << out_.str();
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--host", "c.example", "--format", "csv"}),
              kExitOk);
    EXPECT_NE(out_.str().find(",http://c.example/\\x1B[2J\\x7F\\\\x\\x09y,"), std::string::npos)
        << out_.str();
    EXPECT_NE(out_.str().find("/c.example/caf\xC3\xA9_50%25_%E9\r\n"), std::string::npos) << out_.str();
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--host", "c.example", "--format", "json"}),
              kExitOk);
    EXPECT_NE(out_.str().find("\"url\": \"http://c.example/\\u001b[2J\\u007f\\\\x\\ty\""), std::string::npos)
        << out_.str();
    EXPECT_NE(out_.str().find("\"score\": null"), std::string::npos);

    // A WinGate URL may hold a line feed; it cannot forge a list line.
    builder::WinGateCache gate(dir_ / "wg");
    builder::WinGateRecord record;
    record.url = "d.example/a\n2 http://forged/";
    record.baseName = "0001";
    record.retrieved = static_cast<uint32_t>(kNow - 86400);
    record.contentType = "text/plain";
    builder::WinGateContent content;
    content.content = builder::Content::Bytes("body");
    gate.Add(record, content);
    EXPECT_EQ(Run({"--proxy", "wingate", "--cache", dir_ / "wg"}), kExitOk);
    EXPECT_EQ(OutLines().size(), 2u) << out_.str();
    EXPECT_EQ(OutLines().front().rfind("1 http://d.example/a\\x0A2 http://forged/ : ", 0), 0u) << out_.str();
}

TEST_F(BatchScanTest, JsonHoldsOneRecordPerObjectAndTheSummary) {
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--format", "json", "--url", "logo"}),
              kExitOk);
    const std::string json = out_.str();
    EXPECT_NE(json.find("\"url\": \"http://a.example/logo.gif\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"modified\": null"), std::string::npos);
    EXPECT_NE(json.find("\"summary\": \"OK! 1 of 3 files selected, 0 seconds\""), std::string::npos);
}

TEST_F(BatchScanTest, DryRunChangesNothingAndDeleteDoes) {
    dir_.MakeDirs("wp/empty.example");
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--delete", "--dry-run"}), kExitOk);
    EXPECT_TRUE(dir_.Exists("wp/empty.example"));
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir_ / "wp"),
                            std::filesystem::recursive_directory_iterator()),
              6);
    EXPECT_EQ(OutLines().back(), "OK! 3 of 3 files selected, 0 seconds (preview: nothing was changed)");

    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--delete", "--content-type", "text"}),
              kExitOk);
    EXPECT_EQ(OutLines().back(),
              "OK! 2 of 3 files selected, 2 files deleted, 1 empty dirs deleted, 0 seconds");
    EXPECT_FALSE(dir_.Exists("wp/empty.example"));
}

// Every operation, one after the other on the same cache: the preview's count is what the real run then
// does, and the preview itself leaves every file as it was.
TEST_F(BatchScanTest, EveryPreviewCountIsWhatTheRealRunDoes) {
    namespace fs = std::filesystem;
    // Each file's modification and creation times, and the files saved below out/.
    auto snapshot = [&] {
        std::map<std::string, std::pair<int64_t, int64_t>> files;
        for (const char* folder : {"wp", "out"}) {
            if (!dir_.Exists(folder)) continue;
            for (const auto& entry : fs::recursive_directory_iterator(dir_ / folder)) {
                if (!entry.is_regular_file()) continue;
                const std::optional<FileTimeSpec> created = TheFileSystem().GetCreationTime(entry.path());
                files[entry.path()] = {entry.last_write_time().time_since_epoch().count(),
                                       created ? created->seconds : 0};
            }
        }
        return files;
    };
    auto changed = [](const auto& before, const auto& after) {
        int64_t count = 0;
        for (const auto& [path, times] : before) count += !after.contains(path) || after.at(path) != times;
        for (const auto& [path, times] : after) count += !before.contains(path);
        return count;
    };
    for (const auto& entry : fs::recursive_directory_iterator(dir_ / "wp"))
        if (entry.is_regular_file()) fs::last_write_time(entry.path(), fs::file_time_type{});
    struct Row {
        std::vector<std::string> flags;
        std::string wouldLine;
    };
    const Row rows[] = {
        {{"--fix-time"}, "Would fix file time: 3 files, 39 bytes"},
        {{"--ttl=-5", "--url", "a.example"}, "Would set time-to-live: 2 files, 28 bytes"},
        {{"--delete-aged"}, "Would delete aged: 2 files, 28 bytes"},
        {{"--save-tree", "--temp-dir", dir_ / "out"}, "Would save to tree: 1 files, 11 bytes"},
        {{"--delete"}, "Would delete: 1 files, 11 bytes"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.wouldLine);
        std::vector<std::string> args = {"--proxy", "winproxy", "--cache", dir_ / "wp"};
        args.insert(args.end(), row.flags.begin(), row.flags.end());
        const auto before = snapshot();
        std::vector<std::string> preview = args;
        preview.push_back("--dry-run");
        EXPECT_EQ(Run(preview), kExitOk);
        const auto lines = OutLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), row.wouldLine), lines.end()) << out_.str();
        EXPECT_EQ(changed(before, snapshot()), 0);
        EXPECT_EQ(Run(args), kExitOk) << err_.str();
        const int64_t would = std::stoll(row.wouldLine.substr(row.wouldLine.find(": ") + 2));
        EXPECT_EQ(changed(before, snapshot()), would);
    }
}

TEST_F(BatchScanTest, SaveAllWritesTheTreeBelowTheTempDir) {
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--url", "a.example", "--save-all", "tree",
                   "--temp-dir", dir_ / "out"}),
              kExitOk);
    EXPECT_EQ(dir_.ReadFile("out/a.example/index.html"), "<html>hello</html>");
    EXPECT_EQ(dir_.ReadFile("out/a.example/logo.gif"), "GIF89a....");

    // A sparse object's holes stay holes in its copy: 2 GiB that take a few KiB on disk stay so.
    builder::WinProxyObject o;
    o.host = "s.example";
    o.url = "http://s.example/sparse.bin";
    const uint64_t size = uint64_t{2} << 30;
    o.content =
        builder::Content::Sized(size, builder::Fill::Sparse).Patch(1 << 20, "DATA").Patch(size - 4, "TAIL");
    const std::string stored = proxy_.Add(o);
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--url", "s.example", "--save-all", "tree",
                   "--temp-dir", dir_ / "out"}),
              kExitOk)
        << err_.str();
    struct stat original {
    }, copy{};
    ASSERT_EQ(::stat(stored.c_str(), &original), 0);
    ASSERT_EQ(::stat((dir_ / "out/s.example/sparse.bin").c_str(), &copy), 0);
    EXPECT_EQ(static_cast<uint64_t>(copy.st_size), size);
    EXPECT_LT(copy.st_blocks * 512, original.st_blocks * 512 + 64 * 1024);
    std::ifstream in(dir_ / "out/s.example/sparse.bin", std::ios::binary);
    std::string piece(4, '\0');
    in.seekg(1 << 20);
    in.read(piece.data(), 4);
    EXPECT_EQ(piece, "DATA");
    in.seekg(static_cast<std::streamoff>(size - 4));
    in.read(piece.data(), 4);
    EXPECT_EQ(piece, "TAIL");
    // Its contents search reads the stored stretches, not 2 GiB of zeros, and finds what they hold.
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--contents", "+data +tail"}), kExitOk);
    EXPECT_EQ(OutLines().back(), "OK! 1 of 4 files selected, 0 seconds") << out_.str();
}

TEST_F(BatchScanTest, ErrorsGiveExitOneWithTheReportOnStderr) {
    dir_.WriteFile("wp/hidden.example/.only-hidden", "x");
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp"}), kExitErrors);
    EXPECT_EQ(OutLines().back(), "Ended with error(s). 3 of 3 files selected, 0 seconds");
    EXPECT_NE(err_.str().find("Code module: frmMain:ProcessAllFiles_WinProxy"), std::string::npos)
        << err_.str();

    EXPECT_EQ(Run({"--proxy", "wingate", "--cache", dir_ / "wp"}), kExitErrors);
    EXPECT_NE(err_.str().find("Cache index file was not found"), std::string::npos);
}

// Whatever fails during a run, before, in or after the scan, the summary says so and the status follows it.
TEST_F(BatchScanTest, AnyReportedErrorEndsTheRunWithErrors) {
    dir_.WriteFile("file", "a file where a folder should be");
    const std::string scan[] = {"--proxy", "winproxy", "--cache", dir_ / "wp", "--url", "a.example"};
    const std::vector<std::string> rows[] = {
        {"--save-tree", "--temp-dir", dir_ / "file"},
        {"--save-all", "tree", "--temp-dir", dir_ / "file"},
        {"--warc", dir_ / "missing/a.warc.gz"},
    };
    for (const std::vector<std::string>& row : rows) {
        SCOPED_TRACE(row.front());
        std::vector<std::string> args(std::begin(scan), std::end(scan));
        args.insert(args.end(), row.begin(), row.end());
        EXPECT_EQ(Run(args), kExitErrors);
        EXPECT_EQ(OutLines().back(), "Ended with error(s). 2 of 3 files selected, 0 seconds") << err_.str();
        args.insert(args.end(), {"--format", "json"});
        EXPECT_EQ(Run(args), kExitErrors);
        EXPECT_NE(out_.str().find("\"summary\": \"Ended with error(s)."), std::string::npos) << out_.str();
    }
    // A time-to-live that puts the expiry past the year 9999 cannot be stamped: an error too.
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--ttl", "3000000"}), kExitErrors);
    EXPECT_EQ(OutLines().back().rfind("Ended with error(s). 3 of 3", 0), 0u) << out_.str();
}

TEST_F(BatchScanTest, UsageErrorsGiveExitTwoWithHelp) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--cache", "x"},
          {"--proxy", "rock", "--cache", "x"},
          {"--proxy", "squid", "--cache", "x", "--fix-time"},
          {"--proxy", "squid", "--cache", "x", "--ttl", "5"},
          {"--proxy", "winproxy", "--cache", "x", "--max", "ten"},
          {"--proxy", "winproxy", "--cache", "x", "--bogus"},
          {"--proxy", "winproxy", "--cache"},
          {"--proxy", "winproxy", "--cache", "x", "--min", "2147483648"},
          {"--proxy", "winproxy", "--cache", "x", "--max", "1e300"},
          {"--proxy", "winproxy", "--cache", "x", "--min", "-1"},
          {"--proxy", "winproxy", "--cache", "x", "--ttl", "1e10"}}) {
        EXPECT_EQ(Run(args), kExitUsage);
        EXPECT_EQ(err_.str().rfind("loftwick-scan: ", 0), 0u);
        EXPECT_NE(err_.str().find("--dry-run"), std::string::npos);
        EXPECT_EQ(out_.str(), "");
        // Squid keeps its own times: the reason is given, not only the help.
        if (args.size() > 4 && args[1] == "squid") {
            EXPECT_NE(err_.str().find("cannot be used with --proxy squid"), std::string::npos) << err_.str();
        }
    }
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", "x", "--ttl", "1e10"}), kExitUsage);
    EXPECT_NE(err_.str().find("--ttl: '1e10' is out of range -2147483648 to 2147483647"), std::string::npos)
        << err_.str();
    EXPECT_EQ(Run({"--help"}), kExitOk);
    EXPECT_NE(out_.str().find("--save-all"), std::string::npos);
    EXPECT_NE(out_.str().find("--version"), std::string::npos);
    EXPECT_EQ(Run({"--version"}), kExitOk);
    EXPECT_EQ(out_.str(), "loftwick-scan " + GetVersion() + "\n");
}

TEST_F(BatchScanTest, WinGateCacheScansLikeTheWindowDoes) {
    builder::WinGateCache gate(dir_ / "wg");
    builder::WinGateRecord record;
    record.url = "c.example/x.html";
    record.baseName = "0001";
    record.retrieved = static_cast<uint32_t>(kNow - 86400);
    record.contentType = "text/html";
    record.contentLength = 4;
    builder::WinGateContent content;
    content.content = builder::Content::Bytes("body");
    gate.Add(record, content);
    EXPECT_EQ(Run({"--proxy", "wingate", "--cache", dir_ / "wg", "--host", "c.example"}), kExitOk);
    EXPECT_EQ(OutLines(), (std::vector<std::string>{"1 http://c.example/x.html : 2024-12-05 10:00:00 : 4",
                                                    "OK! 1 of 1 files selected, 0 seconds"}));
}

TEST_F(BatchScanTest, ContentsSearchDecodesUnlessRaw) {
    builder::WinProxyObject o;
    o.host = "c.example";
    o.url = "http://c.example/packed.html";
    o.Header("Content-Type", "text/html").Header("Content-Encoding", "gzip");
    o.content = builder::Content::Bytes(builder::Gzip("<html>squeezed</html>"));
    proxy_.Add(o);
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--contents", "+squeezed"}), kExitOk);
    EXPECT_EQ(OutLines().back(), "OK! 1 of 4 files selected, 0 seconds");
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--contents", "+squeezed", "--raw"}),
              kExitOk);
    EXPECT_EQ(OutLines().back(), "OK! 0 of 4 files selected, 0 seconds");
}

TEST_F(BatchScanTest, WarcExportFollowsTheScanButNotADryRun) {
    const std::vector<std::string> args = {"--proxy", "winproxy",  "--cache", dir_ / "wp",
                                           "--url",   "a.example", "--warc",  dir_ / "a.warc.gz"};
    std::vector<std::string> dry = args;
    dry.push_back("--dry-run");
    EXPECT_EQ(Run(dry), kExitOk);
    EXPECT_FALSE(dir_.Exists("a.warc.gz"));

    EXPECT_EQ(Run(args), kExitOk);
    EXPECT_NE(err_.str().find("Exported 2 objects to " + dir_ / "a.warc.gz" + ", 0 skipped"),
              std::string::npos)
        << err_.str();
    // zlib reads the members one after the other as one text.
    const gzFile in = gzopen((dir_ / "a.warc.gz").c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::string text(1 << 16, '\0');
    const int got = gzread(in, text.data(), static_cast<unsigned>(text.size()));
    text.resize(static_cast<size_t>(std::max(got, 0)));
    gzclose(in);
    EXPECT_EQ(text.rfind("WARC/1.1\r\nWARC-Type: warcinfo\r\n", 0), 0u);
    EXPECT_NE(text.find("WARC-Target-URI: http://a.example/logo.gif\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\r\n<html>hello</html>\r\n\r\n"), std::string::npos);
}

TEST(RecordFormats, HostComesFromTheUrl) {
    EXPECT_EQ(HostOfUrl("http://h.example:81/a/b"), "h.example:81");
    EXPECT_EQ(HostOfUrl("http://h.example"), "h.example");
    EXPECT_EQ(HostOfUrl("no-scheme/x"), "");
    EXPECT_EQ(JsonString("a\"b\\c\x01"), "\"a\\\"b\\\\c\\u0001\"");
}

}  // namespace
}  // namespace loftwick::cli
