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

// The same two formats written a record at a time, as the objects are selected: Begin, a Record for
// each, then End with the summary. Nothing is kept but whether a record has been written.
class RecordStream {
public:
    enum class Format { Csv, Json };
    RecordStream(std::ostream& out, Format format) : out_(out), format_(format) {}
    void Begin();
    void Record(const ObjectRecord& record);
    void End(const std::string& summary);

private:
    std::ostream& out_;
    Format format_;
    bool any_ = false;
};

std::string CsvField(const std::string& text);
std::string JsonString(const std::string& text);

}  // namespace loftwick
