#pragma once
#include <cstdint>
#include <string>

namespace loftwick {

// Reports the failure being handled: call it from inside a catch block (it reads the current
// exception, a RuntimeError or any other) or with no exception pending. It collects the last Win32
// error, builds the report, appends it to the daily log and shows it in a message box titled AppTitle
// (not when IsUnattended). Never throws. Returns the report text.
std::string HandleError(const std::string& location, const std::string& notes = "", bool showMessage = true);

// "ERROR_FILE_NOT_FOUND" for 2, "ERROR_INVALID_PARAMETER: The parameter is incorrect" for 87, ...
std::string Win32ErrorText(int64_t code);

// Appends one entry (CR LF, the time, a blank, the text) to today's log "exYYMMDD.log"; a log that cannot
// be written never stops the program.
void WriteToLog(const std::string& text);

// Appends text to a file, creating it; returns the file's new length, 0 on any failure. Never throws.
int64_t String2File(const std::string& text, const std::string& path);

// Forgets the log folder chosen by the first write (tests, and a restart with new program values).
void ResetLogFolder();

// Runs `body`; on any exception reports it with HandleError(location, notes) and returns `neutral`.
// This is the program's one shape of error trap.
template <class R, class F>
R Trapped(const std::string& location, const std::string& notes, R neutral, F&& body) {
    try {
        return body();
    } catch (...) {
        HandleError(location, notes);
        return neutral;
    }
}

// The same for a procedure without a result.
template <class F>
void TrappedVoid(const std::string& location, const std::string& notes, F&& body) {
    try {
        body();
    } catch (...) {
        HandleError(location, notes);
    }
}

}  // namespace loftwick
