// URLs as a cache may hold them, turned into saved copies: whatever the URL, its content type and the
// default document name, every name part is a plain name, and saving (in every mode, one object over
// another) makes folders and files only below the save root.
#include <filesystem>
#include <string>

#include "FuzzInput.h"
#include "FuzzWorld.h"
#include "cache/clsCache.h"
#include "results/FixNameForLocal.h"
#include "results/SaveHost.h"
#include "results/SaveObjects.h"
#include "results/SavePath.h"
#include "results/clsSearchResults.h"
#include "support/FileSystem.h"
#include "support/Program.h"

using namespace loftwick;

namespace {

// A cached object that is only a URL and a content type; its copy is a few bytes.
class UrlOnlyObject final : public clsCache {
  public:
    UrlOnlyObject(std::string url, std::string contentType)
        : url_(std::move(url)), type_(std::move(contentType)) {}
    std::vector<std::string> copies;

    int32_t ProxyType() const override { return 1; }
    const std::string& fileName() const override { return path_; }
    void setFileName(const std::string&) override {}
    bool TakeMetadata(const uint8_t*, size_t) override { return false; }
    OleDate DateModified() const override { return {}; }
    OleDate DateRetrieved() const override { return {}; }
    int32_t AgeRetrieved() const override { return 0; }
    bool FixFileTime() override { return false; }
    bool SetFileTTL(int32_t) override { return false; }
    bool FixFileName() override { return false; }
    int64_t ContentLen() const override { return 0; }
    int64_t ContentLenActual() const override { return 0; }
    const std::string& ContentType() const override { return type_; }
    const std::string& ObjectName() const override { return url_; }
    std::string Host() const override { return {}; }
    bool DeleteIfAged() override { return false; }
    bool Delete() override { return false; }
    bool FindInContents(ParsedFilter&, int64_t) override { return false; }
    bool MetaGathered() const override { return false; }
    bool StillSameFile() const override { return false; }
    bool FileCopy(const std::string& destination) override {
        copies.push_back(destination);
        try {
            WriteFileAtomically(TheFileSystem(), destination, "copy");
        } catch (...) {
            return false;
        }
        return true;
    }

  private:
    std::string url_, type_;
    std::string path_ = "/nonexistent";
};

class FuzzSaveHost final : public SaveHost {
  public:
    std::string root, defaultName;
    bool skipPrompt = false;
    int64_t current = 0;
    clsSearchResults results;

    std::string TempDirText() const override { return root; }
    std::string DirPrev() const override { return root; }
    void SetDirPrev(const std::string&) override {}
    std::string DefaultDocumentName() const override { return defaultName; }
    void SetDefaultDocumentName(const std::string& name) override { defaultName = name; }
    bool SkipDefaultNamePrompt() const override { return skipPrompt; }
    void SetSkipDefaultNamePrompt(bool skip) override { skipPrompt = skip; }
    clsSearchResults& Results() override { return results; }
    int64_t CurrentResult() const override { return current; }
    void SetCurrentResult(int64_t index) override { current = index; }
    void RecomputeCurrentResult() override {}
    void SetStatusText(const std::string&) override {}
    void LetEventsRun() override {}
};

bool IsValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

void CheckNameParts(const std::string& local) {
    for (const std::string& part : SafeNameParts(local)) {
        FUZZ_REQUIRE(!part.empty() && part != "." && part != "..", "a part names something");
        FUZZ_REQUIRE(part.size() <= kMaxSavedNameBytes, "a part fits the file system");
        FUZZ_REQUIRE(IsValidUtf8(part), "a part is UTF-8");
        for (char c : part) {
            const auto byte = static_cast<unsigned char>(c);
            FUZZ_REQUIRE(c != '/' && c != '\\' && byte >= 0x20 && byte != 0x7F, "a part is one plain name");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::TheWorld();
    fuzz::FieldReader input(data, size);
    const uint8_t flags = input.Byte();
    const std::string url1 = input.Field();
    const std::string url2 = input.Field();
    const std::string contentType = input.Field();
    const std::string defaultName = input.Rest();
    static const char* const kModes[] = {"tree", "domain", "none", "Tree"};
    const std::string mode = kModes[flags & 3];

    const std::string saveRoot = world.root + "/save";
    fuzz::EmptyFolder(saveRoot);
    world.fileSystem.SetWritableFolder(saveRoot);

    FuzzSaveHost host;
    host.root = saveRoot;
    host.defaultName = defaultName;
    host.skipPrompt = (flags >> 3) & 1;
    auto first = std::make_shared<UrlOnlyObject>(url1, contentType);
    auto second = std::make_shared<UrlOnlyObject>(url2, contentType);
    host.results.Add(first);
    host.results.Add(second);

    for (int64_t index = 1; index <= 2; ++index) {
        CheckNameParts(FixNameForLocal(host, index));
        host.SetCurrentResult(index);
        const std::string saved = SaveOneFile(host, mode, (flags >> 2) & 1);
        FUZZ_REQUIRE(saved.empty() || fuzz::LiesBelow(saved, saveRoot),
                     "the copy's path lies below the root");
    }
    for (const auto& object : {first, second}) {
        for (const std::string& copy : object->copies) {
            FUZZ_REQUIRE(fuzz::LiesBelow(copy, saveRoot), "a copy is written below the root");
        }
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(saveRoot)) {
        FUZZ_REQUIRE(!entry.is_symlink(), "saving makes no links");
    }
    world.fileSystem.SetWritableFolder(world.root);
    return 0;
}
