#include "support/RuntimeError.h"

#include <cerrno>

namespace loftwick {
namespace {
thread_local uint32_t tLastError = 0;
}

std::string VbErrorDescription(int32_t number) {
    switch (number) {
#define LOFTWICK_VB_DESCRIPTION(name, number, description) \
    case vberr::name:                                      \
        return description;
        LOFTWICK_VB_ERRORS(LOFTWICK_VB_DESCRIPTION)
#undef LOFTWICK_VB_DESCRIPTION
        default:
            return "Application-defined or object-defined error";
    }
}

RuntimeError::RuntimeError(int32_t number, std::string description, std::string source)
    : number_(number),
      description_(description.empty() ? VbErrorDescription(number) : std::move(description)),
      source_(std::move(source)) {}

void Raise(int32_t number, const std::string& description) { throw RuntimeError(number, description); }

uint32_t GetLastError() { return tLastError; }
void SetLastError(uint32_t code) { tLastError = code; }

uint32_t Win32FromErrno(int err) {
    switch (err) {
        case 0:
            return win32err::Success;
        case ENOENT:
            return win32err::FileNotFound;
        case ENOTDIR:
            return win32err::PathNotFound;
        case EMFILE:
        case ENFILE:
            return win32err::TooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
            return win32err::AccessDenied;
        case EBADF:
            return win32err::InvalidHandle;
        case ENOMEM:
            return win32err::NotEnoughMemory;
        case EXDEV:
            return win32err::NotSameDevice;
        case EBUSY:
            return win32err::SharingViolation;
        case EEXIST:
            return win32err::AlreadyExists;
        case ENOSPC:
            return win32err::DiskFull;
        case ENOTEMPTY:
            return win32err::DirNotEmpty;
        case ENAMETOOLONG:
            return win32err::FilenameExcedRange;
        case ELOOP:
            return win32err::CantResolveFilename;
        case EINVAL:
            return win32err::InvalidParameter;
        default:
            return win32err::GenFailure;
    }
}

int32_t VbErrorFromErrno(int err) {
    switch (err) {
        case ENOENT:
            return vberr::FileNotFound;
        case ENOTDIR:
            return vberr::PathNotFound;
        case EMFILE:
        case ENFILE:
            return vberr::TooManyFiles;
        case EACCES:
        case EPERM:
        case EROFS:
            return vberr::PermissionDenied;
        case EEXIST:
            return vberr::FileAlreadyExists;
        case ENOSPC:
            return vberr::DiskFull;
        case ENOMEM:
            return vberr::OutOfMemory;
        case EBADF:
            return vberr::BadFileNameOrNumber;
        case ENAMETOOLONG:
        case EINVAL:
            return vberr::BadFileNameOrNumber;
        default:
            return vberr::PathFileAccessError;
    }
}

void RaiseFromErrno(int err, const std::string& path) {
    SetLastError(Win32FromErrno(err));
    const int32_t number = VbErrorFromErrno(err);
    throw RuntimeError(number, VbErrorDescription(number) + ": '" + path + "'");
}

}  // namespace loftwick
