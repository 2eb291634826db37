#include "support/FileTimeUtils.h"

#include <atomic>
#include <cmath>
#include <optional>

#include "support/Program.h"
#include "support/RuntimeError.h"
#include "support/basErrorHandler.h"

namespace loftwick {
namespace {

// The broken-down calendar time of a file stamp starts in 1601; the date type ends in 9999.
constexpr int kFirstStampYear = 1601;
constexpr int kLastDateYear = 9999;

bool InStampRange(OleDate date) {
    if (!std::isfinite(date.Serial())) return false;
    return date >= DateSerial(kFirstStampYear, 1, 1) && date <= MakeDate(kLastDateYear, 12, 31, 23, 59, 59);
}

void RequireStampRange(OleDate date) {
    if (!InStampRange(date)) Raise(vberr::InvalidProcedureCall);
}

// Stamping the creation time needs extended attributes; a file system without them would otherwise
// fail silently on every object of every scan, so the log hears of it once.
std::atomic<bool> creationTimeRefusalLogged{false};

void SetCreationTimeOf(InputFile& file, FileTimeSpec time) {
    try {
        file.SetCreationTime(time);
    } catch (const RuntimeError& e) {
        // ENOTSUP and its kin arrive as "Path/File access error"; missing files and permission denials
        // are the ordinary "times cannot be set" case and stay quiet.
        if (e.Number() == vberr::PathFileAccessError && !creationTimeRefusalLogged.exchange(true)) {
            WriteToLog("FileTimeUtils:ModifyFileStamp: the file system does not keep creation times (" +
                       e.Description() + "); time-to-live stamps are not stored on it.");
        }
    } catch (...) {
    }
}

void SetWriteAndAccessTimes(InputFile& file, std::optional<FileTimeSpec> writeTime,
                            std::optional<FileTimeSpec> accessTime) {
    try {
        file.SetTimes(writeTime, accessTime);
    } catch (...) {
    }
}

}  // namespace

OleDate FileTimeToLocalDate(FileTimeSpec time) { return NoDatePastYear9999(EpochToLocalDate(time.seconds)); }

// Throws RuntimeError (invalid procedure call) for a moment no file stamp can hold.
FileTimeSpec LocalDateToFileTime(OleDate localDate) {
    RequireStampRange(localDate);
    const std::optional<int64_t> epoch = LocalDateToEpoch(localDate);
    if (!epoch) Raise(vberr::InvalidProcedureCall);
    return FileTimeSpec{*epoch, 0};
}

std::optional<FileTimeSpec> StampFor(OleDate moment, const std::string& path) {
    std::optional<FileTimeSpec> stamp;
    TrappedVoid("FileTimeUtils:ModifyFileStamp", path, [&] { stamp = LocalDateToFileTime(moment); });
    return stamp;
}

void ModifyFileStamp(const std::string& path, OleDate moment, bool writeTimeOnly, bool creationTimeOnly) {
    const std::optional<FileTimeSpec> stamp = StampFor(moment, path);
    if (!stamp) return;
    // Only a regular file is stamped: the open follows no link and takes nothing but a regular file.
    std::unique_ptr<InputFile> file;
    try {
        file = TheFileSystem().OpenRead(path, false);
    } catch (...) {
        return;
    }
    ModifyFileStamp(*file, path, moment, writeTimeOnly, creationTimeOnly);
}

void ModifyFileStamp(InputFile& file, const std::string& path, OleDate moment, bool writeTimeOnly,
                     bool creationTimeOnly) {
    const std::optional<FileTimeSpec> stamp = StampFor(moment, path);
    if (!stamp) return;
    if (writeTimeOnly) {
        SetWriteAndAccessTimes(file, stamp, std::nullopt);
    } else if (creationTimeOnly) {
        SetCreationTimeOf(file, *stamp);
    } else {
        SetCreationTimeOf(file, *stamp);
        SetWriteAndAccessTimes(file, stamp, stamp);
    }
}

OleDate TimeDateStampToDate(int64_t stamp, bool toLocal) {
    OleDate date;
    bool converted = false;
    TrappedVoid("FileTimeUtils:TimeDateStampToDate", "", [&] {
        // Checked before the addition so that a corrupt stamp cannot overflow it.
        constexpr int64_t kFirst = -59011459200;  // 0100-01-01 00:00:00
        constexpr int64_t kLast = 253402300799;   // 9999-12-31 23:59:59
        if (stamp < kFirst || stamp > kLast) Raise(vberr::InvalidProcedureCall);
        date = EpochToUtcDate(stamp);
        converted = true;
    });
    if (toLocal && converted) date = DateToLocalDate(date);
    return date;
}

OleDate DateToLocalDate(OleDate utcDate) {
    return Trapped("FileTimeUtils:DateToLocalDate", "", OleDate(), [&] {
        RequireStampRange(utcDate);
        return EpochToLocalDate(UtcDateToEpoch(utcDate));
    });
}

}  // namespace loftwick
