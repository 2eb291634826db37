#pragma once
// Fault sweeps in the way SQLite tests its I/O: run an operation with its n-th file-system call of a
// kind failing, for n = 1, 2, ... until a run in which fewer than n such calls were made, that is, until
// the operation completes with no fault at all. Each run starts from a fresh world, so the runs do not
// see each other's damage.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/FaultFileSystem.h"

namespace loftwick::test {

// One run of a sweep: sets up a fresh world, installs `faults` as the program's file system, runs the
// operation and checks what it left behind. `faults` already has the fault planned.
using FaultRun = std::function<void(FaultFileSystem& faults)>;

// Sweeps the calls of `op`, failing with `err`. Returns how many runs had their fault fire (the fault
// points); the run that completes unfaulted ends the sweep and is not counted.
int SweepFaults(FsOp op, int err, const FaultRun& run);

// Sweeps the call boundaries of an operation: in run n, `change` happens just before the n-th file-system
// call (of any kind), for n = 1, 2, ... until a run makes fewer calls. This is how tests play the hostile
// user who swaps a folder for a link between a check and the use. Returns how many runs saw the change.
int SweepCallBoundaries(const std::function<void()>& change, const FaultRun& run);

// The kinds of calls a sweep goes through, with a readable name for messages; the kind of a name, and
// the number of an error named as in <cerrno> ("EIO").
const char* FsOpName(FsOp op);
FsOp FsOpNamed(const std::string& name);
int ErrnoNamed(const std::string& name);

// What a folder holds, for comparing a faulted run with an unfaulted one: the content, last-write
// time and stored creation time of every regular file, and the target of every link, by relative path.
struct FileState {
    std::string content;
    int64_t writeTime = 0;
    std::string created;  // the creation-time attribute, "" when none
    friend bool operator==(const FileState&, const FileState&) = default;
};
using FolderState = std::map<std::string, FileState>;
FolderState SnapshotFolder(const std::string& folder);

}  // namespace loftwick::test
