#include "about/frmAbout.h"

#include <unistd.h>

#include <optional>

#include "Version.h"
#include "results/clsBrowser.h"
#include "support/Controls.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/WineRegistry.h"
#include "support/basInternational.h"
#include "support/basRegistry.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

const char* const kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const char* const kToolsLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

// The size of the buffer a registry value was always read into; a longer value did not fit.
constexpr size_t kMaxValueBytes = 1024;

// A dword is stored little-endian; read as the signed 32-bit number a hexadecimal literal of its eight
// digits gives.
std::string DwordText(const std::string& bytes) {
    uint32_t number = 0;
    for (size_t i = bytes.size() > 4 ? 4 : bytes.size(); i > 0; --i) {
        number = (number << 8) | static_cast<unsigned char>(bytes[i - 1]);
    }
    return std::to_string(static_cast<int32_t>(number));
}

// The path of an existing file, its name matched without regard to case when the exact one is not
// there: Windows names are case-blind, and a prefix keeps "msinfo32.exe" where the registry says
// "MSINFO32.EXE". "" when there is none.
std::string ExistingFileNoCase(const std::string& path) {
    if (FileExists(path)) return path;
    const std::string folder = GetFolder(path);
    const std::string wanted = UpperAscii(GetFileName(path));
    if (folder.empty() || wanted.empty()) return {};
    PreserveLastError keep;
    try {
        for (const DirEntry& entry : TheFileSystem().ListDirectory(folder)) {
            if (UpperAscii(entry.name) == wanted && FileExists(folder + entry.name))
                return folder + entry.name;
        }
    } catch (...) {
    }
    return {};
}

// Starts a program the registry names by its Windows path. A Windows program runs under Wine when Wine
// is installed; started directly it only runs where the system is set up to hand it to Wine.
bool StartRegisteredProgram(const std::string& windowsPath) {
    if (windowsPath.empty()) return false;
    const std::string path = ExistingFileNoCase(WindowsPathToNative(windowsPath));
    if (path.empty()) return false;
    if (EndsWithNoCase(path, ".exe")) {
        const std::string wine = FindProgramOnPath("wine");
        if (!wine.empty()) return TheDesktop().StartProgram({wine, path});
    }
    return TheDesktop().StartProgram({path});
}

}  // namespace

frmAbout::frmAbout(frmAboutWindow& window, const frmAboutControls& controls, clsBrowser& browser)
    : window_(window), controls_(controls), browser_(browser) {
    controls_.cmdOK.onClick = [this] { cmdOK_Click(); };
    controls_.cmdSysInfo.onClick = [this] { cmdSysInfo_Click(); };
}

frmAbout::~frmAbout() {
    controls_.cmdOK.onClick = nullptr;
    controls_.cmdSysInfo.onClick = nullptr;
}

void frmAbout::Form_Load() {
    window_.SetCaption(GetString(103) + " " + Program().AppTitle);
    controls_.lblTitle.SetCaption(kProductName);
    controls_.lblVersion.SetCaption(GetString(104) + " " + GetVersion());
    controls_.lblDescription.SetCaption(GetString(102));
    controls_.lblDisclaimer.SetCaption("Freeware");
    controls_.lblHomePage.SetCaption(GetString(128));
    std::string link = HomePageBase();
    if (Program().LanguageIndex == 1) link += "index_ru.html";
    controls_.lnkHomePage.SetCaption(link);
}

void frmAbout::cmdOK_Click() { window_.Unload(); }

void frmAbout::lnkHomePage_Click() {
    browser_.Navigate(controls_.lnkHomePage.Caption());
    window_.Unload();
}

void frmAbout::StartSysInfo() {
    try {
        std::string path;
        if (GetKeyValue(HKEY_LOCAL_MACHINE, kMsInfoKey, "PATH", path) && StartRegisteredProgram(path)) return;
        std::string folder;
        if (GetKeyValue(HKEY_LOCAL_MACHINE, kToolsLocationKey, "MSINFO", folder) && !folder.empty() &&
            StartRegisteredProgram(folder + "\\MSINFO32.EXE")) {
            return;
        }
        for (const std::string& name : KnownSystemInfoPrograms()) {
            const std::string program = FindProgramOnPath(name);
            if (!program.empty() && TheDesktop().StartProgram({program})) return;
        }
    } catch (...) {
        // Whatever went wrong, the user hears the one answer below.
    }
    TheDesktop().MessageBox("System Information Is Unavailable At This Time", Program().AppTitle,
                            MsgIcon::Information);
}

std::string HomePageBase() {
    return Program().LanguageIndex == 1 ? Program().LanguageDir : Program().LanguageDir + "index.html";
}

bool GetKeyValue(uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal) {
    PreserveLastError keep;
    try {
        const std::optional<RegValue> value =
            KeyRoot == HKEY_LOCAL_MACHINE ? ReadMachineValue(KeyName, SubKeyRef) : std::nullopt;
        if (!value || value->data.size() > kMaxValueBytes) {
            KeyVal.clear();
            return false;
        }
        if (value->type == regtype::String) KeyVal = StripNulls(value->data);
        if (value->type == regtype::Dword) KeyVal = DwordText(value->data);
        return true;
    } catch (...) {
        KeyVal.clear();
        return false;
    }
}

const std::vector<std::string>& KnownSystemInfoPrograms() {
    static const std::vector<std::string> programs = {
        "hardinfo2",         "hardinfo", "gnome-system-monitor", "plasma-systemmonitor", "ksysguard",
        "xfce4-taskmanager", "lshw-gtk"};
    return programs;
}

std::string FindProgramOnPath(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return {};
    std::string searchPath = Environ("PATH");
    if (searchPath.empty()) searchPath = "/usr/local/bin:/usr/bin:/bin";
    PreserveLastError keep;
    size_t start = 0;
    while (start <= searchPath.size()) {
        size_t end = searchPath.find(':', start);
        if (end == std::string::npos) end = searchPath.size();
        std::string folder = searchPath.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder.front() != '/') continue;
        if (folder.back() != '/') folder += '/';
        const std::string candidate = folder + name;
        try {
            const std::optional<FileInfo> info = TheFileSystem().Stat(candidate);
            // The file system seam has no notion of "executable"; the permission bits are the kernel's.
            if (info && info->kind == EntryKind::File && ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        } catch (...) {
        }
    }
    return {};
}

}  // namespace loftwick
