// The WARC export read back by a reader of its own: gzip member by member, record framing, digests.
#include "results/WarcWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "cache/clsCache.h"
#include "cachebuilder/Encodings.h"
#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "results/clsSearchResults.h"
#include "support/Base32.h"
#include "support/FaultFileSystem.h"
#include "support/ScriptedDesktop.h"
#include "support/Sha1.h"
#include "support/TestEnv.h"

namespace loftwick::test {
namespace {

constexpr int64_t kNow = 1733479200;  // the fixture's clock: 2024-12-06 10:00:00 UTC
constexpr int64_t kDay = 86400;

struct WarcRecord {
    std::map<std::string, std::string> fields;
    std::string block;
    std::string Head() const { return block.substr(0, block.find("\r\n\r\n") + 4); }
    std::string Payload() const { return block.substr(block.find("\r\n\r\n") + 4); }
};

WarcRecord ParseRecord(const std::string& member) {
    WarcRecord record;
    EXPECT_EQ(member.substr(0, 10), "WARC/1.1\r\n");
    const size_t headEnd = member.find("\r\n\r\n");
    for (size_t at = 10; at < headEnd + 2;) {
        const size_t end = member.find("\r\n", at);
        const std::string line = member.substr(at, end - at);
        const size_t colon = line.find(": ");
        EXPECT_NE(colon, std::string::npos) << line;
        record.fields[line.substr(0, colon)] = line.substr(colon + 2);
        at = end + 2;
    }
    const size_t length = std::stoul(record.fields["Content-Length"]);
    record.block = member.substr(headEnd + 4, length);
    EXPECT_EQ(member.substr(headEnd + 4 + length), "\r\n\r\n");
    return record;
}

// Every gzip member must hold exactly one whole record.
std::vector<WarcRecord> ReadWarc(const std::string& bytes) {
    std::vector<WarcRecord> records;
    for (size_t at = 0; at < bytes.size();) {
        z_stream z{};
        inflateInit2(&z, 16 + MAX_WBITS);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + at));
        z.avail_in = static_cast<uInt>(bytes.size() - at);
        std::string member;
        int rc = Z_OK;
        while (rc == Z_OK) {
            char out[4096];
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = sizeof out;
            rc = inflate(&z, Z_NO_FLUSH);
            member.append(out, sizeof out - z.avail_out);
        }
        at += z.total_in;
        inflateEnd(&z);
        EXPECT_EQ(rc, Z_STREAM_END);
        if (rc != Z_STREAM_END) break;
        records.push_back(ParseRecord(member));
    }
    return records;
}

std::string Sha1Base32(const std::string& bytes) {
    const Sha1::Digest d = Sha1Of(bytes);
    return "sha1:" + Base32(d.data(), d.size());
}

class WarcExport : public ProgramFixture {
  protected:
    WarcExport() : proxy_(dir_ / "wp"), gate_(dir_ / "wg") {
        Platform().desktop = &desktop_;
        dir_.MakeDirs("log");
        Program().AppParentDir = dir_ / "log/";
    }

    void AddWinProxy(const std::string& name, builder::LineBreak style, const std::string& header,
                     const std::string& content) {
        builder::WinProxyObject o;
        o.host = "www.example.com";
        o.fileName = "ab12_" + name;
        o.url = "http://www.example.com/" + name;
        o.lineBreak = style;
        o.Header("Date", builder::HttpDate(kNow - 2 * kDay)).Header("Content-Type", "text/html");
        if (!header.empty()) o.headerLines.push_back(header);
        o.content = builder::Content::Bytes(content);
        auto object = NewCacheObject(1);
        object->setFileName(proxy_.Add(o));
        results_.Add(object);
    }

    void AddWinGate(const std::string& url, const std::string& content) {
        builder::WinGateRecord r;
        r.url = url;
        r.baseName = "0001";
        r.retrieved = static_cast<uint32_t>(kNow - 5 * kDay);
        r.contentType = "image/png";
        r.contentLength = content.size();
        gate_.Add(r, builder::WinGateContent{builder::Content::Bytes(content), false, {}});
        Program().CacheDir = gate_.CacheDir();
        auto object = NewCacheObject(2);
        const std::string bytes = builder::EncodeRecord(r);
        object->TakeMetadata(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        results_.Add(object);
    }

    bool NothingLeftBeside() const {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
            if (entry.path().string().find(".part") != std::string::npos) return false;
        }
        return true;
    }

    TempDir dir_;
    ScriptedDesktop desktop_;
    builder::WinProxyCache proxy_;
    builder::WinGateCache gate_;
    clsSearchResults results_;
};

TEST_F(WarcExport, RecordsReadBackWithStoredHeadsRawPayloadsAndTheirDigests) {
    const std::string gzip = builder::Gzip("compressed words");
    const std::string png("\x89PNG\r\n\r\n\0\0binary", 16);
    AddWinProxy("page.html", builder::LineBreak::CrLf, "", "<html>hello</html>");
    AddWinProxy("packed.html", builder::LineBreak::Lf, "Content-Encoding: gzip", gzip);
    AddWinProxy("gone.html", builder::LineBreak::CrLf, "", "gone");
    std::filesystem::remove(results_.Item(3)->fileName());
    AddWinGate("img.example/a b\r\nWARC-Type: x.png", png);

    const WarcResult result = WriteWarc(dir_ / "all.warc.gz", results_);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.written, 3);
    EXPECT_EQ(result.skipped, 1);
    EXPECT_TRUE(NothingLeftBeside());
    EXPECT_TRUE(desktop_.messages.empty());

    const std::vector<WarcRecord> records = ReadWarc(dir_.ReadFile("all.warc.gz"));
    ASSERT_EQ(records.size(), 4u);
    const std::string infoId = records[0].fields.at("WARC-Record-ID");
    EXPECT_EQ(records[0].fields.at("WARC-Type"), "warcinfo");
    EXPECT_NE(records[0].block.find("software: Loftwick "), std::string::npos);
    for (size_t i = 1; i < records.size(); ++i) {
        const auto& f = records[i].fields;
        SCOPED_TRACE(f.at("WARC-Target-URI"));
        EXPECT_EQ(f.at("WARC-Type"), "response");
        EXPECT_EQ(f.at("Content-Type"), "application/http;msgtype=response");
        EXPECT_EQ(f.at("WARC-Warcinfo-ID"), infoId);
        EXPECT_EQ(f.at("WARC-Record-ID").substr(0, 10), "<urn:uuid:");
        EXPECT_NE(f.at("WARC-Record-ID"), infoId);
        EXPECT_EQ(f.at("WARC-Payload-Digest"), Sha1Base32(records[i].Payload()));
        EXPECT_EQ(f.at("WARC-Block-Digest"), Sha1Base32(records[i].block));
    }

    EXPECT_EQ(records[1].fields.at("WARC-Target-URI"), "http://www.example.com/page.html");
    EXPECT_EQ(records[1].fields.at("WARC-Date"), "2024-12-04T10:00:00Z");
    EXPECT_EQ(records[1].Head(),
              "HTTP/1.0 200 OK\r\nDate: Wed, 04 Dec 2024 10:00:00 GMT\r\n"
              "Content-Type: text/html\r\n\r\n");
    EXPECT_EQ(records[1].Payload(), "<html>hello</html>");

    // Kept as transferred, and the LF-ended stored head reads as CR LF.
    EXPECT_EQ(records[2].Payload(), gzip);
    EXPECT_NE(records[2].Head().find("\r\nContent-Encoding: gzip\r\n\r\n"), std::string::npos);

    // WinGate stores no head; a hostile URL cannot add header lines.
    EXPECT_EQ(records[3].fields.at("WARC-Target-URI"), "http://img.example/a%20b%0D%0AWARC-Type:%20x.png");
    EXPECT_EQ(records[3].fields.at("WARC-Date"), "2024-12-01T10:00:00Z");
    EXPECT_EQ(records[3].Head(), "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 16\r\n\r\n");
    EXPECT_EQ(records[3].Payload(), png);
}

TEST_F(WarcExport, FailedExportLeavesTheTargetAsItWasAndReports) {
    AddWinProxy("page.html", builder::LineBreak::CrLf, "", "<html>hello</html>");
    dir_.WriteFile("all.warc.gz", "old");
    FaultFileSystem faults;
    Platform().fileSystem = &faults;
    faults.FailNth(FsOp::Rename, 1, EACCES);

    const WarcResult result = WriteWarc(dir_ / "all.warc.gz", results_);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(dir_.ReadFile("all.warc.gz"), "old");
    EXPECT_TRUE(NothingLeftBeside());
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_NE(desktop_.messages[0].text.find("Code module: WriteWarc"), std::string::npos);
}

}  // namespace
}  // namespace loftwick::test
