#include "results/SaveObjects.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "cache/clsCache.h"
#include "results/FixNameForLocal.h"
#include "results/SaveHost.h"
#include "results/SavePath.h"
#include "results/basDefaultNames.h"
#include "results/clsSearchResults.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

struct SaveOutcome {
    std::string target;   // "" when a step of the save itself failed
    bool copied = false;  // a copy is in place: written now, or an existing one kept
};

// The hourglass for the scope of a long run, reset however the run ends.
class BusyPointer {
  public:
    BusyPointer() { TheDesktop().SetBusy(true); }
    ~BusyPointer() { TheDesktop().SetBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

// Save All lets events run, so its own menu command can arrive again in the middle of it.
bool savingAll = false;

class SavingAllFlag {
  public:
    SavingAllFlag() { savingAll = true; }
    ~SavingAllFlag() { savingAll = false; }
    SavingAllFlag(const SavingAllFlag&) = delete;
    SavingAllFlag& operator=(const SavingAllFlag&) = delete;
};

// What is at a name itself. A missing name is the normal case here, so the last error stays as it was.
std::optional<FileInfo> LstatQuietly(const HeldDir& folder, const std::string& name) {
    PreserveLastError keep;
    return TheFileSystem().LstatAt(folder, name);
}

bool IsLink(const std::optional<FileInfo>& info) { return info && info->isLink; }
bool IsFolder(const std::optional<FileInfo>& info) {
    return info && !info->isLink && info->kind == EntryKind::Directory;
}
bool IsPlainFile(const std::optional<FileInfo>& info) {
    return info && !info->isLink && info->kind == EntryKind::File;
}

// A link below the save root could lead the copy anywhere; following it is never right, and replacing
// it might remove something the user made on purpose, so the save stops. So it does for a FIFO, a
// device or a socket where a folder is needed.
[[noreturn]] void RefuseInPath(const std::optional<FileInfo>& info, const std::string& path) {
    Raise(vberr::PermissionDenied,
          std::string(IsLink(info) ? "A symbolic link stands in the save path: "
                                   : "Something other than a folder stands in the save path: ") +
              path);
}

// Where a copy goes: a name in a held folder.
struct Placement {
    HeldDir folder;
    std::string name;
    std::string Path() const { return folder.PathOf(name); }
};

HeldDir HoldFolder(SaveHost& host, const HeldDir& parent, const std::string& name, int32_t index);

// The one path builder: every folder of `parts` but the last is held in turn below `from`, made when
// missing, and never reached through a link; the last part is the name in the last folder.
Placement PlaceBelow(SaveHost& host, HeldDir from, const std::vector<std::string>& parts, int32_t index) {
    if (parts.empty()) Raise(vberr::BadFileNameOrNumber);
    for (size_t k = 0; k + 1 < parts.size(); ++k) from = HoldFolder(host, from, parts[k], index);
    return {from, parts.back()};
}

// Where a copy of result `index` goes in `folder` under its default name. FixDefaultName is asked with
// the folder itself, so that its prompt shows the user where the file goes; what it appends is made safe
// like every other name, and its folders are held like every other folder.
Placement DefaultNameIn(SaveHost& host, const HeldDir& folder, int32_t index) {
    std::string shown = folder.path();
    if (!shown.empty()) shown.pop_back();
    const std::string asked = Utf8ToLatin1(shown) + "/";
    const std::string completed = FixDefaultName(host, asked, index, true);
    if (completed.size() <= asked.size() || completed.compare(0, asked.size(), asked) != 0) {
        Raise(vberr::BadFileNameOrNumber, "No default name for a file in " + shown);
    }
    return PlaceBelow(host, folder, SafeNameParts(std::string_view(completed).substr(asked.size())), index);
}

// A name for parking a file for a moment that clobbers nothing already there.
std::string ParkingName(const HeldDir& folder, const std::string& name) {
    std::string parked = name + "_tmp";
    for (int n = 1; LstatQuietly(folder, parked); ++n) parked = name + "_tmp" + std::to_string(n);
    return parked;
}

// A file (an earlier copy, say of ".../a.b") stands where this object needs the directory ".../a.b":
// the file moves into the new directory under the default name of the object being saved. When that
// fails the file is put back, so nothing saved before is lost. Returns the new directory, held.
HeldDir MoveDisplacedFile(SaveHost& host, const HeldDir& parent, const std::string& name, int32_t index) {
    FileSystem& fs = TheFileSystem();
    const std::string parked = ParkingName(parent, name);
    fs.RenameAt(parent, name, parent, parked);
    try {
        fs.MakeDirectoryAt(parent, name);
        HeldDir made = fs.OpenDirectoryAt(parent, name);
        const Placement moved = DefaultNameIn(host, made, index);
        if (const auto info = LstatQuietly(moved.folder, moved.name); info && !IsFolder(info)) {
            fs.RemoveAt(moved.folder, moved.name, nullptr);
        }
        fs.RenameAt(parent, parked, moved.folder, moved.name);
        return made;
    } catch (...) {
        PreserveLastError keep;
        try {
            if (IsFolder(LstatQuietly(parent, name))) fs.RemoveDirectoryAt(parent, name);
            fs.RenameAt(parent, parked, parent, name);
        } catch (...) {
        }
        throw;
    }
}

// Holds the folder `name` of `parent` for the copy to go below, making it when missing.
HeldDir HoldFolder(SaveHost& host, const HeldDir& parent, const std::string& name, int32_t index) {
    FileSystem& fs = TheFileSystem();
    const std::optional<FileInfo> info = LstatQuietly(parent, name);
    if (IsPlainFile(info)) return MoveDisplacedFile(host, parent, name, index);
    if (info && !IsFolder(info)) RefuseInPath(info, parent.PathOf(name));
    if (!info) {
        PreserveLastError keep;
        try {
            fs.MakeDirectoryAt(parent, name);
        } catch (...) {
            // Made meanwhile, or not to be made: the open below tells which.
        }
    }
    try {
        return fs.OpenDirectoryAt(parent, name);
    } catch (const RuntimeError&) {
        // Something may have been put there meanwhile; a link or a file is named as such.
        const std::optional<FileInfo> now = LstatQuietly(parent, name);
        if (now && !IsFolder(now)) RefuseInPath(now, parent.PathOf(name));
        throw;
    }
}

// The save root, held; made (with its parents) when missing. The root is the user's choice and may
// itself lie behind a link; only what lies below it is held part by part.
HeldDir HoldRoot(const std::string& root) {
    if (!root.empty()) MakeDirs(root);
    return TheFileSystem().OpenDirectory(root);
}

SaveOutcome SaveResult(SaveHost& host, const std::string& mode, bool overwrite) {
    const int64_t index = host.CurrentResult();
    if (index == 0) return {};
    std::string target;
    const auto notes = [&] { return "Saving file: " + target + "\r\n mode: " + mode; };
    return Trapped("frmMain:SaveOneFile", notes, SaveOutcome{}, [&]() -> SaveOutcome {
        const std::string root = SaveRoot(host.TempDirText());
        const std::string local = FixNameForLocal(host, index);
        if (local.empty()) return {};  // its own trap has reported why

        std::string dir = GetFolder(local);
        const std::string name = GetFileName(local);
        if (mode == "domain") {
            // From the second character on: a URL without "//" may start with "\", and the host
            // directory is then the one after it.
            const size_t hostEnd = dir.find('\\', 1);
            if (hostEnd != std::string::npos) dir.resize(hostEnd + 1);
        } else if (mode != "tree") {
            dir.clear();
        }

        const std::vector<std::string> parts = SafeNameParts(dir + name);
        if (parts.empty()) Raise(vberr::BadFileNameOrNumber);
        target = root + parts.front();
        for (size_t k = 1; k < parts.size(); ++k) target += "/" + parts[k];

        Placement place = PlaceBelow(host, HoldRoot(root), parts, index);
        target = place.Path();
        if (IsFolder(LstatQuietly(place.folder, place.name))) {
            place = DefaultNameIn(host, HoldFolder(host, place.folder, place.name, index), index);
            target = place.Path();
        }

        const std::shared_ptr<clsCache> object = host.Results().Item(index);
        if (!object) Raise(vberr::ObjectNotSet);
        // A link at the target is not a kept copy: the copy replaces it rather than writing through it.
        if (overwrite || !IsPlainFile(LstatQuietly(place.folder, place.name))) {
            return {target, object->FileCopyAt(place.folder, place.name)};
        }
        return {target, true};
    });
}

}  // namespace

std::string SaveOneFile(SaveHost& host, const std::string& mode, bool overwrite) {
    return SaveResult(host, mode, overwrite).target;
}

int64_t SaveAllFiles(SaveHost& host, const std::string& mode) {
    if (savingAll) {
        TheDesktop().Beep();
        return 0;
    }
    SavingAllFlag flag;
    BusyPointer busy;
    host.SetSkipDefaultNamePrompt(false);

    // Read once: results a scan adds meanwhile wait for the next run.
    const int64_t count = host.Results().Count();
    int64_t saved = 0;
    int64_t failed = 0;
    bool stopped = false;
    for (int64_t i = 1; i <= count; ++i) {
        host.SetStatusText("Saving " + std::to_string(i) + " of " + std::to_string(count));
        host.LetEventsRun();
        if ((stopped = host.StopRequested())) break;
        // An error report resets the pointer; the run is not over yet.
        TheDesktop().SetBusy(true);
        std::string lastFile;
        const auto notes = [&] { return "Last file: '" + Latin1ToUtf8(lastFile) + "'\r\n mode: " + mode; };
        const bool copied = Trapped("SaveAllFiles", notes, false, [&] {
            host.SetCurrentResult(i);
            if (const std::shared_ptr<clsCache> object = host.Results().Item(i))
                lastFile = object->ObjectName();
            return SaveResult(host, mode, true).copied;
        });
        ++(copied ? saved : failed);
    }
    host.SetStatusText("Saved " + std::to_string(saved) + " of " + std::to_string(count) + " files, " +
                       std::to_string(failed) + " failed" + (stopped ? ", stopped" : ""));
    return failed;
}

void mnuFileSave_Click(SaveHost& host) {
    TrappedVoid("mnuFileSave_Click", "", [&] {
        host.RecomputeCurrentResult();
        const int64_t index = host.CurrentResult();
        if (index == 0) return;
        const std::shared_ptr<clsCache> object = host.Results().Item(index);
        if (!object) Raise(vberr::ObjectNotSet);

        FileDialogRequest request;
        request.title = "Save object as";
        request.initialFolder = host.DirPrev();
        // The URL's last part, query and all: the user sees what the object was called and edits it.
        request.fileName = Latin1ToUtf8(GetFileName(object->ObjectName()));
        request.filters = {{"All Files", "*.*"}};
        const std::optional<std::string> path = TheDesktop().SaveFileDialog(request);
        if (!path || path->empty()) return;

        const bool copied = object->FileCopy(*path);
        host.SetDirPrev(GetFolder(*path));
        if (copied) host.SetStatusText("Saved to " + *path);
    });
}

void mnuSaveTree_Click(SaveHost& host) {
    const std::string path = SaveOneFile(host, "tree", true);
    if (!path.empty()) host.SetStatusText("Saved to " + path);
}
void mnuSaveTreeAll_Click(SaveHost& host) { SaveAllFiles(host, "tree"); }
void mnuSaveDomain_Click(SaveHost& host) { SaveAllFiles(host, "domain"); }
void mnuSaveAll_Click(SaveHost& host) { SaveAllFiles(host, "none"); }

}  // namespace loftwick
