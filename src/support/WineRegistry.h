#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/FileSystem.h"

namespace loftwick {

// Registry value types as the registry numbers them.
namespace regtype {
inline constexpr uint32_t String = 1;        // REG_SZ
inline constexpr uint32_t ExpandString = 2;  // REG_EXPAND_SZ
inline constexpr uint32_t Binary = 3;        // REG_BINARY
inline constexpr uint32_t Dword = 4;         // REG_DWORD
inline constexpr uint32_t MultiString = 7;   // REG_MULTI_SZ
}  // namespace regtype

// One value as found in the file. Texts are UTF-8 and may hold NUL characters; binary values and dwords
// keep their bytes (a dword little-endian).
struct RegValue {
    uint32_t type = 0;
    std::string data;
};

// Looks up one value name under several keys in a registry file of Wine's text format ("WINE REGISTRY
// Version 2", "[key\\path] stamp" sections, "name"=data lines), in a single pass with bounded memory: a line
// longer than kMaxLine and a binary value longer than kMaxData are passed over, so a hostile or damaged file
// costs time in proportion to its size and nothing more. Keys and value names match without regard to ASCII
// case; key paths are given with single "\" separators. When a key or value appears twice, the later wins.
class WineRegistryLookup {
  public:
    static constexpr size_t kMaxLine = 1 << 20;
    static constexpr size_t kMaxData = 1 << 20;

    WineRegistryLookup(std::vector<std::string> keyPaths, std::string valueName);

    // Feed the file in pieces of any size, then Finish.
    void Feed(std::string_view chunk);
    void Finish();

    // The value found under keyPaths[index], if any.
    const std::optional<RegValue>& Result(size_t index) const { return results_.at(index); }

    // Reads a whole file through the file system; throws RuntimeError when it cannot be read.
    void FeedFile(InputFile& file);

  private:
    void HandleLine(std::string_view line);
    void HandleSection(std::string_view line);
    void HandleValue(std::string_view line);
    void HandleHexContinuation(std::string_view line);
    void Store(uint32_t type, std::string data);

    std::vector<std::string> keys_;  // lower-cased
    std::string valueName_;          // lower-cased
    std::vector<std::optional<RegValue>> results_;

    std::string line_;
    bool lineTooLong_ = false;
    bool headerSeen_ = false;
    bool rejected_ = false;            // not a registry file: everything after is ignored
    std::vector<size_t> currentKeys_;  // indexes of keys_ matching the current section

    // A hex value continued over several lines ("...,\").
    bool inHex_ = false;
    bool hexWanted_ = false;
    bool hexBroken_ = false;
    uint32_t hexType_ = 0;
    std::string hexData_;
};

// Decodes a quoted registry text starting just after its opening character up to `terminator`; the escapes
// are those Wine writes (\\ \" \n \r \t \a \b \e \f \v, \x with up to four hex digits, \ with up to three
// octal digits), \x code units being UTF-16. Returns the text and sets `end` just past the terminator, or
// nothing when the terminator is missing.
std::optional<std::string> DecodeRegistryText(std::string_view text, size_t start, char terminator,
                                              size_t& end);

}  // namespace loftwick
