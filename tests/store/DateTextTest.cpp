#include <gtest/gtest.h>

#include "DBCnx.h"
#include "MondrelError.h"
#include "StoreTestSupport.h"

namespace {

TEST(DateText, WritesPaddedMonthAndDayWithTheGivenSeparator) {
    EXPECT_EQ(DateToDBText('-', Day(2010, 1, 1)), "2010-01-01");
    EXPECT_EQ(DateToDBText('-', Day(2009, 12, 31)), "2009-12-31");
    EXPECT_EQ(DateToDBText('/', Day(2012, 2, 29)), "2012/02/29");
    EXPECT_EQ(DateToDBText('-', Day(2009, 3, 5) + At(23, 59, 59)), "2009-03-05")
        << "the time of day is dropped";
    EXPECT_EQ(DateToDBText('-', Day(1850, 6, 7)), "1850-06-07");
}

TEST(DateText, RefusesYearsBeforeHundredAndReadsTwoDigitYearsInTheWindow) {
    for (TDateTime early : {Day(1, 1, 1), Day(50, 6, 1), Day(99, 12, 31)}) {
        EXPECT_THROW_MSG(
            DateToDBText('-', early), EConvertError,
            "The date " + std::to_string(early) + " lies outside 0100-01-01 to 9999-12-31");
    }
    EXPECT_EQ(DateToDBText('-', Day(100, 1, 1)), "100-01-01");

    EXPECT_EQ(DBTextToDate("09-03-05", '-'), Day(2009, 3, 5));
    EXPECT_EQ(DBTextToDate("0-1-1", '-'), Day(2000, 1, 1));
    EXPECT_EQ(DBTextToDate("50-03-05", '-'), Day(2050, 3, 5));
    EXPECT_EQ(DBTextToDate("51-03-05", '-'), Day(1951, 3, 5));
    EXPECT_EQ(DBTextToDate("99-03-05", '-'), Day(1999, 3, 5));
}

TEST(DateText, ReadsUnpaddedFieldsAndOtherSeparators) {
    EXPECT_EQ(DBTextToDate("2009-3-5", '-'), Day(2009, 3, 5));
    EXPECT_EQ(DBTextToDate("2012-02-29", '-'), Day(2012, 2, 29));
    EXPECT_EQ(DBTextToDate("2009/03/05", '/'), Day(2009, 3, 5));
    EXPECT_EQ(DBTextToDate("2009-003-0005", '-'), Day(2009, 3, 5));
}

TEST(DateText, RaisesForTextsThatNameNoDay) {
    for (const char* bad :
         {"2009-02-30", "2009-13-01", "2009-00-10", "2009-01-00", "2009/03/05", "", "20090305",
          "2009-03", "-03-05", "2009--05", "2009-03-", "2009-03-05-01", "2009-03-05 ",
          " 2009-03-05", "2009-0x-05", "+2009-03-05", "2009-03-5.0", "99999999999-01-01"}) {
        EXPECT_THROW_MSG(DBTextToDate(bad, '-'), EConvertError,
                         "'" + std::string(bad) + "' is not a valid date");
    }
}

TEST(DateText, EveryDayRoundTripsAndSortsAsText) {
    std::string previous;
    for (TDateTime day = Day(1951, 1, 1); day <= Day(2050, 12, 31); day += 1) {
        std::string text = DateToDBText('-', day);
        ASSERT_EQ(DBTextToDate(text, '-'), day) << text;
        ASSERT_LT(previous, text);
        previous = text;
    }
}

}  // namespace
