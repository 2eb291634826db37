#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "support/FileSystem.h"
#include "support/OleDate.h"

namespace loftwick {

// Sets a file's times to a local moment: with writeTimeOnly only its last-write time, else with
// creationTimeOnly only its creation time, else creation, last-access and last-write alike. The local
// moment becomes UTC with the offset in force at that moment. A file that does not exist, or whose times
// cannot be set, changes nothing and is not reported; a file system that refuses the stored creation
// time is reported once per run through the log.
void ModifyFileStamp(const std::string& path, OleDate moment, bool writeTimeOnly, bool creationTimeOnly);
// The same on a file already open (`path` names it in messages): the times are set through its own
// descriptor, so they reach that file whatever its path leads to by now.
void ModifyFileStamp(InputFile& file, const std::string& path, OleDate moment, bool writeTimeOnly,
                     bool creationTimeOnly);
// The file time of a local moment; nothing, with a report ("FileTimeUtils:ModifyFileStamp"), for a
// moment no file stamp can hold.
std::optional<FileTimeSpec> StampFor(OleDate moment, const std::string& path);

// Seconds since 1970-01-01 UTC to a date, in local time when toLocal is set.
OleDate TimeDateStampToDate(int64_t stamp, bool toLocal);

// A UTC calendar moment to the local one, with the offset in force at that moment.
OleDate DateToLocalDate(OleDate utcDate);

// A file time stamp to the local date of that instant, and back.
OleDate FileTimeToLocalDate(FileTimeSpec time);
FileTimeSpec LocalDateToFileTime(OleDate localDate);

}  // namespace loftwick
