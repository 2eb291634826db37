#pragma once
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cache/clsCache.h"

namespace loftwick {

// One selected object as the CSV and JSON formats write it. Texts are UTF-8.
struct ObjectRecord {
    int64_t number = 0;
    std::string url, host, contentType;
    std::string retrieved, modified;  // ISO 8601 with the local offset; "" when there is no date
    int64_t reportedLength = 0, actualLength = 0;
    std::string path;  // the file's path bytes as PathText writes them
    int score = -1;    // the contents score; -1 without a contents filter (an empty field, null)
};

ObjectRecord MakeRecord(int64_t number, const clsCache& object, int score = -1);

// A path as the file system holds it, for a record: its bytes unchanged where they are valid UTF-8, else
// each byte of an invalid sequence as "%XX", and "%" itself as "%25", so that no other file's name can
// come out.
std::string PathText(const std::string& bytes);
// Text for a terminal or a CSV field: C0 controls and DEL as "\xNN", a backslash as "\\", the rest
// unchanged, so that no byte of a cached URL can move the cursor or forge a line.
std::string EscapeControls(const std::string& text);

// The host part of a URL: after "//" up to the next "/" (the whole rest when there is none).
std::string HostOfUrl(const std::string& url);

class clsSearchResults;

// The records of every result, numbered from 1.
std::vector<ObjectRecord> RecordsOf(const clsSearchResults& results);

// RFC 4180: a header line and one line per record (CR LF line ends); records only.
void WriteCsv(std::ostream& out, const std::vector<ObjectRecord>& records);
// {"objects": [...], "summary": "..."}
void WriteJson(std::ostream& out, const std::vector<ObjectRecord>& records, const std::string& summary);

std::string CsvField(const std::string& text);
std::string JsonString(const std::string& text);

}  // namespace loftwick
