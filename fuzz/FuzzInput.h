#pragma once
// Inputs that carry several texts: fields separated by the byte kFieldEnd. The last field takes the rest
// of the input, separators and all, so the text under test can hold any byte. The seed maker writes seeds
// in the same shape.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace loftwick::fuzz {

inline constexpr char kFieldEnd = '\xFF';

class FieldReader {
  public:
    FieldReader(const uint8_t* data, size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    // The first byte, consumed; 0 when the input is used up.
    uint8_t Byte() {
        if (rest_.empty()) return 0;
        const auto byte = static_cast<uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return byte;
    }
    // The bytes up to the next separator, which is consumed; all that is left when there is none.
    std::string Field() {
        const size_t end = rest_.find(kFieldEnd);
        std::string field(rest_.substr(0, end));
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return field;
    }
    std::string Rest() { return std::string(std::exchange(rest_, {})); }

  private:
    std::string_view rest_;
};

// The bytes a FieldReader takes apart again: the flag byte, then the fields, the last one unterminated.
inline std::string JoinFields(uint8_t flags, const std::vector<std::string>& fields) {
    std::string out(1, static_cast<char>(flags));
    for (const std::string& field : fields) out += field + kFieldEnd;
    if (!fields.empty()) out.pop_back();
    return out;
}

}  // namespace loftwick::fuzz
