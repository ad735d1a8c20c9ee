#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "DBCnx.h"
#include "DayFlagTestSupport.h"

namespace {

using namespace std::chrono;

class Weekends : public TDayFlagCommandTest {};

TEST_F(Weekends, A2027RunFlagsItsSaturdaysAndSundaysAndASecondRunAddsNothing) {
    TRun run = RunTool({"weekends", Path, "--year", "2027"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "104 days flagged Weekend, 0 already set\n");
    EXPECT_EQ(run.Err, "");
    std::vector<std::string> days = FlaggedDays(WeekendFlag);
    ASSERT_EQ(days.size(), 104u);
    EXPECT_EQ(days.front(), "2027-01-02");
    EXPECT_EQ(days.back(), "2027-12-26");
    for (const std::string& day : days) {
        weekday weekday{sys_days(ToSysDays(DBTextToDate(day, '-')))};
        EXPECT_TRUE(weekday == Saturday || weekday == Sunday) << day;
    }

    TRun again = RunTool({"weekends", Path, "--year=2027"});
    ASSERT_EQ(again.Exit, 0) << again.Err;
    EXPECT_EQ(again.Out, "0 days flagged Weekend, 104 already set\n");
    EXPECT_EQ(FlaggedDays(WeekendFlag), days);
}

TEST_F(Weekends, ClearTakesOnlyThatFlagOffTheChosenDays) {
    const std::string before = OtherTables();
    RunSql(Path,
           "INSERT INTO DayFlags VALUES ('2027-01-02', 2), ('2027-01-02', 1), "
           "('2027-01-09', 1), ('2026-12-27', 1)");
    TRun run = RunTool({"weekends", Path, "--from", "2027-01-01", "--to", "2027-01-31"});
    EXPECT_EQ(run.Out, "8 days flagged Weekend, 2 already set\n");

    TRun cleared =
        RunTool({"weekends", Path, "--clear", "--from", "2027-01-01", "--to", "2027-01-07"});
    ASSERT_EQ(cleared.Exit, 0) << cleared.Err;
    EXPECT_EQ(cleared.Out, "2 days cleared of Weekend, 0 not set\n");
    std::vector<std::string> left = FlaggedDays(WeekendFlag);
    EXPECT_EQ(left.size(), 9u);
    EXPECT_EQ(left.front(), "2026-12-27") << "days outside the range keep the flag";
    EXPECT_EQ(left[1], "2027-01-09");
    EXPECT_EQ(FlaggedDays(HolidayFlag), std::vector<std::string>{"2027-01-02"});
    EXPECT_EQ(OtherTables(), before);

    EXPECT_EQ(RunTool({"weekends", Path, "--clear", "--year", "2027"}).Out,
              "8 days cleared of Weekend, 96 not set\n");
    EXPECT_EQ(FlaggedDays(WeekendFlag), std::vector<std::string>{"2026-12-27"});
}

TEST_F(Weekends, DaysAndFlagChooseOtherWeekdaysAndAnotherFlag) {
    AddFlag(Path, "Bins", "Bins", 0xFF);
    TRun run = RunTool({"weekends", Path, "--days", "mon,FRI", "--flag", "Bins", "--from",
                        "2027-01-01", "--to", "2027-01-14"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "4 days flagged Bins, 0 already set\n");
    EXPECT_EQ(FlaggedDays(3),
              (std::vector<std::string>{"2027-01-01", "2027-01-04", "2027-01-08", "2027-01-11"}));
    EXPECT_EQ(
        RunTool({"weekends", Path, "--days", "wed", "--from", "2027-01-06", "--to", "2027-01-06"})
            .Out,
        "1 day flagged Weekend, 0 already set\n");
}

// A file another tool made with exactly the specified columns: no AUTOINCREMENT, no index,
// flags in another order.
TEST(WeekendsOnAForeignFile, FlagsItAndLeavesFlagsDatesAndColorsAlone) {
    TTempFolder temp;
    std::string path = temp.File("Mondrel.sdb");
    for (const char* sql : {
             "CREATE TABLE Dates (ID INTEGER PRIMARY KEY, Date TEXT, Time TEXT, Discription TEXT, "
             "Value TEXT, Script TEXT, Done INTEGER DEFAULT 0)",
             "CREATE TABLE Flags (ID INTEGER PRIMARY KEY, Caption TEXT, Variable TEXT, Color "
             "INTEGER, isFix INTEGER)",
             "CREATE TABLE DayFlags (Date TEXT, FlagID INTEGER)",
             "CREATE TABLE Colors (Value INTEGER, Name TEXT)",
             "INSERT INTO Flags VALUES (5, 'Feiertag', 'Mondrel_IsPublicHoliday', 255, NULL), "
             "(9, 'Wochenende', 'Mondrel_IsWeekend', 65280, 1)",
             "INSERT INTO Dates (Date, Time, Discription) VALUES ('2027-01-02', '08:00:00', 'x')",
             "INSERT INTO Colors VALUES (255, 'Rot')",
             "INSERT INTO DayFlags VALUES ('2027-01-02', 5)",
         }) {
        RunSql(path, sql);
    }
    auto snapshot = [&] {
        return QueryText(path,
                         "SELECT (SELECT group_concat(ID || Caption || Variable || Color || "
                         "ifnull(isFix, 'null')) FROM Flags) || (SELECT group_concat(ID || Date "
                         "|| Time || Done) FROM Dates) || (SELECT group_concat(Value || Name) "
                         "FROM Colors)");
    };
    const std::string before = snapshot();

    TRun run = RunTool({"weekends", path, "--year", "2027"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "104 days flagged Wochenende, 0 already set\n");
    TRun holidays = RunTool({"holidays", path, "--region", "de-by", "--year", "2027"});
    ASSERT_EQ(holidays.Exit, 0) << holidays.Err;
    EXPECT_EQ(holidays.Out.rfind("13 days flagged Feiertag, 0 already set", 0), 0u) << holidays.Out;
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM DayFlags WHERE FlagID = 9"), "104");
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM DayFlags WHERE FlagID = 5"), "14");
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM DayFlags WHERE FlagID NOT IN (5, 9)"), "0");
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM sqlite_master WHERE type <> 'table'"), "0")
        << "the tool adds no index or table to the file";
}

TEST_F(Weekends, AWriteThatFailsLeavesTheFileAsItWas) {
    RunSql(Path,
           "CREATE TRIGGER RefuseJune BEFORE INSERT ON DayFlags WHEN NEW.Date = "
           "'2027-06-05' BEGIN SELECT RAISE(ABORT, 'no June'); END");
    TRun run = RunTool({"weekends", Path, "--year", "2027"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err.rfind("mondrel-db: Error: no June; INSERT INTO DayFlags", 0), 0u) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1);
    EXPECT_EQ(Count("SELECT count(*) FROM DayFlags"), "0");
}

}  // namespace
