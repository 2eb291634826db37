#include "support/OleDate.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <unordered_map>

#include "support/TextCodec.h"

namespace loftwick {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kEpochSerial = 25569;  // 1970-01-01 as a day number since 1899-12-30

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// A date as whole seconds on a linear scale: day number * 86400 + seconds into that day.
int64_t ToLinearSeconds(OleDate date) {
    const double serial = date.Serial();
    if (!std::isfinite(serial)) return 0;
    const double dayPart = std::trunc(serial);
    const double frac = std::fabs(serial - dayPart);
    const int64_t day = static_cast<int64_t>(dayPart);
    const int64_t seconds = std::llround(frac * kSecondsPerDay);
    return day * kSecondsPerDay + seconds;
}

OleDate FromLinearSeconds(int64_t linear) {
    const int64_t day = FloorDiv(linear, kSecondsPerDay);
    const int64_t seconds = linear - day * kSecondsPerDay;
    const double frac = static_cast<double>(seconds) / kSecondsPerDay;
    return OleDate(day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac);
}

int64_t DayNumber(int year, int month, int day) {
    const int64_t y = year + FloorDiv(month - 1, 12);
    const int64_t m = (month - 1) - FloorDiv(month - 1, 12) * 12 + 1;
    return DaysFromCivil(y, m, 1) + (day - 1) + kEpochSerial;
}

}  // namespace

OleDate DateSerial(int year, int month, int day) {
    return OleDate(static_cast<double>(DayNumber(year, month, day)));
}

double TimeSerial(int hour, int minute, int second) {
    const int64_t total = int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
    return static_cast<double>(total) / kSecondsPerDay;
}

OleDate MakeDate(int year, int month, int day, int hour, int minute, int second) {
    const int64_t total = int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
    return FromLinearSeconds(DayNumber(year, month, day) * kSecondsPerDay + total);
}

DateParts SplitDate(OleDate date) {
    const int64_t linear = ToLinearSeconds(date);
    const int64_t day = FloorDiv(linear, kSecondsPerDay);
    int64_t seconds = linear - day * kSecondsPerDay;
    DateParts parts;
    CivilFromDays(day - kEpochSerial, parts.year, parts.month, parts.day);
    parts.hour = static_cast<int>(seconds / 3600);
    seconds %= 3600;
    parts.minute = static_cast<int>(seconds / 60);
    parts.second = static_cast<int>(seconds % 60);
    // 1899-12-30 was a Saturday.
    parts.weekday = static_cast<int>(((day % 7) + 7 + 6) % 7);
    return parts;
}

OleDate AddDays(OleDate date, int64_t days) {
    return FromLinearSeconds(ToLinearSeconds(date) + days * kSecondsPerDay);
}
OleDate AddSeconds(OleDate date, int64_t seconds) {
    return FromLinearSeconds(ToLinearSeconds(date) + seconds);
}

int64_t DayBoundaries(OleDate from, OleDate to) {
    return FloorDiv(ToLinearSeconds(to), kSecondsPerDay) - FloorDiv(ToLinearSeconds(from), kSecondsPerDay);
}
int64_t HourBoundaries(OleDate from, OleDate to) {
    return FloorDiv(ToLinearSeconds(to), 3600) - FloorDiv(ToLinearSeconds(from), 3600);
}
int64_t SecondBoundaries(OleDate from, OleDate to) { return ToLinearSeconds(to) - ToLinearSeconds(from); }

namespace {

// Writes `value` as "%0*d" would: at least `width` characters, the sign counted, zeros after it.
char* PutDigits(char* at, int value, int width) {
    char digits[12];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value < 0 ? -value : value);
    (void)ec;
    const int length = static_cast<int>(end - digits);
    if (value < 0) {
        *at++ = '-';
        --width;
    }
    for (int pad = width - length; pad > 0; --pad) *at++ = '0';
    for (const char* d = digits; d < end; ++d) *at++ = *d;
    return at;
}

char* PutDate(char* at, const DateParts& p) {
    at = PutDigits(at, p.year, 4);
    *at++ = '-';
    at = PutDigits(at, p.month, 2);
    *at++ = '-';
    return PutDigits(at, p.day, 2);
}

char* PutTime(char* at, const DateParts& p) {
    at = PutDigits(at, p.hour, 2);
    *at++ = ':';
    at = PutDigits(at, p.minute, 2);
    *at++ = ':';
    return PutDigits(at, p.second, 2);
}

}  // namespace

std::string FormatGeneralDate(OleDate date) {
    const int64_t linear = ToLinearSeconds(date);
    const int64_t day = FloorDiv(linear, kSecondsPerDay);
    const bool midnight = linear - day * kSecondsPerDay == 0;
    const DateParts p = SplitDate(date);
    char buf[64];
    char* end = buf;
    if (day == 0) {
        end = PutTime(end, p);
    } else if (midnight) {
        end = PutDate(end, p);
    } else {
        end = PutDate(end, p);
        *end++ = ' ';
        end = PutTime(end, p);
    }
    return std::string(buf, end);
}

namespace {

// A local date as the C library reads it: the moment, and the offset east of UTC that the zone has then.
struct LocalMoment {
    int64_t epoch = 0;
    long offset = 0;
};

// The slow way, by mktime and localtime_r; nothing when mktime cannot place the date.
std::optional<LocalMoment> AskLocalMoment(const DateParts& p) {
    std::tm tm{};
    tm.tm_year = p.year - 1900;
    tm.tm_mon = p.month - 1;
    tm.tm_mday = p.day;
    tm.tm_hour = p.hour;
    tm.tm_min = p.minute;
    tm.tm_sec = p.second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && !(p.year == 1969 || p.year == 1970)) return std::nullopt;
    LocalMoment moment{static_cast<int64_t>(t), 0};
    std::tm local{};
    if (localtime_r(&t, &local)) moment.offset = local.tm_gmtoff;
    return moment;
}

// mktime takes microseconds, and an export asks for two dates a record. An hour of local time whose
// first and last second the zone reads as plain local time at one same offset has it throughout
// (zones never change their offset twice in an hour); such hours are remembered, per thread and per TZ
// setting. An hour is looked at that closely when it is asked for the second time, so that dates
// spread over many hours cost no more than before; the hours of a change of offset (or a gap) are
// asked about every time. A repeated hour keeps the reading mktime gave its first and last second.
std::optional<LocalMoment> LocalMomentOf(OleDate localDate) {
    const int64_t local = ToLinearSeconds(localDate) - kEpochSerial * kSecondsPerDay;
    const int64_t hour = FloorDiv(local, 3600);
    enum class Seen : uint8_t { Once, Plain, Changing };
    struct Hour {
        Seen seen = Seen::Once;
        long offset = 0;
    };
    constexpr size_t kHoursKept = size_t{1} << 14;  // about two years of hours
    thread_local std::unordered_map<int64_t, Hour> hours;
    thread_local std::optional<std::string> zone;  // the TZ the hours were found for
    const char* const tz = std::getenv("TZ");
    if (zone.has_value() != (tz != nullptr) || (tz && *zone != tz)) {
        hours.clear();
        zone = tz ? std::optional<std::string>(tz) : std::nullopt;
    }
    const auto found = hours.find(hour);
    if (found != hours.end() && found->second.seen == Seen::Plain)
        return LocalMoment{local - found->second.offset, found->second.offset};
    const DateParts p = SplitDate(localDate);
    const std::optional<LocalMoment> asked = AskLocalMoment(p);
    if (found == hours.end()) {
        if (hours.size() >= kHoursKept) hours.clear();
        hours.emplace(hour, Hour());
        return asked;
    }
    if (found->second.seen == Seen::Changing) return asked;
    DateParts first = p, last = p;
    first.minute = first.second = 0;
    last.minute = last.second = 59;
    const std::optional<LocalMoment> a = AskLocalMoment(first), b = AskLocalMoment(last);
    const int64_t firstLocal = hour * 3600;
    const bool plain = asked && a && b && a->offset == b->offset && a->epoch == firstLocal - a->offset &&
                       b->epoch == firstLocal + 3599 - b->offset && asked->epoch == local - a->offset &&
                       asked->offset == a->offset;
    found->second = Hour{plain ? Seen::Plain : Seen::Changing, plain ? a->offset : 0};
    return asked;
}

}  // namespace

std::string FormatIsoLocal(OleDate date) {
    const DateParts p = SplitDate(date);
    long offset = 0;
    if (const std::optional<LocalMoment> moment = LocalMomentOf(date)) offset = moment->offset;
    const char sign = offset < 0 ? '-' : '+';
    const long abs = offset < 0 ? -offset : offset;
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", p.year, p.month, p.day,
                  p.hour, p.minute, p.second, sign, abs / 3600, (abs % 3600) / 60);
    return buf;
}

OleDate NoDatePastYear9999(OleDate date) { return SplitDate(date).year > 9999 ? OleDate() : date; }

OleDate EpochToUtcDate(int64_t seconds) {
    // Far past any date the type holds (years 100 to 9999): the zero date, before the sum could overflow.
    constexpr int64_t kFarOff = int64_t{1} << 46;
    if (seconds > kFarOff || seconds < -kFarOff) return OleDate();
    return FromLinearSeconds(seconds + kEpochSerial * kSecondsPerDay);
}

OleDate EpochToLocalDate(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return EpochToUtcDate(seconds);
    return MakeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::optional<int64_t> LocalDateToEpoch(OleDate localDate) {
    const std::optional<LocalMoment> moment = LocalMomentOf(localDate);
    if (!moment) return std::nullopt;
    return moment->epoch;
}

int64_t UtcDateToEpoch(OleDate utcDate) { return ToLinearSeconds(utcDate) - kEpochSerial * kSecondsPerDay; }

namespace {

bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal field of at most `width` characters, read as a "%Nd" conversion reads it: blanks skipped
// first, then an optional sign and at least one digit, the sign counting towards the width. Advances
// `at` past what it read; nothing (and `at` unspecified) when no digit is there.
std::optional<int> ScanField(const char*& at, int width) {
    while (IsScanSpace(*at)) ++at;
    bool negative = false;
    if (*at == '+' || *at == '-') {
        negative = *at == '-';
        ++at;
        --width;
    }
    int value = 0, digits = 0;
    for (; digits < width && IsDigit(*at); ++digits, ++at) value = value * 10 + (*at - '0');
    if (digits == 0) return std::nullopt;
    return negative ? -value : value;
}

// Reads fields of the given widths separated by `separator`, as "%Nd<sep>%Nd..." would; false when one
// is missing. `at` ends after the last field read.
template <size_t N>
bool ScanFields(const char*& at, const int (&widths)[N], char separator, int* (&&into)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (i > 0 && *at++ != separator) return false;
        const std::optional<int> field = ScanField(at, widths[i]);
        if (!field) return false;
        *into[i] = *field;
    }
    return true;
}

}  // namespace

std::optional<OleDate> ParseDateOrTime(const std::string& text) {
    int a = 0, b = 0, c = 0, h = 0, m = 0, s = 0;
    // Read as C text: a NUL ends what is looked at, while the length checks see the whole text.
    const char* const str = text.c_str();
    const char* at = str;
    // A date, optionally followed by a time.
    if (ScanFields(at, {4, 2, 2}, '-', {&a, &b, &c}) && at - str == 10) {
        if (b < 1 || b > 12 || c < 1 || c > 31) return std::nullopt;
        if (text.size() == 10) return DateSerial(a, b, c);
        at = str + 10;
        while (IsScanSpace(*at)) ++at;
        if (ScanFields(at, {2, 2, 2}, ':', {&h, &m, &s}) && static_cast<size_t>(at - str) == text.size() &&
            h < 24 && m < 60 && s < 60) {
            return MakeDate(a, b, c, h, m, s);
        }
        return std::nullopt;
    }
    // A clock time "h:mm" or "h:mm:ss", optionally with AM or PM.
    at = str;
    if (!IsDigit(str[0]) || !ScanFields(at, {2, 2}, ':', {&h, &m})) return std::nullopt;
    size_t pos = static_cast<size_t>(at - str);
    if (pos < text.size() && text[pos] == ':') {
        if (!IsDigit(str[pos + 1])) return std::nullopt;
        at = str + pos + 1;
        s = *ScanField(at, 2);
        pos = static_cast<size_t>(at - str);
    }
    const std::string_view rest = TrimLeft(std::string_view(text).substr(pos));
    if (!rest.empty()) {
        const bool am = EqualsNoCase(rest, "AM");
        if (!am && !EqualsNoCase(rest, "PM")) return std::nullopt;
        if (h < 1 || h > 12) return std::nullopt;
        if (am && h == 12) h = 0;
        if (!am && h != 12) h += 12;
    }
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::nullopt;
    return OleDate(TimeSerial(h, m, s));
}

}  // namespace loftwick
