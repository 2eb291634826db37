#pragma once
// The gtest-free doubles of the results and save tests, for the fuzz targets too: a cache object whose
// metadata a test sets, and a window that records what the user would have seen.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cache/clsCache.h"
#include "results/SaveHost.h"
#include "results/clsSearchResults.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/basErrorHandler.h"

namespace loftwick::test {

// A cache object whose metadata a test sets; it deletes nothing.
class FakeCache final : public clsCache {
  public:
    FakeCache(std::string url, std::string contentType = "text/html", std::string content = "content")
        : url(std::move(url)), contentType(std::move(contentType)), content(std::move(content)) {}

    std::string url, contentType, content, file = "/cache/" + url;
    OleDate retrieved, modified;
    std::optional<int64_t> reportedLength;  // unset: the content's size
    bool failCopy = false;

    int32_t ProxyType() const override { return 1; }
    std::string fileName() const override { return file; }
    void setFileName(const std::string&) override {}
    bool TakeMetadata(const uint8_t*, size_t) override { return false; }
    OleDate DateModified() const override { return modified; }
    OleDate DateRetrieved() const override { return retrieved; }
    int32_t AgeRetrieved() const override { return 0; }
    bool FixFileTime() override { return false; }
    bool SetFileTTL(int32_t) override { return false; }
    bool FixFileName() override { return false; }
    int64_t ContentLen() const override { return reportedLength.value_or(ContentLenActual()); }
    int64_t ContentLenActual() const override { return static_cast<int64_t>(content.size()); }
    const std::string& ContentType() const override { return contentType; }
    const std::string& ObjectName() const override { return url; }
    std::string Host() const override { return {}; }
    bool DeleteIfAged() override { return false; }
    bool Delete() override { return true; }
    bool FindInContents(ParsedFilter&, int64_t) override { return false; }
    bool MetaGathered() const override { return true; }
    bool StillSameFile() const override { return true; }

    // Writes the content the way the real objects do: a temporary file beside the target, renamed.
    bool FileCopy(const std::string& Destination) override {
        try {
            if (failCopy) Raise(vberr::PermissionDenied, "Permission denied: " + Destination);
            WriteFileAtomically(TheFileSystem(), Destination, content);
            return true;
        } catch (...) {
            HandleError("clsCacheWinProxy:clsCache_FileCopy", Destination);
            return false;
        }
    }
};

struct TestSaveHost final : SaveHost {
    std::string tempDir, dirPrev, defaultName;
    bool skipPrompt = false;
    clsSearchResults results;
    int64_t current = 0;
    int32_t selectedLine = 0;  // what RecomputeCurrentResult finds in the list
    std::vector<std::string> statuses;
    int eventsRun = 0;
    std::function<void()> onEvents;

    std::string TempDirText() const override { return tempDir; }
    std::string DirPrev() const override { return dirPrev; }
    void SetDirPrev(const std::string& folder) override { dirPrev = folder; }
    std::string DefaultDocumentName() const override { return defaultName; }
    void SetDefaultDocumentName(const std::string& name) override { defaultName = name; }
    bool SkipDefaultNamePrompt() const override { return skipPrompt; }
    void SetSkipDefaultNamePrompt(bool skip) override { skipPrompt = skip; }
    clsSearchResults& Results() override { return results; }
    int64_t CurrentResult() const override { return current; }
    void SetCurrentResult(int64_t index) override { current = index; }
    void RecomputeCurrentResult() override { current = selectedLine; }
    void SetStatusText(const std::string& text) override { statuses.push_back(text); }
    void LetEventsRun() override {
        ++eventsRun;
        if (onEvents) onEvents();
    }
};

}  // namespace loftwick::test
