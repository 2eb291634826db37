// The window's settings: the filter histories ("DataBase") and the "Persistence" values. They are read
// when the window loads and written only when it unloads.
#include "app/frmMain.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/Variant.h"
#include "support/basRegistry.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

constexpr int32_t kMaxHistory = 40;

struct HistoryField {
    ComboBox* frmMainControls::*combo;
    const char* prefix;
};

constexpr HistoryField kHistories[] = {
    {&frmMainControls::cboContentTypeFilter, "ContentType"},
    {&frmMainControls::cboHostFilter, "Host"},
    {&frmMainControls::cboURLFilter, "URL"},
    {&frmMainControls::cboContentsFilter, "Contents"},
};

bool FolderListable(const std::string& folder) {
    try {
        return !TheFileSystem().ListDirectory(folder).empty();
    } catch (...) {
        return false;
    }
}

// A stored window coordinate; anything but a whole number in range reads as 0 (none).
int32_t ReadInt(const char* key) {
    const std::string text = GetIniValue("Persistence", key, "");
    const auto number = ParseNumber(text);
    if (!number || !(*number >= -100000 && *number <= 100000)) return 0;
    if (*number != static_cast<double>(static_cast<int32_t>(*number))) return 0;
    return static_cast<int32_t>(*number);
}

}  // namespace

void frmMain::LoadComboHistory(ComboBox& combo, const std::string& prefix) {
    int32_t n = combo.ListCount();
    while (n < kMaxHistory) {
        const std::string value = GetIniValue("DataBase", prefix + std::to_string(n + 1), "");
        if (value.empty()) break;
        combo.InsertItem(n, value);
        combo.SetItemData(n, n);
        ++n;
    }
}

void frmMain::SaveComboHistory(ComboBox& combo, const std::string& prefix, std::vector<IniValue>& values) {
    for (int32_t i = 0; i < combo.ListCount(); ++i)
        values.push_back({"DataBase", prefix + std::to_string(i + 1), combo.ItemText(i)});
}

void frmMain::LoadSettings() {
    for (const HistoryField& field : kHistories) LoadComboHistory(*(c_.*field.combo), field.prefix);
    dirPrev_ = GetIniValue("Persistence", "DirPrev", "");
    defaultDocumentName_ = GetIniValue("Persistence", "DefaultDocumentName", "");
    std::string tempDir = GetIniValue("Persistence", "TempDir", "");
    if (tempDir.empty() || !FolderListable(tempDir)) tempDir = TempFolder();
    c_.txtTempDir->SetText(tempDir);
    c_.chkDecodeContent->SetValue(GetIniValue("Persistence", "DecodeContent", "1") == "0" ? 0 : 1);
    WindowPlacement placement;
    placement.left = ReadInt("WindowLeft");
    placement.top = ReadInt("WindowTop");
    placement.width = ReadInt("WindowWidth");
    placement.height = ReadInt("WindowHeight");
    placement.maximized = GetIniValue("Persistence", "WindowMaximized", "0") == "1";
    if (placement.width > 0 && placement.height > 0) shell_.SetPlacement(placement);
}

void frmMain::SaveSettings() {
    // Read, set and written once: the file holds all of the window's settings or the old ones.
    std::vector<IniValue> values;
    for (const HistoryField& field : kHistories) SaveComboHistory(*(c_.*field.combo), field.prefix, values);
    values.push_back({"Persistence", "DirPrev", dirPrev_});
    values.push_back({"Persistence", "DefaultDocumentName", defaultDocumentName_});
    values.push_back({"Persistence", "TempDir", c_.txtTempDir->Text()});
    values.push_back({"Persistence", "DecodeContent", c_.chkDecodeContent->Value() != 0 ? "1" : "0"});
    const WindowPlacement placement = shell_.Placement();
    if (placement.width > 0 && placement.height > 0) {
        values.push_back({"Persistence", "WindowLeft", std::to_string(placement.left)});
        values.push_back({"Persistence", "WindowTop", std::to_string(placement.top)});
        values.push_back({"Persistence", "WindowWidth", std::to_string(placement.width)});
        values.push_back({"Persistence", "WindowHeight", std::to_string(placement.height)});
        values.push_back({"Persistence", "WindowMaximized", placement.maximized ? "1" : "0"});
    }
    WriteIniValues(values);
}

}  // namespace loftwick
