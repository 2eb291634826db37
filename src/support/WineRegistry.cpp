#include "support/WineRegistry.h"

#include <algorithm>

#include "support/RuntimeError.h"
#include "support/TextCodec.h"

namespace loftwick {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";

constexpr std::string_view kBlanks = " \t";

// Joins UTF-16 code units into UTF-8; a surrogate without its partner becomes U+FFFD.
class Utf16Sink {
  public:
    explicit Utf16Sink(std::string& out) : out_(out) {}
    void Unit(uint32_t unit) {
        if (unit >= 0xDC00 && unit <= 0xDFFF && high_) {
            AppendUtf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
            high_ = 0;
            return;
        }
        Flush();
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            high_ = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            AppendUtf8(out_, 0xFFFD);
        } else {
            AppendUtf8(out_, unit);
        }
    }
    // Plain bytes of the file pass through as they are.
    void Byte(char c) {
        Flush();
        out_ += c;
    }
    void Flush() {
        if (high_) AppendUtf8(out_, 0xFFFD);
        high_ = 0;
    }

  private:
    std::string& out_;
    uint32_t high_ = 0;
};

// "hex:" / "hex(N):" byte lists: pairs of hex digits separated by commas and blanks. Returns false for
// anything else; `continued` tells whether the line ends in the "\" that carries the list on.
bool ParseHexBytes(std::string_view text, std::string& out, bool& continued, size_t limit) {
    text = TrimRight(text, kBlanks);
    continued = !text.empty() && text.back() == '\\';
    if (continued) text.remove_suffix(1);
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ',' || kBlanks.find(c) != std::string_view::npos) {
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) return false;
        const int hi = HexDigitValue(text[i]), lo = HexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        if (out.size() >= limit) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

// Registry texts that the file stores as bytes (hex(1), hex(2)): UTF-16LE code units.
std::string Utf16LeToUtf8(const std::string& bytes) {
    std::string out;
    Utf16Sink sink(out);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        sink.Unit(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    sink.Flush();
    return out;
}

// Up to eight hex digits and nothing else, as the value types and dwords are written.
std::optional<uint32_t> HexNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t number = 0;
    for (const char c : digits) {
        const int d = HexDigitValue(c);
        if (d < 0) return std::nullopt;
        number = number * 16 + static_cast<uint32_t>(d);
    }
    return number;
}

bool IsTextType(uint32_t type) {
    return type == regtype::String || type == regtype::ExpandString || type == regtype::MultiString;
}

}  // namespace

std::optional<std::string> DecodeRegistryText(std::string_view text, size_t start, char terminator,
                                              size_t& end) {
    std::string out;
    Utf16Sink sink(out);
    size_t i = start;
    while (i < text.size()) {
        const char c = text[i];
        if (c == terminator) {
            sink.Flush();
            end = i + 1;
            return out;
        }
        if (c != '\\') {
            sink.Byte(c);
            ++i;
            continue;
        }
        if (++i >= text.size()) break;
        const char e = text[i++];
        // The one-letter escapes: each letter and the code unit it stands for, at the same place.
        static constexpr std::string_view kLetters = "abefnrtv";
        static constexpr std::string_view kUnits = "\a\b\x1B\f\n\r\t\v";
        if (const size_t letter = kLetters.find(e); letter != std::string_view::npos) {
            sink.Unit(static_cast<unsigned char>(kUnits[letter]));
            continue;
        }
        switch (e) {
            case 'x': {
                uint32_t unit = 0;
                int digits = 0;
                while (digits < 4 && i < text.size() && HexDigitValue(text[i]) >= 0) {
                    unit = unit * 16 + static_cast<uint32_t>(HexDigitValue(text[i++]));
                    ++digits;
                }
                if (digits == 0) {
                    sink.Byte('x');  // as Wine reads a bare "\x"
                } else {
                    sink.Unit(unit);
                }
                break;
            }
            case '0':
            case '1':
            case '2':
            case '3':
            case '4':
            case '5':
            case '6':
            case '7': {
                uint32_t unit = static_cast<uint32_t>(e - '0');
                for (int digits = 1; digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7';
                     ++digits) {
                    unit = unit * 8 + static_cast<uint32_t>(text[i++] - '0');
                }
                sink.Unit(unit);
                break;
            }
            default:
                sink.Byte(e);
                break;  // \\ \" \] and any other character stand for themselves
        }
    }
    return std::nullopt;
}

WineRegistryLookup::WineRegistryLookup(std::vector<std::string> keyPaths, std::string valueName)
    : valueName_(LowerAscii(valueName)), results_(keyPaths.size()) {
    for (const std::string& key : keyPaths) {
        keys_.push_back(LowerAscii(Trim(key, "\\")));
    }
}

void WineRegistryLookup::Feed(std::string_view chunk) {
    while (!chunk.empty() && !rejected_) {
        const size_t newline = chunk.find('\n');
        const std::string_view piece = chunk.substr(0, newline);
        if (!lineTooLong_) {
            if (line_.size() + piece.size() > kMaxLine) {
                lineTooLong_ = true;
                line_.clear();
                line_.shrink_to_fit();
            } else {
                line_.append(piece);
            }
        }
        if (newline == std::string_view::npos) return;
        chunk.remove_prefix(newline + 1);
        if (lineTooLong_) {
            // Nothing of an overlong line is used; if it was a hex value, its continuation is lost too.
            lineTooLong_ = false;
            inHex_ = false;
            if (!headerSeen_) rejected_ = true;
        } else {
            std::string_view line = line_;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            HandleLine(line);
        }
        line_.clear();
    }
}

void WineRegistryLookup::Finish() {
    if (!line_.empty() && !lineTooLong_ && !rejected_) {
        std::string_view line = line_;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        HandleLine(line);
    }
    if (inHex_) HandleHexContinuation("");
    line_.clear();
    lineTooLong_ = false;
}

void WineRegistryLookup::FeedFile(InputFile& file) {
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        const size_t n = file.Read(buffer.data(), buffer.size());
        Feed(std::string_view(buffer.data(), n));
        if (n < buffer.size() || rejected_) break;
    }
    Finish();
}

void WineRegistryLookup::HandleLine(std::string_view line) {
    if (!headerSeen_) {
        if (line.substr(0, kHeader.size()) != kHeader) {
            rejected_ = true;
            return;
        }
        headerSeen_ = true;
        return;
    }
    if (inHex_) {
        HandleHexContinuation(line);
        return;
    }
    line = TrimLeft(line, kBlanks);
    if (line.empty() || line.front() == ';' || line.front() == '#') return;
    if (line.front() == '[') {
        HandleSection(line);
    } else if (line.front() == '"' || line.front() == '@') {
        HandleValue(line);
    }
    // Anything else is not part of the format and is passed over.
}

void WineRegistryLookup::HandleSection(std::string_view line) {
    currentKeys_.clear();
    size_t end = 0;
    const std::optional<std::string> path = DecodeRegistryText(line, 1, ']', end);
    if (!path) return;  // a broken key line: the values after it belong to no key we know
    const std::string lowered = LowerAscii(Trim(*path, "\\"));
    for (size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i] == lowered) currentKeys_.push_back(i);
    }
}

void WineRegistryLookup::HandleValue(std::string_view line) {
    std::string name;
    size_t pos = 0;
    if (line.front() == '@') {
        pos = 1;
    } else {
        const std::optional<std::string> decoded = DecodeRegistryText(line, 1, '"', pos);
        if (!decoded) return;
        name = *decoded;
    }
    std::string_view rest = TrimLeft(line.substr(pos), kBlanks);
    if (rest.empty() || rest.front() != '=') return;
    rest = TrimLeft(rest.substr(1), kBlanks);
    const bool wanted = !currentKeys_.empty() && LowerAscii(name) == valueName_;

    // Quoted text, plain or with its type: "..." or str(N):"..."
    uint32_t textType = 0;
    size_t quote = std::string_view::npos;
    if (!rest.empty() && rest.front() == '"') {
        textType = regtype::String;
        quote = 0;
    } else if (rest.substr(0, 4) == "str(") {
        const size_t close = rest.find("):\"");
        if (close == std::string_view::npos) return;
        const std::optional<uint32_t> type = HexNumber(rest.substr(4, close - 4));
        if (!type) return;
        textType = *type;
        quote = close + 2;
    }
    if (quote != std::string_view::npos) {
        size_t end = 0;
        std::optional<std::string> text = DecodeRegistryText(rest, quote + 1, '"', end);
        if (text && wanted) Store(textType, std::move(*text));
        return;
    }

    if (rest.substr(0, 6) == "dword:") {
        const std::optional<uint32_t> number = HexNumber(TrimRight(rest.substr(6), kBlanks));
        if (!number) return;
        if (wanted) {
            std::string bytes;
            for (int i = 0; i < 4; ++i) bytes += static_cast<char>((*number >> (8 * i)) & 0xFF);
            Store(regtype::Dword, std::move(bytes));
        }
        return;
    }

    uint32_t hexType = 0;
    std::string_view bytes;
    if (rest.substr(0, 4) == "hex:") {
        hexType = regtype::Binary;
        bytes = rest.substr(4);
    } else if (rest.substr(0, 4) == "hex(") {
        const size_t close = rest.find("):");
        if (close == std::string_view::npos) return;
        const std::optional<uint32_t> type = HexNumber(rest.substr(4, close - 4));
        if (!type) return;
        hexType = *type;
        bytes = rest.substr(close + 2);
    } else {
        return;
    }
    hexWanted_ = wanted;
    hexBroken_ = false;
    hexType_ = hexType;
    hexData_.clear();
    inHex_ = true;
    HandleHexContinuation(bytes);
}

void WineRegistryLookup::HandleHexContinuation(std::string_view line) {
    bool continued = false;
    if (!hexBroken_) {
        std::string scratch;
        std::string& target = hexWanted_ ? hexData_ : scratch;
        if (!ParseHexBytes(line, target, continued, kMaxData)) {
            hexBroken_ = true;
            hexData_.clear();
        }
    } else {
        const std::string_view trimmed = TrimRight(line, kBlanks);
        continued = !trimmed.empty() && trimmed.back() == '\\';
    }
    if (continued) return;
    inHex_ = false;
    if (hexWanted_ && !hexBroken_) {
        // Texts that are not NUL-terminated are stored as bytes; they are texts all the same.
        Store(hexType_, IsTextType(hexType_) ? Utf16LeToUtf8(hexData_) : std::move(hexData_));
    }
    hexData_.clear();
}

void WineRegistryLookup::Store(uint32_t type, std::string data) {
    for (size_t index : currentKeys_) results_[index] = RegValue{type, data};
}

}  // namespace loftwick
