#pragma once
// Small fixtures shared by every test program.
#include <gtest/gtest.h>

#include <string>

#include "support/Clock.h"
#include "support/Program.h"
#include "support/TableProxyControl.h"

namespace loftwick::test {

// A fresh folder below the test sandbox, removed with everything in it at the end of the scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }  // no trailing "/"
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    void WriteFile(const std::string& relative, const std::string& content) const;
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    void MakeDirs(const std::string& relative) const;

  private:
    std::string path_;
};

// Sets TZ for the scope and restores the previous value.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const std::string& tz);
    ~ScopedTimeZone();

  private:
    std::string old_;
    bool hadOld_;
};

// Sets an environment variable for the scope.
class ScopedEnv {
  public:
    ScopedEnv(const std::string& name, const std::string& value);
    ~ScopedEnv();

  private:
    std::string name_, old_;
    bool hadOld_;
};

// Saves the program-wide values and seams and restores them when the test ends; installs a fixed clock.
class ProgramFixture : public ::testing::Test {
  protected:
    ProgramFixture();
    ~ProgramFixture() override;

    FixedClock clock_{1733479200};  // 2024-12-06 10:00:00 UTC
    // No Squid runs, whatever runs on the machine; a test that wants one fills the table.
    TableProxyControl proxy_;

  private:
    ProgramValues savedValues_;
    Services savedServices_;
};

}  // namespace loftwick::test
