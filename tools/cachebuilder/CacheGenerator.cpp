#include "cachebuilder/CacheGenerator.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "cachebuilder/Encodings.h"
#include "cachebuilder/SquidBuilder.h"
#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"

namespace loftwick::builder {

uint64_t SeededRandom::Next() {
    // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t SeededRandom::Below(uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }

uint64_t SeededRandom::Between(uint64_t low, uint64_t high) {
    return high <= low ? low : low + Below(high - low + 1);
}

bool SeededRandom::Percent(unsigned percent) { return Below(100) < percent; }

namespace {

constexpr int64_t kDay = 86400;

struct Kind {
    const char* contentType;
    const char* extension;
    unsigned weight;
    bool text;
    const char* magic;  // the first bytes of a binary content, so viewers recognise it
};

// Roughly the mix a browsing cache holds.
const Kind kKinds[] = {
    {"text/html; charset=utf-8", "html", 26, true, ""},
    {"text/html", "htm", 6, true, ""},
    {"text/css", "css", 8, true, ""},
    {"application/javascript", "js", 12, true, ""},
    {"application/json", "json", 4, true, ""},
    {"text/plain; charset=iso-8859-1", "txt", 4, true, ""},
    {"image/gif", "gif", 10, false, "GIF89a"},
    {"image/jpeg", "jpg", 15, false, "\xFF\xD8\xFF\xE0"},
    {"image/png", "png", 10, false, "\x89PNG\r\n\x1A\n"},
    {"application/zip", "zip", 2, false, "PK\x03\x04"},
    {"application/octet-stream", "bin", 3, false, ""},
};

const char* const kWords[] = {
    "cache",  "proxy",   "object",  "window", "garden",  "river",  "station", "market", "letter", "bridge",
    "winter", "summer",  "orange",  "silver", "number",  "report", "engine",  "forest", "island", "museum",
    "ticket", "weather", "village", "harbor", "lantern", "meadow", "pencil",  "rocket", "saddle", "tunnel",
    "update", "archive", "library", "notice", "gallery", "recipe", "journal", "review", "season", "travel",
};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];

const char* const kHostWords[] = {"news",  "shop",  "photo", "sport", "travel", "music",   "mail", "docs",
                                  "forum", "media", "maps",  "blog",  "games",  "weather", "wiki", "video"};
constexpr size_t kHostWordCount = sizeof kHostWords / sizeof kHostWords[0];

const Kind& PickKind(SeededRandom& rng) {
    unsigned total = 0;
    for (const Kind& k : kKinds) total += k.weight;
    uint64_t pick = rng.Below(total);
    for (const Kind& k : kKinds) {
        if (pick < k.weight) return k;
        pick -= k.weight;
    }
    return kKinds[0];
}

// Sizes spread over orders of magnitude, as cached objects are: a power of two picked evenly, then a
// point within it. Integer arithmetic only, so the result is the same on every machine.
uint64_t PickSize(SeededRandom& rng, uint64_t maxSize) {
    const unsigned topBits = rng.Percent(3) ? 20 : 16;
    const unsigned bits = static_cast<unsigned>(rng.Between(6, topBits));
    const uint64_t size = (uint64_t{1} << bits) + rng.Below(uint64_t{1} << bits);
    return std::max<uint64_t>(1, std::min(size, maxSize));
}

// Readable text of exactly `size` bytes that compresses the way real pages do.
std::string MakeText(SeededRandom& rng, const Kind& kind, uint64_t size, uint64_t number) {
    std::string text;
    const std::string type = kind.contentType;
    std::string tail;
    if (type.rfind("text/html", 0) == 0) {
        text =
            "<!DOCTYPE html>\n<html><head><title>Page " + std::to_string(number) + "</title></head><body>\n";
        tail = "</body></html>\n";
    } else if (type == "application/json") {
        text = "{\"items\": [";
        tail = "]}\n";
    }
    const uint64_t room = size > tail.size() ? size - tail.size() : 0;
    while (text.size() < room) {
        if (type.rfind("text/html", 0) == 0) text += "<p>";
        const uint64_t words = rng.Between(6, 24);
        for (uint64_t w = 0; w < words; ++w) {
            if (w) text += ' ';
            text += kWords[rng.Below(kWordCount)];
        }
        text += type.rfind("text/html", 0) == 0 ? ".</p>\n" : ".\n";
    }
    text.resize(static_cast<size_t>(room));
    text += tail;
    text.resize(static_cast<size_t>(size));
    return text;
}

std::string MakeBinary(SeededRandom& rng, const Kind& kind, uint64_t size) {
    std::string bytes(kind.magic);
    bytes.reserve(static_cast<size_t>(size));
    while (bytes.size() < size) {
        uint64_t r = rng.Next();
        for (int i = 0; i < 8 && bytes.size() < size; ++i, r >>= 8) bytes += static_cast<char>(r & 0xFF);
    }
    bytes.resize(static_cast<size_t>(size));
    return bytes;
}

struct PlannedObject {
    std::string host;
    std::string path;  // from the first "/" after the host
    const Kind* kind = nullptr;
    std::string body;
    bool gzipped = false;
    int64_t retrieved = 0;
    std::optional<int64_t> modified;
    std::optional<uint64_t> claimedLength;  // what the proxy recorded; nothing when it recorded none
};

PlannedObject PlanObject(SeededRandom& rng, const GeneratorOptions& options,
                         const std::vector<std::string>& hosts, uint64_t number) {
    PlannedObject o;
    o.host = hosts[number < hosts.size() ? number : rng.Below(hosts.size())];
    o.kind = &PickKind(rng);
    const uint64_t size = PickSize(rng, options.maxObjectSize);
    o.path = "/" + std::string(kWords[rng.Below(kWordCount)]) + "/" + kWords[rng.Below(kWordCount)] + "-" +
             std::to_string(number) + "." + o.kind->extension;
    if (o.kind->text) {
        o.body = MakeText(rng, *o.kind, size, number);
        if (size > 512 && rng.Percent(15)) {
            o.body = Gzip(o.body);
            o.gzipped = true;
        }
    } else {
        o.body = MakeBinary(rng, *o.kind, size);
    }
    o.retrieved = options.now - static_cast<int64_t>(rng.Below(180 * kDay));
    if (rng.Percent(85)) o.modified = o.retrieved - static_cast<int64_t>(rng.Below(365 * kDay));
    const uint64_t lengthCase = rng.Below(100);
    if (lengthCase < 90) {
        o.claimedLength = o.body.size();
    } else if (lengthCase < 97) {
        o.claimedLength = std::nullopt;
    } else {
        o.claimedLength = o.body.size() + rng.Between(1, 4096);  // a transfer that was cut short
    }
    return o;
}

std::vector<std::string> MakeHosts(SeededRandom& rng, uint32_t count) {
    std::vector<std::string> hosts;
    for (uint32_t i = 0; i < count; ++i) {
        hosts.push_back("www." + std::string(kHostWords[rng.Below(kHostWordCount)]) + std::to_string(i + 1) +
                        (rng.Percent(70) ? ".example.com" : ".example.org"));
    }
    return hosts;
}

void WriteWinProxy(WinProxyCache& cache, SeededRandom& rng, const PlannedObject& o) {
    WinProxyObject w;
    w.host = o.host;
    w.url = "http://" + o.host + o.path;
    w.statusLine = rng.Percent(80) ? "HTTP/1.1 200 OK" : "HTTP/1.0 200 OK";
    w.lineBreak = rng.Percent(90) ? LineBreak::CrLf : LineBreak::Lf;
    if (rng.Percent(97)) w.Header("Date", HttpDate(o.retrieved));
    w.Header("Server", "demo");
    w.Header("Content-Type", o.kind->contentType);
    if (o.gzipped) w.Header("Content-Encoding", "gzip");
    if (o.claimedLength) w.Header("Content-Length", std::to_string(*o.claimedLength));
    if (o.modified) w.Header("Last-Modified", HttpDate(*o.modified));
    w.Header("Cache-Control", "max-age=" + std::to_string(rng.Between(1, 30) * kDay));
    w.content = Content::Bytes(o.body);
    w.stamp.writeTime = o.retrieved;
    w.stamp.creationTime = o.retrieved;
    cache.Add(w);
}

void WriteWinGate(WinGateCache& cache, const PlannedObject& o, uint64_t number) {
    WinGateRecord r;
    r.url = o.host + o.path;
    char name[24];
    std::snprintf(name, sizeof name, "%08llX", static_cast<unsigned long long>(number + 1));
    r.baseName = name;
    r.retrieved = static_cast<uint32_t>(o.retrieved);
    r.modified = static_cast<uint32_t>(o.modified.value_or(o.retrieved));
    r.contentType = o.kind->contentType;
    r.contentLength = o.claimedLength.value_or(o.body.size());
    WinGateContent c;
    c.content = Content::Bytes(o.body);
    c.stamp.writeTime = o.retrieved;
    c.stamp.creationTime = o.retrieved;
    cache.Add(r, c);
}

// As a Squid stores what it fetched: the metadata's times from the reply, and a gzip-encoded text as a
// variant chosen by Accept-Encoding (its Vary marker not counted among the objects).
void WriteSquid(SquidCache& cache, SeededRandom& rng, const PlannedObject& o) {
    SquidObject s;
    s.url = "http://" + o.host + o.path;
    s.Header("Date", HttpDate(o.retrieved))
        .Header("Server", "demo")
        .Header("Content-Type", o.kind->contentType);
    if (o.gzipped) s.Header("Content-Encoding", "gzip").Header("Vary", "Accept-Encoding");
    if (o.claimedLength) s.Header("Content-Length", std::to_string(*o.claimedLength));
    if (o.modified) s.Header("Last-Modified", HttpDate(*o.modified));
    const int64_t maxAge = static_cast<int64_t>(rng.Between(1, 30)) * kDay;
    s.Header("Cache-Control", "max-age=" + std::to_string(maxAge));
    s.timestamp = s.lastReference = o.retrieved;
    s.expires = o.retrieved + maxAge;
    s.lastModified = o.modified.value_or(-1);
    if (o.gzipped) {
        cache.AddVaryMarker(s.url, "Accept-Encoding", o.retrieved);
        s.varyHeaders = "accept-encoding=\"gzip\"";
    }
    s.content = Content::Bytes(o.body);
    cache.Add(s);
}

}  // namespace

GeneratedCache GenerateCache(const GeneratorOptions& options) {
    if (options.out.empty()) throw std::invalid_argument("no output folder given");
    if (options.hosts == 0 && options.objects > 0)
        throw std::invalid_argument("objects need at least one host");
    SeededRandom rng(options.seed);
    GeneratedCache result;
    result.hosts = MakeHosts(rng, options.hosts);

    std::optional<WinProxyCache> proxy;
    std::optional<WinGateCache> gate;
    std::optional<SquidCache> squid;
    if (options.format == CacheFormat::WinProxy) {
        proxy.emplace(options.out);
    } else if (options.format == CacheFormat::Squid) {
        squid.emplace(options.out);
    } else {
        gate.emplace(options.out);
    }

    for (uint64_t i = 0; i < options.objects; ++i) {
        const PlannedObject o = PlanObject(rng, options, result.hosts, i);
        if (proxy) {
            WriteWinProxy(*proxy, rng, o);
        } else if (squid) {
            WriteSquid(*squid, rng, o);
        } else {
            WriteWinGate(*gate, o, i);
        }
        ++result.objects;
        result.contentBytes += o.body.size();
    }
    return result;
}

}  // namespace loftwick::builder
