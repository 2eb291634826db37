#include "support/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "support/RuntimeError.h"

namespace loftwick {
namespace {

constexpr int32_t kInvalidUseOfNull = 94;

[[noreturn]] void TypeMismatch() { Raise(vberr::TypeMismatch); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int64_t Variant::AsInteger() const {
    if (const auto* v = std::get_if<int64_t>(&value_)) return *v;
    TypeMismatch();
}

double Variant::AsDouble() const {
    if (const auto* v = std::get_if<double>(&value_)) return *v;
    if (const auto* v = std::get_if<int64_t>(&value_)) return static_cast<double>(*v);
    TypeMismatch();
}

const std::string& Variant::AsText() const {
    if (const auto* v = std::get_if<std::string>(&value_)) return *v;
    TypeMismatch();
}

OleDate Variant::AsDate() const {
    if (const auto* v = std::get_if<OleDate>(&value_)) return *v;
    TypeMismatch();
}

std::optional<double> Variant::ToNumber() const {
    switch (kind()) {
        case Kind::Integer:
        case Kind::Double:
            return AsDouble();
        case Kind::Text:
            return ParseNumber(AsText());
        default:
            return std::nullopt;
    }
}

std::string Variant::ToText() const {
    switch (kind()) {
        case Kind::Empty:
            return {};
        case Kind::Null:
            Raise(kInvalidUseOfNull, "Invalid use of Null");
        case Kind::Integer:
            return std::to_string(AsInteger());
        case Kind::Double: {
            const double d = AsDouble();
            char buffer[40];
            // Whole numbers print without a fraction or exponent as long as every digit is significant.
            if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) {
                std::snprintf(buffer, sizeof buffer, "%.0f", d);
            } else {
                std::snprintf(buffer, sizeof buffer, "%.15g", d);
            }
            return buffer;
        }
        case Kind::Text:
            return AsText();
        case Kind::Date:
            return FormatGeneralDate(AsDate());
    }
    return {};
}

std::optional<double> ParseNumber(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;

    // Check the shape first: from_chars alone would take "inf", "nan" and hexadecimal digits.
    std::string number;
    size_t i = begin;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') number += '-';
        ++i;
    }
    bool digits = false, point = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        number += c;
    }
    if (!digits) return std::nullopt;
    if (i < end && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        number += 'e';
        ++i;
        if (i < end && (text[i] == '+' || text[i] == '-')) number += text[i++];
        bool expDigits = false;
        for (; i < end && IsDigit(text[i]); ++i) {
            number += text[i];
            expDigits = true;
        }
        if (!expDigits) return std::nullopt;
    }
    if (i != end) return std::nullopt;

    double value = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || ptr != number.data() + number.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace loftwick
