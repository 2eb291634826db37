#include "cachebuilder/DescriptionFile.h"

#include <time.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "cachebuilder/SquidBuilder.h"
#include "cachebuilder/WinGateBuilder.h"
#include "cachebuilder/WinProxyBuilder.h"
#include "support/TextCodec.h"

namespace loftwick::builder {

namespace {

class DescriptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

uint64_t ToNumber(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        throw DescriptionError("not a number: \"" + text + "\"");
    }
    try {
        return std::stoull(text);
    } catch (const std::exception&) {
        throw DescriptionError("number too large: \"" + text + "\"");
    }
}

// Seconds since 1970, or a UTC date and time "YYYY-MM-DD HH:MM:SS".
int64_t ToTime(const std::string& text) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        return static_cast<int64_t>(ToNumber(text));
    }
    struct tm parts {};
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                    &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &extra) != 6) {
        throw DescriptionError("not a time (YYYY-MM-DD HH:MM:SS or seconds): \"" + text + "\"");
    }
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return static_cast<int64_t>(timegm(&parts));
}

Fill ToFill(const std::string& text) {
    if (text.empty() || text == "pattern") return Fill::Pattern;
    if (text == "zero") return Fill::Zero;
    if (text == "sparse") return Fill::Sparse;
    throw DescriptionError("unknown fill \"" + text + "\" (pattern, zero, sparse)");
}

LineBreak ToBreak(const std::string& text) {
    if (text == "lf") return LineBreak::Lf;
    if (text == "crlf") return LineBreak::CrLf;
    if (text == "cr") return LineBreak::Cr;
    if (text == "nul") return LineBreak::Nul;
    if (text == "mixed") return LineBreak::Mixed;
    throw DescriptionError("unknown line break \"" + text + "\" (lf, crlf, cr, nul, mixed)");
}

// "12 rest of the line" into 12 and "rest of the line".
std::pair<std::string, std::string> SplitFirst(const std::string& text) {
    const size_t space = text.find_first_of(" \t");
    if (space == std::string::npos) return {text, {}};
    const size_t rest = text.find_first_not_of(" \t", space);
    return {text.substr(0, space), rest == std::string::npos ? std::string() : text.substr(rest)};
}

template <class N>
N NumberAs(const std::string& text) {
    return static_cast<N>(ToNumber(text));
}

template <class N>
N TimeAs(const std::string& text) {
    return static_cast<N>(ToTime(text));
}

// Seconds since 1970, a UTC date and time, or -1 for "none".
int64_t ToSquidTime(const std::string& value) { return value == "-1" ? -1 : ToTime(value); }

std::string Verbatim(const std::string& text) { return text; }

// The lines one kind of object knows: each keyword with how its value goes into the object.
template <class T>
using LineRules = std::vector<std::pair<std::string_view, std::function<void(T&, const std::string&)>>>;

// The rule that reads a value with `read` into `member`, or appends it when the member is a list.
template <class T, class M, class Read>
std::function<void(T&, const std::string&)> Into(M T::*member, Read read) {
    return [member, read](T& target, const std::string& value) {
        if constexpr (requires { (target.*member).push_back(read(value)); }) {
            (target.*member).push_back(read(value));
        } else {
            target.*member = read(value);
        }
    };
}

template <class T>
bool TakeLine(const LineRules<T>& rules, const std::string& keyword, const std::string& value, T& target) {
    for (const auto& [name, take] : rules) {
        if (name != keyword) continue;
        take(target, value);
        return true;
    }
    return false;
}

const LineRules<WinProxyObject> kObjectRules = {
    {"host", Into(&WinProxyObject::host, Verbatim)},
    {"file", Into(&WinProxyObject::fileName, Verbatim)},
    {"leadin", Into(&WinProxyObject::leadIn, Unescape)},
    {"url", Into(&WinProxyObject::url, Unescape)},
    {"status", Into(&WinProxyObject::statusLine, Unescape)},
    {"header", Into(&WinProxyObject::headerLines, Unescape)},
    {"break", Into(&WinProxyObject::lineBreak, ToBreak)},
    {"blockend", Into(&WinProxyObject::blockEnd, Unescape)},
    {"raw", Into(&WinProxyObject::rawFile, Unescape)},
};

const LineRules<SquidObject> kSwapRules = {
    {"url", Into(&SquidObject::url, Unescape)},
    {"status", Into(&SquidObject::statusLine, Unescape)},
    {"header", Into(&SquidObject::headerLines, Unescape)},
    {"timestamp", Into(&SquidObject::timestamp, ToSquidTime)},
    {"lastref", Into(&SquidObject::lastReference, ToSquidTime)},
    {"expires", Into(&SquidObject::expires, ToSquidTime)},
    {"lastmod", Into(&SquidObject::lastModified, ToSquidTime)},
    {"refcount", Into(&SquidObject::referenceCount, NumberAs<uint16_t>)},
    {"flags", Into(&SquidObject::flags, NumberAs<uint16_t>)},
    {"vary", Into(&SquidObject::varyHeaders, Unescape)},
    {"entry",
     [](SquidObject& o, const std::string& value) {
         const auto [type, bytes] = SplitFirst(value);
         o.extraEntries.emplace_back(NumberAs<uint8_t>(type), Unescape(bytes));
     }},
    {"nourl", [](SquidObject& o, const std::string&) { o.writeUrl = false; }},
    {"metalength", Into(&SquidObject::metaLength, NumberAs<int64_t>)},
    {"number", Into(&SquidObject::fileNumber, NumberAs<uint32_t>)},
    {"raw", Into(&SquidObject::rawFile, Unescape)},
};

const LineRules<WinGateRecord> kRecordRules = {
    {"url", Into(&WinGateRecord::url, Unescape)},
    {"name", Into(&WinGateRecord::baseName, Unescape)},
    {"retrieved", Into(&WinGateRecord::retrieved, TimeAs<uint32_t>)},
    {"modified", Into(&WinGateRecord::modified, TimeAs<uint32_t>)},
    {"type", Into(&WinGateRecord::contentType, Unescape)},
    {"length", Into(&WinGateRecord::contentLength, ToNumber)},
    {"rawfield",
     [](WinGateRecord& r, const std::string& value) {
         const auto [field, bytes] = SplitFirst(value);
         r.Raw(NumberAs<int>(field), Unescape(bytes));
     }},
    {"zeros",
     [](WinGateRecord& r, const std::string& value) {
         const auto [field, count] = SplitFirst(value);
         r.ZerosBefore(NumberAs<int>(field), NumberAs<int>(count));
     }},
    {"cut", Into(&WinGateRecord::cutAfter, NumberAs<size_t>)},
    {"trailing", Into(&WinGateRecord::trailing, Unescape)},
};

class DescriptionReader {
  public:
    explicit DescriptionReader(std::string outDir) : outDir_(std::move(outDir)) {}

    void Line(const std::string& keyword, const std::string& value) {
        if (keyword == "format") return SetFormat(value);
        if (!proxy_ && !gate_ && !squid_)
            throw DescriptionError("the first line must be \"format winproxy|wingate|squid\"");
        if (keyword == "object" || keyword == "record" || keyword == "swapfile") return Start(keyword);
        if (keyword == "marker") {
            Flush();
            if (!squid_) throw DescriptionError("marker belongs to a Squid store");
            const auto [url, header] = SplitFirst(value);
            squid_->AddVaryMarker(Unescape(url), header, 0);
            ++written_;
            return;
        }
        if (keyword == "garbage") {
            Flush();
            if (!gate_) throw DescriptionError("garbage belongs to a WinGate index");
            gate_->AppendRaw(Unescape(value));
            return;
        }
        if (swap_) return SwapLine(keyword, value);
        if (object_) return ObjectLine(keyword, value);
        if (record_) return RecordLine(keyword, value);
        throw DescriptionError("\"" + keyword + "\" outside an object, record or swap file");
    }

    uint64_t Finish() {
        Flush();
        return written_;
    }

  private:
    void SetFormat(const std::string& value) {
        if (proxy_ || gate_ || squid_) throw DescriptionError("the format is given once");
        if (value == "winproxy") {
            proxy_.emplace(outDir_);
        } else if (value == "wingate") {
            gate_.emplace(outDir_);
        } else if (value.rfind("squid", 0) == 0 && (value.size() == 5 || value[5] == ' ')) {
            // "squid 1 2": a store of that many L1 and L2 folders instead of Squid's 16 and 256.
            const auto [levels, second] = SplitFirst(SplitFirst(value).second);
            if (levels.empty()) {
                squid_.emplace(outDir_);
            } else {
                squid_.emplace(outDir_, static_cast<int>(ToNumber(levels)),
                               static_cast<int>(ToNumber(second)));
            }
        } else {
            throw DescriptionError("unknown format \"" + value + "\" (winproxy, wingate, squid)");
        }
    }

    void Start(const std::string& keyword) {
        Flush();
        if (keyword == "swapfile") {
            if (!squid_) throw DescriptionError("\"swapfile\" belongs to a Squid store");
            swap_.emplace();
        } else if (keyword == "object") {
            if (!proxy_) throw DescriptionError("\"object\" belongs to a WinProxy cache; use \"record\"");
            object_.emplace();
        } else {
            if (!gate_) throw DescriptionError("\"record\" belongs to a WinGate cache; use \"object\"");
            record_.emplace();
            recordContent_ = WinGateContent{};
        }
    }

    void Flush() {
        if (object_) {
            proxy_->Add(*object_);
            ++written_;
        }
        if (record_) {
            gate_->Add(*record_, recordContent_);
            ++written_;
        }
        if (swap_) {
            squid_->Add(*swap_);
            ++written_;
        }
        swap_.reset();
        object_.reset();
        record_.reset();
    }

    // Lines both kinds of object know: content and times.
    bool ContentLine(const std::string& keyword, const std::string& value, Content& content,
                     FileStamp& stamp) {
        if (keyword == "content") {
            content = Content::Bytes(Unescape(value));
        } else if (keyword == "size") {
            const auto [size, fill] = SplitFirst(value);
            content = Content::Sized(ToNumber(size), ToFill(fill));
        } else if (keyword == "patch") {
            const auto [offset, bytes] = SplitFirst(value);
            try {
                content.Patch(ToNumber(offset), Unescape(bytes));
            } catch (const std::invalid_argument& e) {
                throw DescriptionError(e.what());
            }
        } else if (keyword == "written") {
            stamp.writeTime = ToTime(value);
        } else if (keyword == "created") {
            stamp.creationTime = ToTime(value);
        } else {
            return false;
        }
        return true;
    }

    void ObjectLine(const std::string& keyword, const std::string& value) {
        WinProxyObject& o = *object_;
        if (ContentLine(keyword, value, o.content, o.stamp)) return;
        if (!TakeLine(kObjectRules, keyword, value, o))
            throw DescriptionError("unknown object line \"" + keyword + "\"");
    }

    void SwapLine(const std::string& keyword, const std::string& value) {
        SquidObject& o = *swap_;
        if (ContentLine(keyword, value, o.content, o.stamp)) return;
        if (!TakeLine(kSwapRules, keyword, value, o))
            throw DescriptionError("unknown swap file line \"" + keyword + "\"");
    }

    void RecordLine(const std::string& keyword, const std::string& value) {
        if (ContentLine(keyword, value, recordContent_.content, recordContent_.stamp)) return;
        if (keyword == "missing") {
            recordContent_.missing = true;
            return;
        }
        try {
            if (!TakeLine(kRecordRules, keyword, value, *record_))
                throw DescriptionError("unknown record line \"" + keyword + "\"");
        } catch (const std::invalid_argument& e) {
            throw DescriptionError(e.what());
        }
    }

    std::string outDir_;
    std::optional<WinProxyCache> proxy_;
    std::optional<WinGateCache> gate_;
    std::optional<SquidCache> squid_;
    std::optional<SquidObject> swap_;
    std::optional<WinProxyObject> object_;
    std::optional<WinGateRecord> record_;
    WinGateContent recordContent_;
    uint64_t written_ = 0;
};

}  // namespace

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '0':
                out += '\0';
                break;
            case '\\':
                out += '\\';
                break;
            case 'x': {
                const int high = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
                const int low = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
                if (high < 0 || low < 0) throw DescriptionError("\\x needs two hex digits");
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                throw DescriptionError(std::string("unknown escape \\") + c);
        }
    }
    return out;
}

uint64_t BuildFromDescription(std::istream& in, const std::string& outDir) {
    DescriptionReader reader(outDir);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        try {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line[start] == '#') continue;
            const auto [keyword, value] = SplitFirst(line.substr(start));
            reader.Line(keyword, value);
        } catch (const DescriptionError& e) {
            throw std::runtime_error("line " + std::to_string(number) + ": " + e.what());
        }
    }
    return reader.Finish();
}

}  // namespace loftwick::builder
