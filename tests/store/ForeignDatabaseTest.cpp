#include <gtest/gtest.h>

#include <string>

#include "DBCnx.h"
#include "MondrelError.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"

namespace {

// Database files made by other tools: columns in another order and declared with other types,
// extra columns, no defaults, keys without AUTOINCREMENT, and texts written in other forms.
class ForeignDatabase : public ::testing::Test {
  protected:
    ForeignDatabase() {
        RunSql(Path,
               "CREATE TABLE Dates (Note TEXT DEFAULT 'x', Script VARCHAR(80), Done BOOLEAN, "
               "Value, Discription CLOB, Time TIME, Date DATE, ID INTEGER PRIMARY KEY)");
        RunSql(Path,
               "CREATE TABLE Flags (ID INTEGER PRIMARY KEY, isFix BOOL, Color, Variable, "
               "Caption, Hidden INT)");
        RunSql(Path, "CREATE TABLE DayFlags (FlagID NUMERIC, Date DATETIME)");
        RunSql(Path, "CREATE TABLE Colors (Name, Value NUMERIC)");
    }

    TDateTime TimeOf(int64_t id) { return GetDate(Path, id).Time; }

    TTempFolder Temp;
    std::string Path = Temp.File("Foreign.sdb");
};

TEST_F(ForeignDatabase, AppointmentsWorkWithLooseDeclarationsAndNoDoneDefault) {
    TMondrelDate appointment;
    appointment.Date = Day(2009, 3, 5);
    appointment.Time = At(10, 30);
    appointment.Discription = "water plants";
    appointment.Value = "007";
    appointment.Script = "Garden";
    AddDate(Path, appointment);
    appointment.Time = At(9, 0);
    appointment.Discription = "feed cat";
    AddDate(Path, appointment);

    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates WHERE Done IS NULL"), "0")
        << "a new appointment must be open, not NULL";
    TDates open = GetDates(Path, dqDayOpen, Day(2009, 3, 5));
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[0].Discription, "feed cat");
    EXPECT_EQ(open[1].Discription, "water plants");
    TMondrelDate stored = GetDate(Path, open[1].ID);
    EXPECT_EQ(stored.Value, "007");
    EXPECT_EQ(stored.Script, "Garden");
    EXPECT_DOUBLE_EQ(stored.Time, At(10, 30));

    SetDateDone(Path, open[0].ID);
    stored.Date = Day(2009, 3, 31);
    UpdateDate(Path, stored);
    EXPECT_EQ(GetDates(Path, dqMonth, Day(2009, 3, 1)).size(), 2u);
    EXPECT_TRUE(GetDates(Path, dqDayOpen, Day(2009, 3, 5)).empty());
    EXPECT_EQ(GetDates(Path, dqDayOpen, Day(2009, 3, 31)).size(), 1u);
}

TEST_F(ForeignDatabase, DoneThatMayNotBeNullWithoutDefaultRefusesTheInsertLoudly) {
    RunSql(Path, "DROP TABLE Dates");
    RunSql(Path,
           "CREATE TABLE Dates (ID INTEGER PRIMARY KEY, Date, Time, Discription, Value, Script, "
           "Done INTEGER NOT NULL)");
    TMondrelDate appointment;
    appointment.Date = Day(2009, 3, 5);
    EXPECT_THROW_MSG(
        AddDate(Path, appointment), ESqliteException,
        "Error: NOT NULL constraint failed: Dates.Done\r\n\r\nINSERT INTO Dates (Date, Time, "
        "Discription, Value, Script) VALUES (\"2009-03-05\", \"00:00:00\", \"\", \"\", \"\")");
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates"), "0");
}

TEST_F(ForeignDatabase, OtherTimeFormsReadButSortAsText) {
    RunSql(Path,
           "INSERT INTO Dates (ID, Date, Time, Done) VALUES (1, '2009-03-05', '9:05', 0), "
           "(2, '2009-03-05', '10:30:00 PM', 0), (3, '2009-03-05', '7:05 am', 0), "
           "(4, '2009-03-05', '12:00:00 AM', 0)");
    EXPECT_DOUBLE_EQ(TimeOf(1), At(9, 5));
    EXPECT_DOUBLE_EQ(TimeOf(2), At(22, 30));
    EXPECT_DOUBLE_EQ(TimeOf(3), At(7, 5));
    EXPECT_DOUBLE_EQ(TimeOf(4), 0);

    TDates open = GetDates(Path, dqDayOpen, Day(2009, 3, 5));
    ASSERT_EQ(open.size(), 4u);
    EXPECT_EQ(open[0].ID, 2) << "\"10:30:00 PM\" sorts first as text";
    EXPECT_EQ(open[1].ID, 4);
    EXPECT_EQ(open[2].ID, 3);
    EXPECT_EQ(open[3].ID, 1);
}

TEST_F(ForeignDatabase, UnpaddedDatesReadButMissTheTextComparisons) {
    RunSql(Path, "INSERT INTO Dates (ID, Date, Time, Done) VALUES (1, '2009-3-5', '10:00', 0)");
    RunSql(Path, "INSERT INTO DayFlags (Date, FlagID) VALUES ('09-3-5', 4), ('2009-03-05', 5)");

    EXPECT_EQ(GetDate(Path, 1).Date, Day(2009, 3, 5));
    EXPECT_TRUE(GetDates(Path, dqDayOpen, Day(2009, 3, 5)).empty());
    EXPECT_TRUE(GetDates(Path, dqMonth, Day(2009, 3, 5)).empty());

    TDayFlags all = GetDayFlags(Path, 0);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Date, Day(2009, 3, 5));
    EXPECT_EQ(all[0].FlagID, 4);
    TDayFlags day = GetDayFlags(Path, Day(2009, 3, 5));
    ASSERT_EQ(day.size(), 1u);
    EXPECT_EQ(day[0].FlagID, 5);
}

TEST_F(ForeignDatabase, NullColumnsReadAsEmptyAndZeroButNullDatesAndTimesRaise) {
    RunSql(Path,
           "INSERT INTO Dates (ID, Date, Time, Discription, Value, Script, Done) VALUES "
           "(1, '2009-03-05', '10:00:00', NULL, NULL, NULL, NULL)");
    TMondrelDate stored = GetDate(Path, 1);
    EXPECT_EQ(stored.Discription, "");
    EXPECT_EQ(stored.Value, "");
    EXPECT_EQ(stored.Script, "");
    EXPECT_EQ(stored.Done, 0);
    EXPECT_TRUE(GetDates(Path, dqDayOpen, Day(2009, 3, 5)).empty())
        << "a NULL Done is not an open appointment";
    EXPECT_EQ(GetDates(Path, dqMonth, Day(2009, 3, 5)).size(), 1u);

    RunSql(Path, "UPDATE Dates SET Time = NULL");
    EXPECT_THROW_MSG(GetDate(Path, 1), EConvertError, "'' is not a valid time");
    RunSql(Path, "UPDATE Dates SET Time = '10:00:00', Date = NULL");
    EXPECT_THROW_MSG(GetDate(Path, 1), EConvertError, "'' is not a valid date");

    RunSql(Path,
           "INSERT INTO Flags (ID, Caption, Variable, Color, isFix) VALUES "
           "(1, NULL, NULL, NULL, NULL), (2, 'Fixed', 'V', 4294967295, 1)");
    RunSql(Path, "INSERT INTO DayFlags (Date, FlagID) VALUES ('2009-03-05', NULL)");
    RunSql(Path, "INSERT INTO Colors (Name, Value) VALUES (NULL, NULL), ('White', 16777215)");

    TFlags flags = GetFlags(Path);
    ASSERT_EQ(flags.size(), 2u);
    EXPECT_EQ(flags[0].Caption, "");
    EXPECT_EQ(flags[0].Variable, "");
    EXPECT_EQ(flags[0].Color, 0);
    EXPECT_EQ(flags[0].isFix, 0);
    EXPECT_EQ(flags[1].Color, -1) << "only the low 32 bits count";
    EXPECT_EQ(flags[1].isFix, 1);
    EXPECT_EQ(GetDayFlags(Path, 0).at(0).FlagID, 0);
    TDBColors colors = GetColors(Path);
    ASSERT_EQ(colors.size(), 2u);
    EXPECT_EQ(colors[0].Name, "");
    EXPECT_EQ(colors[0].Value, 0);
    EXPECT_EQ(colors[1].Name, "White");
    EXPECT_EQ(colors[1].Value, 0xFFFFFF);
}

TEST_F(ForeignDatabase, FlagsWorkWithoutAutoincrementAndKeepAddedOrder) {
    AddFlag(Path, "Guests", "Guests_Var", static_cast<int32_t>(0xFF000002u));
    AddFlag(Path, "Vacation", "Vacation_Var", 255);
    TFlags flags = GetFlags(Path);
    ASSERT_EQ(flags.size(), 2u);
    EXPECT_EQ(flags[0].Caption, "Guests");
    EXPECT_EQ(flags[0].Color, static_cast<int32_t>(0xFF000002u));
    EXPECT_EQ(flags[0].isFix, 0);
    EXPECT_NE(flags[0].ID, flags[1].ID);

    SetDayFlags(Path, {flags[1].ID, flags[0].ID}, Day(2009, 3, 5));
    TDayFlags day = GetDayFlags(Path, Day(2009, 3, 5));
    ASSERT_EQ(day.size(), 2u);
    EXPECT_EQ(day[0].FlagID, flags[1].ID);
    EXPECT_EQ(day[1].FlagID, flags[0].ID);
    DeleteFlag(Path, flags[0].ID);
    EXPECT_EQ(GetFlags(Path).size(), 1u);
    EXPECT_EQ(GetDayFlags(Path, 0).size(), 1u) << "the deleted flag's day row goes with it";
}

}  // namespace
