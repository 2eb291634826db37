#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/WineRegistry.h"

namespace loftwick {

// The registry root the program reads; the only one it uses.
inline constexpr uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;

// Reads one text value under a root key from the Wine prefix's registry ($WINEPREFIX, default ~/.wine,
// file system.reg). Only plain string values (REG_SZ) are returned; a missing prefix, key or value, or a
// value of another type, gives "". Never throws.
std::string MyRegQueryStringValue(uint32_t rootKey, const std::string& subKey, const std::string& valueName);

// The value under HKEY_LOCAL_MACHINE\subKey as the prefix's registry holds it, of whatever type; a key
// under Software is looked for in the 32-bit view of a 64-bit prefix first. Nothing when the prefix, the
// file, the key or the value is missing, or the file cannot be opened; throws RuntimeError when it fails
// while being read.
std::optional<RegValue> ReadMachineValue(const std::string& subKey, const std::string& valueName);

// A Windows path from the registry ("c:\Program Files\WinGate\cache\") as a native path through the
// prefix's dosdevices (or drive_c), with "/" separators; a trailing separator is kept. A path with no drive
// letter is only turned to "/" separators.
std::string WindowsPathToNative(const std::string& windowsPath);

// The Wine prefix the registry and drive letters come from: $WINEPREFIX, else ~/.wine; no trailing "/".
std::string WinePrefix();

// The settings-file primitives, with the semantics of the profile-string calls: sections and keys match
// without regard to case, values are trimmed, a missing or empty value gives the default. An empty `file`
// means IniFileName. Values read back whole, whatever their length. Never throw.
std::string GetIniValue(const std::string& section, const std::string& key, const std::string& defaultValue,
                        const std::string& file = "");
// Writes (creating the file, section and key as needed) atomically: the file is replaced as a whole,
// never left half-written. True when written.
bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file = "");

// One value of a settings file.
struct IniValue {
    std::string section;
    std::string key;
    std::string value;
};

// Sets every value in one read-set-write of the settings file: saving a window's settings replaces the
// file one time instead of once per key, all of them or none. A file that exists but cannot be read is
// left as it is; a value it cannot hold (a line break in it) is left out. True when every value is written.
bool WriteIniValues(const std::vector<IniValue>& values, const std::string& file = "");

// The settings file for an executable: exeName + ".ini" beside it when its folder is writable, else in
// $XDG_CONFIG_HOME/loftwick/ (~/.config/loftwick/), which is created when missing.
std::string ChooseIniFileName(const std::string& programDir, const std::string& exeName);

}  // namespace loftwick
