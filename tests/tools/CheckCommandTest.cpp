// mondrel-db check and check --fix on files made by init and on files made with plain SQL, as
// another tool would leave them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Clock.h"
#include "DBCnx.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The four tables as another tool might declare them: no index, Done without a default.
const std::vector<std::string> PlainTables = {
    "CREATE TABLE Dates (ID INTEGER PRIMARY KEY, Date TEXT, Time TEXT, Discription TEXT, "
    "Value TEXT, Script TEXT, Done INTEGER)",
    "CREATE TABLE Flags (ID INTEGER PRIMARY KEY, Caption TEXT, Variable TEXT, Color INTEGER, "
    "isFix INTEGER)",
    "CREATE TABLE DayFlags (Date TEXT, FlagID INTEGER)",
    "CREATE TABLE Colors (Value INTEGER, Name TEXT)",
};

class CheckCommand : public ::testing::Test {
  protected:
    TTempFolder Temp;
    std::string Path = Temp.File("Mondrel.sdb");
    // Today for the tool: 2026-06-15 at 12:00.
    TScopedClock Clock{EncodeDate(2026, 6, 15) + EncodeTime(12, 0, 0, 0)};

    void Sql(const std::vector<std::string>& statements) {
        for (const std::string& statement : statements) {
            RunSql(Path, statement);
        }
    }
    // An appointment row written as plain SQL: every value as given, unchecked.
    void Row(int id, const std::string& date, const std::string& time, const std::string& done,
             const std::string& script = "'Script'") {
        RunSql(Path,
               "INSERT INTO Dates (ID, Date, Time, Discription, Value, Script, Done) "
               "VALUES (" +
                   std::to_string(id) + ", " + date + ", " + time + ", 'Row " + std::to_string(id) +
                   "', '', " + script + ", " + done + ")");
    }
    TRun Check() { return RunTool({"check", Path}); }
    static bool Has(const TRun& run, const std::string& line) {
        for (const std::string& l : Lines(run.Out)) {
            if (l == line) {
                return true;
            }
        }
        return false;
    }
};

}  // namespace

TEST_F(CheckCommand, AFileFromInitIsClean) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    TRun run = Check();
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "0 errors, 0 warnings, 0 notes\n");
    EXPECT_EQ(run.Err, "");
}

TEST_F(CheckCommand, MissingTablesAndColumnsAreErrors) {
    Sql(
        {"CREATE TABLE Dates (ID INTEGER PRIMARY KEY, Date TEXT, Time TEXT, Discription TEXT, "
         "Script TEXT, Done INTEGER DEFAULT 0)",
         "CREATE TABLE Flags (ID INTEGER PRIMARY KEY, Caption TEXT, Variable TEXT, Color INTEGER)",
         "CREATE TABLE DayFlags (Date TEXT, FlagID INTEGER)",
         "CREATE INDEX A ON Dates (Date, Done, Time)", "CREATE INDEX B ON DayFlags (Date)"});
    TRun run = Check();
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(Lines(run.Out),
              (std::vector<std::string>{
                  "error  missing column  Dates.Value", "error  missing column  Flags.isFix",
                  "error  missing table  Colors", "3 errors, 0 warnings, 0 notes"}));
}

// What another program left in the file: each is a finding of its own.
TEST_F(CheckCommand, AViewTriggersSharedVariablesAndFlagsWithoutCaptionAreFound) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    Sql({"CREATE TRIGGER reopen AFTER UPDATE ON Dates BEGIN UPDATE Dates SET Done = 0; END",
         "INSERT INTO Flags (Caption, Variable, Color) VALUES ('Off', 'Mondrel_IsWeekend', 1), "
         "(NULL, 'Other', 1)",
         "ALTER TABLE Colors RENAME TO RealColors",
         "CREATE VIEW Colors AS SELECT * FROM RealColors"});
    TRun run = Check();
    EXPECT_EQ(run.Exit, 1);
    std::vector<std::string> lines = Lines(run.Out);
    auto has = [&](const std::string& start) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.rfind(start, 0) == 0; });
    };
    EXPECT_TRUE(has("error  table is a view  Colors: ")) << run.Out;
    EXPECT_TRUE(has("error  flag without caption  ID ")) << run.Out;
    EXPECT_TRUE(has("warning  trigger  \"reopen\" on Dates ")) << run.Out;
    EXPECT_TRUE(has("warning  flags share a variable  \"Mondrel_IsWeekend\" is set by "))
        << run.Out;
}

TEST_F(CheckCommand, RowsTheModuleCannotReadOrNeverFiresAreErrorsWithTheirText) {
    Sql(PlainTables);
    Sql({"CREATE INDEX A ON Dates (Date, Done, Time)", "CREATE INDEX B ON DayFlags (Date)",
         "INSERT INTO Flags (ID, Caption, Variable, Color) VALUES (1, 'Weekend', 'W', 0)",
         "INSERT INTO DayFlags (Date, FlagID) VALUES ('2026-06-13', 1), ('2026-06-14', 7), "
         "('13.6.2026', 1)"});
    Row(1, "'2026-06-16'", "'10:00:00'", "0");
    Row(17, "'2026-06-16'", "'abc'", "0");
    Row(18, "'2026-02-30'", "'10:00:00'", "1");
    Row(19, "NULL", "'10:00:00'", "1");
    Row(20, "'2027-3-5'", "'10:00:00'", "0");
    Row(21, "'2026-06-20'", "'10:00:00'", "NULL");
    Row(22, "'2026-06-20'", "'10:00:00'", "'no'");
    Row(23, "'2026-06-20'", "'9:30 PM'", "1");  // readable in another form: fine

    TRun run = Check();
    EXPECT_EQ(run.Exit, 1);
    for (const char* line : {
             "error  unreadable Time  ID 17: \"abc\"",
             "error  unreadable Date  ID 18: \"2026-02-30\"",
             "error  unreadable Date  ID 19: NULL",
             "error  Date not in stored form  ID 20: \"2027-3-5\" never matches a day (stored "
             "form 2027-03-05)",
             "error  Done never open  ID 21: NULL is never read as open, so it never fires",
             "error  Done never open  ID 22: \"no\" is never read as open, so it never fires",
             "error  unreadable DayFlags Date  row 3: \"13.6.2026\" (the page cannot load its "
             "day flags)",
             "error  day flag of no flag  row 2: \"2026-06-14\" names flag ID 7, which does not "
             "exist",
         }) {
        EXPECT_TRUE(Has(run, line)) << line << "\n" << run.Out;
    }
    EXPECT_EQ(Lines(run.Out).back(), "8 errors, 0 warnings, 0 notes");
}

TEST_F(CheckCommand, MissingAndOlderIndexesAreWarningsWithTheRowCount) {
    Sql(PlainTables);
    for (int id = 1; id <= 3; ++id) {
        Row(id, "'2026-06-20'", "'10:00:00'", "0");
    }
    TRun run = Check();
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(Lines(run.Out),
              (std::vector<std::string>{
                  "warning  missing index  Dates (Date, Done, Time): each tick and each page view "
                  "reads all 3 rows of Dates",
                  "warning  missing index  DayFlags (Date): the tick in minute 0 of each hour "
                  "reads all 0 rows of DayFlags",
                  "0 errors, 2 warnings, 0 notes"}));

    Sql({"CREATE INDEX Old ON Dates (Date)", "CREATE INDEX B ON DayFlags (Date)"});
    run = Check();
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(Lines(run.Out),
              (std::vector<std::string>{
                  "warning  older index  Dates (Date): present but slower; each tick reads every "
                  "appointment of the day, done or not (3 rows in Dates); (Date, Done, Time) "
                  "reads only the open ones",
                  "0 errors, 1 warning, 0 notes"}));
}

TEST_F(CheckCommand, OpenRowsOfEarlierDaysAndBlankScriptsAreNotes) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    Row(5, "'2026-06-14'", "'08:00:00'", "0");
    Row(6, "'2026-06-14'", "'09:00:00'", "1");
    Row(7, "'2026-06-15'", "'13:00:00'", "0", "' \t'");
    Row(8, "'2026-06-18'", "'13:00:00'", "0", "''");
    Row(9, "'2026-06-18'", "'13:00:00'", "1", "''");
    Row(10, "'2026-06-18'", "'14:00:00'", "0", "char(127, 32)");  // the module never runs it
    TRun run = Check();
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(Lines(run.Out),
              (std::vector<std::string>{
                  "note  missed appointment  ID 5: 2026-06-14 08:00:00 \"Row 5\" is open but its "
                  "day has passed; it never fires",
                  "note  blank script  ID 7: 2026-06-15 13:00:00 \"Row 7\" sets the trigger "
                  "variable every minute of its day and never finishes",
                  "note  blank script  ID 8: 2026-06-18 13:00:00 \"Row 8\" sets the trigger "
                  "variable every minute of its day and never finishes",
                  "note  blank script  ID 10: 2026-06-18 14:00:00 \"Row 10\" sets the trigger "
                  "variable every minute of its day and never finishes",
                  "0 errors, 0 warnings, 4 notes"}));
}

TEST_F(CheckCommand, AtMostTwentyLinesOfEachKindOfFinding) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    for (int id = 1; id <= 25; ++id) {
        Row(id, "'2026-06-20'", "'x" + std::to_string(id) + "'", "0");
    }
    Row(30, "'2026-06-20'", "'10:00'", "'no'");
    TRun run = Check();
    EXPECT_EQ(run.Exit, 1);
    std::vector<std::string> lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 23u) << run.Out;
    EXPECT_EQ(lines[0], "error  unreadable Time  ID 1: \"x1\"");
    EXPECT_EQ(lines[19], "error  unreadable Time  ID 20: \"x20\"");
    EXPECT_EQ(lines[20], "\u2026 and 5 more");
    EXPECT_EQ(lines[21].rfind("error  Done never open  ID 30:", 0), 0u) << lines[21];
    EXPECT_EQ(lines[22], "26 errors, 0 warnings, 0 notes");
}

TEST_F(CheckCommand, FixAddsIndexesAndOpensDoneInOneGoAndTouchesNothingElse) {
    Sql(PlainTables);
    Sql({"CREATE INDEX Old ON Dates (Date)",
         "INSERT INTO DayFlags (Date, FlagID) VALUES ('2026-06-14', 7)"});
    Row(1, "'2026-06-15'", "'10:00:00'", "NULL");  // today: fires at the next tick
    Row(2, "'2026-06-20'", "'10:00:00'", "'yes'");
    Row(3, "'2026-06-20'", "'abc'", "1");
    Row(4, "'2026-06-10'", "'10:00:00'", "NULL");  // earlier day: opened, but never fires
    TRun fixed = RunTool({"check", Path, "--fix"});
    for (const char* line : {
             "fixed  added index  CREATE INDEX DatesByDateDoneTime ON Dates (Date, Done, Time)",
             "fixed  added index  CREATE INDEX DayFlagsByDate ON DayFlags (Date)",
             "fixed  Done set to 0  ID 1: was NULL",
             "fixed  Done set to 0  ID 2: was \"yes\"",
             "fixed  Done set to 0  ID 4: was NULL",
             "warning  opened today  ID 1: 10:00:00 \"Row 1\" fires at the next tick",
         }) {
        EXPECT_TRUE(Has(fixed, line)) << line << "\n" << fixed.Out;
    }
    EXPECT_EQ(fixed.Exit, 1) << "errors --fix does not touch remain";

    TRun after = Check();
    EXPECT_EQ(after.Exit, 1);
    EXPECT_EQ(Lines(after.Out),
              (std::vector<std::string>{
                  "error  unreadable Time  ID 3: \"abc\"",
                  "error  day flag of no flag  row 1: \"2026-06-14\" names flag ID 7, which does "
                  "not exist",
                  "note  missed appointment  ID 4: 2026-06-10 10:00:00 \"Row 4\" is open but its "
                  "day has passed; it never fires",
                  "2 errors, 0 warnings, 1 note"}));
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates"), "4");
    EXPECT_EQ(QueryText(Path,
                        "SELECT group_concat(row) FROM (SELECT ID || ':' || Done AS row FROM Dates "
                        "ORDER BY ID)"),
              "1:0,2:0,3:1,4:0");
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM DayFlags"), "1");
    EXPECT_EQ(GetDates(Path, dqDayOpen, EncodeDate(2026, 6, 15)).size(), 1u);
}

TEST_F(CheckCommand, ArgumentsAndUnreadableFiles) {
    EXPECT_EQ(RunTool({"check"}).Exit, 2);
    EXPECT_EQ(RunTool({"check", Path, "--repair"}).Exit, 2);
    TRun missing = Check();
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_NE(missing.Err.find(Path), std::string::npos) << missing.Err;
    EXPECT_FALSE(std::filesystem::exists(Path)) << "check never leaves a file behind";
}

TEST_F(CheckCommand, WhatCheckCallsUnreadableIsExactlyWhatTheStoreSkips) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"'2026-06-10'", "'10:00:00'"}, {"'2026-06-10'", "'abc'"},
        {"'2026-06-10'", "''"},         {"'2026-06-10'", "'25:00'"},
        {"'2026-06-10'", "'9:30 PM'"},  {"'2026-06-10'", "NULL"},
        {"'2026-06-10'", "'7:05'"},     {"'2026-06-1x'", "'10:00'"},
        {"'2026-06-11'", "'12:60'"},    {"'2026-06-12'", "'10:00:00.250'"}};
    for (size_t i = 0; i < rows.size(); ++i) {
        Row(static_cast<int>(i + 1), rows[i].first, rows[i].second, "1");
    }
    TSkippedRows skipped;
    GetDates(Path, dqMonth, EncodeDate(2026, 6, 1), &skipped);
    std::set<std::string> storeSkips;
    for (const TSkippedRow& row : skipped) {
        storeSkips.insert("ID " + std::to_string(row.ID));
    }
    std::set<std::string> checkUnreadable;
    for (const std::string& line : Lines(Check().Out)) {
        if (line.rfind("error  unreadable ", 0) == 0) {
            size_t id = line.find("ID ");
            checkUnreadable.insert(line.substr(id, line.find(':', id) - id));
        }
    }
    EXPECT_EQ(checkUnreadable, storeSkips);
    EXPECT_EQ(storeSkips.size(), 6u);
}
