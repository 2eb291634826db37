#pragma once
// A cache object and a window for the tests of results and saving: the window records what the user
// would have seen.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cache/clsCache.h"
#include "results/SaveHost.h"
#include "results/clsSearchResults.h"
#include "support/FaultFileSystem.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
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
    const std::string& fileName() const override { return file; }
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

// The program set up for saving: a scripted desktop, the real file system behind a fault injector, the
// log in the sandbox, and a save root "out" below a sandbox folder that nothing else writes to.
class SaveFixture : public ProgramFixture {
  protected:
    SaveFixture() {
        Platform().desktop = &desktop_;
        Platform().fileSystem = &fs_;
        Program().IsUnattended = false;
        dir_.MakeDirs("log");
        Program().AppParentDir = dir_ / "log/";
        host_.tempDir = root();
    }

    std::string root() const { return dir_ / "out"; }

    // Adds a result and makes it the current one.
    std::shared_ptr<FakeCache> Add(const std::string& url, const std::string& contentType,
                                   const std::string& content = "content") {
        auto object = std::make_shared<FakeCache>(url, contentType, content);
        host_.results.Add(object);
        host_.current = host_.results.Count();
        return object;
    }

    // The locations of the error reports shown so far.
    std::vector<std::string> ReportLocations() const {
        std::vector<std::string> found;
        for (const auto& message : desktop_.messages) {
            const size_t at = message.text.find("Code module: ");
            if (at == std::string::npos) continue;
            const size_t end = message.text.find('\r', at);
            found.push_back(message.text.substr(at + 13, end - at - 13));
        }
        return found;
    }

    TempDir dir_;
    ScriptedDesktop desktop_;
    FaultFileSystem fs_;
    TestSaveHost host_;
};

}  // namespace loftwick::test
