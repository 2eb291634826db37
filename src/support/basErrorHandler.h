#pragma once
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "support/RuntimeError.h"
#include "support/Variant.h"

namespace loftwick {

// Reports the failure being handled: call it from inside a catch block (it reads the current
// exception, a RuntimeError or any other) or with no exception pending. It collects the last Win32
// error (and clears it, so that it is not reported again) and the exception being handled, builds the
// report of one entry per distinct code, appends it to the daily log and shows it in a message box
// titled AppTitle (not when IsUnattended or showMessage is false). Never throws. Returns the report text.
std::string HandleError(const std::string& location, const std::string& notes = "", bool showMessage = true);

// The reason given by the latest report (the error's description, or the system's error text), for
// a one-line status; "" before the first.
std::string LastErrorReason();

// How many reports HandleError has made since the program started. A run takes it at its start: any
// report made since then means the run did not go well, whatever else it got done.
int64_t ErrorsReported();

// One entry of a report, each line ended by lineEnd. For a run-time error: "error object: ...", "error
// number: ...", "source: ...", then the location and notes lines, then "description: ...". For a number:
// "error code: ...". For Null: "reason: " (a text value follows the label).
std::string FormatErrorEntry(const RuntimeError& error, const std::string& location, const std::string& notes,
                             const std::string& lineEnd);
std::string FormatErrorEntry(const Variant& value, const std::string& location, const std::string& notes,
                             const std::string& lineEnd);

// Whether a number lies in the components' range above kCustomErrorBase.
bool IsCustomError(int32_t number);

// "ERROR_FILE_NOT_FOUND" for 2, "ERROR_INVALID_PARAMETER: The parameter is incorrect" for 87, ...
std::string Win32ErrorText(int64_t code);

// Appends one entry (CR LF, the time, a blank, the text) to today's log "exYYMMDD.log"; a log that cannot
// be written never stops the program.
void WriteToLog(const std::string& text);

// Appends text to a file, creating it; returns the file's new length, 0 on any failure. Never throws.
int64_t String2File(const std::string& text, const std::string& path);

// The folder the log goes to: AppParentDir, or for an unattended run $XDG_STATE_HOME/loftwick/
// (~/.local/state/loftwick/), created when missing. Chosen by the first write and kept.
std::string LogFolder();
// "ex" + yymmdd of today + ".log".
std::string LogFileName();

// Forgets the log folder chosen by the first write (tests, and a restart with new program values).
void ResetLogFolder();

// While one lives, only the first report shows its box; later reports are logged and counted, so that a
// failure repeating for every object of a long run asks for one click, not one per object. The innermost
// one counts.
class OneErrorBox {
  public:
    OneErrorBox();
    ~OneErrorBox();
    OneErrorBox(const OneErrorBox&) = delete;
    OneErrorBox& operator=(const OneErrorBox&) = delete;

    // Reports that were logged without their box.
    int64_t MoreErrors() const { return more_; }
    // "More errors: N, written to the log <path>"; "" when there were none.
    std::string MoreErrorsLine() const;
    // Whether the report being made may show its box (called by the reporter).
    static bool TakeBox();

  private:
    OneErrorBox* outer_;
    bool shown_ = false;
    int64_t more_ = 0;
};

// Runs `body`; on any exception reports it with HandleError(location, notes()) and returns `neutral`.
// This is the program's one shape of error trap. The notes are a callable evaluated only in the catch,
// so that a trap that never springs costs no text: most of them guard every object of a scan.
template <class R, class N, class F>
requires std::invocable<N&> R Trapped(std::string_view location, N&& notes, R neutral, F&& body) {
    try {
        return body();
    } catch (...) {
        HandleError(std::string(location), std::string(notes()));
        return neutral;
    }
}

// The same with fixed notes.
template <class R, class F>
R Trapped(std::string_view location, std::string_view notes, R neutral, F&& body) {
    return Trapped(
        location, [notes] { return notes; }, std::move(neutral), std::forward<F>(body));
}

// The same for a procedure without a result, with either kind of notes.
template <class N, class F>
void TrappedVoid(std::string_view location, N&& notes, F&& body) {
    Trapped(location, std::forward<N>(notes), 0, [&] {
        body();
        return 0;
    });
}

}  // namespace loftwick
