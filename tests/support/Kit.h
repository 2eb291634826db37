#pragma once
// The gtest-free part of the test kit, shared by the test programs and the fuzz targets: private folders,
// files written and read past the program's seam, the pinned environment and the program-wide values of
// a run that no machine setting can change.
#include <cstdint>
#include <optional>
#include <string>

#include "support/Program.h"

namespace loftwick::test {

// 2024-12-06 10:00:00 UTC: where the fixed clocks of tests and fuzz targets stand.
inline constexpr int64_t kTestEpochSeconds = 1733479200;

// A fresh folder "<base>/<stem>-XXXXXX"; $TMPDIR (or /tmp) when `base` is empty. Aborts when none can be
// made.
std::string MakeTempFolder(const std::string& stem, const std::string& base = "");
// Writes a file directly (creating its folders); reads one ("" when it cannot).
void WriteRealFile(const std::string& path, const std::string& content);
std::string ReadRealFile(const std::string& path);
// Removes everything below `folder` and makes it again, empty.
void EmptyFolder(const std::string& folder);
// Whether `path`, taken lexically ("..", "." and doubled separators resolved), lies below `folder`.
bool LiesBelow(const std::string& path, const std::string& folder);
// TZ, the language, the home, XDG, temporary and Wine prefix folders, all below `sandbox`.
void PinEnvironment(const std::string& sandbox);
// The name and title a test run goes by.
void NameTheProgram(ProgramValues& program);

// A fresh folder below the test sandbox, removed with everything in it at the end of the scope.
class TempDir {
  public:
    TempDir() : path_(MakeTempFolder("dir")) {}
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }  // no trailing "/"
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    void WriteFile(const std::string& relative, const std::string& content) const {
        WriteRealFile(*this / relative, content);
    }
    std::string ReadFile(const std::string& relative) const { return ReadRealFile(*this / relative); }
    bool Exists(const std::string& relative) const;
    void MakeDirs(const std::string& relative) const;

  private:
    std::string path_;
};

// Sets an environment variable for the scope and restores the previous value.
class ScopedEnv {
  public:
    ScopedEnv(const std::string& name, const std::string& value);
    ~ScopedEnv();

  private:
    std::string name_, old_;
    bool hadOld_;
};

// Sets TZ for the scope.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const std::string& tz);
    ~ScopedTimeZone();

  private:
    std::optional<ScopedEnv> tz_;
};

}  // namespace loftwick::test
