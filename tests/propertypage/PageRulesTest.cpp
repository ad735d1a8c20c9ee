#include <gtest/gtest.h>

#include <fstream>

#include "PageRules.h"
#include "StoreTestSupport.h"

TEST(PageRules, FormatTimeShowsHourAndMinuteWithTwoDigits) {
    EXPECT_EQ(FormatTime(At(7, 5)), "07:05");
    EXPECT_EQ(FormatTime(At(0, 0)), "00:00");
    EXPECT_EQ(FormatTime(At(23, 59, 59)), "23:59");
}

TEST(PageRules, ParseIntegerTakesSignAndDigitsOnly) {
    EXPECT_EQ(ParseInteger("9"), 9);
    EXPECT_EQ(ParseInteger("-3"), -3);
    EXPECT_EQ(ParseInteger("+24"), 24);
    EXPECT_EQ(ParseInteger(" 8 "), 8);
    EXPECT_EQ(ParseInteger(""), std::nullopt);
    EXPECT_EQ(ParseInteger("8h"), std::nullopt);
    EXPECT_EQ(ParseInteger("-"), std::nullopt);
    EXPECT_EQ(ParseInteger("1.5"), std::nullopt);
    EXPECT_EQ(ParseInteger("99999999999"), std::nullopt);
}

TEST(PageRules, DatabaseFileNameInAnyLetterCase) {
    EXPECT_TRUE(HasDatabaseFileName("/data/Mondrel.sdb"));
    EXPECT_TRUE(HasDatabaseFileName("/data/mONDREL.SdB"));
    EXPECT_TRUE(HasDatabaseFileName("mondrel.sdb"));
    EXPECT_FALSE(HasDatabaseFileName("/data/mondrel.db"));
    EXPECT_FALSE(HasDatabaseFileName("/data/mondrel.sdb/"));
    EXPECT_FALSE(HasDatabaseFileName("/mondrel.sdb/other.sdb"));
    EXPECT_FALSE(HasDatabaseFileName(""));
}

TEST(PageRules, DatabasePathNeedsAnExistingFile) {
    TTempFolder temp;
    std::string path = temp.File("MONDREL.sdb");
    EXPECT_FALSE(IsDatabasePathAcceptable(path));
    std::ofstream(path) << "x";
    EXPECT_TRUE(IsDatabasePathAcceptable(path));
    // A folder of that name is no database file.
    std::filesystem::create_directory(temp.File("sub"));
    std::filesystem::create_directory(temp.File("sub/mondrel.sdb"));
    EXPECT_FALSE(IsDatabasePathAcceptable(temp.File("sub/mondrel.sdb")));
}

TEST(PageRules, FlagGridColumnWidthsDropRemainders) {
    TFlagGridWidths widths = FlagGridColumnWidths(290);
    EXPECT_EQ(widths.Caption, 90);
    EXPECT_EQ(widths.Variable, 150);
    EXPECT_EQ(widths.Color, 26);
}

TEST(PageRules, DayMarksCarryTheFlagColourOrStayPlain) {
    TFlags flags{{1, "Holiday", "V1", 0x0000FF, 0}, {2, "Trash", "V2", 0x00FF00, 0}};
    TDayFlags dayFlags{{2, Day(2024, 3, 5)}, {7, Day(2024, 3, 6)}, {1, Day(2024, 3, 7)}};
    TTermine marks = BuildDayMarks(dayFlags, flags);
    ASSERT_EQ(marks.size(), 1u);
    ASSERT_EQ(marks[0].size(), 3u);
    EXPECT_EQ(marks[0][0].Date, Day(2024, 3, 5));
    EXPECT_EQ(marks[0][0].Color, 0x00FF00);
    EXPECT_EQ(marks[0][0].Style, fsBold);
    // The flag of this row is gone: a plain mark, still handed over.
    EXPECT_EQ(marks[0][1].Color, 0);
    EXPECT_EQ(marks[0][1].Style, 0);
    EXPECT_EQ(marks[0][2].Color, 0x0000FF);
    EXPECT_TRUE(BuildDayMarks({}, flags)[0].empty());
}

TEST(PageRules, CaptionsSelectEveryFlagOfThatCaption) {
    TFlags flags{{1, "A", "", 0, 0}, {2, "B", "", 0, 0}, {3, "A", "", 0, 1}};
    EXPECT_EQ(FlagIdsForCaptions({"B", "A"}, flags), (TIntegerArray{2, 1, 3}));
    EXPECT_EQ(FlagIdsForCaptions({"A", "A"}, flags), (TIntegerArray{1, 3}));
    EXPECT_TRUE(FlagIdsForCaptions({"gone"}, flags).empty());
    EXPECT_TRUE(DayCarriesCaption({{3, Day(2024, 3, 1)}}, flags, "A"));
    EXPECT_FALSE(DayCarriesCaption({{3, Day(2024, 3, 1)}}, flags, "B"));
    EXPECT_EQ(FindColorValue({{5, "Red"}, {6, "Red"}}, "Red"), 5);
    EXPECT_EQ(FindColorValue({{5, "Red"}}, "red"), std::nullopt);
}
