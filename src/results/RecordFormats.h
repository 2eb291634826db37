#pragma once
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cache/clsCache.h"
#include "support/TextCodec.h"  // HostOfUrl, as the records show it

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

class clsSearchResults;

// The records of every result, numbered from 1.
std::vector<ObjectRecord> RecordsOf(const clsSearchResults& results);

// RFC 4180: a header line and one line per record (CR LF line ends); records only.
void WriteCsv(std::ostream& out, const std::vector<ObjectRecord>& records);
// {"objects": [...], "summary": "..."}
void WriteJson(std::ostream& out, const std::vector<ObjectRecord>& records, const std::string& summary);

// The same two formats written a record at a time, as the objects are selected: Begin, a Record for
// each, then End with the summary (which the CSV does not hold). Nothing is kept but whether a record
// has been written.
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
