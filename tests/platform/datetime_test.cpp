#include "platform/datetime.h"
#include "platform/exceptions.h"

#include <gtest/gtest.h>

TEST(DateTime, KnownSerialNumbers)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), MinDateTime);
    EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
}

TEST(DateTime, InvalidDatesAreReported)
{
    TDateTime dt = 123;
    EXPECT_FALSE(TryEncodeDate(2023, 2, 31, dt));
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, dt));   // not a leap year
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, dt));   // centuries are not leap years...
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, dt));    // ...unless divisible by 400
    EXPECT_FALSE(TryEncodeDate(2023, 13, 1, dt));
    EXPECT_FALSE(TryEncodeDate(2023, 0, 1, dt));
    EXPECT_FALSE(TryEncodeDate(2023, 4, 31, dt));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, dt));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, dt));
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, dt));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, dt));
    EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, dt));
    EXPECT_THROW(EncodeTime(23, 59, 60, 0), EConvertError);
}

TEST(DateTime, EncodeDecodeRoundTrips)
{
    const int dates[][3] = {{1, 1, 1},     {1899, 12, 29}, {1899, 12, 30}, {1900, 2, 28}, {1900, 3, 1},
                            {2000, 2, 29}, {2024, 12, 31}, {2038, 1, 19},  {9999, 12, 31}, {1812, 6, 24}};
    for (const auto& d : dates) {
        const TDateTime dt = EncodeDateTime(d[0], d[1], d[2], 13, 45, 7, 321);
        int y, m, day, h, n, s, z;
        DecodeDateTime(dt, y, m, day, h, n, s, z);
        EXPECT_EQ(y, d[0]);
        EXPECT_EQ(m, d[1]);
        EXPECT_EQ(day, d[2]);
        EXPECT_EQ(h, 13);
        EXPECT_EQ(n, 45);
        EXPECT_EQ(s, 7);
        EXPECT_EQ(z, 321);
    }
    // Every day across a range of years survives the trip.
    for (TDateTime day = -800; day < 60000; day += 1) {
        int y, m, d;
        DecodeDate(day, y, m, d);
        ASSERT_EQ(EncodeDate(y, m, d), day);
    }
}

TEST(DateTime, NegativeValuesCarryTheTimeAsAPositiveFraction)
{
    // -1.25 is the day before the epoch at 06:00, not 18:00.
    int y, m, d, h, n, s, z;
    DecodeDateTime(-1.25, y, m, d, h, n, s, z);
    EXPECT_EQ(y, 1899);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 29);
    EXPECT_EQ(h, 6);
    EXPECT_EQ(n, 0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
    EXPECT_DOUBLE_EQ(DateOf(-1.25), -1.0);
    EXPECT_DOUBLE_EQ(TimeOf(-1.25), 0.25);
}

TEST(DateTime, RoundingToTheMillisecondCarriesIntoTheNextDay)
{
    // A hair below midnight is midnight of the next day, not 23:59:59.1000.
    const TDateTime almost = EncodeDate(2020, 1, 1) + 0.9999999999;
    int y, m, d, h, n, s, z;
    DecodeDateTime(almost, y, m, d, h, n, s, z);
    EXPECT_EQ(d, 2);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(z, 0);
}

TEST(DateTime, DayOfWeekStartsOnSunday)
{
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 15)), 6);   // a Friday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 17)), 1);   // Sunday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 16) + 0.9), 7);   // Saturday evening
    EXPECT_EQ(DayOfWeek(0), 7);                         // 1899-12-30 was a Saturday
    EXPECT_EQ(DayOfWeek(-1.5), 6);
    EXPECT_EQ(DayOfWeek(EncodeDate(1, 1, 1)), 2);       // a Monday
}

TEST(DateTime, QtConversions)
{
    const TDateTime dt = EncodeDateTime(2021, 7, 4, 8, 9, 10, 11);
    const QDateTime q = DateTimeToQDateTime(dt);
    EXPECT_EQ(q.date(), QDate(2021, 7, 4));
    EXPECT_EQ(q.time(), QTime(8, 9, 10, 11));
    EXPECT_EQ(DateTimeToMSecs(QDateTimeToDateTime(q)), DateTimeToMSecs(dt));
    EXPECT_EQ(MSecsToDateTime(DateTimeToMSecs(-3.5)), -3.5);
    // Now() falls on the day that Date() gives (read around it, so midnight cannot interfere).
    const TDateTime before = Date();
    const TDateTime now = Now();
    const TDateTime after = Date();
    EXPECT_GE(now, before);
    EXPECT_LT(now, after + 1);
}
