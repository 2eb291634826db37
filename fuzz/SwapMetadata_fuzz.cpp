// A Squid swap file as Squid (or a damaged disk) left it: the metadata is parsed on its own, then a
// cache object is bound to the file and its content searched, copied and its head read.
#include <string_view>

#include "FuzzWorld.h"
#include "cache/SwapMetadata.h"
#include "cache/clsCacheSquid.h"
#include "scan/basParse.h"
#include "support/Program.h"

using namespace loftwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::TheWorld();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const SwapMetadata meta = ParseSwapMetadata(bytes);
    if (meta.valid) {
        FUZZ_REQUIRE(meta.length >= kSwapMetaPrefixSize && meta.length <= size,
                     "the metadata is part of the file");
        FUZZ_REQUIRE(!meta.url.empty() && meta.url.size() < meta.length, "the URL is part of the metadata");
        FUZZ_REQUIRE(meta.url.find('\0') == std::string::npos, "the NUL ends the URL");
    } else {
        FUZZ_REQUIRE(!meta.problem.empty(), "a refusal says why");
    }
    for (const std::string& line : VaryRequestHeaders(meta.varyHeaders))
        FUZZ_REQUIRE(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                     "one header a line");

    const std::string cacheDir = world.root + "/squid/";
    const std::string path = cacheDir + "00/00/00000000";
    test::WriteRealFile(path, std::string(bytes));
    Program().CacheDir = cacheDir;
    clsCacheSquid object;
    object.setFileName(path);
    FUZZ_REQUIRE(object.fileName() == path, "a regular file binds");
    if (!meta.valid) FUZZ_REQUIRE(object.Skipped(), "damaged metadata is skipped");
    if (!object.Skipped()) {
        FUZZ_REQUIRE(object.ObjectName() == meta.url, "binding and the parser agree");
        FUZZ_REQUIRE(object.ContentOffset() >= static_cast<int64_t>(meta.length) &&
                         object.ContentOffset() + object.ContentLenActual() == static_cast<int64_t>(size),
                     "the content is the rest of the file");
        ParsedFilter filter;
        ParseFilter("\"CONTENT-TYPE\" +html -zz", filter);
        object.FindInContents(filter, 1);
        FUZZ_REQUIRE(FilterScore(filter) >= 0 && FilterScore(filter) <= 100, "a score is a share");
        const std::shared_ptr<InputFile> content = object.OpenContent();
        const std::string head = content ? object.ResponseHeadOf(*content) : "";
        FUZZ_REQUIRE(head.empty() || head.rfind("HTTP/", 0) == 0, "a head starts with its status line");
    }
    return 0;
}
