#pragma once
#include <cstdint>
#include <exception>
#include <string>

namespace loftwick {

// The run-time errors the program raises and reports, each with its standard description: one list for
// the numbers and their texts. They keep the classic numbering so that reports and logs read the same as
// users know them.
#define LOFTWICK_VB_ERRORS(X)                                        \
    X(InvalidProcedureCall, 5, "Invalid procedure call or argument") \
    X(Overflow, 6, "Overflow")                                       \
    X(OutOfMemory, 7, "Out of memory")                               \
    X(SubscriptOutOfRange, 9, "Subscript out of range")              \
    X(TypeMismatch, 13, "Type mismatch")                             \
    X(InternalError, 51, "Internal error")                           \
    X(BadFileNameOrNumber, 52, "Bad file name or number")            \
    X(FileNotFound, 53, "File not found")                            \
    X(FileAlreadyExists, 58, "File already exists")                  \
    X(DiskFull, 61, "Disk full")                                     \
    X(InputPastEnd, 62, "Input past end of file")                    \
    X(TooManyFiles, 67, "Too many files")                            \
    X(PermissionDenied, 70, "Permission denied")                     \
    X(PathFileAccessError, 75, "Path/File access error")             \
    X(PathNotFound, 76, "Path not found")                            \
    X(ObjectNotSet, 91, "Object variable or With block variable not set")

namespace vberr {
#define LOFTWICK_ERROR_NUMBER(name, number, ...) inline constexpr int32_t name = number;
LOFTWICK_VB_ERRORS(LOFTWICK_ERROR_NUMBER)
#undef LOFTWICK_ERROR_NUMBER
}  // namespace vberr

// The Win32 codes the platform layer stores as the last error (see GetLastError), with the name and the
// text a report gives them (Win32ErrorText); a code with neither reads as an unknown one there.
#define LOFTWICK_WIN32_ERRORS(X)                                                                             \
    X(Success, 0, nullptr, "The operation completed successfully")                                           \
    X(InvalidFunction, 1, "ERROR_INVALID_FUNCTION", nullptr)                                                 \
    X(FileNotFound, 2, "ERROR_FILE_NOT_FOUND", nullptr)                                                      \
    X(PathNotFound, 3, "ERROR_PATH_NOT_FOUND", nullptr)                                                      \
    X(TooManyOpenFiles, 4, "ERROR_TOO_MANY_OPEN_FILES", nullptr)                                             \
    X(AccessDenied, 5, "ERROR_ACCESS_DENIED", nullptr)                                                       \
    X(InvalidHandle, 6, "ERROR_INVALID_HANDLE", nullptr)                                                     \
    X(NotEnoughMemory, 8, nullptr, nullptr)                                                                  \
    X(NotSameDevice, 17, nullptr, nullptr)                                                                   \
    X(GenFailure, 31, nullptr, nullptr)                                                                      \
    X(SharingViolation, 32, nullptr, nullptr)                                                                \
    X(InvalidParameter, 87, "ERROR_INVALID_PARAMETER", "The parameter is incorrect")                         \
    X(DiskFull, 112, nullptr, nullptr)                                                                       \
    X(DirNotEmpty, 145, nullptr, nullptr)                                                                    \
    X(AlreadyExists, 183, nullptr, nullptr)                                                                  \
    X(FilenameExcedRange, 206, nullptr, nullptr)                                                             \
    X(PipeListening, 536, "ERROR_PIPE_LISTENING", "Waiting for a process to open the other end of the pipe") \
    X(IoPending, 997, "ERROR_IO_PENDING", "Overlapped I/O operation is in progress.")                        \
    X(CantResolveFilename, 1921, nullptr, nullptr)

namespace win32err {
#define LOFTWICK_WIN32_CODE(name, code, ...) inline constexpr uint32_t name = code;
LOFTWICK_WIN32_ERRORS(LOFTWICK_WIN32_CODE)
#undef LOFTWICK_WIN32_CODE
}  // namespace win32err

// Numbers a component raises above 0x80040000 (exclusive) and below 0x80050000; reports show them as
// the distance above 0x80040000.
inline constexpr int32_t kCustomErrorBase = -2147221504;  // 0x80040000
inline constexpr int32_t kCustomErrorEnd = -2147155968;   // 0x80050000
// The code of a report entry that has neither a Win32 error nor a run-time error behind it.
inline constexpr int32_t kNullEntryCode = -2147221503;  // 0x80040001

// The standard description of a run-time error number ("File not found" for 53).
std::string VbErrorDescription(int32_t number);

// A run-time error: what low-level operations throw and what `HandleError` reports.
class RuntimeError : public std::exception {
  public:
    explicit RuntimeError(int32_t number, std::string description = {}, std::string source = "Loftwick");

    int32_t Number() const { return number_; }
    const std::string& Description() const { return description_; }
    const std::string& Source() const { return source_; }
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    int32_t number_;
    std::string description_;
    std::string source_;
};

[[noreturn]] void Raise(int32_t number, const std::string& description = {});

// The thread's last system error as a Win32 code: the platform layer stores it whenever a call fails,
// and `HandleError` reads it.
uint32_t GetLastError();
void SetLastError(uint32_t code);

// errno to the Win32 code of the same meaning (ENOENT 2, ENOTDIR 3, EMFILE 4, EACCES 5, EBADF 6, ...).
uint32_t Win32FromErrno(int err);
// errno to the run-time error a file operation raises for it (ENOENT 53, EACCES 70, EEXIST 58, ...).
int32_t VbErrorFromErrno(int err);

// Stores the Win32 code of `err` as the last error and throws the matching run-time error; the
// description names the path.
[[noreturn]] void RaiseFromErrno(int err, const std::string& path);

}  // namespace loftwick
