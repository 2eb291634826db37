#pragma once
#include <optional>
#include <string>
#include <vector>

namespace loftwick {

// The text of a settings file ("[Section]" lines, "key=value" lines, ";" comments), held line by line so
// that setting a value rewrites or inserts one line and leaves every other byte as it was: comments,
// blank lines, order, other sections, line ends, a byte-order mark (only a missing line end after the last
// line is added). Sections and keys match without regard
// to ASCII case; the first section of a name and its first key of a name count, as with the classic
// profile calls. Values are UTF-8 and of any length.
class IniDocument {
  public:
    IniDocument() = default;
    explicit IniDocument(const std::string& text);

    // The value trimmed of blanks; nothing when the section or key is missing.
    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // Replaces the key's value, or adds the key at the end of its section, or the section at the end of
    // the text. Returns false (and changes nothing) for a name or value the format cannot hold: an empty
    // name, a line break or NUL anywhere, "]" in a section, "=" in a key, a key starting with "[" or ";".
    bool Set(const std::string& section, const std::string& key, const std::string& value);

    std::string Text() const;

  private:
    struct Located {
        size_t sectionLine = npos;  // the "[Section]" line
        size_t lastLine = npos;     // the last non-blank line of that section
        size_t keyLine = npos;      // the key's line
    };
    static constexpr size_t npos = static_cast<size_t>(-1);

    Located Find(const std::string& section, const std::string& key) const;
    std::string NewLine(const std::string& content) const;

    // Lines without their "\n"; a line that ended in CR LF keeps its "\r".
    std::vector<std::string> lines_;
    bool crlf_ = false;  // the line end for new lines, taken from the file's first line
};

}  // namespace loftwick
