// Rows written by other tools: keys beyond 32 bits.
#include <gtest/gtest.h>

#include "DBCnx.h"
#include "MondrelError.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"

namespace {

using RowReading = TReadyDatabaseTest;

constexpr int64_t BigID = 2147483653;  // 2^31 + 5: its low 32 bits make 5, or a negative key

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

}  // namespace
