// The scan's golden cases: each folder below golden/ holds a cache description (the cache builder's
// format), the arguments of loftwick-scan, the lines that set up what the description cannot make, what a
// running Squid answers and the faults to inject, and the expected stdout, stderr, exit status and state
// of the folder afterwards. Each case runs through the batch front end, on one thread and reading ahead,
// then once with each file-system call failing in turn (a swap case: with the swap before each call; a
// cut case: with its file cut after each byte). LOFTWICK_UPDATE_GOLDEN=1 writes the expected files anew.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <zlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "cachebuilder/DescriptionFile.h"
#include "cli/BatchScan.h"
#include "support/FaultSweep.h"
#include "support/FileSystem.h"
#include "support/RuntimeError.h"
#include "support/TableCheck.h"
#include "support/TestEnv.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

namespace fs = std::filesystem;
using test::Replaced;

const std::string kGolden = LOFTWICK_SOURCE_DIR "/tests/scan/golden";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct Outcome {
    bool swapped = false;
    int status = 0;
    int64_t cutFrom = 0;  // the size of the file the case cuts
    std::string out, err, tree, purges;
    test::FolderState before, cache;  // the cache folder before and after the run
};

// A case's world, built afresh below a temporary folder: the cache from cache.txt, a folder outside it
// from outside.txt, then the lines of setup (the shapes the description cannot make), squid (what a
// running Squid answers) and faults.
struct World {
    // `cut`: how many bytes a "cut FILE" line leaves of FILE (-1: all of them).
    World(const std::string& folder, test::FaultFileSystem& faults, test::TableProxyControl& proxy,
          int64_t cut)
        : folder_(folder), proxy_(proxy) {
        for (const char* part : {"cache", "outside"}) {
            const std::string description = folder + "/" + part + ".txt";
            if (!fs::exists(description)) continue;
            std::istringstream in(Replaced(test::ReadRealFile(description), "<root>", dir_.path()));
            builder::BuildFromDescription(in, dir_ / part);
        }
        std::string lines;
        for (const char* part : {"/setup", "/squid", "/faults"}) lines += test::ReadRealFile(folder + part);
        for (const std::string& line : Lines(Replaced(lines, "<root>", dir_.path()))) {
            std::istringstream words(line);
            std::string verb, a, rest, b, c, d, e;
            words >> verb >> a;
            std::getline(words >> std::ws, rest);
            std::istringstream(rest) >> b >> c >> d >> e;
            if (verb == "dir") fs::create_directories(dir_ / a);
            if (verb == "file") dir_.WriteFile(a, builder::Unescape(rest));
            EXPECT_TRUE(verb != "fifo" || mkfifo((dir_ / a).c_str(), 0600) == 0);
            // A private null device: a fault that replaced the export target then replaces this node,
            // never the machine's /dev/null (the tests run as root).
            EXPECT_TRUE(verb != "null-device" ||
                        mknod((dir_ / a).c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0);
            if (verb == "remove") fs::remove(dir_ / a);
            if (verb == "copy") fs::copy_file(dir_ / a, dir_ / b);
            if (verb == "link") fs::create_symlink(a, dir_ / b);  // link TARGET NAME
            if (verb == "hardlink") fs::create_hard_link(dir_ / a, dir_ / b);
            if (verb == "cut") cutFrom_ = static_cast<int64_t>(fs::file_size(dir_ / a));
            if (verb == "cut" && cut >= 0) fs::resize_file(dir_ / a, std::min(cut, cutFrom_));
            if (verb == "running") proxy.running = true;
            if (verb == "answer") proxy.answers[a] = std::stoi(b);
            // "swap N FOLDER TARGET": just before the N-th file-system call, FOLDER and a link to TARGET
            // exchange places; at N = -1 a thread keeps exchanging them while the scan runs, which also
            // hits the moments inside a call and between the threads of a read-ahead scan.
            if (verb == "swap") swapAt_ = std::stoi(a), swapFolder_ = b;
            if (verb == "swap") fs::create_directory_symlink(dir_ / c, dir_ / "flip");
            if (verb == "path") faults.FailPath(test::FsOpNamed(a), b, test::ErrnoNamed(c));
            if (verb == "nth") faults.FailNth(test::FsOpNamed(a), std::stoi(b), test::ErrnoNamed(c));
            // The proxy at work: "at OP PATHPART N resize BYTES|append FILE-BESIDE-IT".
            if (verb == "at")
                faults.SetHook(test::FsOpNamed(a),
                               [=, n = std::stoi(c), seen = 0](const std::string& path) mutable {
                                   if (path.find(b) == std::string::npos || ++seen != n) return;
                                   if (d == "resize") fs::resize_file(path, std::stoull(e));
                                   if (d == "append")
                                       std::ofstream(path, std::ios::binary | std::ios::app)
                                           << test::ReadRealFile(fs::path(path).parent_path() / e);
                               });
        }
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
            if (entry.is_regular_file(ec_) && !entry.is_symlink())
                stamps_[entry.path()] = Stamps(entry.path());
    }

    // `swapAt`: another call for the case's swap to come before (-1: all the time).
    Outcome Run(test::FaultFileSystem& faults, int swapAt) {
        Outcome o;
        o.cutFrom = cutFrom_;
        const auto exchange = [&] {
            o.swapped = o.swapped || syscall(SYS_renameat2, AT_FDCWD, (dir_ / swapFolder_).c_str(), AT_FDCWD,
                                             (dir_ / "flip").c_str(), RENAME_EXCHANGE) == 0;
        };
        swapAt_ = swapAt ? swapAt : swapAt_;
        if (swapAt_ > 0) faults.HookNthCall(swapAt_, exchange);
        std::vector<std::string> args = {dir_ / "bin/loftwick-scan"};
        for (const std::string& line : Lines(test::ReadRealFile(folder_ + "/args")))
            args.push_back(Replaced(line, "<root>", dir_.path()));
        const test::FolderState outside = test::SnapshotFolder(dir_ / "outside");
        o.before = test::SnapshotFolder(dir_ / "cache");
        std::ostringstream out, err;
        SetLastError(0);  // a batch run starts a process of its own
        Platform().fileSystem = &faults;
        std::jthread flipper;
        if (swapAt_ < 0)
            flipper = std::jthread([&](std::stop_token stop) {
                while (!stop.stop_requested()) exchange();
            });
        o.status = cli::BatchMain(args, out, err);
        flipper = {};
        Platform().fileSystem = nullptr;
        for (auto [text, to] : {std::pair{out.str(), &o.out}, {err.str(), &o.err}})
            *to = Replaced(Replaced(text, dir_.path(), "<root>"), GetVersion(), "<version>");
        o.tree = Tree();
        for (const auto& call : proxy_.purges) {
            o.purges += call.url;
            for (const std::string& header : call.headers) o.purges += " | " + header;
            o.purges += "\n";
        }
        o.cache = test::SnapshotFolder(dir_ / "cache");
        EXPECT_EQ(test::SnapshotFolder(dir_ / "outside"), outside) << "the folder outside the cache changed";
        return o;
    }

    std::string Stamps(const std::string& path) const {
        struct stat st {};
        lstat(path.c_str(), &st);
        const std::optional<FileTimeSpec> created = TheFileSystem().GetCreationTime(path);
        return " written " + std::to_string(st.st_mtime) + " created " +
               (created ? std::to_string(created->seconds) : "none");
    }

    // Every entry below the world, one a line; a file's stamps only where the run changed them.
    std::string Tree() {
        std::set<std::string> lines;
        for (auto it = fs::recursive_directory_iterator(dir_.path(), ec_);
             it != fs::recursive_directory_iterator(); it.increment(ec_)) {
            const fs::file_status status = it->symlink_status();
            std::string line = std::string(fs::is_symlink(status)        ? "link "
                                           : fs::is_directory(status)    ? "dir "
                                           : fs::is_regular_file(status) ? "file "
                                                                         : "other ") +
                               it->path().string().substr(dir_.path().size() + 1);
            if (fs::is_symlink(status))
                line += " -> " + Replaced(fs::read_symlink(it->path()), dir_.path(), "<root>");
            if (fs::is_regular_file(status)) {
                const std::string now = Stamps(it->path());
                const auto before = stamps_.find(it->path());
                const bool recent = fs::last_write_time(it->path()) >
                                    fs::file_time_type::clock::now() - std::chrono::hours(1);
                // An archive's records hold the real time and random ids.
                const bool archive = line.ends_with(".warc.gz");
                line += archive ? " (archive)" : " " + std::to_string(fs::file_size(it->path()));
                if (archive) {
                    std::string records(1 << 20, '\0');
                    gzFile gz = gzopen(it->path().c_str(), "rb");
                    records.resize(std::max(0, gzread(gz, records.data(), records.size())));
                    gzclose(gz);
                    EXPECT_EQ(records.find("SECRET"), std::string::npos)
                        << "a file outside reached the archive";
                } else if (before != stamps_.end()) {
                    line += before->second == now || recent ? "" : now;  // the real clock's times vary
                } else if (!recent) {
                    line += now.substr(0, now.find(" created"));  // a new file's stamps, where they were set
                }
            }
            lines.insert(line);
        }
        std::string tree;
        for (const std::string& line : lines) tree += line + "\n";
        return tree;
    }

    std::string folder_;
    test::TableProxyControl& proxy_;
    test::TempDir dir_;
    int swapAt_ = 0;
    std::string swapFolder_;
    int64_t cutFrom_ = 0;
    std::map<std::string, std::string> stamps_;
    std::error_code ec_;
};

std::set<std::string> CaseNames() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(kGolden)) names.insert(entry.path().filename());
    return names;
}

class ScanGolden : public test::ProgramFixture, public ::testing::WithParamInterface<std::string> {
  protected:
    std::string Folder() const { return kGolden + "/" + GetParam(); }

    // `faults`: more faults than the case's own (none: only those).
    Outcome Run(bool readAhead, test::FaultFileSystem* faults = nullptr, int swapAt = 0, int64_t cut = -1) {
        test::FaultFileSystem own;
        faults = faults ? faults : &own;
        Program().ReadAhead = readAhead;
        if (readAhead) faults->AllowThreads();
        proxy_ = test::TableProxyControl();
        World world(Folder(), *faults, proxy_, cut);
        return world.Run(*faults, swapAt);
    }

    void Expect(const std::string& name, const std::string& actual) {
        const std::string path = Folder() + "/" + name;
        if (Environ("LOFTWICK_UPDATE_GOLDEN") == "1") {
            if (!actual.empty() || fs::exists(path)) std::ofstream(path, std::ios::binary) << actual;
            return;
        }
        EXPECT_EQ(actual, test::ReadRealFile(path)) << GetParam() << "/" << name;
    }
};

// Read ahead or not, the same output, the same status, the same folder afterwards.
TEST_P(ScanGolden, EndsAsExpected) {
    int64_t cutFrom = 0;
    for (const bool readAhead : {false, true}) {
        SCOPED_TRACE(readAhead ? "read ahead" : "one thread");
        const Outcome o = Run(readAhead);
        cutFrom = o.cutFrom;
        Expect("stdout", o.out);
        Expect("stderr", o.err);
        Expect("status", std::to_string(o.status) + "\n");
        Expect("tree", o.tree);
        Expect("purges", o.purges);
        if (Environ("LOFTWICK_UPDATE_GOLDEN") == "1") break;
    }
    // A case with a line "cut FILE" runs again with FILE cut after every byte; its file "cuts" holds what
    // each run said.
    std::string cuts;
    for (int64_t cut = 0; cut < cutFrom; ++cut) {
        const Outcome o = Run(false, nullptr, 0, cut);
        cuts +=
            "== " + std::to_string(cut) + " bytes, status " + std::to_string(o.status) + "\n" + o.out + o.err;
    }
    Expect("cuts", cuts);
}

// The files a cache holds by content, and how many; a scan may only remove whole files.
std::multiset<std::string> Contents(const test::FolderState& state) {
    std::multiset<std::string> contents;
    for (const auto& [path, file] : state) {
        if (path.find("swap.state") != std::string::npos) continue;
        contents.insert(file.content.rfind("-> ", 0) == 0 ? "link " + path : file.content);
    }
    return contents;
}

// Each kind of call failing in turn (on a long case only every few calls): the run ends with its summary
// and a status that follows it, an object that failed turns the summary, the files left are whole and
// exactly those not counted deleted, and a fault nobody was told about leaves the very result of none.
TEST_P(ScanGolden, SurvivesEveryFault) {
    if (test::ReadRealFile(Folder() + "/faults").starts_with("swap")) {
        // Whatever call the swap comes before, nothing outside changes or reaches an archive (both checked
        // by every run), and the status follows what was reported.
        int at = 1;
        for (;; ++at) {
            SCOPED_TRACE("the swap comes before call " + std::to_string(at));
            const Outcome o = Run(false, nullptr, at);
            if (!o.swapped) break;
            EXPECT_EQ(o.status == cli::kExitErrors, o.out.find("OK!") == std::string::npos) << o.out << o.err;
        }
        EXPECT_GT(at, 8);
        // And the same while a thread exchanges the two all the time under a read-ahead scan.
        bool flipped = false;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
        for (int round = 0; round < 3 || std::chrono::steady_clock::now() < until; ++round)
            flipped = Run(true, nullptr, -1).swapped || flipped;
        EXPECT_TRUE(flipped);
        return;
    }
    if (test::ReadRealFile(Folder() + "/status") == "2\n" || fs::exists(Folder() + "/faults"))
        GTEST_SKIP() << "no scan";
    static const std::regex summary(
        R"((OK!|Ended with error\(s\)\.) \d+ of \d+ files selected(, (\d+) files deleted)?.*)");
    const std::pair<FsOp, int> kinds[] = {
        {FsOp::List, EACCES},     {FsOp::Stat, EIO},
        {FsOp::Lstat, EIO},       {FsOp::OpenRead, EIO},
        {FsOp::Read, EIO},        {FsOp::GetCreation, EIO},
        {FsOp::SetTimes, EPERM},  {FsOp::SetCreation, ENOTSUP},
        {FsOp::Rename, EIO},      {FsOp::RemoveFile, EACCES},
        {FsOp::RemoveDir, EBUSY}, {FsOp::OpenWrite, ENOSPC},
        {FsOp::Write, ENOSPC},    {FsOp::Close, EIO},
    };
    const bool text = test::ReadRealFile(Folder() + "/args").find("--format") == std::string::npos;
    const bool purging = fs::exists(Folder() + "/squid");
    for (const bool readAhead : {false, true}) {
        SCOPED_TRACE(readAhead ? "read ahead" : "one thread");
        test::FaultFileSystem counter;
        const Outcome baseline = Run(readAhead, &counter);
        if (counter.calls().size() > 1000)
            GTEST_SKIP() << "a long case: its shapes are swept in the short ones";
        for (const auto& [op, err] : kinds) {
            const int calls = counter.CountOf(op);
            const int stride = std::max(1, calls / 5);
            for (int n = 1 + (readAhead ? stride / 2 : 0); n <= calls; n += stride) {
                SCOPED_TRACE(std::string("call ") + std::to_string(n) + " of " + test::FsOpName(op) +
                             " fails");
                test::FaultFileSystem faults;
                faults.FailNth(op, n, err);
                const Outcome o = Run(readAhead, &faults);
                ASSERT_TRUE(o.status == cli::kExitOk || o.status == cli::kExitErrors) << o.err;
                const std::vector<std::string> lines = Lines(o.out);
                if (!text) continue;
                // No line at all: the cache folder itself could not be checked.
                EXPECT_TRUE(!lines.empty() || (o.status == cli::kExitErrors && !o.err.empty())) << o.err;
                if (lines.empty()) continue;
                std::smatch m;
                ASSERT_TRUE(std::regex_match(lines.back(), m, summary)) << o.out;
                EXPECT_EQ(o.status == cli::kExitErrors, m[1] != "OK!") << o.out << o.err;
                EXPECT_TRUE(o.status == cli::kExitErrors ||
                            o.err.find("Code module: frmMain:Process") == std::string::npos)
                    << "an object failed but the scan says OK\n"
                    << o.err;
                const std::multiset<std::string> left = Contents(o.cache), before = Contents(o.before);
                for (const std::string& content : left)
                    EXPECT_TRUE(before.contains(content))
                        << "a file changed its content: " << content.substr(0, 60);
                EXPECT_TRUE(purging || left.size() + (m[3].matched ? std::stoul(m[3]) : 0) == before.size())
                    << o.out;
                const bool noticed = o.status != cli::kExitOk || o.err != baseline.err ||
                                     o.out.find("Warning!") != std::string::npos;
                if (!noticed) {
                    EXPECT_EQ(o.out, baseline.out) << "an unreported fault changed the report";
                    EXPECT_EQ(Contents(o.cache), Contents(baseline.cache))
                        << "an unreported fault changed the cache";
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanGolden, ::testing::ValuesIn(CaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace loftwick
