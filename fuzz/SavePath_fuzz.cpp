// URLs as a cache may hold them, turned into saved copies: whatever the URL, its content type and the
// default document name, every name part is a plain name, and saving (in every mode, one object over
// another) makes folders and files only below the save root.
#include <filesystem>
#include <string>

#include "FuzzInput.h"
#include "FuzzWorld.h"
#include "results/FixNameForLocal.h"
#include "results/SaveDoubles.h"
#include "results/SaveObjects.h"
#include "results/SavePath.h"
#include "support/TextCodec.h"

using namespace loftwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::TheWorld();
    fuzz::FieldReader input(data, size);
    const uint8_t flags = input.Byte();
    const std::string urls[] = {input.Field(), input.Field()};
    const std::string contentType = input.Field();
    const std::string defaultName = input.Rest();
    static const char* const kModes[] = {"tree", "domain", "none", "Tree"};

    const std::string saveRoot = world.root + "/save";
    test::EmptyFolder(saveRoot);
    world.fileSystem.SetWritableFolder(saveRoot);

    // Every change outside the save root aborts the run: the guarded file system sees to the copies.
    test::TestSaveHost host;
    host.tempDir = host.dirPrev = saveRoot;
    host.defaultName = defaultName;
    host.skipPrompt = (flags >> 3) & 1;
    for (const std::string& url : urls)
        host.results.Add(std::make_shared<test::FakeCache>(url, contentType, "copy"));

    for (int64_t index = 1; index <= 2; ++index) {
        for (const std::string& part : SafeNameParts(FixNameForLocal(host, index))) {
            FUZZ_REQUIRE(!part.empty() && part != "." && part != "..", "a part names something");
            FUZZ_REQUIRE(part.size() <= kMaxSavedNameBytes, "a part fits the file system");
            for (size_t at = 0, n; at < part.size(); at += n)
                FUZZ_REQUIRE((n = Utf8SequenceAt(part, at)) > 0, "a part is UTF-8");
            for (char c : part) {
                const auto byte = static_cast<unsigned char>(c);
                FUZZ_REQUIRE(c != '/' && c != '\\' && byte >= 0x20 && byte != 0x7F,
                             "a part is one plain name");
            }
        }
        host.SetCurrentResult(index);
        const std::string saved = SaveOneFile(host, kModes[flags & 3], (flags >> 2) & 1);
        FUZZ_REQUIRE(saved.empty() || test::LiesBelow(saved, saveRoot),
                     "the copy's path lies below the root");
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(saveRoot))
        FUZZ_REQUIRE(!entry.is_symlink(), "saving makes no links");
    world.fileSystem.SetWritableFolder(world.root);
    return 0;
}
