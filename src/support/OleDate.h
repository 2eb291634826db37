#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace loftwick {

// A moment as the program holds it: days since 1899-12-30 00:00, the fraction being the time of day.
// Dates are local time unless a function says otherwise. The value 0 stands for "no date" wherever a
// cache object reports one. Negative values follow the same convention as positive ones: the whole part
// is the day and the absolute value of the fraction is the time of that day.
class OleDate {
  public:
    constexpr OleDate() = default;
    constexpr explicit OleDate(double serial) : serial_(serial) {}

    constexpr double Serial() const { return serial_; }
    constexpr bool IsZero() const { return serial_ == 0.0; }

    friend constexpr bool operator==(OleDate a, OleDate b) { return a.serial_ == b.serial_; }
    friend constexpr auto operator<=>(OleDate a, OleDate b) { return a.serial_ <=> b.serial_; }

  private:
    double serial_ = 0.0;
};

struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    int weekday = 0;  // 0 = Sunday
};

// Builds a date from parts; months and days out of range roll over into the neighbouring ones
// (month 13 is January of the next year, day 0 the last day of the previous month).
OleDate DateSerial(int year, int month, int day);
// Time of day as a fraction; hours, minutes and seconds roll over likewise.
double TimeSerial(int hour, int minute, int second);
OleDate MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Splits a date into calendar parts, rounding to the nearest second.
DateParts SplitDate(OleDate date);

// `date`, or the zero date ("no date") when it lies past 9999-12-31 23:59:59 (to the second it is shown
// with): the date type ends there, and a date beyond it is never produced.
OleDate NoDatePastYear9999(OleDate date);

OleDate AddDays(OleDate date, int64_t days);
OleDate AddSeconds(OleDate date, int64_t seconds);

// Number of day / hour / second boundaries crossed from `from` to `to` (negative when `to` is earlier).
int64_t DayBoundaries(OleDate from, OleDate to);
int64_t HourBoundaries(OleDate from, OleDate to);
int64_t SecondBoundaries(OleDate from, OleDate to);

// "YYYY-MM-DD HH:MM:SS"; only the date at midnight, only the time for a date whose day part is 0.
std::string FormatGeneralDate(OleDate date);
// ISO 8601 with the local offset in force at that moment, for example "2026-12-06T10:00:00+01:00".
std::string FormatIsoLocal(OleDate date);

// Conversions through the machine's time zone rules (TZ).
OleDate EpochToUtcDate(int64_t seconds);                     // calendar moment of UTC
OleDate EpochToLocalDate(int64_t seconds);                   // local wall clock at that instant
std::optional<int64_t> LocalDateToEpoch(OleDate localDate);  // local wall clock to instant
int64_t UtcDateToEpoch(OleDate utcDate);

// Parses a clock time "h:mm[:ss]" (with optional AM/PM) or a date "YYYY-MM-DD" / "YYYY-MM-DD HH:MM:SS";
// returns nothing for other text. This is the program's notion of "valid date or time text".
std::optional<OleDate> ParseDateOrTime(const std::string& text);

}  // namespace loftwick
