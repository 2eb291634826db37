#pragma once
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "support/OleDate.h"

namespace loftwick {

// The loosely typed value that settings reads, list item data and the tolerant conversions of basUtils
// pass around: Empty (never set), Null (no value), a whole or a fractional number, a text or a date.
class Variant {
  public:
    enum class Kind { Empty, Null, Integer, Double, Text, Date };

    Variant() = default;
    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>) Variant(T value)
        : value_(static_cast<int64_t>(value)) {}
    Variant(double value) : value_(value) {}
    Variant(std::string text) : value_(std::move(text)) {}
    Variant(const char* text) : value_(std::string(text)) {}
    Variant(OleDate date) : value_(date) {}

    static Variant Null() {
        Variant v;
        v.value_ = NullTag{};
        return v;
    }

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool IsEmpty() const { return kind() == Kind::Empty; }
    bool IsNull() const { return kind() == Kind::Null; }
    bool IsNumber() const { return kind() == Kind::Integer || kind() == Kind::Double; }
    bool IsText() const { return kind() == Kind::Text; }
    bool IsDate() const { return kind() == Kind::Date; }

    // The stored value; asking for another kind than the one held throws RuntimeError 13.
    int64_t AsInteger() const;
    double AsDouble() const;  // an Integer widened
    const std::string& AsText() const;
    OleDate AsDate() const;

    // The value as a number when it is one or is text that reads as one (see ParseNumber).
    std::optional<double> ToNumber() const;
    // The text form: "" for Empty, decimal digits for numbers, the general date text for dates.
    // Null has no text form and throws RuntimeError 94 ("Invalid use of Null").
    std::string ToText() const;

    friend bool operator==(const Variant&, const Variant&) = default;

  private:
    struct EmptyTag {
        friend bool operator==(EmptyTag, EmptyTag) = default;
    };
    struct NullTag {
        friend bool operator==(NullTag, NullTag) = default;
    };
    // The order matches Kind.
    std::variant<EmptyTag, NullTag, int64_t, double, std::string, OleDate> value_;
};

// Reads text as a number the way the conversions of this program accept it: blanks around, an optional
// sign, digits with at most one decimal point, and an optional exponent ("1.5E3", "2D-1"). Numbers that do
// not fit a double are not numbers. Independent of the process locale.
std::optional<double> ParseNumber(const std::string& text);

}  // namespace loftwick
