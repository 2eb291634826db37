#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "support/FileSystem.h"
#include "support/Variant.h"

namespace loftwick {

// Small shared operations. None of them reports through HandleError: failures give the neutral value
// (False, 0, "", the caller's default), except where a comment says that a RuntimeError is thrown.

// --- Values -----------------------------------------------------------------------------------------

// The value unless it is Null; for Null the substitute (Empty when none is given).
Variant Nz(const Variant& value, const Variant& substitute = Variant());
// A number, or text that reads as one, comes back unchanged (text stays text); a date, or text that
// reads as a date, gives its serial as a double; anything else, Null and Empty give the default.
Variant NumOrDefault(const Variant& value, const Variant& defaultValue);
// NumOrDefault made a 32-bit whole number, to the nearest with halves to even. Throws RuntimeError 6
// (Overflow) when the number does not fit, and 13 when the default is not a number either.
int32_t ToLong(const Variant& value, int32_t defaultValue);
// To the nearest whole number with halves to even, as every whole-number conversion here rounds.
double RoundHalfEven(double number);
// The same as a 32-bit whole number; nullopt when it does not fit.
std::optional<int32_t> RoundedLong(double number);
// A whole-number text, rounded half away from zero ("3" for 2.5); text that is not a number comes back
// as it is, Empty and Null as "".
std::string FormatWhole(const Variant& value);
// A numeric value grows by 1; any other value (Empty, Null, a word, a date) becomes 1.
void Increment(Variant& value);
// The text before its first NUL character.
std::string StripNulls(const std::string& text);

// --- Paths (both "\" and "/" are separators; the one appended is "/") ----------------------------------

// Removes trailing blanks and appends "/" unless the path is then empty or ends in a separator; the
// argument is updated too.
std::string AddPathSeparator(std::string& path);
// A path typed relative to the current folder, made absolute ("build/demo" in /home/u is
// "/home/u/build/demo"); an absolute or empty path, or any when the current folder is unknown, unchanged.
std::string AbsolutePath(const std::string& path);
// The part up to and including the last separator; after a drive colon met first, the drive root
// ("c:" + "\"); "" when there is neither, and for Null.
std::string GetFolder(const std::string& path);
std::string GetFolder(const Variant& path);
inline std::string GetFolder(const char* path) { return GetFolder(std::string(path)); }
// The part after the last separator or colon; the whole path when there is none; "" for Null.
std::string GetFileName(const std::string& path);
std::string GetFileName(const Variant& path);
inline std::string GetFileName(const char* path) { return GetFileName(std::string(path)); }

// A base folder of the user's by its variable ($XDG_CONFIG_HOME and the like), else ~/`underHome`: a
// relative value is ignored, as the base-directory rules say. "" when there is no home either.
std::string XdgFolder(const std::string& variable, const std::string& underHome);

// --- Files and folders ------------------------------------------------------------------------------

// True when the path can be opened for reading (a directory cannot).
bool FileExists(const std::string& path);
// True when the path names a folder (or a link to one).
bool IsDirectory(const std::string& path);
// True when the folder holds at least one regular file.
bool FolderHasFiles(const std::string& folder);
// Creates one folder; errors (it exists, no parent, no permission) are ignored.
void MakeDir(const std::string& path);
// Creates a folder and any missing parents; errors are ignored.
void MakeDirs(const std::string& path);
// Deletes a file, or with "*" and "?" in its name part every matching file (not folders) of that
// folder. Links are removed themselves, never what they point to. Errors are ignored.
void KillFile(const std::string& path);
// A new, empty file in the temporary folder (see TempFolder) named AppExeName + "_temp" +
// N + "." + ext, N being "" then 1, 2, ...: the name is reserved by creating the file exclusively, so a
// link planted at a name is skipped, never followed. "" when no name could be reserved.
std::string MakeTempFileName(const std::string& ext);
// The temporary folder with a trailing "/": the user's own $XDG_CACHE_HOME/loftwick/ (else
// ~/.cache/loftwick/), made with mode 0700, else TEMP, else TMPDIR, else /tmp. The default of the "Temp
// directory:" field, where saved copies go.
std::string TempFolder();

// Copies a file from byte `offset` to its end (an offset at or past the end gives an empty `to`), whatever
// its size: streamed in blocks into a new file beside `to`, renamed over `to` only when complete, so a
// failed copy leaves `to` as it was (missing or old). Links are not followed, neither at `from` nor at
// `to` (a link at `to` is replaced, not written through). Throws RuntimeError; the partial file is removed.
inline constexpr size_t kCopyBlockSize = 1 << 20;
void CopyFilePart(const std::string& from, uint64_t offset, const std::string& to,
                  size_t blockSize = kCopyBlockSize);
// Streams an open file from byte `offset` to its end into an open one.
void CopyContent(InputFile& in, uint64_t offset, OutputFile& out, size_t blockSize = kCopyBlockSize);

// --- The program ------------------------------------------------------------------------------------

// "major.minor.revision", for example "2.1.20".
std::string GetVersion();
// Waits `ms` milliseconds (a number or numeric text; anything else returns at once) while letting the
// desktop's events run. Sleeps in short steps; stops early when the clock goes back or stands still.
void Wait(const Variant& ms);

// Keeps the thread's last error as it was across a call that may fail on purpose (an existence test, a
// lookup that answers "no value"), so that a later report does not show a stale code.
class PreserveLastError {
  public:
    PreserveLastError();
    ~PreserveLastError();
    PreserveLastError(const PreserveLastError&) = delete;
    PreserveLastError& operator=(const PreserveLastError&) = delete;

  private:
    uint32_t saved_;
};

}  // namespace loftwick
