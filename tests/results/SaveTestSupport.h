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
#include "support/SaveDoubles.h"
#include "support/ScriptedDesktop.h"
#include "support/TestEnv.h"
#include "support/basErrorHandler.h"

namespace loftwick::test {

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
