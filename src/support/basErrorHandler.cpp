#include "support/basErrorHandler.h"

#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <set>

#include "support/Clock.h"
#include "support/Desktop.h"
#include "support/FileSystem.h"
#include "support/Program.h"
#include "support/TextCodec.h"
#include "support/basUtils.h"

namespace loftwick {
namespace {

const char* const kCrLf = "\r\n";

int64_t& ReportCount() {
    static int64_t count = 0;
    return count;
}

std::string& LogFolderState() {
    static std::string folder;
    return folder;
}

// The exception being handled, as the run-time error a report shows; nothing outside a handler.
std::optional<RuntimeError> PendingRuntimeError() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return std::nullopt;
    try {
        std::rethrow_exception(current);
    } catch (const RuntimeError& e) {
        if (e.Number() == 0) return std::nullopt;
        return e;
    } catch (const std::bad_alloc&) {
        return RuntimeError(vberr::OutOfMemory);
    } catch (const std::exception& e) {
        return RuntimeError(vberr::InternalError, e.what());
    } catch (...) {
        return RuntimeError(vberr::InternalError);
    }
}

std::string TimeText(OleDate now) {
    const DateParts p = SplitDate(now);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return buffer;
}

// The location and notes lines that every kind of entry shares.
std::string PlaceLines(const std::string& location, const std::string& notes, const std::string& lineEnd) {
    std::string lines;
    if (!location.empty()) lines += "Code module: " + location + lineEnd;
    if (!notes.empty()) lines += "Notes: " + lineEnd + std::string(Trim(notes)) + lineEnd;
    return lines;
}

}  // namespace

bool IsCustomError(int32_t number) { return number > kCustomErrorBase && number < kCustomErrorEnd; }

std::string Win32ErrorText(int64_t code) {
    const char* name = nullptr;
    const char* description = nullptr;
    switch (code) {
#define LOFTWICK_WIN32_TEXT(constant, value, nameText, descriptionText) \
    case win32err::constant:                                            \
        name = nameText;                                                \
        description = descriptionText;                                  \
        break;
        LOFTWICK_WIN32_ERRORS(LOFTWICK_WIN32_TEXT)
#undef LOFTWICK_WIN32_TEXT
    }
    if (name && description) return std::string(name) + ": " + description;
    if (name || description) return name ? name : description;
    return "Unknown error " + std::to_string(code);
}

std::string FormatErrorEntry(const RuntimeError& error, const std::string& location, const std::string& notes,
                             const std::string& lineEnd) {
    const bool custom = IsCustomError(error.Number());
    const int64_t shown = custom ? int64_t{error.Number()} - kCustomErrorBase : error.Number();
    std::string entry = std::string("error object: ") + (custom ? "custom object" : "VBA.Err") + lineEnd;
    entry += "error number: " + std::to_string(shown) + lineEnd;
    entry += "source: " + error.Source() + lineEnd;
    entry += PlaceLines(location, notes, lineEnd);
    // The description comes last: it is the longest line and the least needed to find the place.
    entry += "description: " + error.Description() + lineEnd;
    return entry;
}

std::string FormatErrorEntry(const Variant& value, const std::string& location, const std::string& notes,
                             const std::string& lineEnd) {
    std::string entry;
    if (value.IsNumber()) {
        entry = "error code: " + FormatWhole(value) + lineEnd;
    } else if (value.IsNull() || value.IsEmpty()) {
        entry = "reason: " + lineEnd;
    } else {
        entry = "reason: " + value.ToText() + lineEnd;
    }
    return entry + PlaceLines(location, notes, lineEnd);
}

int64_t ErrorsReported() { return ReportCount(); }

namespace {
std::string& LatestReason() {
    static std::string reason;
    return reason;
}
}  // namespace

std::string LastErrorReason() { return LatestReason(); }

std::string HandleError(const std::string& location, const std::string& notes, bool showMessage) {
    ++ReportCount();
    std::string report;
    try {
        // Taken first, before anything below can overwrite it.
        const int32_t win32 = static_cast<int32_t>(GetLastError());
        const std::optional<RuntimeError> pending = PendingRuntimeError();
        LatestReason() = pending      ? pending->Description()
                         : win32 != 0 ? Win32ErrorText(win32)
                                      : std::string();

        std::string entryNotes = notes;
        // A code the report holds already is not told twice.
        std::set<int32_t> reported;
        auto addEntry = [&](int32_t code, auto&& format) {
            if (!reported.insert(code).second) return;
            if (!report.empty()) {
                report += kCrLf;
                report += kCrLf;
                entryNotes.clear();  // only the first entry carries the notes
            }
            report += format();
        };

        if (win32 != 0) {
            if (!entryNotes.empty()) entryNotes += kCrLf;
            entryNotes += "Windows reported error:" + Win32ErrorText(win32);
            addEntry(win32, [&] { return FormatErrorEntry(Variant(win32), location, entryNotes, kCrLf); });
        }
        if (pending) {
            addEntry(pending->Number(),
                     [&] { return FormatErrorEntry(*pending, location, entryNotes, kCrLf); });
        }
        if (report.empty()) {
            addEntry(kNullEntryCode,
                     [&] { return FormatErrorEntry(Variant::Null(), location, entryNotes, kCrLf); });
        }

        WriteToLog(report);
        const bool unattended = Program().IsUnattended;
        if (!unattended) TheDesktop().SetBusy(false);
        // After the log, so that the entry is kept even when the box is never dismissed.
        if (showMessage && !unattended && OneErrorBox::TakeBox()) {
            TheDesktop().MessageBox(
                report + kCrLf + kCrLf + "Текущее время: " + FormatGeneralDate(TheClock().Now()),
                Program().AppTitle, MsgIcon::None);
        } else if (showMessage) {
            TheDesktop().ReportUnattended(report);
        }
    } catch (...) {
        // A report must never become a second failure.
    }
    SetLastError(0);
    return report;
}

namespace {
OneErrorBox* gErrorBoxes = nullptr;
}  // namespace

OneErrorBox::OneErrorBox() : outer_(gErrorBoxes) { gErrorBoxes = this; }
OneErrorBox::~OneErrorBox() { gErrorBoxes = outer_; }

bool OneErrorBox::TakeBox() {
    if (!gErrorBoxes) return true;
    if (!gErrorBoxes->shown_) return gErrorBoxes->shown_ = true;
    ++gErrorBoxes->more_;
    return false;
}

std::string OneErrorBox::MoreErrorsLine() const {
    if (more_ == 0) return "";
    return "More errors: " + std::to_string(more_) + ", written to the log " + LogFolder() + LogFileName();
}

namespace {

// $XDG_STATE_HOME/loftwick/ (default ~/.local/state/loftwick/), created when missing; "" without a home.
std::string StateFolder() {
    std::string stateHome = XdgFolder("XDG_STATE_HOME", ".local/state");
    if (stateHome.empty()) return "";
    AddPathSeparator(stateHome);
    const std::string folder = stateHome + "loftwick/";
    MakeDirs(folder);
    return folder;
}

}  // namespace

std::string LogFolder() {
    std::string& folder = LogFolderState();
    if (!folder.empty()) return folder;
    std::string chosen;
    if (!Program().IsUnattended) {
        chosen = Program().AppParentDir;
        AddPathSeparator(chosen);
        // An installed program's folder belongs to the system: the log then goes where user state goes.
        PreserveLastError keep;
        if (!chosen.empty() && !TheFileSystem().IsWritableDirectory(chosen)) chosen.clear();
    }
    if (chosen.empty()) chosen = StateFolder();
    folder = chosen;
    return folder;
}

std::string LogFileName() {
    const DateParts p = SplitDate(TheClock().Now());
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "ex%02d%02d%02d.log", ((p.year % 100) + 100) % 100, p.month, p.day);
    return buffer;
}

void WriteToLog(const std::string& text) {
    try {
        PreserveLastError keep;
        const std::string folder = LogFolder();
        const std::string file = LogFileName();
        const std::string time = TimeText(TheClock().Now());
        // An empty folder would mean the current directory, which is nobody's log folder.
        const bool written = !folder.empty() && String2File(kCrLf + time + " " + text, folder + file) != 0;
        if (!written) {
            String2File(kCrLf + time + " " + "couldn't write to the log file: '" + file + "'" + text,
                        TempFolder() + file);
        }
        if (!Program().IsUnattended) TheDesktop().DoEvents();
    } catch (...) {
        // The log is a witness, never a cause: losing an entry must not stop the program.
    }
}

int64_t String2File(const std::string& text, const std::string& path) {
    try {
        FileSystem& fs = TheFileSystem();
        std::unique_ptr<OutputFile> out = fs.OpenWrite(path, WriteMode::Append);
        out->Write(text.data(), text.size());
        out->Close();
        const std::optional<FileInfo> info = fs.Lstat(path);
        return info ? static_cast<int64_t>(info->size) : 0;
    } catch (...) {
        return 0;
    }
}

void ResetLogFolder() { LogFolderState().clear(); }

}  // namespace loftwick
