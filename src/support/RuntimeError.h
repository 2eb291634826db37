#pragma once
#include <cstdint>
#include <exception>
#include <string>

namespace loftwick {

// Run-time error numbers the program raises and reports; they keep the classic numbering so that
// reports and logs read the same as users know them.
namespace vberr {
inline constexpr int32_t InvalidProcedureCall = 5;
inline constexpr int32_t Overflow = 6;
inline constexpr int32_t OutOfMemory = 7;
inline constexpr int32_t SubscriptOutOfRange = 9;
inline constexpr int32_t TypeMismatch = 13;
inline constexpr int32_t InternalError = 51;
inline constexpr int32_t BadFileNameOrNumber = 52;
inline constexpr int32_t FileNotFound = 53;
inline constexpr int32_t FileAlreadyExists = 58;
inline constexpr int32_t DiskFull = 61;
inline constexpr int32_t InputPastEnd = 62;
inline constexpr int32_t TooManyFiles = 67;
inline constexpr int32_t PermissionDenied = 70;
inline constexpr int32_t PathFileAccessError = 75;
inline constexpr int32_t PathNotFound = 76;
inline constexpr int32_t ObjectNotSet = 91;
}  // namespace vberr

// The Win32 codes the platform layer stores as the last error (see GetLastError) and reports name.
namespace win32err {
inline constexpr uint32_t Success = 0;
inline constexpr uint32_t InvalidFunction = 1;
inline constexpr uint32_t FileNotFound = 2;
inline constexpr uint32_t PathNotFound = 3;
inline constexpr uint32_t TooManyOpenFiles = 4;
inline constexpr uint32_t AccessDenied = 5;
inline constexpr uint32_t InvalidHandle = 6;
inline constexpr uint32_t NotEnoughMemory = 8;
inline constexpr uint32_t NotSameDevice = 17;
inline constexpr uint32_t GenFailure = 31;
inline constexpr uint32_t SharingViolation = 32;
inline constexpr uint32_t InvalidParameter = 87;
inline constexpr uint32_t DiskFull = 112;
inline constexpr uint32_t DirNotEmpty = 145;
inline constexpr uint32_t AlreadyExists = 183;
inline constexpr uint32_t FilenameExcedRange = 206;
inline constexpr uint32_t PipeListening = 536;
inline constexpr uint32_t IoPending = 997;
inline constexpr uint32_t CantResolveFilename = 1921;
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
