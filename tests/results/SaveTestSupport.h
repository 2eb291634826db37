#pragma once
// The fixture of the results and save tests.
#include <gtest/gtest.h>

#include "cache/CacheTestKit.h"
#include "results/SaveDoubles.h"
#include "support/FaultFileSystem.h"

namespace loftwick::test {

// The program set up for saving: the real file system behind a fault injector, and a save root "out"
// below a sandbox folder that nothing else writes to.
class SaveFixture : public CacheFixture {
  protected:
    SaveFixture() {
        Platform().fileSystem = &fs_;
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

    const TempDir& dir_ = root_;
    FaultFileSystem fs_;
    TestSaveHost host_;
};

}  // namespace loftwick::test
