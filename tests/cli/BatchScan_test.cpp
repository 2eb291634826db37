#include "cli/BatchScan.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <sstream>

#include "cachebuilder/Encodings.h"
#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "results/RecordFormats.h"
#include "support/TestEnv.h"

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
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--host", "a.", "--content-type", "IMAGE"}), kExitOk);
    EXPECT_EQ(OutLines().back(), "OK! 1 of 2 files selected, 0 seconds");
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--unit", "hours", "--min", "48"}), kExitOk);
    EXPECT_EQ(OutLines().back(), "OK! 2 of 3 files selected, 0 seconds");
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--contents", "+hello", "--url", "a.example"}),
              kExitOk);
    EXPECT_EQ(OutLines().front().rfind("1 100% http://a.example/index.html", 0), 0u);
}

TEST_F(BatchScanTest, CsvQuotesFieldsAndEndsWithTheSummary) {
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--host", "b.example", "--format", "csv"}), kExitOk);
    const std::string csv = out_.str();
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "number,url,host,content_type,retrieved,modified,reported_length,actual_length,file");
    EXPECT_NE(csv.find("1,\"http://b.example/data, \"\"quoted\"\".txt\",b.example,text/plain,"
                       "2024-12-05T10:00:00+00:00,,0,11,"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\r\n\"OK! 1 of 1 files selected, 0 seconds\"\r\n"), std::string::npos);
}

TEST_F(BatchScanTest, JsonHoldsOneRecordPerObjectAndTheSummary) {
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--format", "json", "--url", "logo"}), kExitOk);
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

    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--delete", "--content-type", "text"}), kExitOk);
    EXPECT_EQ(OutLines().back(), "OK! 2 of 3 files selected, 2 files deleted, 1 empty dirs deleted, 0 seconds");
    EXPECT_FALSE(dir_.Exists("wp/empty.example"));
}

TEST_F(BatchScanTest, SaveAllWritesTheTreeBelowTheTempDir) {
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp", "--url", "a.example", "--save-all", "tree",
                   "--temp-dir", dir_ / "out"}),
              kExitOk);
    EXPECT_EQ(dir_.ReadFile("out/a.example/index.html"), "<html>hello</html>");
    EXPECT_EQ(dir_.ReadFile("out/a.example/logo.gif"), "GIF89a....");
}

TEST_F(BatchScanTest, ErrorsGiveExitOneWithTheReportOnStderr) {
    dir_.WriteFile("wp/hidden.example/.only-hidden", "x");
    EXPECT_EQ(Run({"--proxy", "winproxy", "--cache", dir_ / "wp"}), kExitErrors);
    EXPECT_EQ(OutLines().back(), "Ended with error(s). 3 of 3 files selected, 0 seconds");
    EXPECT_NE(err_.str().find("Code module: frmMain:ProcessAllFiles_WinProxy"), std::string::npos) << err_.str();

    EXPECT_EQ(Run({"--proxy", "wingate", "--cache", dir_ / "wp"}), kExitErrors);
    EXPECT_NE(err_.str().find("Cache index file was not found"), std::string::npos);
}

TEST_F(BatchScanTest, UsageErrorsGiveExitTwoWithHelp) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--cache", "x"}, {"--proxy", "rock", "--cache", "x"},
          {"--proxy", "squid", "--cache", "x", "--fix-time"}, {"--proxy", "squid", "--cache", "x", "--ttl", "5"},
          {"--proxy", "winproxy", "--cache", "x", "--max", "ten"}, {"--proxy", "winproxy", "--cache", "x", "--bogus"},
          {"--proxy", "winproxy", "--cache"}}) {
        EXPECT_EQ(Run(args), kExitUsage);
        EXPECT_EQ(err_.str().rfind("loftwick-scan: ", 0), 0u);
        EXPECT_NE(err_.str().find("--dry-run"), std::string::npos);
        EXPECT_EQ(out_.str(), "");
        // Squid keeps its own times: the reason is given, not only the help.
        if (args.size() > 4 && args[1] == "squid") {
            EXPECT_NE(err_.str().find("cannot be used with --proxy squid"), std::string::npos) << err_.str();
        }
    }
    EXPECT_EQ(Run({"--help"}), kExitOk);
    EXPECT_NE(out_.str().find("--save-all"), std::string::npos);
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
    const std::vector<std::string> args = {"--proxy", "winproxy", "--cache", dir_ / "wp",
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
