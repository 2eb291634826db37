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
    std::string path;
};

ObjectRecord MakeRecord(int64_t number, const clsCache& object);

// The host part of a URL: after "//" up to the next "/" (the whole rest when there is none).
std::string HostOfUrl(const std::string& url);

class clsSearchResults;

// The records of every result, numbered from 1.
std::vector<ObjectRecord> RecordsOf(const clsSearchResults& results);

// RFC 4180: a header line, one line per record (CR LF line ends), then the summary as a last line.
void WriteCsv(std::ostream& out, const std::vector<ObjectRecord>& records, const std::string& summary);
// {"objects": [...], "summary": "..."}
void WriteJson(std::ostream& out, const std::vector<ObjectRecord>& records, const std::string& summary);

std::string CsvField(const std::string& text);
std::string JsonString(const std::string& text);

}  // namespace loftwick
