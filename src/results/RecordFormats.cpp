#include "results/RecordFormats.h"

#include <cstdio>

#include "results/clsSearchResults.h"
#include "support/TextCodec.h"

namespace loftwick {
namespace {

std::string IsoOrEmpty(OleDate date) { return date.IsZero() ? std::string() : FormatIsoLocal(date); }

}  // namespace

ObjectRecord MakeRecord(int64_t number, const clsCache& object, int score) {
    ObjectRecord r;
    r.number = number;
    r.url = Latin1ToUtf8(object.ObjectName());
    // The host the host filter matched: Squid's leaves out user information and port.
    const std::string host = object.Host();
    r.host = Latin1ToUtf8(host.empty() ? HostOfUrl(object.ObjectName()) : host);
    r.contentType = Latin1ToUtf8(object.ContentType());
    r.retrieved = IsoOrEmpty(object.DateRetrieved());
    r.modified = IsoOrEmpty(object.DateModified());
    r.reportedLength = object.ContentLen();
    r.actualLength = object.ContentLenActual();
    r.path = PathText(object.fileName());
    r.score = score;
    return r;
}

std::vector<ObjectRecord> RecordsOf(const clsSearchResults& results) {
    std::vector<ObjectRecord> records;
    for (int64_t i = 1; i <= results.Count(); ++i) {
        if (const auto object = results.Item(i)) records.push_back(MakeRecord(i, *object, results.Score(i)));
    }
    return records;
}

std::string PathText(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = Utf8SequenceAt(bytes, i);
        if (length == 0 || bytes[i] == '%') {
            out += '%' + HexOf(std::string_view(&bytes[i], 1));
            ++i;
            continue;
        }
        out.append(bytes, i, length);
        i += length;
    }
    return out;
}

std::string EscapeControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (u < 0x20 || u == 0x7F) {
            out += "\\x" + HexOf(std::string_view(&c, 1));
        } else {
            out += c;
        }
    }
    return out;
}

std::string CsvField(const std::string& raw) {
    const std::string text = EscapeControls(raw);
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

void RecordStream::Begin() {
    any_ = false;
    if (format_ == Format::Csv) {
        out_
            << "number,score,url,host,content_type,retrieved,modified,reported_length,actual_length,file\r\n";
    } else {
        out_ << "{\n  \"objects\": [";
    }
}

void RecordStream::Record(const ObjectRecord& r) {
    if (format_ == Format::Csv) {
        out_ << r.number << ',' << (r.score >= 0 ? std::to_string(r.score) : std::string()) << ','
             << CsvField(r.url) << ',' << CsvField(r.host) << ',' << CsvField(r.contentType) << ','
             << CsvField(r.retrieved) << ',' << CsvField(r.modified) << ',' << r.reportedLength << ','
             << r.actualLength << ',' << CsvField(r.path) << "\r\n";
    } else {
        auto dateOrNull = [](const std::string& date) {
            return date.empty() ? std::string("null") : JsonString(date);
        };
        out_ << (any_ ? "," : "") << "\n    {\"number\": " << r.number
             << ", \"score\": " << (r.score >= 0 ? std::to_string(r.score) : std::string("null"))
             << ", \"url\": " << JsonString(r.url) << ", \"host\": " << JsonString(r.host)
             << ", \"content_type\": " << JsonString(r.contentType)
             << ", \"retrieved\": " << dateOrNull(r.retrieved) << ", \"modified\": " << dateOrNull(r.modified)
             << ", \"reported_length\": " << r.reportedLength << ", \"actual_length\": " << r.actualLength
             << ", \"file\": " << JsonString(r.path) << "}";
    }
    any_ = true;
}

void RecordStream::End(const std::string& summary) {
    // The CSV holds records only, for whatever reads them; its summary is for the person running it.
    if (format_ == Format::Json)
        out_ << (any_ ? "\n  " : "") << "],\n  \"summary\": " << JsonString(summary) << "\n}\n";
}

namespace {

void WriteRecords(std::ostream& out, RecordStream::Format format, const std::vector<ObjectRecord>& records,
                  const std::string& summary) {
    RecordStream stream(out, format);
    stream.Begin();
    for (const ObjectRecord& r : records) stream.Record(r);
    stream.End(summary);
}

}  // namespace

void WriteCsv(std::ostream& out, const std::vector<ObjectRecord>& records) {
    WriteRecords(out, RecordStream::Format::Csv, records, std::string());
}

void WriteJson(std::ostream& out, const std::vector<ObjectRecord>& records, const std::string& summary) {
    WriteRecords(out, RecordStream::Format::Json, records, summary);
}

}  // namespace loftwick
