// The window's settings: the filter histories ("DataBase") and the "Persistence" values. They are read
// when the window loads and written only when it unloads.
#include "app/frmMain.h"
#include "support/FileSystem.h"
#include "support/Program.h"
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

void frmMain::SaveComboHistory(ComboBox& combo, const std::string& prefix) {
    for (int32_t i = 0; i < combo.ListCount(); ++i) {
        WriteIniValue("DataBase", prefix + std::to_string(i + 1), combo.ItemText(i));
    }
}

void frmMain::LoadSettings() {
    for (const HistoryField& field : kHistories) LoadComboHistory(*(c_.*field.combo), field.prefix);
    dirPrev_ = GetIniValue("Persistence", "DirPrev", "");
    defaultDocumentName_ = GetIniValue("Persistence", "DefaultDocumentName", "");
    std::string tempDir = GetIniValue("Persistence", "TempDir", "");
    if (tempDir.empty() || !FolderListable(tempDir)) tempDir = TempFolder();
    c_.txtTempDir->SetText(tempDir);
    c_.chkDecodeContent->SetValue(GetIniValue("Persistence", "DecodeContent", "1") == "0" ? 0 : 1);
}

void frmMain::SaveSettings() {
    IniWriteBatch batch;
    for (const HistoryField& field : kHistories) SaveComboHistory(*(c_.*field.combo), field.prefix);
    WriteIniValue("Persistence", "DirPrev", dirPrev_);
    WriteIniValue("Persistence", "DefaultDocumentName", defaultDocumentName_);
    WriteIniValue("Persistence", "TempDir", c_.txtTempDir->Text());
    WriteIniValue("Persistence", "DecodeContent", c_.chkDecodeContent->Value() != 0 ? "1" : "0");
}

}  // namespace loftwick
