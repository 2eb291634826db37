#include "support/OleDate.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/TestEnv.h"

namespace loftwick {
namespace {

TEST(OleDate, KnownSerialsAndParts) {
    EXPECT_EQ(DateSerial(1899, 12, 30).Serial(), 0.0);
    EXPECT_EQ(DateSerial(1970, 1, 1).Serial(), 25569.0);
    const DateParts p = SplitDate(MakeDate(2001, 9, 9, 1, 46, 40));
    EXPECT_EQ((std::vector<int>{p.year, p.month, p.day, p.hour, p.minute, p.second, p.weekday}),
              (std::vector<int>{2001, 9, 9, 1, 46, 40, 0}));  // a Sunday
}

TEST(OleDate, PartsRollOverAcrossMonthsYearsAndLeapDays) {
    EXPECT_EQ(DateSerial(2024, 13, 1), DateSerial(2025, 1, 1));
    EXPECT_EQ(DateSerial(2024, 3, 0), DateSerial(2024, 2, 29));
    EXPECT_EQ(DateSerial(2023, 3, 0), DateSerial(2023, 2, 28));
    EXPECT_EQ(DateSerial(1900, 3, 0), DateSerial(1900, 2, 28));  // 1900 was not a leap year
    EXPECT_EQ(DateSerial(2000, 2, 30), DateSerial(2000, 3, 1));
    EXPECT_EQ(DateSerial(2024, 0, 1), DateSerial(2023, 12, 1));
    EXPECT_EQ(DateSerial(2024, -11, 1), DateSerial(2023, 1, 1));
    EXPECT_EQ(MakeDate(2024, 12, 31, 24, 0, 0), DateSerial(2025, 1, 1));
}

TEST(OleDate, BoundariesCountCalendarUnitsNotElapsedTime) {
    const OleDate lateEvening = MakeDate(2024, 12, 31, 23, 59, 59);
    const OleDate newYear = MakeDate(2025, 1, 1, 0, 0, 0);
    EXPECT_EQ(DayBoundaries(lateEvening, newYear), 1);
    EXPECT_EQ(HourBoundaries(lateEvening, newYear), 1);
    EXPECT_EQ(SecondBoundaries(lateEvening, newYear), 1);
    EXPECT_EQ(DayBoundaries(newYear, lateEvening), -1);
    EXPECT_EQ(HourBoundaries(MakeDate(2024, 1, 1, 10, 59, 0), MakeDate(2024, 1, 1, 11, 0, 0)), 1);
    EXPECT_EQ(DayBoundaries(DateSerial(2024, 2, 28), DateSerial(2024, 3, 1)), 2);
}

TEST(OleDate, AddingCrossesMonthAndYearEnds) {
    EXPECT_EQ(AddDays(MakeDate(2024, 3, 1, 10, 0, 0), 7), MakeDate(2024, 3, 8, 10, 0, 0));
    EXPECT_EQ(AddSeconds(MakeDate(2024, 2, 28, 23, 59, 59), 1), DateSerial(2024, 2, 29));
}

TEST(OleDate, GeneralTextShowsOnlyWhatIsThereAndNegativeSerialsKeepAPositiveTimeOfDay) {
    EXPECT_DOUBLE_EQ(MakeDate(1899, 12, 29, 6, 0, 0).Serial(), -1.25);
    EXPECT_EQ(FormatGeneralDate(MakeDate(1899, 12, 29, 6, 0, 0)), "1899-12-29 06:00:00");
    EXPECT_EQ(FormatGeneralDate(MakeDate(1994, 11, 6, 8, 49, 37)), "1994-11-06 08:49:37");
    EXPECT_EQ(FormatGeneralDate(DateSerial(1994, 11, 6)), "1994-11-06");
    EXPECT_EQ(FormatGeneralDate(OleDate(TimeSerial(8, 49, 37))), "08:49:37");
    EXPECT_EQ(FormatGeneralDate(OleDate()), "00:00:00");
}

TEST(OleDate, EpochConversionsFollowTheTimeZoneInForceAtThatMoment) {
    test::ScopedTimeZone tz("Europe/Berlin");
    EXPECT_EQ(EpochToUtcDate(1000000000), MakeDate(2001, 9, 9, 1, 46, 40));
    EXPECT_EQ(EpochToLocalDate(1000000000), MakeDate(2001, 9, 9, 3, 46, 40));  // summer time
    EXPECT_EQ(EpochToLocalDate(0), MakeDate(1970, 1, 1, 1, 0, 0));
    EXPECT_EQ(LocalDateToEpoch(MakeDate(2001, 9, 9, 3, 46, 40)), 1000000000);
    EXPECT_EQ(LocalDateToEpoch(MakeDate(2001, 1, 9, 3, 46, 40)), 979008400);  // winter: one hour less offset
    EXPECT_EQ(FormatIsoLocal(MakeDate(2001, 9, 9, 3, 46, 40)), "2001-09-09T03:46:40+02:00");
}

TEST(OleDate, ParsesClockTimesAndIsoDatesOnly) {
    EXPECT_EQ(ParseDateOrTime("08:49:37"), OleDate(TimeSerial(8, 49, 37)));
    EXPECT_EQ(ParseDateOrTime("8:49"), OleDate(TimeSerial(8, 49, 0)));
    EXPECT_EQ(ParseDateOrTime("12:00:01 AM"), OleDate(TimeSerial(0, 0, 1)));
    EXPECT_EQ(ParseDateOrTime("1994-11-06"), DateSerial(1994, 11, 6));
    EXPECT_FALSE(ParseDateOrTime("25:00:00"));
    EXPECT_FALSE(ParseDateOrTime("GMT"));
    EXPECT_FALSE(ParseDateOrTime(""));
    EXPECT_FALSE(ParseDateOrTime("08:49:37x"));
}

}  // namespace
}  // namespace loftwick
