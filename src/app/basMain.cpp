#include "app/basMain.h"

#include <cstdlib>

#include "Version.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/SquidConf.h"
#include "support/TextCodec.h"
#include "support/basErrorHandler.h"
#include "support/basInternational.h"
#include "support/basRegistry.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

MainWindowHost* gHost = nullptr;

const char* const kWinProxyKey = "SOFTWARE\\M&Msoft\\WinProxy";
const char* const kWinGateKey = "SOFTWARE\\Qbik Software\\WinGate\\Cache";
const char* const kGatekeeperKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\gatekeeper.exe";
const char* const kWinProxyDefaultDir = "c:\\winproxy\\cache\\";
const char* const kWinGateDefaultDir = "c:\\Program Files\\WinGate\\cache\\";

void Inform(const std::string& text) {
    TheDesktop().MessageBox(text, Program().AppTitle, MsgIcon::Information);
}

// The directory part of a path: up to and including the last "\", "/" or ":" (a separator added after
// a ":"); empty when there is none.
std::string DirectoryPart(const std::string& path) {
    const size_t pos = path.find_last_of("\\/:");
    if (pos == std::string::npos) return "";
    if (path[pos] == ':') return path.substr(0, pos + 1) + "\\";
    return path.substr(0, pos + 1);
}

std::string ProxyTypePrompt() {
    return "Select Proxy Server, that you are using (type 1, 2 or 3)\r\n"
           "1 - WinProxy 1.4\r\n"
           "2 - WinGate 4\r\n"
           "3 - Squid (ufs, aufs or diskd cache_dir)\r\n"
           "Enything else - none of them (to Exit)\r\n";
}

// The registry and the proxies' defaults give Windows paths; they are read here through the prefix.
std::string WinProxyCacheDir() {
    std::string dir = MyRegQueryStringValue(HKEY_LOCAL_MACHINE, kWinProxyKey, "CacheDir");
    if (dir.empty()) dir = kWinProxyDefaultDir;
    return WindowsPathToNative(dir);
}

std::string WinGateCacheDir(const std::string& current) {
    std::string dir = current;
    const std::string cacheDirectory =
        MyRegQueryStringValue(HKEY_LOCAL_MACHINE, kWinGateKey, "CacheDirectory");
    if (!cacheDirectory.empty() && cacheDirectory.find('\\') == std::string::npos) {
        dir =
            DirectoryPart(MyRegQueryStringValue(HKEY_LOCAL_MACHINE, kGatekeeperKey, "Path")) + cacheDirectory;
        if (!EndsInSeparator(dir)) dir += "\\";
        dir = WindowsPathToNative(dir);
    }
    if (dir.empty()) dir = WindowsPathToNative(kWinGateDefaultDir);
    return dir;
}

// The first ufs, aufs or diskd cache_dir of Squid's configuration, else Squid's default folder.
std::string SquidCacheDir() {
    std::string dir = ReadSquidConf(Program().SquidConf).cacheDir;
    if (dir.empty()) dir = kSquidDefaultCacheDir;
    return EndsInSeparator(dir) ? dir : dir + "/";
}

// Squid's folders are readable by its group only: the message says which group lets the user in.
std::string UnreadableSquidFolder(const std::string& dir) {
    std::string group = FolderGroupName(dir);
    if (group.empty()) group = "proxy";
    return "Cache Directory '" + dir +
           "' cannot be read by this user. Squid's cache folders belong to the group '" + group +
           "': join it (sudo adduser $USER " + group + "), then log in again";
}

}  // namespace

void SetMainWindowHost(MainWindowHost* host) { gHost = host; }

void InitProgramValues(bool unattended) {
    ProgramValues& p = Program();
    const std::string exe = p.ExecutablePath.empty() ? std::string("loftwick") : p.ExecutablePath;
    const size_t slash = exe.find_last_of('/');
    std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
    if (const size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    p.AppExeName = name;
    p.AppTitle = std::string(kProductName) + " v. " + GetVersion();
    const std::string folder =
        slash == std::string::npos ? std::string(".") : exe.substr(0, slash == 0 ? 1 : slash);
    p.ProgramDir = EndsInSeparator(folder) ? folder : folder + "/";
    p.AppParentDir = DirectoryPart(folder);
    p.IniFileName = ChooseIniFileName(p.ProgramDir, p.AppExeName);
    p.IsUnattended = unattended;
    ResetLogFolder();
}

bool CheckCacheDir() {
    ProgramValues& p = Program();
    if (p.CacheDir.empty()) {
        Inform("Cache Directory was not specified");
        return false;
    }
    while (!p.CacheDir.empty() && p.CacheDir.back() == ' ') p.CacheDir.pop_back();
    // Kept absolute: the program may start from another folder next time.
    p.CacheDir = AbsolutePath(p.CacheDir);
    if (!EndsInSeparator(p.CacheDir)) p.CacheDir += "/";
    // A folder that can be opened can be listed: it is not listed here, as a WinGate folder holds a
    // content file for every object and an empty cache folder passes all the same.
    bool listed = false;
    try {
        listed = static_cast<bool>(TheFileSystem().OpenDirectory(p.CacheDir, true));
    } catch (const RuntimeError& e) {
        if (p.ProxyType == 3 && e.Number() == vberr::PermissionDenied) {
            Inform(UnreadableSquidFolder(p.CacheDir));
            return false;
        }
        listed = false;
    } catch (...) {
        listed = false;
    }
    if (!listed) {
        Inform("Cache Directory '" + p.CacheDir + "' was not found");
        return false;
    }
    if (p.ProxyType == 1 || p.ProxyType == 3) return true;
    if (p.ProxyType == 2) {
        try {
            TheFileSystem().OpenRead(p.CacheDir + "cache.idx", true);
            return true;
        } catch (...) {
            Inform("Cache index file was not found in the '" + p.CacheDir + "' direcory");
            return false;
        }
    }
    return false;
}

void SetProxyType(bool askAgain) {
    ProgramValues& p = Program();
    int32_t storedType = 0;
    std::string storedDir;
    const bool success = Trapped("basMain:SetProxyType", "", false, [&] {
        storedType = static_cast<int32_t>(ToLong(Variant(GetIniValue("Common", "ProxyType", "")), 0));
        p.ProxyType = storedType;
        storedDir = GetIniValue("Common", "CacheDir", "");
        p.CacheDir = storedDir;
        p.SquidAddress = GetIniValue("Common", "SquidAddress", p.SquidAddress);
        p.SquidConf = GetIniValue("Common", "SquidConf", p.SquidConf);
        for (int attempt = 1;; ++attempt) {
            if (!(askAgain && attempt == 1) && CheckCacheDir()) return true;
            const auto answer = TheDesktop().InputBox(ProxyTypePrompt(), p.AppTitle, "");
            p.ProxyType = static_cast<int32_t>(ToLong(Variant(answer.value_or("")), 0));
            if (p.ProxyType == 1) {
                p.CacheDir = WinProxyCacheDir();
            } else if (p.ProxyType == 2) {
                p.CacheDir = WinGateCacheDir(p.CacheDir);
            } else if (p.ProxyType == 3) {
                p.CacheDir = SquidCacheDir();
            } else {
                return false;
            }
            const auto dir = TheDesktop().InputBox(
                "Please type the folder of the Cache manually (it then will be saved in " + p.IniFileName +
                    ")",
                p.AppTitle, p.CacheDir);
            p.CacheDir = dir.value_or("");
        }
    });
    try {
        if (success) {
            if (p.ProxyType != storedType) WriteIniValue("Common", "ProxyType", std::to_string(p.ProxyType));
            if (p.CacheDir != storedDir) WriteIniValue("Common", "CacheDir", p.CacheDir);
        } else if (storedType != 0) {
            p.ProxyType = storedType;
            p.CacheDir = storedDir;
        } else {
            p.ProxyType = 0;
        }
    } catch (...) {
    }
}

void Main() {
    const bool shown = Trapped("basMain:Main", "", false, [] {
        InitProgramValues(Program().IsUnattended);
        GetUserLanguage();
        SetProxyType(false);
        if (Program().ProxyType == 0 || !gHost) return false;
        gHost->ShowMainWindow();
        return true;
    });
    if (shown) return;

    try {
        if (Program().ProxyType == 0) ReleaseProgram();
    } catch (...) {
    }
}

void ReleaseProgram() {
    static bool releasing = false;
    if (releasing) return;
    releasing = true;
    try {
        if (gHost) gHost->UnloadMainWindow();
        if (Program().RestartRequested) {
            Main();
            Program().RestartRequested = false;
        }
    } catch (...) {
    }
    releasing = false;
}

}  // namespace loftwick
