#include <gtest/gtest.h>

#include "MondrelError.h"
#include "TestSupport.h"
#include "TimeText.h"

TEST(TimeText, WritesFixedWidthTwentyFourHourTimes) {
    EXPECT_EQ(FormatLongTime(EncodeTime(7, 5, 0, 0)), "07:05:00");
    EXPECT_EQ(FormatLongTime(EncodeTime(23, 59, 59, 0)), "23:59:59");
    EXPECT_EQ(FormatLongTime(EncodeDate(2009, 3, 5) + EncodeTime(0, 0, 0, 0)), "00:00:00");
}

TEST(TimeText, ReadsWhatItWritesAndTolerantForms) {
    for (int minute : {0, 1, 30, 59}) {
        TDateTime t = EncodeTime(13, minute, 7, 0);
        EXPECT_DOUBLE_EQ(ParseTime(FormatLongTime(t)), t);
    }
    EXPECT_DOUBLE_EQ(ParseTime("9:05"), EncodeTime(9, 5, 0, 0));
    EXPECT_DOUBLE_EQ(ParseTime("9:05:30"), EncodeTime(9, 5, 30, 0));
    EXPECT_DOUBLE_EQ(ParseTime("12:00:00 AM"), EncodeTime(0, 0, 0, 0));
    EXPECT_DOUBLE_EQ(ParseTime("12:30 PM"), EncodeTime(12, 30, 0, 0));
    EXPECT_DOUBLE_EQ(ParseTime("1:15:00pm"), EncodeTime(13, 15, 0, 0));
    EXPECT_DOUBLE_EQ(ParseTime("10:30:00.250"), EncodeTime(10, 30, 0, 250));
    EXPECT_DOUBLE_EQ(ParseTime("10:30:00.5"), EncodeTime(10, 30, 0, 500));
}

TEST(TimeText, RejectsTextsThatAreNoTime) {
    for (const char* bad : {"", "8", "8h", "24:00:00", "10:60", "10:5", "13:00 PM", "ab:cd",
                            "1:2:3:4", "10:30:00.", "10:30:00.1234", "10:30.5"}) {
        EXPECT_THROW_MSG(ParseTime(bad), EConvertError,
                         "'" + std::string(bad) + "' is not a valid time");
    }
}
