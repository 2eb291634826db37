// Generated caches: the same seed gives the same cache, and what is written is a cache a reader of the
// format can walk (every WinProxy file has a header block; the WinGate index frames into N records that
// name existing content files).
#include "cachebuilder/CacheGenerator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <set>

#include "cachebuilder/WinGateBuilder.h"
#include "support/TestEnv.h"

namespace loftwick::builder {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr int64_t kNow = 1733479200;

// Path below the cache -> content and write time, for comparing two generated trees.
std::map<std::string, std::pair<std::string, int64_t>> Snapshot(const std::string& root) {
    std::map<std::string, std::pair<std::string, int64_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        struct stat st {};
        ::stat(entry.path().c_str(), &st);
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // The index is written now, not at a generated moment: only its bytes are compared.
        const bool index = entry.path().filename() == "cache.idx";
        files[entry.path().string().substr(root.size())] = {bytes, index ? 0 : st.st_mtim.tv_sec};
    }
    return files;
}

GeneratorOptions Options(CacheFormat format, const std::string& out, uint64_t seed) {
    GeneratorOptions o;
    o.format = format;
    o.out = out;
    o.objects = 40;
    o.hosts = 6;
    o.seed = seed;
    o.now = kNow;
    o.maxObjectSize = 64 * 1024;
    return o;
}

std::string Gunzip(const std::string& packed) {
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, 15 + 16), Z_OK);
    std::string out(1 << 20, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    zs.avail_in = static_cast<uInt>(packed.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    inflateEnd(&zs);
    return rc == Z_STREAM_END ? out : std::string();
}

TEST(CacheGenerator, SameSeedWritesTheSameCacheAndAnotherSeedAnother) {
    for (CacheFormat format : {CacheFormat::WinProxy, CacheFormat::WinGate}) {
        TempDir a, b, c;
        GenerateCache(Options(format, a.path(), 7));
        GenerateCache(Options(format, b.path(), 7));
        GenerateCache(Options(format, c.path(), 8));
        const auto first = Snapshot(a.path());
        EXPECT_FALSE(first.empty());
        EXPECT_EQ(first, Snapshot(b.path()));
        EXPECT_NE(first, Snapshot(c.path()));
    }
}

TEST(CacheGenerator, WinProxyObjectsSpreadOverHostsEachWithAHeaderBlock) {
    TempDir dir;
    const GeneratedCache made = GenerateCache(Options(CacheFormat::WinProxy, dir.path(), 3));
    EXPECT_EQ(made.objects, 40u);
    ASSERT_EQ(made.hosts.size(), 6u);

    size_t files = 0, gzipped = 0, withLength = 0;
    std::set<std::string> hostDirs;
    std::set<std::string> types;
    uint64_t contentBytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const std::string host = entry.path().parent_path().filename().string();
        hostDirs.insert(host);
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Lead-in, then the URL of an object of this host folder.
        ASSERT_GT(bytes.size(), 9u);
        EXPECT_EQ(bytes.substr(9, 7 + host.size() + 1), "http://" + host + "/");
        const bool lf = bytes.find("\r\n\r\n") == std::string::npos;
        const size_t end = lf ? bytes.find("\n\n") : bytes.find("\r\n\r\n");
        ASSERT_NE(end, std::string::npos) << entry.path();
        const std::string block = bytes.substr(0, end);
        const std::string content = bytes.substr(end + (lf ? 2 : 4));
        contentBytes += content.size();
        const size_t typeAt = block.find("Content-Type: ");
        ASSERT_NE(typeAt, std::string::npos);
        types.insert(block.substr(typeAt + 14, block.find_first_of("\r\n", typeAt) - typeAt - 14));
        if (const size_t at = block.find("Content-Length: "); at != std::string::npos) {
            ++withLength;
            EXPECT_GE(std::stoull(block.substr(at + 16)), content.size());
        }
        if (block.find("Content-Encoding: gzip") != std::string::npos) {
            ++gzipped;
            EXPECT_FALSE(Gunzip(content).empty()) << entry.path();
        }
        struct stat st {};
        ::stat(entry.path().c_str(), &st);
        EXPECT_LE(st.st_mtim.tv_sec, kNow);
        EXPECT_GE(st.st_mtim.tv_sec, kNow - 180 * 86400);
    }
    EXPECT_EQ(files, 40u);
    EXPECT_EQ(hostDirs.size(), 6u);  // every host got at least one object
    EXPECT_EQ(contentBytes, made.contentBytes);
    EXPECT_GE(types.size(), 4u);
    EXPECT_GT(withLength, 30u);
    (void)gzipped;  // a seed may give none; when it does, they must unpack
}

TEST(CacheGenerator, WinGateIndexFramesIntoOneRecordPerContentFile) {
    TempDir dir;
    GenerateCache(Options(CacheFormat::WinGate, dir.path(), 5));
    const std::string index = dir.ReadFile("cache.idx");

    size_t pos = 0, records = 0;
    auto text = [&] {
        const size_t n = static_cast<unsigned char>(index.at(pos));
        const std::string t = index.substr(pos + 1, n);
        pos += 1 + n;
        return t;
    };
    auto number = [&](size_t width) {
        uint64_t v = 0;
        for (size_t k = 0; k < width; ++k)
            v |= uint64_t{static_cast<unsigned char>(index.at(pos + k))} << (8 * k);
        pos += width;
        return v;
    };
    while (pos < index.size()) {
        const std::string url = text();
        const std::string name = text();
        const uint64_t retrieved = number(4);
        const uint64_t modified = number(4);
        const std::string type = text();
        const uint64_t length = number(8);
        ++records;
        EXPECT_EQ(url.find("http"), std::string::npos) << url;
        EXPECT_NE(url.find('/'), std::string::npos) << url;
        EXPECT_FALSE(type.empty());
        EXPECT_GE(retrieved, static_cast<uint64_t>(kNow - 180 * 86400));
        EXPECT_LE(modified, retrieved);
        ASSERT_TRUE(dir.Exists(name + ".wgc")) << name;
        EXPECT_GE(length, fs::file_size(dir / (name + ".wgc")));
    }
    EXPECT_EQ(records, 40u);
}

TEST(CacheGenerator, RefusesAnOutputlessOrHostlessRequest) {
    GeneratorOptions none;
    EXPECT_THROW(GenerateCache(none), std::invalid_argument);
    TempDir dir;
    GeneratorOptions hostless = Options(CacheFormat::WinProxy, dir.path(), 1);
    hostless.hosts = 0;
    EXPECT_THROW(GenerateCache(hostless), std::invalid_argument);
}

TEST(SeededRandom, SequenceDependsOnTheSeedAlone) {
    SeededRandom a(42), b(42), c(43);
    for (int i = 0; i < 100; ++i) {
        const uint64_t x = a.Next();
        EXPECT_EQ(x, b.Next());
        EXPECT_NE(x, c.Next());
    }
    // The first output of seed 0 is splitmix64's published value.
    EXPECT_EQ(SeededRandom(0).Next(), 0xE220A8397B1DCDAFull);
    for (int i = 0; i < 1000; ++i) {
        const uint64_t v = a.Between(6, 9);
        EXPECT_GE(v, 6u);
        EXPECT_LE(v, 9u);
    }
    EXPECT_EQ(a.Below(0), 0u);
}

}  // namespace
}  // namespace loftwick::builder
