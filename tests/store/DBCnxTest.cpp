#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "DBCnx.h"
#include "MondrelError.h"
#include "MondrelSchema.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"

namespace {

TMondrelDate Appointment(int64_t id, TDateTime date, TDateTime time, const std::string& text,
                         const std::string& value = "v", const std::string& script = "s") {
    TMondrelDate appointment;
    appointment.ID = id;
    appointment.Date = date;
    appointment.Time = time;
    appointment.Discription = text;
    appointment.Value = value;
    appointment.Script = script;
    return appointment;
}

void ExpectStored(const TMondrelDate& stored, const TMondrelDate& expected) {
    EXPECT_EQ(stored.ID, expected.ID);
    EXPECT_EQ(stored.Date, expected.Date);
    EXPECT_DOUBLE_EQ(stored.Time, expected.Time);
    EXPECT_EQ(stored.Discription, expected.Discription);
    EXPECT_EQ(stored.Value, expected.Value);
    EXPECT_EQ(stored.Script, expected.Script);
    EXPECT_EQ(stored.Done, expected.Done);
}

class DBCnx : public TReadyDatabaseTest {
  protected:
    // Adds an appointment and answers its new ID.
    int64_t Add(TDateTime date, TDateTime time, const std::string& text,
                const std::string& value = "v", const std::string& script = "s") {
        TMondrelDate appointment = Appointment(-1, date, time, text, value, script);
        appointment.Done = 1;  // not written: new rows start open
        AddDate(Path, appointment);
        return std::stoll(QueryText(Path, "SELECT max(ID) FROM Dates"));
    }

    std::vector<std::string> Texts(const TDates& dates) {
        std::vector<std::string> texts;
        for (const TMondrelDate& date : dates) {
            texts.push_back(date.Discription);
        }
        return texts;
    }

    std::vector<std::string> MonthTexts(TDateTime date) {
        return Texts(GetDates(Path, dqMonth, date));
    }
    std::vector<std::string> OpenTexts(TDateTime date) {
        return Texts(GetDates(Path, dqDayOpen, date));
    }
};

using TTexts = std::vector<std::string>;

TEST_F(DBCnx, MonthIncludesFirstAndLastDayOnly) {
    Add(Day(2009, 11, 30), At(10, 0), "november");
    Add(Day(2009, 12, 1), At(10, 1), "first");
    Add(Day(2009, 12, 31), At(10, 2), "last");
    Add(Day(2010, 1, 1), At(10, 3), "january");
    Add(Day(2012, 1, 31), At(9, 0), "jan 31");
    Add(Day(2012, 2, 1), At(9, 1), "feb 1");
    Add(Day(2012, 2, 29), At(9, 2), "feb 29");
    Add(Day(2012, 3, 1), At(9, 3), "mar 1");

    EXPECT_EQ(MonthTexts(Day(2009, 12, 1)), (TTexts{"first", "last"}));
    EXPECT_EQ(MonthTexts(Day(2009, 12, 31) + At(23, 0)), (TTexts{"first", "last"}));
    EXPECT_EQ(MonthTexts(Day(2012, 2, 15)), (TTexts{"feb 1", "feb 29"}));
    EXPECT_EQ(MonthTexts(Day(2010, 1, 20)), (TTexts{"january"}));
    EXPECT_TRUE(MonthTexts(Day(2011, 2, 1)).empty());
}

TEST_F(DBCnx, MonthIsOrderedByTimeTextOnlyAndListsDoneRows) {
    int32_t third = Add(Day(2009, 3, 3), At(9, 0), "3rd at 9");
    Add(Day(2009, 3, 20), At(8, 0), "20th at 8");
    Add(Day(2009, 3, 1), At(23, 59, 59), "1st late");
    SetDateDone(Path, third);

    TDates month = GetDates(Path, dqMonth, Day(2009, 3, 10));
    EXPECT_EQ(Texts(month), (TTexts{"20th at 8", "3rd at 9", "1st late"}));
    const TMondrelDate& row = month[1];
    EXPECT_EQ(row.ID, third);
    EXPECT_EQ(row.Date, Day(2009, 3, 3));
    EXPECT_DOUBLE_EQ(row.Time, At(9, 0));
    EXPECT_EQ(row.Script, "s");
    EXPECT_EQ(row.Value, "") << "Value is not selected for lists";
    EXPECT_EQ(row.Done, 0) << "Done is not selected for lists";
}

TEST_F(DBCnx, DayOpenListsTheDaysOpenRowsByTime) {
    Add(Day(2009, 3, 5), At(18, 0), "evening");
    int32_t done = Add(Day(2009, 3, 5), At(7, 0), "done");
    Add(Day(2009, 3, 5), At(7, 30), "morning");
    Add(Day(2009, 3, 6), At(7, 0), "next day");
    SetDateDone(Path, done);

    EXPECT_EQ(OpenTexts(Day(2009, 3, 5) + At(12, 0)), (TTexts{"morning", "evening"}));
    EXPECT_TRUE(OpenTexts(Day(2009, 3, 4)).empty());
}

TEST_F(DBCnx, AddedRowIsOpenWithFreshIdUntilMarkedDone) {
    int32_t first = Add(Day(2009, 3, 5), At(10, 30), "water plants", "on", "Garden");
    int32_t second = Add(Day(2009, 3, 5), At(11, 0), "feed cat");
    EXPECT_GT(second, first);

    ExpectStored(GetDate(Path, first),
                 Appointment(first, Day(2009, 3, 5), At(10, 30), "water plants", "on", "Garden"));
    EXPECT_EQ(QueryText(Path, "SELECT Time FROM Dates WHERE ID = " + std::to_string(first)),
              "10:30:00");

    SetDateDone(Path, first);
    EXPECT_EQ(GetDate(Path, first).Done, 1);
    EXPECT_EQ(OpenTexts(Day(2009, 3, 5)), (TTexts{"feed cat"}));
}

TEST_F(DBCnx, UpdateRewritesFieldsButKeepsDone) {
    int64_t id = Add(Day(2009, 3, 5), At(10, 30), "old");
    SetDateDone(Path, id);

    TMondrelDate changed = Appointment(id, Day(2009, 4, 1), At(6, 15), "new", "nv", "ns");
    UpdateDate(Path, changed);
    changed.Done = 1;
    ExpectStored(GetDate(Path, id), changed);
    EXPECT_TRUE(OpenTexts(Day(2009, 4, 1)).empty());
}

TEST_F(DBCnx, DeleteRemovesOnlyThatRowAndMissingIdRaises) {
    int32_t gone = Add(Day(2009, 3, 5), At(10, 0), "gone");
    Add(Day(2009, 3, 5), At(11, 0), "kept");
    DeleteDate(Path, gone);
    EXPECT_EQ(MonthTexts(Day(2009, 3, 5)), (TTexts{"kept"}));
    EXPECT_THROW_MSG(GetDate(Path, gone), EConvertError, "'' is not a valid date");
    DeleteDate(Path, 12345);  // deleting what is not there is no error
}

TEST_F(DBCnx, UnreadableStoredTextsRaiseConversionErrors) {
    RunSql(Path, "INSERT INTO Dates (Date, Time) VALUES ('2009-02-1x', '10:00:00')");
    EXPECT_THROW_MSG(GetDates(Path, dqMonth, Day(2009, 2, 1)), EConvertError,
                     "'2009-02-1x' is not a valid date");
    RunSql(Path, "UPDATE Dates SET Date = '2009-03-05', Time = 'ten o''clock'");
    EXPECT_THROW_MSG(GetDates(Path, dqDayOpen, Day(2009, 3, 5)), EConvertError,
                     "'ten o'clock' is not a valid time");
    RunSql(Path, "UPDATE Dates SET Time = '10:00 PM'");
    EXPECT_DOUBLE_EQ(GetDates(Path, dqDayOpen, Day(2009, 3, 5)).at(0).Time, At(22, 0));
}

TEST_F(DBCnx, NewFlagsAreOrdinaryAndKeepNegativeColours) {
    const int32_t systemColor = static_cast<int32_t>(0xFF000018u);
    AddFlag(Path, "Vacation", "Vacation_Var", systemColor);
    AddFlag(Path, "Guests", "Guests_Var", 0x00FF00);
    TFlags flags = GetFlags(Path);
    ASSERT_EQ(flags.size(), 4u) << "two fixed flags come with the file";
    EXPECT_EQ(flags[2].Caption, "Vacation");
    EXPECT_EQ(flags[2].Variable, "Vacation_Var");
    EXPECT_EQ(flags[2].Color, systemColor);
    EXPECT_EQ(flags[2].isFix, 0);
    EXPECT_EQ(flags[3].Color, 0x00FF00);
    EXPECT_EQ(QueryText(Path, "SELECT Color FROM Flags WHERE Caption = 'Vacation'"), "-16777192");
}

TEST_F(DBCnx, DeletedFlagTakesItsDayRowsAlongAndItsIdIsNotReused) {
    AddFlag(Path, "Vacation", "V", 1);
    int64_t id = GetFlags(Path).back().ID;
    SetDayFlags(Path, {id, 1}, Day(2009, 3, 5));
    SetDayFlags(Path, {id}, Day(2009, 3, 6));
    DeleteFlag(Path, id);
    EXPECT_EQ(GetFlags(Path).size(), 2u);
    TDayFlags rows = GetDayFlags(Path, 0);
    ASSERT_EQ(rows.size(), 1u) << "only the other flag's row stays";
    EXPECT_EQ(rows[0].FlagID, 1);

    AddFlag(Path, "Party", "P", 2);
    EXPECT_NE(GetFlags(Path).back().ID, id) << "the old day rows would mark the new flag";
}

TEST_F(DBCnx, SetDayFlagsReplacesExactlyThatDaysRows) {
    TDateTime day = Day(2009, 3, 5);
    SetDayFlags(Path, {1, 2}, Day(2009, 3, 6));
    SetDayFlags(Path, {1}, day);
    SetDayFlags(Path, {2, 7, 2}, day + At(15, 0));

    TDayFlags rows = GetDayFlags(Path, day + At(8, 0));
    ASSERT_EQ(rows.size(), 3u) << "an ID listed twice writes two rows";
    EXPECT_EQ(rows[0].FlagID, 2);
    EXPECT_EQ(rows[1].FlagID, 7);
    EXPECT_EQ(rows[2].FlagID, 2);
    EXPECT_EQ(rows[0].Date, day);
    EXPECT_EQ(GetDayFlags(Path, 0).size(), 5u) << "the zero date reads every day";

    SetDayFlags(Path, {}, day);
    EXPECT_TRUE(GetDayFlags(Path, day).empty());
    TDayFlags all = GetDayFlags(Path, 0);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Date, Day(2009, 3, 6));
}

TEST_F(DBCnx, OneFlagOnManyDaysCountsEachDayOnceAndLeavesOtherRowsAlone) {
    auto rows = [&] {
        return QueryText(Path,
                         "SELECT group_concat(Date || '=' || FlagID, ' ') FROM "
                         "(SELECT Date, FlagID FROM DayFlags ORDER BY Date, FlagID)");
    };
    RunSql(Path,
           "INSERT INTO DayFlags VALUES ('2027-01-02', 2), ('2027-01-03', 1), ('2027-01-03', 1), "
           "('2027-01-05', 1), ('2027-01-05', 1)");
    TDayFlagChanges added = InTransaction(Path, [](TDBTransaction& transaction) {
        return AddFlagToDays(transaction, 1,
                             {Day(2027, 1, 2), Day(2027, 1, 3), Day(2027, 1, 2) + At(12, 0)});
    });
    EXPECT_EQ(added.Changed, 1u);
    EXPECT_EQ(added.Unchanged, 1u) << "a day with the flag, even twice, is already set";
    EXPECT_EQ(added.ChangedDays, std::vector<std::string>{"2027-01-02"});
    EXPECT_EQ(rows(),
              "2027-01-02=1 2027-01-02=2 2027-01-03=1 2027-01-03=1 2027-01-05=1 2027-01-05=1");

    TDayFlagChanges removed = InTransaction(Path, [](TDBTransaction& transaction) {
        return RemoveFlagFromDays(transaction, 1, {Day(2027, 1, 3), Day(2027, 1, 4)});
    });
    EXPECT_EQ(removed.Changed, 1u);
    EXPECT_EQ(removed.Unchanged, 1u);
    EXPECT_EQ(rows(), "2027-01-02=1 2027-01-02=2 2027-01-05=1 2027-01-05=1");

    TDayFlagChanges one = InTransaction(Path, [](TDBTransaction& transaction) {
        return RemoveFlagFromDays(transaction, 1, {Day(2027, 1, 5), Day(2027, 1, 2)},
                                  TFlagRowsOff::One);
    });
    EXPECT_EQ(one.ChangedDays, (std::vector<std::string>{"2027-01-05", "2027-01-02"}));
    EXPECT_EQ(rows(), "2027-01-02=2 2027-01-05=1") << "the day held twice keeps one row";
    EXPECT_EQ(InTransaction(
                  Path, [](TDBTransaction& transaction) { return DaysWithFlag(transaction, 1); }),
              std::set<std::string>{"2027-01-05"});
}

TEST_F(DBCnx, ColorsComeInStoredOrder) {
    RunSql(Path, "DELETE FROM Colors");
    RunSql(Path, "INSERT INTO Colors VALUES (255, 'Red'), (-16777212, 'Menu'), (0, 'Black')");
    TDBColors colors = GetColors(Path);
    ASSERT_EQ(colors.size(), 3u);
    EXPECT_EQ(colors[0].Value, 255);
    EXPECT_EQ(colors[0].Name, "Red");
    EXPECT_EQ(colors[1].Value, static_cast<int32_t>(0xFF000004u));
    EXPECT_EQ(colors[2].Name, "Black");
}

TEST(DBCnxFiles, MissingFileRaisesAndNothingIsCreated) {
    TTempFolder temp;
    for (const std::string& missing :
         {temp.File("nowhere/Mondrel.sdb"), temp.File("Mondrel.sdb")}) {
        const std::string message =
            "Failed to open database \"" + missing + "\": the file does not exist";
        EXPECT_THROW_MSG(GetFlags(missing), ESqliteException, message);
        EXPECT_THROW_MSG(AddFlag(missing, "a", "b", 1), ESqliteException, message);
        EXPECT_THROW_MSG(CheckDatabase(missing), ESqliteException, message);
    }
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

TEST(DBCnxFiles, CheckDatabaseNamesTheFirstMissingTable) {
    TTempFolder temp;
    const std::string path = temp.File("Mondrel.sdb");
    CreateMondrelDatabase(path);
    CheckDatabase(path);
    RunSql(path, "DROP TABLE DayFlags");
    EXPECT_THROW_MSG(CheckDatabase(path), ESqliteException,
                     "Failed to open database \"" + path + "\": no table DayFlags");
    const std::string empty = temp.File("empty.sdb");
    std::ofstream(empty).close();
    EXPECT_THROW_MSG(CheckDatabase(empty), ESqliteException,
                     "Failed to open database \"" + empty + "\": no table Dates");
}

// A file without the tables: every operation names the missing table and shows its statement
// with the values written in.
TEST(DBCnxFiles, MissingTablesAreReportedWithTheStatement) {
    TTempFolder temp;
    const std::string bare = temp.File("bare.sdb");
    std::ofstream(bare).close();
    const TDateTime day = Day(2009, 3, 5);
    TMondrelDate appointment = Appointment(7, day, At(10, 30), "d \"q\"", "v", "s");
    const std::string dates = "Error: no such table: Dates\r\n\r\n";
    const std::string flags = "Error: no such table: Flags\r\n\r\n";
    const std::string dayFlags = "Error: no such table: DayFlags\r\n\r\n";

    EXPECT_THROW_MSG(GetDates(bare, dqMonth, Day(2009, 12, 24)), ESqliteException,
                     dates +
                         "SELECT ID, Date, Time, Discription, Script FROM Dates WHERE Date >= "
                         "\"2009-12-01\" AND Date <= \"2009-12-31\" ORDER BY Time");
    EXPECT_THROW_MSG(GetDates(bare, dqDayOpen, day), ESqliteException,
                     dates +
                         "SELECT ID, Date, Time, Discription, Script FROM Dates WHERE Date = "
                         "\"2009-03-05\" AND Done = 0 ORDER BY Time");
    EXPECT_THROW_MSG(
        GetDate(bare, 7), ESqliteException,
        dates + "SELECT ID, Date, Time, Discription, Value, Script, Done FROM Dates WHERE ID = 7");
    EXPECT_THROW_MSG(AddDate(bare, appointment), ESqliteException,
                     dates +
                         "INSERT INTO Dates (Date, Time, Discription, Value, Script) VALUES "
                         "(\"2009-03-05\", \"10:30:00\", \"d \"q\"\", \"v\", \"s\")");
    EXPECT_THROW_MSG(UpdateDate(bare, appointment), ESqliteException,
                     dates +
                         "UPDATE Dates SET Date = \"2009-03-05\", Time = \"10:30:00\", "
                         "Discription = \"d \"q\"\", Value = \"v\", Script = \"s\" WHERE ID = 7");
    EXPECT_THROW_MSG(SetDateDone(bare, 7), ESqliteException,
                     dates + "UPDATE Dates SET Done = 1 WHERE ID = 7");
    EXPECT_THROW_MSG(DeleteDate(bare, -7), ESqliteException,
                     dates + "DELETE From Dates WHERE ID = -7");
    EXPECT_THROW_MSG(GetFlags(bare), ESqliteException,
                     flags + "SELECT ID, Caption, Variable, Color, isFix FROM Flags");
    EXPECT_THROW_MSG(AddFlag(bare, "c", "v", static_cast<int32_t>(0xFF000018u)), ESqliteException,
                     flags +
                         "INSERT INTO Flags (Caption, Variable, Color) VALUES (\"c\", \"v\", "
                         "-16777192)");
    EXPECT_THROW_MSG(DeleteFlag(bare, 7), ESqliteException,
                     flags + "DELETE From Flags WHERE ID = 7");
    EXPECT_THROW_MSG(GetDayFlags(bare, 0), ESqliteException,
                     dayFlags + "SELECT Date, FlagID FROM DayFlags");
    EXPECT_THROW_MSG(GetDayFlags(bare, day + At(8, 0)), ESqliteException,
                     dayFlags + "SELECT Date, FlagID FROM DayFlags WHERE Date = \"2009-03-05\"");
    EXPECT_THROW_MSG(SetDayFlags(bare, {1, 2}, day), ESqliteException,
                     dayFlags + "DELETE From DayFlags WHERE Date = \"2009-03-05\"");
    EXPECT_THROW_MSG(GetColors(bare), ESqliteException,
                     "Error: no such table: Colors\r\n\r\nSELECT Value, Name FROM Colors");
}

}  // namespace
