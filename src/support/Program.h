#pragma once
#include <cstdint>
#include <string>

namespace loftwick {

class Desktop;
class FileSystem;
class Clock;
class ProxyControl;

// The program-wide values, set by Main (or by loftwick-scan from its flags) and read everywhere.
struct ProgramValues {
    std::string ExecutablePath;  // where the running executable lives; the front end sets it before Main
    std::string AppTitle;        // "Loftwick v. 2.1.20": title of every message and input box
    std::string AppExeName;      // the executable's name without extension
    std::string ProgramDir;      // the folder of the executable, ending in "/"
    std::string AppParentDir;    // the folder that holds ProgramDir, ending in "/"; the log folder
    std::string IniFileName;     // the settings file
    bool IsUnattended = false;   // no user at the screen: no message boxes (loftwick-scan)
    int32_t ProxyType = 0;       // 1 = WinProxy, 2 = WinGate, 3 = Squid, 0 = none chosen
    std::string CacheDir;        // the proxy's cache folder, ending in a separator once checked
    bool RestartRequested = false;
    // Squid only: where a running Squid answers ("host:port"), and the configuration that names its
    // pid file and cache folders.
    std::string SquidAddress = "127.0.0.1:3128";
    std::string SquidConf = "/etc/squid/squid.conf";
    // Copies, views and the contents search use the content with its stored codings (gzip, deflate, br,
    // chunked) undone; off, they use the bytes as the cache holds them.
    bool DecodeContent = true;
    // Scans open and read the next objects on a second thread while they process one.
    bool ReadAhead = true;
    // The user-interface language, chosen once at start-up by GetUserLanguage. The folder of the
    // language folders, ending in "/": "Language/" beside the executable, or in an installed layout
    // <prefix>/share/loftwick/Language/ when the executable lives in <prefix>/bin.
    std::string LanguageRoot;
    std::string LanguageDir;  // LanguageRoot + the chosen code + "/"
    int32_t LanguageIndex =
        2;  // 1 when the chosen language is Russian ("ru", or a folder named 1), 2 for any other
    // The key code of the last key-down the main window saw; 0 until a key is pressed. The window sees a
    // key before the focused field does, so while a field's change handler runs this is the key that
    // changed it.
    int16_t LastKeyCode = 0;
};

ProgramValues& Program();

// The seams the core reaches the outside world through. Main (or a test) installs them; until then
// the real file system, the system clock, libcurl towards a running Squid and a desktop that shows
// nothing and answers "cancel" serve.
struct Services {
    Desktop* desktop = nullptr;
    FileSystem* fileSystem = nullptr;
    Clock* clock = nullptr;
    ProxyControl* proxyControl = nullptr;
};

Services& Platform();
Desktop& TheDesktop();
FileSystem& TheFileSystem();
Clock& TheClock();
ProxyControl& TheProxyControl();

// An environment variable, "" when unset.
std::string Environ(const std::string& name);

}  // namespace loftwick
