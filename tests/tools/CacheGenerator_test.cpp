// Generated caches: the same seed gives the same cache, and the program's own cache objects read every
// object of it (WinProxy files through their header blocks, WinGate records through the index framing).
#include "cachebuilder/CacheGenerator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>

#include "cache/clsCache.h"
#include "scan/IndexFraming.h"
#include "support/TestEnv.h"

namespace loftwick::builder {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr int64_t kNow = 1733479200;

// Relative path -> content and write time. The index is written now: only its bytes are compared.
std::map<std::string, std::pair<std::string, int64_t>> Snapshot(const TempDir& dir) {
    std::map<std::string, std::pair<std::string, int64_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (!entry.is_regular_file()) continue;
        struct stat st {};
        ::stat(entry.path().c_str(), &st);
        const std::string relative = entry.path().string().substr(dir.path().size() + 1);
        files[relative] = {dir.ReadFile(relative), relative == "cache.idx" ? 0 : st.st_mtim.tv_sec};
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

TEST(CacheGenerator, SameSeedWritesTheSameCacheAndAnotherSeedAnother) {
    for (CacheFormat format : {CacheFormat::WinProxy, CacheFormat::WinGate}) {
        TempDir a, b, c;
        GenerateCache(Options(format, a.path(), 7));
        GenerateCache(Options(format, b.path(), 7));
        GenerateCache(Options(format, c.path(), 8));
        const auto first = Snapshot(a);
        EXPECT_FALSE(first.empty());
        EXPECT_EQ(first, Snapshot(b));
        EXPECT_NE(first, Snapshot(c));
    }
    GeneratorOptions hostless = Options(CacheFormat::WinProxy, "unused", 1);
    hostless.hosts = 0;
    EXPECT_THROW(GenerateCache(hostless), std::invalid_argument);
    EXPECT_THROW(GenerateCache(GeneratorOptions{}), std::invalid_argument);
}

class GeneratedCacheRead : public test::ProgramFixture {
  protected:
    TempDir dir_;
};

TEST_F(GeneratedCacheRead, EveryWinProxyFileBindsWithItsHostsUrlAndDecodes) {
    const GeneratedCache made = GenerateCache(Options(CacheFormat::WinProxy, dir_.path(), 3));
    EXPECT_EQ(made.hosts.size(), 6u);
    std::set<std::string> hosts, types;
    uint64_t files = 0, contentBytes = 0, withLength = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const std::string host = entry.path().parent_path().filename().string();
        hosts.insert(host);
        const auto object = NewCacheObject(1);
        object->setFileName(entry.path().string());
        EXPECT_EQ(object->ObjectName().rfind("http://" + host + "/", 0), 0u) << entry.path();
        if (object->ContentLen() > 0) {
            ++withLength;
            EXPECT_GE(object->ContentLen(), object->ContentLenActual());
        }
        types.insert(object->ContentType());
        contentBytes += static_cast<uint64_t>(object->ContentLenActual());
        EXPECT_TRUE(object->FileCopy(dir_ / "copy"));
        EXPECT_FALSE(object->DecodeFailed()) << entry.path();
        fs::remove(dir_ / "copy");
    }
    EXPECT_EQ(files, 40u);
    EXPECT_EQ(hosts.size(), 6u);  // every host got at least one object
    EXPECT_EQ(contentBytes, made.contentBytes);
    EXPECT_GE(types.size(), 4u);
    EXPECT_GT(withLength, 30u);
}

TEST_F(GeneratedCacheRead, WinGateIndexFramesIntoOneBoundRecordPerContentFile) {
    GenerateCache(Options(CacheFormat::WinGate, dir_.path(), 5));
    Program().CacheDir = dir_.path() + "/";
    const std::string index = dir_.ReadFile("cache.idx");
    IndexFraming framing;
    size_t pos = 0, records = 0;
    while (framing.Feed(reinterpret_cast<const uint8_t*>(index.data()), index.size(), pos)) {
        ++records;
        const auto object = NewCacheObject(2);
        EXPECT_TRUE(object->TakeMetadata(framing.Buffer(), framing.StoredLength()));
        EXPECT_NE(object->fileName(), "") << object->ObjectName();
        EXPECT_GE(object->ContentLen(), object->ContentLenActual());
        EXPECT_FALSE(object->ContentType().empty());
        EXPECT_LE(object->DateModified(), object->DateRetrieved());
        framing.Reset();
    }
    EXPECT_EQ(pos, index.size());
    EXPECT_EQ(records, 40u);
}

}  // namespace
}  // namespace loftwick::builder
