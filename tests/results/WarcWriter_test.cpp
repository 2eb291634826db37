// The WARC export read back by a reader of its own: gzip member by member, record framing, digests.
#include "results/WarcWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>

#include "cache/CacheTestKit.h"
#include "cachebuilder/Encodings.h"
#include "cachebuilder/SquidBuilder.h"
#include "results/clsSearchResults.h"
#include "support/Base32.h"
#include "support/Sha1.h"

namespace loftwick::test {
namespace {

struct WarcRecord {
    std::map<std::string, std::string> fields;
    std::string head, payload;  // the block: the HTTP head, then the payload
};

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
        WarcRecord record;
        EXPECT_EQ(member.substr(0, 10), "WARC/1.1\r\n");
        const size_t headEnd = member.find("\r\n\r\n");
        for (size_t line = 10; line < headEnd + 2;) {
            const size_t end = member.find("\r\n", line), colon = member.find(": ", line);
            EXPECT_LT(colon, end) << member.substr(line, end - line);
            record.fields[member.substr(line, colon - line)] = member.substr(colon + 2, end - colon - 2);
            line = end + 2;
        }
        const size_t length = std::stoul(record.fields["Content-Length"]);
        const std::string block = member.substr(headEnd + 4, length);
        EXPECT_EQ(member.substr(headEnd + 4 + length), "\r\n\r\n");
        const size_t httpEnd = block.find("\r\n\r\n") + 4;
        if (!records.empty()) {  // the responses, after the warcinfo
            EXPECT_EQ(record.fields["WARC-Block-Digest"], "sha1:" + Base32(Sha1Of(block).data(), 20));
            EXPECT_EQ(record.fields["WARC-Payload-Digest"],
                      "sha1:" + Base32(Sha1Of(block.substr(httpEnd)).data(), 20));
        }
        record.head = records.empty() ? "" : block.substr(0, httpEnd);
        record.payload = records.empty() ? block : block.substr(httpEnd);
        records.push_back(record);
    }
    return records;
}

// One round trip over a table of objects of both formats: what each record holds after the warcinfo.
TEST_F(CacheFixture, WarcRecordsReadBackWithStoredHeadsRawPayloadsAndTheirDigests) {
    const std::string gzip = builder::Gzip("compressed words");
    const std::string png("\x89PNG\r\n\r\n\0\0binary", 16);
    WinProxyKit proxy(root_ / "wp");
    WinGateKit gate(root_ / "wg");
    clsSearchResults results;
    struct Object {
        std::string name, contentType, content;
        char format = 'p';   // WinProxy, WinGate or Squid
        std::string head{};  // of the record; none: the file is gone, no record
    };
    const Object objects[] = {
        {"ab12_page.html", "text/html", "<html>hello</html>", 'p',
         "HTTP/1.0 200 OK\r\nDate: Tue, 26 Nov 2024 10:00:00 GMT\r\nContent-Type: text/html\r\n"
         "Content-Length: 18\r\nLast-Modified: Sun, 27 Oct 2024 10:00:00 GMT\r\n\r\n"},
        // Kept as transferred; a head stored with LF alone reads as CR LF.
        {"ab12_packed.html", "application/gzip", gzip, 'p',
         "HTTP/1.0 200 OK\r\nDate: Tue, 26 Nov 2024 10:00:00 GMT\r\nContent-Type: application/gzip\r\n"
         "Content-Length: " +
             std::to_string(gzip.size()) + "\r\nLast-Modified: Sun, 27 Oct 2024 10:00:00 GMT\r\n\r\n"},
        {"ab12_gone.html", "text/html", "gone"},
        // WinGate stores no head.
        {"0001", "image/png", png, 'g',
         "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 16\r\n\r\n"},
        // Squid keeps the head the origin sent, in front of the body.
        {"", "text/plain", "squid body", 's',
         "HTTP/1.1 200 OK\r\nDate: Tue, 26 Nov 2024 10:00:00 GMT\r\nContent-Type: text/plain\r\n\r\n"},
    };
    builder::SquidCache squid(root_ / "sq/");
    for (const Object& o : objects) {
        ObjectSpec desc;
        desc.name = o.name;
        desc.contentType = o.contentType;
        desc.content = builder::Content::Bytes(o.content);
        desc.lineBreak =
            o.contentType == "application/gzip" ? builder::LineBreak::Lf : builder::LineBreak::CrLf;
        builder::SquidObject stored;
        stored.url = "http://www.example.com/dir/page.html";
        stored.content = desc.content;
        stored.Header("Date", "Tue, 26 Nov 2024 10:00:00 GMT").Header("Content-Type", o.contentType);
        const auto object = o.format == 'g'   ? Bind(gate, desc)
                            : o.format == 'p' ? Bind(proxy, desc)
                                              : NewCacheObject(3);
        if (o.format == 's') object->setFileName(squid.Add(stored));
        if (o.head.empty()) std::filesystem::remove(object->fileName());
        results.Add(object);
    }
    // A hostile URL cannot add header lines.
    builder::WinGateRecord hostile = WinGateKit::RecordOf({});
    hostile.url = "img.example/a b\r\nWARC-Type: x.png";
    hostile.baseName = "0001";
    const std::string bytes = builder::EncodeRecord(hostile);
    auto object = NewCacheObject(2);
    object->TakeMetadata(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    results.Add(object);

    const WarcResult result = WriteWarc(root_ / "all.warc.gz", results);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.written, 5);
    EXPECT_EQ(result.skipped, 1);
    EXPECT_EQ(ReportCount(), 0u);
    for (const auto& entry : std::filesystem::directory_iterator(root_.path()))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();

    const std::vector<WarcRecord> records = ReadWarc(root_.ReadFile("all.warc.gz"));
    ASSERT_EQ(records.size(), 6u);
    const std::string infoId = records[0].fields.at("WARC-Record-ID");
    EXPECT_EQ(records[0].fields.at("WARC-Type"), "warcinfo");
    EXPECT_NE(records[0].payload.find("software: Loftwick "), std::string::npos);
    size_t next = 1;
    for (const Object& o : objects) {
        if (o.head.empty()) continue;
        const WarcRecord& r = records[next++];
        SCOPED_TRACE(o.name);
        EXPECT_EQ(r.fields.at("WARC-Type"), "response");
        EXPECT_EQ(r.fields.at("Content-Type"), "application/http;msgtype=response");
        EXPECT_EQ(r.fields.at("WARC-Warcinfo-ID"), infoId);
        EXPECT_EQ(r.fields.at("WARC-Record-ID").substr(0, 10), "<urn:uuid:");
        EXPECT_NE(r.fields.at("WARC-Record-ID"), infoId);
        EXPECT_EQ(r.fields.at("WARC-Target-URI"), "http://www.example.com/dir/page.html");
        EXPECT_EQ(r.fields.at("WARC-Date"), "2024-11-26T10:00:00Z");
        EXPECT_EQ(r.head, o.head);
        EXPECT_EQ(r.payload, o.content);
    }
    EXPECT_EQ(records[5].fields.at("WARC-Target-URI"), "http://img.example/a%20b%0D%0AWARC-Type:%20x.png");
}

}  // namespace
}  // namespace loftwick::test
