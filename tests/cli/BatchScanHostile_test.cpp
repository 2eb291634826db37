// loftwick-scan over hostile caches and a failing file system: it never stops half-way without its
// summary, its exit status says whether something failed, and nothing outside the cache is touched.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sstream>

#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "cli/BatchScan.h"
#include "support/FaultSweep.h"
#include "support/Program.h"
#include "support/TestEnv.h"

namespace loftwick::cli {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kNow = 1733479200;

class BatchScanHostile : public test::ProgramFixture {
  protected:
    BatchScanHostile() {
        dir_.WriteFile("outside/precious.txt", "keep me");
        BuildCache();
    }

    // Three pages, a file of NULs, a host folder that is a link outside and a file that is one.
    void BuildCache() {
        fs::remove_all(dir_ / "wp");
        builder::WinProxyCache cache(dir_ / "wp");
        for (const char* path : {"/one.html", "/two.html", "/three.html"}) {
            builder::WinProxyObject o;
            o.host = "a.example";
            o.url = std::string("http://a.example") + path;
            o.Header("Date", builder::HttpDate(kNow - 86400)).Header("Content-Type", "text/html");
            o.content = builder::Content::Bytes(std::string("body of ") + path);
            cache.Add(o);
        }
        builder::WinProxyObject nuls;
        nuls.host = "b.example";
        nuls.rawFile = std::string(3000, '\0');
        cache.Add(nuls);
        fs::create_directory_symlink(dir_ / "outside", dir_ / "wp/linked.example");
        fs::create_symlink(dir_ / "outside/precious.txt", dir_ / "wp/a.example/link");
    }

    int Run(const std::vector<std::string>& flags) {
        std::vector<std::string> args = {dir_ / "bin/loftwick-scan", "--proxy", "winproxy", "--cache",
                                         dir_ / "wp"};
        args.insert(args.end(), flags.begin(), flags.end());
        out_.str("");
        err_.str("");
        return BatchMain(args, out_, err_);
    }
    std::string LastLine() const {
        std::string text = out_.str(), last;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) last = line;
        return last;
    }

    test::TempDir dir_;
    std::ostringstream out_, err_;
};

TEST_F(BatchScanHostile, DeletingInAHostileCacheLeavesLinksAndWhatTheyReachAlone) {
    EXPECT_EQ(Run({"--delete"}), kExitOk) << err_.str();
    EXPECT_EQ(LastLine(), "OK! 4 of 4 files selected, 4 files deleted, 0 seconds");
    EXPECT_EQ(dir_.ReadFile("outside/precious.txt"), "keep me");
    EXPECT_TRUE(dir_.Exists("wp/linked.example"));
    EXPECT_TRUE(dir_.Exists("wp/a.example/link"));
}

TEST_F(BatchScanHostile, UnreadableHostFolderGivesExitOneWithTheReportOnStderr) {
    test::FaultFileSystem faults;
    faults.FailPath(FsOp::List, "/a.example", EACCES);
    Platform().fileSystem = &faults;
    EXPECT_EQ(Run({"--delete"}), kExitErrors);
    EXPECT_EQ(LastLine(), "Ended with error(s). 1 of 1 files selected, 1 files deleted, 0 seconds");
    EXPECT_NE(err_.str().find("frmMain:ProcessAllFiles_WinProxy"), std::string::npos) << err_.str();
    EXPECT_TRUE(dir_.Exists("wp/a.example"));
}

// Every deletion, listing and look at a file failing in turn: the summary is printed unless the cache
// folder itself could not be checked, and the exit status is 1 exactly when something failed.
TEST_F(BatchScanHostile, ExitStatusFollowsTheSummaryAtEveryFault) {
    int points = 0;
    for (const auto& [op, err] : std::vector<std::pair<FsOp, int>>{
             {FsOp::RemoveFile, EACCES}, {FsOp::List, EIO}, {FsOp::Lstat, EIO}}) {
        points += test::SweepFaults(op, err, [&](test::FaultFileSystem& faults) {
            BuildCache();
            Platform().fileSystem = &faults;
            const int status = Run({"--delete"});
            Platform().fileSystem = nullptr;
            EXPECT_EQ(dir_.ReadFile("outside/precious.txt"), "keep me");
            if (out_.str().empty()) {  // the cache folder itself could not be checked: no scan at all
                EXPECT_EQ(status, kExitErrors);
                EXPECT_FALSE(err_.str().empty());
                return;
            }
            const bool failed = LastLine().rfind("Ended with error(s).", 0) == 0;
            EXPECT_TRUE(failed || LastLine().rfind("OK!", 0) == 0) << out_.str();
            EXPECT_EQ(status, failed ? kExitErrors : kExitOk) << err_.str();
        });
    }
    RecordProperty("faultPoints", points);
    EXPECT_GT(points, 3);
}

}  // namespace
}  // namespace loftwick::cli
