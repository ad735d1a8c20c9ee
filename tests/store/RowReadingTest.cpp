// Rows written by other tools: keys beyond 32 bits, and dates and times the store cannot read,
// which a listing either raises on or leaves out and names.
#include <gtest/gtest.h>

#include "DBCnx.h"
#include "MondrelError.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"

namespace {

using RowReading = TReadyDatabaseTest;

constexpr int64_t BigID = 2147483653;  // 2^31 + 5: its low 32 bits make 5, or a negative key

std::vector<std::string> Described(const TSkippedRows& rows) {
    std::vector<std::string> lines;
    for (const TSkippedRow& row : rows) {
        lines.push_back(DescribeSkippedRow(row));
    }
    return lines;
}

TEST_F(RowReading, KeysBeyond32BitsWorkInEveryOperation) {
    RunSql(Path,
           "INSERT INTO Dates (ID, Date, Time, Discription, Script, Done) VALUES "
           "(5, '2026-12-08', '09:00:00', 'small', 's', 0), "
           "(2147483653, '2026-12-08', '10:00:00', 'big', 'b', 0)");
    TDates open = GetDates(Path, dqDayOpen, Day(2026, 12, 8));
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[1].ID, BigID);
    TMondrelDate big = GetDate(Path, BigID);
    EXPECT_EQ(big.Discription, "big");

    big.Discription = "bigger";
    UpdateDate(Path, big);
    SetDateDone(Path, BigID);
    EXPECT_EQ(QueryText(Path, "SELECT Discription || Done FROM Dates WHERE ID = 2147483653"),
              "bigger1");
    EXPECT_EQ(GetDate(Path, 5).Discription, "small") << "the small row is untouched";
    DeleteDate(Path, BigID);
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates"), "1");

    // A new row after a large key gets a larger one.
    AddDate(Path, big);
    EXPECT_GT(GetDates(Path, dqMonth, Day(2026, 12, 1)).back().ID, BigID);

    RunSql(Path,
           "INSERT INTO Flags (ID, Caption, Variable, Color) VALUES (4294967297, 'F', 'V', 1)");
    ASSERT_EQ(GetFlags(Path).back().ID, 4294967297);
    SetDayFlags(Path, {4294967297}, Day(2026, 12, 8));
    TDayFlags day = GetDayFlags(Path, Day(2026, 12, 8));
    ASSERT_EQ(day.size(), 1u);
    EXPECT_EQ(day[0].FlagID, 4294967297);
    DeleteFlag(Path, 4294967297);
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Flags WHERE ID = 4294967297"), "0");
}

TEST_F(RowReading, UnreadableRowsRaiseUnlessTheCallerTakesThemApart) {
    RunSql(Path,
           "INSERT INTO Dates (ID, Date, Time, Discription, Done) VALUES "
           "(1, '2026-12-08', '08:00:00', 'good', 0), (2, '2026-12-08', 'abc', 'letters', 0), "
           "(3, '2026-12-08', '9:5:00', 'short minute', 0), "
           "(4, '2026-12-08', '24:00:00', 'midnight', 0), (5, '2026-12-08', NULL, 'null', 0), "
           "(6, '2026-12-08', '23:59:59', 'late', 0), (7, '2026-12-0x', '10:00:00', 'day', 0)");
    EXPECT_THROW_MSG(GetDates(Path, dqDayOpen, Day(2026, 12, 8)), EConvertError,
                     "'' is not a valid time");

    TSkippedRows skipped;
    TDates open = GetDates(Path, dqDayOpen, Day(2026, 12, 8), &skipped);
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[0].Discription, "good");
    EXPECT_EQ(open[1].Discription, "late");
    // In the order of the query: by the time text, NULL first.
    EXPECT_EQ(Described(skipped),
              (std::vector<std::string>{"Unreadable row in Dates: ID 5, Time NULL",
                                        "Unreadable row in Dates: ID 4, Time \"24:00:00\"",
                                        "Unreadable row in Dates: ID 3, Time \"9:5:00\"",
                                        "Unreadable row in Dates: ID 2, Time \"abc\""}));
    EXPECT_EQ(skipped[3].Table, "Dates");
    EXPECT_EQ(skipped[3].ID, 2);
    EXPECT_EQ(skipped[3].Column, "Time");
    EXPECT_EQ(skipped[3].Text, "abc");
    EXPECT_FALSE(skipped[3].Null);
    EXPECT_TRUE(skipped[0].Null);

    skipped.clear();
    TDates month = GetDates(Path, dqMonth, Day(2026, 12, 1), &skipped);
    EXPECT_EQ(month.size(), 2u);
    ASSERT_EQ(skipped.size(), 5u);
    EXPECT_EQ(DescribeSkippedRow(skipped[1]), "Unreadable row in Dates: ID 7, Date \"2026-12-0x\"");

    RunSql(Path,
           "INSERT INTO DayFlags (Date, FlagID) VALUES ('2026-12-08', 1), ('08.12.2026', 2), "
           "(NULL, 1)");
    EXPECT_THROW_MSG(GetDayFlags(Path, 0), EConvertError, "'08.12.2026' is not a valid date");
    skipped.clear();
    TDayFlags flags = GetDayFlags(Path, 0, &skipped);
    ASSERT_EQ(flags.size(), 1u);
    EXPECT_EQ(flags[0].FlagID, 1);
    EXPECT_EQ(Described(skipped),
              (std::vector<std::string>{"Unreadable row in DayFlags: FlagID 2, Date \"08.12.2026\"",
                                        "Unreadable row in DayFlags: FlagID 1, Date NULL"}));
}

TEST_F(RowReading, AFailureOfTheWholeFileStillRaises) {
    TSkippedRows skipped;
    RunSql(Path, "DROP TABLE Dates");
    EXPECT_THROW_MSG(GetDates(Path, dqDayOpen, Day(2026, 12, 8), &skipped), ESqliteException,
                     "Error: no such table: Dates\r\n\r\nSELECT ID, Date, Time, Discription, "
                     "Script FROM Dates WHERE Date = \"2026-12-08\" AND Done = 0 ORDER BY Time");
    EXPECT_THROW_MSG(
        GetDates(Temp.File("missing/x.sdb"), dqMonth, Day(2026, 12, 8), &skipped), ESqliteException,
        "Failed to open database \"" + Temp.File("missing/x.sdb") + "\": the file does not exist");
    EXPECT_TRUE(skipped.empty());
}

}  // namespace
