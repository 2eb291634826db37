// Writes the starting corpus of every fuzz target below the folder given on the command line, one
// folder per target. The cache shapes come from the cache builder, so the fuzzers start from the files
// the program really meets and mutate outward from there.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "cachebuilder/Encodings.h"
#include "cachebuilder/SquidBuilder.h"
#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"

using namespace loftwick;
using namespace loftwick::builder;
using loftwick::fuzz::JoinFields;

namespace {

class SeedFolder {
  public:
    SeedFolder(const std::string& out, const std::string& target) : dir_(out + "/" + target) {
        std::filesystem::create_directories(dir_);
    }
    void Add(const std::string& bytes) {
        std::ofstream file(dir_ + "/seed-" + std::to_string(++count_), std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

  private:
    std::string dir_;
    int count_ = 0;
};

WinProxyObject StoredObject(LineBreak style) {
    WinProxyObject o;
    o.url = "http://www.example.com/path/page.html?q=1";
    o.lineBreak = style;
    o.Header("Date", HttpDate(1733000000))
        .Header("Last-Modified", HttpDate(1700000000))
        .Header("Content-Type", "text/html; charset=utf-8")
        .Header("Content-Length", "12");
    return o;
}

void StoredHeaderSeeds(const std::string& out) {
    SeedFolder seeds(out, "StoredHeaders");
    for (LineBreak style :
         {LineBreak::CrLf, LineBreak::Lf, LineBreak::Cr, LineBreak::Nul, LineBreak::Mixed}) {
        seeds.Add(HeaderBlock(StoredObject(style)) + "<html>HELLO</html>");
    }
    WinProxyObject open = StoredObject(LineBreak::CrLf);
    open.blockEnd = "";
    seeds.Add(HeaderBlock(open));
    WinProxyObject odd = StoredObject(LineBreak::Lf);
    odd.Header("content-length", "-5").Header("DATE", "garbage").Header("X-Long", std::string(300, 'x'));
    seeds.Add(HeaderBlock(odd) + "body");
}

void DateSeeds(const std::string& out) {
    SeedFolder seeds(out, "InternetDate");
    for (const char* text :
         {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
          "Fri, 06 Dec 2024 10:00:00 +0130", "06 Nov 1994 08:49:37 -0500", "Thu, 01 Jan 1970 00:00:00 PST",
          "31-Dec-99 23:59", "Sat, 29 Feb 2020 24:00:00 Z"}) {
        seeds.Add(text);
    }
}

WinGateRecord Record(const std::string& url, const std::string& base) {
    WinGateRecord r;
    r.url = url;
    r.baseName = base;
    r.retrieved = 1733000000;
    r.modified = 1700000000;
    r.contentType = "text/html";
    r.contentLength = 12;
    return r;
}

void IndexSeeds(const std::string& out) {
    SeedFolder seeds(out, "IndexRecord");
    const std::string plain = EncodeRecord(Record("a.example/one", "a")) +
                              EncodeRecord(Record("b.example/two?x=1", "b")) +
                              EncodeRecord(Record("www.example.com/obj", "obj1"));
    seeds.Add(JoinFields(0, {plain}));
    seeds.Add(JoinFields(0x08 | 1, {plain}));  // delete, fed byte by byte
    seeds.Add(JoinFields(0x70 | 5, {plain}));  // fix time, TTL and prefix
    std::string hostile;
    for (const char* base : {"../outside", "link", "dir", "", ".", "a/b", "a\\b"}) {
        hostile += EncodeRecord(Record("a.example/hostile", base));
    }
    seeds.Add(JoinFields(0x08, {hostile}));
    WinGateRecord zeros = Record("a.example/zeros", "text_x");
    zeros.ZerosBefore(1, 3).ZerosBefore(2, 2).ZerosBefore(5, 1);
    seeds.Add(
        JoinFields(2, {EncodeRecord(zeros) + std::string(40, '\0') + EncodeRecord(Record("x/y", "b"))}));
    WinGateRecord cut = Record("a.example/cut", "a");
    cut.cutAfter = 17;
    seeds.Add(JoinFields(3, {plain + EncodeRecord(cut)}));
}

void FilterSeeds(const std::string& out) {
    SeedFolder seeds(out, "ParseFilter");
    for (const char* text : {"+apple -pie \"green tea\"", "- word 3.14 -5 -.5", "#a##b# 'x' (y) z:w",
                             "\"unclosed phrase", "a,b;c/d[e]{f}*g!h", "+ - +"}) {
        seeds.Add(JoinFields(0x5A, {text}));
    }
}

void SavePathSeeds(const std::string& out) {
    SeedFolder seeds(out, "SavePath");
    seeds.Add(JoinFields(0, {"http://www.example.com/dir/page.html", "http://www.example.com/dir/page.html/x",
                             "text/html", "index.html"}));
    seeds.Add(JoinFields(
        1, {"http://a.example/../../etc/passwd", "http://a.example/..\\..\\x?q=../../y", "image/png", ""}));
    seeds.Add(JoinFields(2, {"http://h/" + std::string(300, 'n') + ".html", "/\\//", "", ".."}));
    seeds.Add(
        JoinFields(4, {"ftp://x.example:21/a/b/", "c:\\windows\\system32", "text/plain", "default.htm"}));
}

void SettingsSeeds(const std::string& out) {
    SeedFolder seeds(out, "IniFile");
    const std::string file =
        "\xEF\xBB\xBF[Common]\r\nProxyType=1\r\nCacheDir=/srv/cache/\r\n\r\n; a comment\r\n[Persistence]\r\n"
        "TempDir=/tmp/x\r\n[DataBase]\r\ncboHostFilter0=example\r\n";
    seeds.Add(JoinFields(1, {"Common", "CacheDir", " /new/cache/ ", "Persistence", "TempDir", file}));
    seeds.Add(
        JoinFields(0, {"New", "Key", "value", "common", "proxytype", "[a]\nk=v\n[a]\nk=w\n=empty\n[b"}));
}

void RegistrySeeds(const std::string& out) {
    SeedFolder seeds(out, "WineRegistry");
    const std::string file =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
        "[Software\\\\Demo\\\\Proxy] 1700000000\n#time=1d9f0c0e2b3a4c0\n"
        "\"CacheDir\"=\"c:\\\\proxy\\\\cache\\\\\"\n\"Expand\"=str(2):\"%SystemRoot%\"\n"
        "\"Number\"=dword:0000001f\n\"Bytes\"=hex:01,02,\\\n  03\n\"Text\"=\"say \\\"hi\\\" \\x00e9\"\n";
    seeds.Add(
        JoinFields(7, {"Software\\Demo\\Proxy", "Software\\Wow6432Node\\Demo\\Proxy", "CacheDir", file}));
    seeds.Add(JoinFields(1, {"software\\demo\\proxy", "x", "bytes", file}));
}

void DecoderSeeds(const std::string& out) {
    SeedFolder seeds(out, "ContentDecoder");
    const std::string page = "<html><body>" + std::string(200, 'a') + "HELLO</body></html>";
    seeds.Add(JoinFields(0, {"gzip", "", Gzip(page)}));
    seeds.Add(JoinFields(3, {"deflate", "", ZlibDeflate(page)}));
    seeds.Add(JoinFields(5, {"Deflate", "", RawDeflate(page)}));
    seeds.Add(JoinFields(7, {"br", "", Brotli(page)}));
    seeds.Add(JoinFields(1, {"", "chunked", Chunked(page, 17)}));
    seeds.Add(JoinFields(2, {"gzip, br", "gzip, chunked", Chunked(Gzip(Brotli(Gzip(page))), 40)}));
    seeds.Add(JoinFields(0, {"identity", "", page}));
}

// Swap files as the builder writes them after what a real Squid wrote: a page, a gzip-encoded variant
// with its Vary headers, Squid's Vary marker, and shapes the parser must refuse.
void SwapMetadataSeeds(const std::string& out) {
    SeedFolder seeds(out, "SwapMetadata");
    SquidObject page;
    page.url = "http://www.example.com/path/page.html?q=1";
    page.Header("Date", HttpDate(1733000000))
        .Header("Content-Type", "text/html")
        .Header("Content-Length", "18");
    page.timestamp = page.lastReference = 1733000000;
    page.lastModified = 1700000000;
    page.content = Content::Bytes("<html>HELLO</html>");
    seeds.Add(SwapMetadataOf(page) + ReplyHeadOf(page) + page.content.bytes);

    SquidObject variant = page;
    variant.headerLines = {"Content-Type: application/javascript", "Content-Encoding: gzip",
                           "Vary: Accept-Encoding"};
    variant.varyHeaders = "accept-encoding=\"gzip%2C%20deflate\", user-agent";
    variant.expires = 1733003600;
    variant.content = Content::Bytes(Gzip("var html = 'HELLO';"));
    seeds.Add(SwapMetadataOf(variant) + ReplyHeadOf(variant) + variant.content.bytes);

    SquidObject marker = page;
    marker.statusLine = "HTTP/1.1 200 Internal marker object";
    marker.headerLines = {"Content-Type: x-squid-internal/vary", "Vary: Accept-Encoding"};
    marker.content = Content::Bytes("");
    seeds.Add(SwapMetadataOf(marker) + ReplyHeadOf(marker));

    SquidObject odd = page;
    odd.extraEntries = {{1, "old"}, {200, "future"}, {4, std::string("second\0url", 10)}};
    seeds.Add(SwapMetadataOf(odd) + ReplyHeadOf(odd) + "body");
    odd.metaLength = 40;
    seeds.Add(SwapMetadataOf(odd) + "rest");
    odd.writeUrl = false;
    odd.metaLength.reset();
    seeds.Add(SwapMetadataOf(odd));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_seeds <folder>\n";
        return 2;
    }
    const std::string out = argv[1];
    StoredHeaderSeeds(out);
    DateSeeds(out);
    IndexSeeds(out);
    FilterSeeds(out);
    SavePathSeeds(out);
    SettingsSeeds(out);
    RegistrySeeds(out);
    DecoderSeeds(out);
    SwapMetadataSeeds(out);
    return 0;
}
