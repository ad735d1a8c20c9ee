#include <gtest/gtest.h>

#include "DateTime.h"
#include "MondrelError.h"
#include "TestSupport.h"

TEST(DateTime, EncodesDaysFromTheEpochOf1899) {
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDate(2007, 3, 28), 39169.0);
    EXPECT_THROW_MSG(EncodeDate(2009, 2, 30), EConvertError, "Invalid argument to date encode");
    EXPECT_THROW_MSG(EncodeDate(2009, 13, 1), EConvertError, "Invalid argument to date encode");
}

TEST(DateTime, DecodesDateAndTimeOfDay) {
    TDateTime stamp = 39169.4866550926;  // 2007-03-28 11:40:47
    TDateParts d = DecodeDate(stamp);
    EXPECT_EQ(d.Year, 2007);
    EXPECT_EQ(d.Month, 3);
    EXPECT_EQ(d.Day, 28);
    TTimeParts t = DecodeTime(stamp);
    EXPECT_EQ(t.Hour, 11);
    EXPECT_EQ(t.Minute, 40);
    EXPECT_EQ(t.Second, 47);
    EXPECT_DOUBLE_EQ(DateOf(stamp), 39169.0);
}

TEST(DateTime, TimeEncodingRejectsOutOfRangeFields) {
    EXPECT_NO_THROW(EncodeTime(23, 59, 59, 999));
    EXPECT_THROW_MSG(EncodeTime(24, 0, 0, 0), EConvertError, "Invalid argument to time encode");
    EXPECT_THROW_MSG(EncodeTime(8, 60, 0, 0), EConvertError, "Invalid argument to time encode");
    EXPECT_THROW_MSG(EncodeTime(-1, 0, 0, 0), EConvertError, "Invalid argument to time encode");
    TTimeParts t = DecodeTime(EncodeTime(23, 59, 59, 999));
    EXPECT_EQ(t.Hour * 10000000 + t.Minute * 100000 + t.Second * 1000 + t.Millisecond, 235959999);
}

TEST(DateTime, IsoWeekNumbersAtYearEdges) {
    EXPECT_EQ(IsoWeekNumber(EncodeDate(2025, 12, 29)), 1);
    EXPECT_EQ(IsoWeekNumber(EncodeDate(2027, 1, 1)), 53);  // a Friday of 2026's week 53
    EXPECT_EQ(IsoWeekNumber(EncodeDate(2027, 1, 4)), 1);
    EXPECT_EQ(IsoWeekNumber(EncodeDate(2010, 1, 3)), 53);
    EXPECT_EQ(IsoWeekday(EncodeDate(2026, 12, 8)), 2);  // Tuesday
    EXPECT_EQ(DaysInMonth(2012, 2), 29);
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
}
