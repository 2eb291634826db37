#include "support/basUtils.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "Version.h"
#include "support/Clock.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/TextCodec.h"

namespace loftwick {
namespace {

size_t RightTrimmedLength(const std::string& path) { return TrimRight(path).size(); }

// "*" any run of characters, "?" exactly one; names compare exactly, as file names do here.
bool WildcardMatch(const std::string& pattern, const std::string& name) {
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// The user's own folder for temporary files and saved copies, made (mode 0700) when missing: in the
// system's temporary folder anyone can plant the names a save or a temporary file will use. "" when
// there is no home, or the name is taken by anything but a folder.
std::string PrivateTempFolder() {
    std::string base = XdgFolder("XDG_CACHE_HOME", ".cache");
    if (base.empty()) return {};
    AddPathSeparator(base);
    const std::string folder = base + "loftwick/";
    FileSystem& fs = TheFileSystem();
    PreserveLastError keep;
    MakeDirs(base);
    try {
        fs.MakeDirectory(folder, true);
    } catch (...) {
        // There already, or not to be made: what is there tells.
    }
    const std::optional<FileInfo> info = fs.Lstat(folder.substr(0, folder.size() - 1));
    if (!info || info->isLink || info->kind != EntryKind::Directory) return {};
    return folder;
}

// Candidate temporary folders in order of preference, each with a trailing "/".
std::vector<std::string> TempFolders() {
    std::vector<std::string> folders;
    for (const std::string& candidate :
         {PrivateTempFolder(), Environ("TEMP"), Environ("TMPDIR"), std::string("/tmp")}) {
        if (candidate.empty()) continue;
        std::string folder = candidate;
        AddPathSeparator(folder);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    return folders;
}

}  // namespace

// --- Values -----------------------------------------------------------------------------------------

Variant Nz(const Variant& value, const Variant& substitute) { return value.IsNull() ? substitute : value; }

Variant NumOrDefault(const Variant& value, const Variant& defaultValue) {
    try {
        switch (value.kind()) {
            case Variant::Kind::Empty:
            case Variant::Kind::Null:
                return defaultValue;
            case Variant::Kind::Integer:
            case Variant::Kind::Double:
                return value;
            case Variant::Kind::Date:
                return Variant(value.AsDate().Serial());
            case Variant::Kind::Text: {
                if (ParseNumber(value.AsText())) return value;
                if (const auto date = ParseDateOrTime(std::string(Trim(value.AsText(), " \t"))))
                    return Variant(date->Serial());
                return defaultValue;
            }
        }
    } catch (...) {
    }
    return defaultValue;
}

int32_t ToLong(const Variant& value, int32_t defaultValue) {
    const std::optional<double> number = NumOrDefault(value, Variant(defaultValue)).ToNumber();
    if (!number) Raise(vberr::TypeMismatch);
    const std::optional<int32_t> whole = RoundedLong(*number);
    if (!whole) Raise(vberr::Overflow);
    return *whole;
}

// The default rounding mode rounds halves to even, as the classic conversion does.
double RoundHalfEven(double number) { return std::nearbyint(number); }

std::optional<int32_t> RoundedLong(double number) {
    const double whole = RoundHalfEven(number);
    if (!(whole >= std::numeric_limits<int32_t>::min() && whole <= std::numeric_limits<int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<int32_t>(whole);
}

std::string FormatWhole(const Variant& value) {
    std::optional<double> number;
    switch (value.kind()) {
        case Variant::Kind::Empty:
        case Variant::Kind::Null:
            return {};
        case Variant::Kind::Date:
            number = value.AsDate().Serial();
            break;
        case Variant::Kind::Text:
            number = ParseNumber(value.AsText());
            if (!number) return value.AsText();
            break;
        default:
            number = value.AsDouble();
            break;
    }
    const double whole = std::round(*number);
    if (whole == 0) return "0";  // never "-0"
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", whole);
    return buffer;
}

void Increment(Variant& value) {
    switch (value.kind()) {
        case Variant::Kind::Integer:
            if (value.AsInteger() < std::numeric_limits<int64_t>::max()) {
                value = Variant(value.AsInteger() + 1);
            } else {
                value = Variant(static_cast<double>(value.AsInteger()) + 1);
            }
            return;
        case Variant::Kind::Double:
            value = Variant(value.AsDouble() + 1);
            return;
        case Variant::Kind::Text:
            if (const auto number = ParseNumber(value.AsText())) {
                const double next = *number + 1;
                if (next == std::trunc(next) && std::fabs(next) < 9e15) {
                    value = Variant(static_cast<int64_t>(next));
                } else {
                    value = Variant(next);
                }
                return;
            }
            break;
        default:
            break;
    }
    value = Variant(1);
}

std::string StripNulls(const std::string& text) { return text.substr(0, text.find('\0')); }

// --- Paths ------------------------------------------------------------------------------------------

std::string XdgFolder(const std::string& variable, const std::string& underHome) {
    const std::string value = Environ(variable);
    if (!value.empty() && value.front() == '/') return value;
    const std::string home = Environ("HOME");
    return home.empty() ? std::string() : home + "/" + underHome;
}

std::string AddPathSeparator(std::string& path) {
    path.resize(RightTrimmedLength(path));
    if (!path.empty() && !EndsInSeparator(path)) path += '/';
    return path;
}

std::string GetFolder(const std::string& path) {
    for (size_t i = RightTrimmedLength(path); i-- > 0;) {
        if (IsPathSeparator(path[i])) return path.substr(0, i + 1);
        // "c:name" lies in the root of drive c.
        if (path[i] == ':') return path.substr(0, i + 1) + "\\";
    }
    return {};
}

std::string GetFolder(const Variant& path) {
    if (path.IsNull() || path.IsEmpty()) return {};
    return GetFolder(path.ToText());
}

std::string GetFileName(const std::string& path) {
    const size_t end = RightTrimmedLength(path);
    for (size_t i = end; i-- > 0;) {
        if (IsPathSeparator(path[i]) || path[i] == ':') return path.substr(i + 1, end - i - 1);
    }
    return path;
}

std::string GetFileName(const Variant& path) {
    if (path.IsNull() || path.IsEmpty()) return {};
    return GetFileName(path.ToText());
}

// --- Files and folders ------------------------------------------------------------------------------

bool FileExists(const std::string& path) {
    PreserveLastError keep;
    try {
        return TheFileSystem().OpenRead(path, true) != nullptr;
    } catch (...) {
        return false;
    }
}

bool IsDirectory(const std::string& path) {
    PreserveLastError keep;
    try {
        const std::optional<FileInfo> info = TheFileSystem().Stat(path);
        return info && info->kind == EntryKind::Directory;
    } catch (...) {
        return false;
    }
}

bool FolderHasFiles(const std::string& folder) {
    PreserveLastError keep;
    try {
        std::string path = folder;
        AddPathSeparator(path);
        for (const DirEntry& entry : TheFileSystem().ListDirectory(path)) {
            if (entry.kind == EntryKind::File && !entry.isLink) return true;
        }
    } catch (...) {
    }
    return false;
}

void MakeDir(const std::string& path) {
    PreserveLastError keep;
    try {
        TheFileSystem().MakeDirectory(path);
    } catch (...) {
    }
}

void MakeDirs(const std::string& path) {
    PreserveLastError keep;
    FileSystem& fs = TheFileSystem();
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && !fs.Stat(part)) {
            try {
                fs.MakeDirectory(part);
            } catch (...) {
                return;
            }
        }
        if (slash == std::string::npos) return;
    }
}

void KillFile(const std::string& path) {
    PreserveLastError keep;
    try {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        std::string pattern = path.substr(folder.size());
        if (pattern.find_first_of("*?") == std::string::npos) {
            TheFileSystem().RemoveFile(path);
            return;
        }
        if (pattern == "*.*") pattern = "*";  // the old "every file", dot or no dot
        for (const DirEntry& entry : TheFileSystem().ListDirectory(folder.empty() ? "." : folder)) {
            if (entry.name == "." || entry.name == "..") continue;
            if (entry.kind != EntryKind::File && !entry.isLink) continue;
            // As in a shell, a leading "*" or "?" does not uncover hidden files.
            if (entry.name[0] == '.' && pattern[0] != '.') continue;
            if (!WildcardMatch(pattern, entry.name)) continue;
            try {
                TheFileSystem().RemoveFile(folder + entry.name);
            } catch (...) {
            }
        }
    } catch (...) {
    }
}

std::string TempFolder() { return TempFolders().front(); }

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return path;
        buffer.resize(buffer.size() * 2);
    }
    std::string folder(buffer.data());
    if (folder.back() != '/') folder += '/';
    // The current folder comes without links, so a leading ".." is its very parent; a ".." after a typed
    // name stays, as that name may be a link.
    std::string rest = path;
    for (;;) {
        if (rest == "." || rest == "..") rest += '/';
        if (rest.rfind("./", 0) == 0) {
            rest.erase(0, 2);
        } else if (rest.rfind("../", 0) == 0) {
            rest.erase(0, 3);
            if (folder.size() > 1) folder.erase(folder.find_last_of('/', folder.size() - 2) + 1);
        } else {
            break;
        }
    }
    return folder + rest;
}

std::string MakeTempFileName(const std::string& ext) {
    PreserveLastError keep;
    const std::string base = Program().AppExeName + "_temp";
    // A bounded search: a folder where this many names are taken is as good as unusable.
    constexpr int kMaxNumber = 10000;
    for (const std::string& folder : TempFolders()) {
        for (int n = 0; n < kMaxNumber; ++n) {
            const std::string candidate = folder + base + (n ? std::to_string(n) : std::string()) + "." + ext;
            try {
                TheFileSystem().OpenWrite(candidate, WriteMode::CreateNew)->Close();
                return candidate;
            } catch (const RuntimeError& e) {
                if (e.Number() != vberr::FileAlreadyExists) break;  // this folder refuses; try the next
            } catch (...) {
                break;
            }
        }
    }
    return {};
}

void CopyContent(InputFile& in, uint64_t offset, OutputFile& out, size_t blockSize) {
    const uint64_t size = in.Size();
    if (offset >= size) return;
    std::vector<char> buffer(std::max<size_t>(blockSize, 1));
    // Only the stretches that hold data are read: a sparse file's holes stay holes in the copy instead
    // of becoming gigabytes of zeros read and written.
    for (uint64_t at = offset;;) {
        const auto [first, end] = in.DataExtent(at);
        const uint64_t data = std::clamp(first, at, size);
        if (data > at) out.Skip(data - at);
        if (data >= size) return;
        in.Seek(data);
        // The last stretch is read to wherever the file ends now, as a file still growing does.
        const bool last = end >= size || end <= data;
        for (uint64_t left = last ? UINT64_MAX : end - data;;) {
            const size_t wanted = static_cast<size_t>(std::min<uint64_t>(buffer.size(), left));
            const size_t n = in.Read(buffer.data(), wanted);
            if (n > 0) out.Write(buffer.data(), n);
            left -= n;
            if (n < wanted) return;  // the file ends here now
            if (left == 0) break;
        }
        if (last) return;
        at = end;
    }
}

void CopyFilePart(const std::string& from, uint64_t offset, const std::string& to, size_t blockSize) {
    FileSystem& fs = TheFileSystem();
    const std::string fromFolder = FolderOf(from), toFolder = FolderOf(to);
    std::unique_ptr<InputFile> in =
        fs.OpenReadAt(fs.OpenDirectory(fromFolder.empty() ? "." : fromFolder), LastPartOf(from));
    ReplaceFileAt(fs, fs.OpenDirectory(toFolder.empty() ? "." : toFolder), LastPartOf(to),
                  [&](OutputFile& out) { CopyContent(*in, offset, out, blockSize); });
}

// --- The program ------------------------------------------------------------------------------------

std::string GetVersion() {
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionRevision);
}

void Wait(const Variant& ms) {
    const std::optional<double> wanted = ms.ToNumber();
    if (!wanted) return;
    Clock& clock = TheClock();
    const uint64_t start = clock.Milliseconds();
    uint64_t previous = start;
    for (bool first = true;; first = false) {
        TheDesktop().DoEvents();
        const uint64_t now = clock.Milliseconds();
        if (now < start) return;  // the counter went back
        const double passed = static_cast<double>(now - start);
        if (passed >= *wanted) return;
        // A clock that did not move while we slept is not a running clock (a test's fixed clock):
        // waiting on it would never end.
        if (!first && now == previous) return;
        previous = now;
        const double remaining = *wanted - passed;
        std::this_thread::sleep_for(
            std::chrono::milliseconds(remaining < 10 ? static_cast<int>(remaining) + 1 : 10));
    }
}

PreserveLastError::PreserveLastError() : saved_(GetLastError()) {}
PreserveLastError::~PreserveLastError() { SetLastError(saved_); }

}  // namespace loftwick
