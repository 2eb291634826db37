#include "support/basRegistry.h"

#include <filesystem>
#include <vector>

#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/IniFile.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/TextCodec.h"
#include "support/WineRegistry.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

// A settings file larger than this is not a settings file; it is not read (nor rewritten).
constexpr uint64_t kMaxSettingsSize = 64ull << 20;

// The keys to look in for a key under HKEY_LOCAL_MACHINE. The proxies are 32-bit programs: in a 64-bit
// prefix their keys lie in the 32-bit view below Software\Wow6432Node, which is what they themselves see,
// so that view is asked first.
std::vector<std::string> CandidateKeys(const std::string& subKey) {
    std::string key = subKey;
    while (!key.empty() && key.front() == '\\') key.erase(key.begin());
    std::vector<std::string> keys;
    if (StartsWithNoCase(key, "software\\") && !StartsWithNoCase(key, "software\\wow6432node\\")) {
        keys.push_back("Software\\Wow6432Node\\" + key.substr(9));
    }
    keys.push_back(key);
    return keys;
}

// The folder a drive letter stands for in the prefix.
std::string DriveRoot(const std::string& prefix, char letter) {
    const std::string dosdevices = prefix + "/dosdevices";
    const std::string link = dosdevices + "/" + letter + ":";
    PreserveLastError keep;
    const std::optional<FileInfo> info = TheFileSystem().Lstat(link);
    if (info && info->isLink) {
        std::error_code ec;
        std::filesystem::path target = std::filesystem::read_symlink(link, ec);
        if (!ec && !target.empty()) {
            if (target.is_relative()) target = std::filesystem::path(dosdevices) / target;
            return target.lexically_normal().string();
        }
    }
    if (info && info->kind == EntryKind::Directory) return link;
    if (letter == 'c') return prefix + "/drive_c";
    return link;  // a drive the prefix does not have: a path that will simply not be found
}

// A registry file that fails while being read is worth a word to the user, but never a second failure.
void ComplainAboutRegistry(const std::string& description) {
    try {
        TheDesktop().MessageBox(description, "MyRegQueryStringValue", MsgIcon::Exclamation);
    } catch (...) {
    }
}

std::string SettingsFile(const std::string& file) { return file.empty() ? Program().IniFileName : file; }

// The text of a settings file; "" when there is none. Throws when the file exists but cannot be read.
std::string ReadSettings(const std::string& path) {
    FileSystem& fs = TheFileSystem();
    const std::optional<FileInfo> info = fs.Stat(path);
    if (!info) {
        // Only a file that is not there reads as empty; one that cannot be looked at must not be
        // replaced by a file holding nothing but the key being written.
        const uint32_t err = GetLastError();
        if (err == win32err::FileNotFound || err == win32err::PathNotFound) return {};
        Raise(vberr::PathFileAccessError);
    }
    if (info->kind != EntryKind::File || info->size > kMaxSettingsSize) Raise(vberr::PathFileAccessError);
    return ReadWholeFile(fs, path);
}

}  // namespace

std::string WinePrefix() {
    std::string prefix = Environ("WINEPREFIX");
    if (prefix.empty()) {
        const std::string home = Environ("HOME");
        if (home.empty()) return {};
        prefix = home + "/.wine";
    }
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    return prefix;
}

std::optional<RegValue> ReadMachineValue(const std::string& subKey, const std::string& valueName) {
    const std::string prefix = WinePrefix();
    if (prefix.empty()) return std::nullopt;
    const std::string file = prefix + "/system.reg";
    FileSystem& fs = TheFileSystem();
    // Only a regular file is read: a pipe or a device planted at the name would block or never end.
    const std::optional<FileInfo> info = fs.Stat(file);
    if (!info || info->kind != EntryKind::File) return std::nullopt;
    std::unique_ptr<InputFile> in;
    try {
        in = fs.OpenRead(file, true);
    } catch (const RuntimeError&) {
        return std::nullopt;  // gone or unreadable: no registry, no value
    }
    const std::vector<std::string> keys = CandidateKeys(subKey);
    WineRegistryLookup lookup(keys, valueName);
    lookup.FeedFile(*in);
    for (size_t i = 0; i < keys.size(); ++i) {
        if (lookup.Result(i)) return lookup.Result(i);
    }
    return std::nullopt;
}

std::string MyRegQueryStringValue(uint32_t rootKey, const std::string& subKey, const std::string& valueName) {
    PreserveLastError keep;
    std::string result;
    try {
        if (rootKey != HKEY_LOCAL_MACHINE) return result;
        const std::optional<RegValue> value = ReadMachineValue(subKey, valueName);
        if (value && value->type == regtype::String) result = StripNulls(value->data);
    } catch (const RuntimeError& e) {
        ComplainAboutRegistry(e.Description());
    } catch (const std::exception& e) {
        ComplainAboutRegistry(e.what());
    } catch (...) {
        ComplainAboutRegistry(VbErrorDescription(vberr::InternalError));
    }
    return result;
}

std::string WindowsPathToNative(const std::string& windowsPath) {
    std::string path = windowsPath;
    std::string root;
    const bool hasDrive =
        path.size() >= 2 && path[1] == ':' && LowerAscii(path[0]) >= 'a' && LowerAscii(path[0]) <= 'z';
    const std::string prefix = WinePrefix();
    if (hasDrive && !prefix.empty()) {
        root = DriveRoot(prefix, LowerAscii(path[0]));
        while (!root.empty() && root.back() == '/') root.pop_back();
        path.erase(0, 2);
    }
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    if (!hasDrive || prefix.empty()) return path;
    if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
    return root + path;
}

std::string GetIniValue(const std::string& section, const std::string& key, const std::string& defaultValue,
                        const std::string& file) {
    PreserveLastError keep;
    try {
        const std::string path = SettingsFile(file);
        if (path.empty()) return defaultValue;
        const std::optional<std::string> value = IniDocument(ReadSettings(path)).Get(section, key);
        return value && !value->empty() ? *value : defaultValue;
    } catch (...) {
        return defaultValue;
    }
}

bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) {
    return WriteIniValues({{section, key, value}}, file);
}

bool WriteIniValues(const std::vector<IniValue>& values, const std::string& file) {
    PreserveLastError keep;
    try {
        const std::string path = SettingsFile(file);
        if (path.empty()) return false;
        // A file that exists but cannot be read is left alone rather than replaced by these keys alone:
        // ReadSettings throws for it.
        const std::string before = ReadSettings(path);
        IniDocument document(before);
        // A value the file cannot hold (a line break in it) is left out; the others are still written.
        bool allSet = true;
        for (const IniValue& v : values) allSet = document.Set(v.section, v.key, v.value) && allSet;
        const std::string after = document.Text();
        if (after == before) return allSet;
        WriteFileAtomically(TheFileSystem(), path, after);
        return allSet;
    } catch (...) {
        return false;
    }
}

std::string ChooseIniFileName(const std::string& programDir, const std::string& exeName) {
    const std::string name = (exeName.empty() ? std::string("loftwick") : exeName) + ".ini";
    std::string folder = programDir;
    AddPathSeparator(folder);
    {
        PreserveLastError keep;
        if (!folder.empty() && TheFileSystem().IsWritableDirectory(folder)) return folder + name;
    }
    std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
    if (config.empty()) config = "/.config";  // no home: where the settings have always gone then
    AddPathSeparator(config);
    config += "loftwick/";
    MakeDirs(config);
    return config + name;
}

}  // namespace loftwick
