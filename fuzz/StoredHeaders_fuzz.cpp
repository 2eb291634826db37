// The start of a WinProxy cache file, as the proxy (or a damaged disk) left it: the header block is
// parsed on its own and then through binding a cache object to the file and searching its content.
#include <cmath>
#include <string_view>

#include "FuzzWorld.h"
#include "cache/StoredHeaders.h"
#include "cache/clsCache.h"
#include "scan/basParse.h"
#include "support/Program.h"

using namespace loftwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::TheWorld();
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const StoredHeaderBlock block = ParseStoredHeaderBlock(text);
    FUZZ_REQUIRE(block.headerLength >= 0 && static_cast<size_t>(block.headerLength) <= size,
                 "the content starts inside the text");
    FUZZ_REQUIRE(block.url.size() < size || size == 0, "the URL is part of the text");
    if (size < 20) FUZZ_REQUIRE(block.url.empty() && block.headerLength == 0, "short texts are not parsed");
    FUZZ_REQUIRE(std::isfinite(InternetDateTime2Date(block.date).Serial()), "a date is a number");

    // Binding reads the same bytes from a file (the first 10,000 of them).
    const std::string cacheDir = world.root + "/winproxy/";
    const std::string path = cacheDir + "host.example/object";
    test::WriteRealFile(path, std::string(text));
    Program().CacheDir = cacheDir;
    const std::shared_ptr<clsCache> object = NewCacheObject(1);
    object->setFileName(path);
    FUZZ_REQUIRE(object->fileName() == path, "a regular file binds");
    FUZZ_REQUIRE(object->ContentLenActual() >= 0 && static_cast<size_t>(object->ContentLenActual()) <= size,
                 "the content is part of the file");
    if (size <= 10000) FUZZ_REQUIRE(object->ObjectName() == block.url, "binding and the parser agree");

    ParsedFilter filter;
    ParseFilter("\"CONTENT-TYPE\" +html -zz", filter);
    object->FindInContents(filter, 1);
    FUZZ_REQUIRE(FilterScore(filter) >= 0 && FilterScore(filter) <= 100, "a score is a share");
    return 0;
}
