#include "results/ExportTarget.h"

#include <optional>

#include "support/Program.h"
#include "support/RuntimeError.h"

namespace loftwick {
namespace {

bool IsStream(const std::optional<FileInfo>& info) {
    return info && !info->isLink && info->kind == EntryKind::Other;
}

// Whether `folder` is the cache folder or lies below it, told by identity, not by spelling: the folder
// and each of its parents are compared with the cache folder.
bool InsideCache(const std::string& folder) {
    FileSystem& fs = TheFileSystem();
    if (Program().CacheDir.empty()) return false;
    // A folder that cannot be told apart from the cache folder counts as inside it: an export never
    // replaces a cache file because a look at a folder failed.
    const std::optional<FileInfo> cache = fs.Stat(Program().CacheDir);
    if (!cache) return true;
    std::string up = folder.empty() ? std::string(".") : folder;
    std::optional<FileInfo> previous;
    // A folder tree deeper than this is no save root anybody chose.
    for (int depth = 0; depth < 256; ++depth) {
        const std::optional<FileInfo> here = fs.Stat(up);
        if (!here) return true;
        if (SameFile(*here, *cache)) return true;
        if (previous && SameFile(*here, *previous)) return false;  // the root is its own parent
        previous = here;
        up += up.back() == '/' ? ".." : "/..";
    }
    return false;
}

}  // namespace

void WriteExport(const std::string& path, const std::function<void(OutputFile&)>& write) {
    FileSystem& fs = TheFileSystem();
    const std::string name = LastPartOf(path);
    if (name.empty() || name == "." || name == "..")
        Raise(vberr::BadFileNameOrNumber, "Not a file name: " + path);
    const HeldDir dir = fs.OpenDirectory(FolderOf(path));
    const std::optional<FileInfo> found = fs.LstatAt(dir, name);
    if (found && found->isLink) {
        // A link to a stream (/dev/stdout) leads nowhere stored; a link to anything else is not followed.
        if (!IsStream(fs.Stat(path)))
            Raise(vberr::PermissionDenied, "A symbolic link stands at the export target: " + path);
    } else if (found && found->kind == EntryKind::Directory) {
        Raise(vberr::PermissionDenied, "The export target is a folder: " + path);
    }
    if (found && (found->isLink || IsStream(found))) {
        std::unique_ptr<OutputFile> out = fs.OpenStream(path);
        write(*out);
        out->Close();
        return;
    }
    if (InsideCache(FolderOf(path))) {
        Raise(vberr::PermissionDenied, "The export target lies in the cache folder: " + path);
    }
    ReplaceFileAt(fs, dir, name, write);
}

}  // namespace loftwick
