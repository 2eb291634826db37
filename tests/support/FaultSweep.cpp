#include "support/FaultSweep.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "support/Kit.h"
#include "support/PosixFileSystem.h"

namespace loftwick::test {

int SweepFaults(FsOp op, int err, const FaultRun& run) {
    // Far more calls than any swept operation makes; reaching it means the operation never completes.
    constexpr int kMostPoints = 5000;
    for (int n = 1; n <= kMostPoints; ++n) {
        FaultFileSystem faults;
        faults.FailNth(op, n, err);
        {
            SCOPED_TRACE(std::string("call ") + std::to_string(n) + " of " + FsOpName(op) + " fails");
            run(faults);
        }
        if (faults.CountOf(op) < n) return n - 1;
    }
    ADD_FAILURE() << "the operation never completed under faults of " << FsOpName(op);
    return kMostPoints;
}

int SweepCallBoundaries(const std::function<void()>& change, const FaultRun& run) {
    constexpr int kMostPoints = 5000;
    for (int n = 1; n <= kMostPoints; ++n) {
        FaultFileSystem faults;
        bool happened = false;
        faults.HookNthCall(n, [&] {
            happened = true;
            change();
        });
        {
            SCOPED_TRACE("the change comes before call " + std::to_string(n));
            run(faults);
        }
        if (!happened) return n - 1;
    }
    ADD_FAILURE() << "the operation never completed";
    return kMostPoints;
}

const char* FsOpName(FsOp op) {
    static const char* const kNames[] = {"List",        "Stat",    "Lstat",     "OpenRead", "Read",
                                         "OpenWrite",   "Write",   "Sync",      "Close",    "Rename",
                                         "RemoveFile",  "MakeDir", "RemoveDir", "SetTimes", "GetCreation",
                                         "SetCreation", "OpenDir"};
    static_assert(std::size(kNames) == static_cast<size_t>(FsOp::OpenDir) + 1);
    return kNames[static_cast<size_t>(op)];
}

FsOp FsOpNamed(const std::string& name) {
    for (int op = 0; op <= static_cast<int>(FsOp::OpenDir); ++op)
        if (name == FsOpName(static_cast<FsOp>(op))) return static_cast<FsOp>(op);
    ADD_FAILURE() << "no such call: " << name;
    return FsOp::OpenDir;
}

int ErrnoNamed(const std::string& name) {
    if (name == "ENOTSUP") return ENOTSUP;  // Linux names that number EOPNOTSUPP
    for (int n = 1; n < 200; ++n)
        if (const char* known = strerrorname_np(n); known && name == known) return n;
    ADD_FAILURE() << "no such error: " << name;
    return EIO;
}

FolderState SnapshotFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    FolderState state;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string relative = fs::relative(it->path(), folder).string();
        if (it->is_symlink()) {
            state[relative].content = "-> " + fs::read_symlink(it->path()).string();
            continue;
        }
        if (!it->is_regular_file()) continue;
        FileState& file = state[relative];
        file.content = ReadRealFile(it->path());
        struct stat st {};
        if (stat(it->path().c_str(), &st) == 0) file.writeTime = st.st_mtim.tv_sec;
        char created[64];
        const ssize_t n = getxattr(it->path().c_str(), kCreationTimeAttribute, created, sizeof created);
        if (n > 0) file.created.assign(created, static_cast<size_t>(n));
    }
    return state;
}

}  // namespace loftwick::test
