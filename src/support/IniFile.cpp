#include "support/IniFile.h"

#include <string_view>

#include "support/TextCodec.h"

namespace loftwick {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trimmed(std::string_view text) { return Trim(text, " \t\r\v\f"); }

// The line without the byte-order mark that may open the file; the "\r" of a CR LF end is left to Trimmed.
std::string_view Content(const std::string& line, size_t index) {
    std::string_view view = line;
    if (index == 0 && view.substr(0, kBom.size()) == kBom) view.remove_prefix(kBom.size());
    return view;
}

// The name of a "[name]" line (to its last "]"), or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view content) {
    content = Trimmed(content);
    if (content.empty() || content.front() != '[') return std::nullopt;
    const size_t close = content.rfind(']');
    if (close == std::string_view::npos || close == 0) return Trimmed(content.substr(1));
    return Trimmed(content.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key, value;
};

std::optional<KeyLine> ParseKeyLine(std::string_view content) {
    content = Trimmed(content);
    if (content.empty() || content.front() == ';' || content.front() == '[') return std::nullopt;
    const size_t equals = content.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return KeyLine{Trimmed(content.substr(0, equals)), Trimmed(content.substr(equals + 1))};
}

bool HasLineBreakOrNul(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

IniDocument::IniDocument(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t newline = text.find('\n', start);
        if (newline == std::string::npos) {
            lines_.push_back(text.substr(start));
            break;
        }
        lines_.push_back(text.substr(start, newline - start));
        start = newline + 1;
    }
    crlf_ = !lines_.empty() && !lines_.front().empty() && lines_.front().back() == '\r';
}

IniDocument::Located IniDocument::Find(const std::string& section, const std::string& key) const {
    Located found;
    const std::string_view wantedSection = Trimmed(section), wantedKey = Trimmed(key);
    for (size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view content = Content(lines_[i], i);
        if (const auto name = SectionName(content)) {
            if (found.sectionLine != npos) break;  // only the first section of the name counts
            if (EqualsNoCase(*name, wantedSection)) found.sectionLine = found.lastLine = i;
            continue;
        }
        if (found.sectionLine == npos) continue;
        if (!Trimmed(content).empty()) found.lastLine = i;
        if (found.keyLine == npos) {
            if (const auto line = ParseKeyLine(content); line && EqualsNoCase(line->key, wantedKey))
                found.keyLine = i;
        }
    }
    return found;
}

std::optional<std::string> IniDocument::Get(const std::string& section, const std::string& key) const {
    const Located found = Find(section, key);
    if (found.keyLine == npos) return std::nullopt;
    return std::string(ParseKeyLine(Content(lines_[found.keyLine], found.keyLine))->value);
}

std::string IniDocument::NewLine(const std::string& content) const {
    return crlf_ ? content + "\r" : content;
}

bool IniDocument::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string trimmedSection(Trimmed(section)), trimmedKey(Trimmed(key));
    if (trimmedSection.empty() || trimmedKey.empty()) return false;
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value)) return false;
    if (trimmedSection.find(']') != std::string::npos || trimmedKey.find('=') != std::string::npos)
        return false;
    if (trimmedKey.front() == '[' || trimmedKey.front() == ';') return false;

    const Located found = Find(section, key);
    if (found.keyLine != npos) {
        // The key keeps the spelling it has in the file.
        const std::string existingKey(ParseKeyLine(Content(lines_[found.keyLine], found.keyLine))->key);
        std::string& line = lines_[found.keyLine];
        const bool endsInCr = !line.empty() && line.back() == '\r';
        line = existingKey + "=" + value + (endsInCr ? "\r" : "");
        return true;
    }
    if (found.sectionLine != npos) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(found.lastLine) + 1,
                      NewLine(trimmedKey + "=" + value));
        return true;
    }
    if (!lines_.empty() && !Trimmed(Content(lines_.back(), lines_.size() - 1)).empty())
        lines_.push_back(NewLine(""));
    lines_.push_back(NewLine("[" + trimmedSection + "]"));
    lines_.push_back(NewLine(trimmedKey + "=" + value));
    return true;
}

std::string IniDocument::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

}  // namespace loftwick
