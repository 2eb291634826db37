#include "results/WarcWriter.h"

#include "results/ExportTarget.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "Version.h"
#include "cache/clsCache.h"
#include "cache/clsCacheBase.h"
#include "results/clsSearchResults.h"
#include "support/Base32.h"
#include "support/Clock.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/Sha1.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

// Cache files are read, and compressed output written, this much at a time.
constexpr size_t kBlock = 65536;

// One gzip member of the archive: everything written between construction and End is one stream, so
// that a reader can start at any record.
class GzipMember {
  public:
    explicit GzipMember(OutputFile& out) : out_(out), buffer_(kBlock) {
        if (deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
            Z_OK)
            Raise(vberr::OutOfMemory);
    }
    ~GzipMember() { deflateEnd(&z_); }
    GzipMember(const GzipMember&) = delete;
    GzipMember& operator=(const GzipMember&) = delete;

    void Write(const char* data, size_t size) { Deflate(data, size, Z_NO_FLUSH); }
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    void End() { Deflate(nullptr, 0, Z_FINISH); }

  private:
    void Deflate(const char* data, size_t size, int flush) {
        z_.next_in = reinterpret_cast<const Bytef*>(data);
        z_.avail_in = static_cast<uInt>(size);  // at most one block at a time
        for (;;) {
            z_.next_out = reinterpret_cast<Bytef*>(buffer_.data());
            z_.avail_out = static_cast<uInt>(buffer_.size());
            const int rc = deflate(&z_, flush);
            if (rc == Z_STREAM_ERROR) Raise(vberr::InternalError, "compression failed");
            const size_t produced = buffer_.size() - z_.avail_out;
            if (produced > 0) out_.Write(buffer_.data(), produced);
            if (flush == Z_FINISH ? rc == Z_STREAM_END : z_.avail_out != 0) return;
        }
    }

    OutputFile& out_;
    std::vector<char> buffer_;
    z_stream z_{};
};

std::string Hex(const uint8_t* data, size_t size) {
    return HexOf(std::string_view(reinterpret_cast<const char*>(data), size), true);
}

// A record ID derived from what the record holds (a name-based UUID, version 5), so that exporting the
// same objects again gives the same IDs.
std::string RecordId(const std::string& seed) {
    Sha1::Digest d = Sha1Of(seed);
    d[6] = static_cast<uint8_t>((d[6] & 0x0f) | 0x50);
    d[8] = static_cast<uint8_t>((d[8] & 0x3f) | 0x80);
    return "<urn:uuid:" + Hex(&d[0], 4) + "-" + Hex(&d[4], 2) + "-" + Hex(&d[6], 2) + "-" + Hex(&d[8], 2) +
           "-" + Hex(&d[10], 6) + ">";
}

// "2024-11-26T10:00:00Z".
std::string WarcDate(int64_t epochSeconds) {
    const DateParts p = SplitDate(EpochToUtcDate(epochSeconds));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
    return text;
}

int64_t RetrievalEpoch(const clsCache& object) {
    const OleDate retrieved = object.DateRetrieved();
    if (!retrieved.IsZero()) {
        if (const std::optional<int64_t> epoch = LocalDateToEpoch(retrieved)) return *epoch;
    }
    return TheClock().EpochSeconds();
}

// A URL as a header value may hold: bytes a URI cannot carry (controls, blanks, non-ASCII) are
// percent-encoded, so a hostile URL cannot break the record's framing.
std::string UriFieldValue(const std::string& url) {
    std::string text;
    for (const char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f) {
            text += '%' + HexOf(std::string_view(&c, 1));
        } else {
            text += c;
        }
    }
    return text;
}

// The head of a response whose format stored none: what a reader needs to take the content for what it
// is. Control bytes in the type become blanks for the same reason as in UriFieldValue.
std::string SynthesizedHead(std::string contentType, uint64_t contentLength) {
    for (char& c : contentType) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) c = ' ';
    }
    std::string head = "HTTP/1.1 200 OK\r\n";
    if (!contentType.empty()) head += "Content-Type: " + contentType + "\r\n";
    return head + "Content-Length: " + std::to_string(contentLength) + "\r\n\r\n";
}

std::string RecordHeader(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string text = "WARC/1.1\r\n";
    for (const auto& [name, value] : fields) text += name + ": " + value + "\r\n";
    return text + "\r\n";
}

std::string DigestField(Sha1& sha) {
    const Sha1::Digest d = sha.Final();
    return "sha1:" + Base32(d.data(), d.size());
}

// Reads up to `length` bytes of `in` from where it stands and hands them to `take`; returns how many
// there were (fewer only at the end of the file).
template <class Take>
uint64_t ReadPart(InputFile& in, uint64_t length, char* block, Take&& take) {
    uint64_t done = 0;
    while (done < length) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kBlock, length - done));
        const size_t got = in.Read(block, wanted);
        if (got > 0) take(block, got);
        done += got;
        if (got < wanted) break;
    }
    return done;
}

// Returns the warcinfo record's ID.
std::string WriteWarcinfo(OutputFile& out, const std::string& path) {
    const std::string date = WarcDate(TheClock().EpochSeconds());
    const std::string id = RecordId("warcinfo\n" + path + "\n" + date);
    const std::string fields = std::string("software: ") + kProductName + " " + GetVersion() +
                               "\r\nformat: WARC File Format 1.1\r\n"
                               "conformsTo: https://iipc.github.io/warc-specifications/specifications/"
                               "warc-format/warc-1.1/\r\n";
    GzipMember member(out);
    member.Write(RecordHeader({{"WARC-Type", "warcinfo"},
                               {"WARC-Record-ID", id},
                               {"WARC-Date", date},
                               {"WARC-Filename", UriFieldValue(GetFileName(path))},
                               {"Content-Type", "application/warc-fields"},
                               {"Content-Length", std::to_string(fields.size())}}));
    member.Write(fields);
    member.Write("\r\n\r\n");
    member.End();
    return id;
}

// Writes the response record of one result; false, with nothing written, when its file is gone.
bool WriteResponse(OutputFile& out, clsCache* object, const std::string& infoId, char* block) {
    if (object == nullptr || object->fileName().empty()) return false;
    const std::string file = object->fileName();
    // The file now at the object's name, its header block read again should the proxy have rewritten it.
    const std::shared_ptr<InputFile> in = object->OpenContent();
    if (!in) return false;
    const uint64_t offset = static_cast<uint64_t>(std::max<int64_t>(object->ContentOffset(), 0));
    const uint64_t size = in->Size();
    const uint64_t length = size > offset ? size - offset : 0;
    std::string head = object->ResponseHeadOf(*in);
    if (head.empty()) head = SynthesizedHead(object->ContentType(), length);

    // The head of the record states the digests, so the content is read twice: once for them, once to
    // write it. A file that differs the second time would make them false.
    Sha1 payloadSha, blockSha, checkSha;
    blockSha.Update(head);
    if (length > 0) in->Seek(offset);
    const uint64_t digested = ReadPart(*in, length, block, [&](const char* data, size_t count) {
        payloadSha.Update(data, count);
        blockSha.Update(data, count);
    });
    if (digested != length) Raise(vberr::InputPastEnd, "The file changed while it was exported: " + file);
    const std::string payloadDigest = DigestField(payloadSha);
    const std::string date = WarcDate(RetrievalEpoch(*object));

    GzipMember member(out);
    member.Write(RecordHeader({{"WARC-Type", "response"},
                               {"WARC-Record-ID", RecordId("response\n" + file + "\n" + object->ObjectName() +
                                                           "\n" + date + "\n" + payloadDigest)},
                               {"WARC-Warcinfo-ID", infoId},
                               {"WARC-Date", date},
                               {"WARC-Target-URI", UriFieldValue(object->ObjectName())},
                               {"Content-Type", "application/http;msgtype=response"},
                               {"WARC-Block-Digest", DigestField(blockSha)},
                               {"WARC-Payload-Digest", payloadDigest},
                               {"Content-Length", std::to_string(head.size() + length)}}));
    member.Write(head);
    if (length > 0) in->Seek(offset);
    const uint64_t copied = ReadPart(*in, length, block, [&](const char* data, size_t count) {
        checkSha.Update(data, count);
        member.Write(data, count);
    });
    if (copied != length || DigestField(checkSha) != payloadDigest)
        Raise(vberr::PathFileAccessError, "The file changed while it was exported: " + file);
    member.Write("\r\n\r\n");
    member.End();
    return true;
}

}  // namespace

WarcResult WriteWarc(const std::string& path, const clsSearchResults& results) {
    WarcResult result;
    result.ok = Trapped("WriteWarc", path, false, [&] {
        WriteExport(path, [&](OutputFile& out) {
            const std::unique_ptr<char[]> block = std::make_unique_for_overwrite<char[]>(kBlock);
            const std::string infoId = WriteWarcinfo(out, path);
            for (int64_t i = 1; i <= results.Count(); ++i) {
                const std::shared_ptr<clsCache> object = results.Item(i);
                ++(WriteResponse(out, object.get(), infoId, block.get()) ? result.written : result.skipped);
            }
        });
        return true;
    });
    return result;
}

}  // namespace loftwick
