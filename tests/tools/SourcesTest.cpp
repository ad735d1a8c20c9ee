// Sources and standing rules as a user runs them: several feeds and a flag file in one database,
// shaping options, refresh under a clock moved on, sources, forget and check's warnings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Clock.h"
#include "Shaping.h"
#include "SourceTables.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

std::string Event(const std::string& uid, const std::string& start, const std::string& summary,
                  const std::string& more = "") {
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTART" + start + "\r\nSUMMARY:" + summary +
           "\r\n" + more + "END:VEVENT\r\n";
}

class Sources : public TReadyDatabaseTest {
  protected:
    Sources() {
        RunSql(Path,
               "INSERT INTO Flags (Caption, Variable, Color) VALUES ('Vacation', "
               "'Vacation', 255), ('Holiday tomorrow', 'HolidayTomorrow', 255)");
    }

    std::string Write(const std::string& name, const std::string& text) {
        std::string file = Temp.File(name);
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
    TRun Import(const std::string& file, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"import",     Path,      file,        "--from",
                                      "2027-01-01", "--until", "2027-12-31"};
        args.insert(args.end(), more.begin(), more.end());
        return RunTool(args);
    }
    // "Date Time Discription Script" of every row, date order, comma separated.
    std::string Rows(const std::string& where = "1") {
        return QueryText(Path,
                         "SELECT group_concat(Date || ' ' || Time || ' ' || Discription || "
                         "' ' || Script, ', ') FROM (SELECT * FROM Dates WHERE " +
                             where + " ORDER BY Date, Time)");
    }
    // "Date Caption" of every day flag, date order.
    std::string Flags(const std::string& where = "1") {
        return QueryText(Path,
                         "SELECT group_concat(Date || ' ' || Caption, ', ') FROM (SELECT "
                         "d.Date, f.Caption FROM DayFlags d JOIN Flags f ON f.ID = "
                         "d.FlagID WHERE " +
                             where + " ORDER BY d.Date, f.Caption)");
    }
    std::string Count(const std::string& table, const std::string& where = "1") {
        return QueryText(Path, "SELECT COUNT(*) FROM " + table + " WHERE " + where);
    }
};

TEST_F(Sources, TwoFeedsAndAFlagFileEachReimportedTouchOnlyTheirOwnRowsAndFlags) {
    std::string waste =
        Write("waste.ics", Calendar(Event("paper", ";VALUE=DATE:20270201", "Paper") +
                                    Event("rest", ";VALUE=DATE:20270202", "Residual")));
    std::string dentist =
        Write("dentist.ics", Calendar(Event("d1", ":20270203T090000", "Dentist")));
    std::string school =
        Write("school.ics", Calendar(Event("winter", ";VALUE=DATE:20270208", "Winter",
                                           "DTEND;VALUE=DATE:20270210\r\n") +
                                     Event("easter", ";VALUE=DATE:20270329", "Easter")));
    ASSERT_EQ(Import(waste, {"--source", "waste", "--script", "bins"}).Out,
              "2 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    ASSERT_EQ(Import(dentist, {"--script", "s"}).Exit, 0);
    ASSERT_EQ(Import(school, {"--as-flag", "Vacation"}).Out,
              "3 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    RunSql(Path,
           "INSERT INTO DayFlags (Date, FlagID) SELECT '2027-03-29', ID FROM Flags WHERE "
           "Caption = 'Public holiday'");

    // Each source changes; each re-import touches only what it wrote.
    Write("school.ics", Calendar(Event("winter", ";VALUE=DATE:20270208", "Winter",
                                       "DTEND;VALUE=DATE:20270210\r\n")));
    EXPECT_EQ(Import(school).Out, "0 added, 0 updated, 1 removed, 2 unchanged, 0 skipped\n");
    Write("waste.ics", Calendar(Event("paper", ";VALUE=DATE:20270215", "Paper")));
    EXPECT_EQ(Import(waste, {"--source", "waste"}).Out,
              "0 added, 1 updated, 1 removed, 0 unchanged, 0 skipped\n");
    Write("dentist.ics", Calendar(Event("d1", ":20270203T090000", "Dentist") +
                                  Event("d2", ":20270303T090000", "Dentist again")));
    EXPECT_EQ(Import(dentist).Out, "1 added, 0 updated, 0 removed, 1 unchanged, 0 skipped\n");

    EXPECT_EQ(Rows(),
              "2027-02-03 09:00:00 Dentist s, 2027-02-15 00:00:00 Paper bins, "
              "2027-03-03 09:00:00 Dentist again s");
    EXPECT_EQ(Flags(), "2027-02-08 Vacation, 2027-02-09 Vacation, 2027-03-29 Public holiday");
}

TEST_F(Sources, AFeedThatEmptiesIsRefusedUnlessAllowed) {
    std::string feed = Write("feed.ics", Calendar(Event("a", ":20270105T070000", "Paper")));
    ASSERT_EQ(Import(feed).Exit, 0);
    Write("feed.ics", Calendar(""));
    TRun refused = Import(feed);
    EXPECT_EQ(refused.Exit, 1);
    EXPECT_EQ(refused.Err, "mondrel-db: \"" + feed +
                               "\" has no events; a feed that empties is more likely broken than "
                               "cleared; use --allow-empty to clear the source\n");
    EXPECT_EQ(Count("Dates"), "1");
    EXPECT_EQ(Import(feed, {"--allow-empty"}).Out,
              "0 added, 0 updated, 1 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(Count("Dates"), "0");
}

TEST_F(Sources, AtOffsetAndScriptForShapeRowsAndAReimportWithOtherOptionsUpdatesThem) {
    std::string feed =
        Write("feed.ics",
              Calendar(Event("p", ";VALUE=DATE:20270301", "Collection", "CATEGORIES:Paper\r\n") +
                       Event("r", ";VALUE=DATE:20280101", "Residual waste") +
                       Event("x", ";VALUE=DATE:20270601", "Plastic") +
                       Event("t", ":20270601T063000", "Timed")));
    std::vector<std::string> options{"--at",         "19:00",        "--offset",     "-1d",
                                     "--script",     "bins",         "--script-for", "paper=paper",
                                     "--script-for", "RESIDUAL=rest"};
    TRun first = RunTool({"import", Path, feed, "--from", "2027-01-01", "--until", "2028-12-31",
                          options[0], options[1], options[2], options[3], options[4], options[5],
                          options[6], options[7], options[8], options[9]});
    ASSERT_EQ(first.Exit, 0) << first.Err;
    EXPECT_EQ(Rows(),
              "2027-02-28 19:00:00 Collection paper, 2027-05-31 06:30:00 Timed bins, "
              "2027-05-31 19:00:00 Plastic bins, 2027-12-31 19:00:00 Residual waste rest");

    // No options: the stored ones again. Others: they replace the stored ones, rows follow.
    TRun again = RunTool({"import", Path, feed, "--from", "2027-01-01", "--until", "2028-12-31"});
    EXPECT_EQ(again.Out, "0 added, 0 updated, 0 removed, 4 unchanged, 0 skipped\n");
    TRun other = RunTool({"import", Path, feed, "--from", "2027-01-01", "--until", "2028-12-31",
                          "--offset", "-2h", "--script", "all"});
    EXPECT_EQ(other.Out, "0 added, 4 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(Rows("Discription = 'Residual waste'"), "2027-12-31 22:00:00 Residual waste all");
}

TEST_F(Sources, StandingRulesContinueUnderRefreshAYearOnAndKeepWhatTheUserChanged) {
    {
        TScopedClock clock(EncodeDate(2027, 1, 1) + EncodeTime(8, 0, 0, 0));
        ASSERT_EQ(RunTool({"add", Path, "--date", "2027-01-04", "--time", "07:00", "--description",
                           "Wake", "--script", "wake", "--repeat", "FREQ=WEEKLY;BYDAY=MO"})
                      .Exit,
                  0);
        ASSERT_EQ(RunTool({"weekends", Path, "--standing"}).Exit, 0);
        TRun holidays = RunTool({"holidays", Path, "--region", "de-nw", "--standing", "--shift",
                                 "-1", "--flag", "Holiday tomorrow"});
        ASSERT_EQ(holidays.Exit, 0) << holidays.Err;
    }
    EXPECT_EQ(Rows("Date > '2028-01-25'"), "2028-01-31 07:00:00 Wake wake");
    EXPECT_EQ(Flags("d.Date >= '2027-12-30' AND d.Date <= '2028-01-02'"),
              "2027-12-31 Holiday tomorrow, 2028-01-01 Weekend, 2028-01-02 Weekend");
    RunSql(Path, "UPDATE Dates SET Time = '06:30:00' WHERE Date = '2027-06-07'");
    RunSql(Path, "DELETE FROM Dates WHERE Date = '2027-06-14'");
    RunSql(Path, "DELETE FROM DayFlags WHERE Date = '2028-01-08'");

    TScopedClock clock(EncodeDate(2028, 1, 1) + EncodeTime(8, 0, 0, 0));
    TRun refresh = RunTool({"refresh", Path});
    ASSERT_EQ(refresh.Exit, 0) << refresh.Err;
    EXPECT_EQ(Rows("Date > '2029-01-25'"), "2029-01-29 07:00:00 Wake wake");
    EXPECT_EQ(Flags("d.Date >= '2028-12-23' AND d.Date <= '2028-12-31'"),
              "2028-12-23 Weekend, 2028-12-24 Holiday tomorrow, 2028-12-24 Weekend, "
              "2028-12-25 Holiday tomorrow, 2028-12-30 Weekend, 2028-12-31 Holiday tomorrow, "
              "2028-12-31 Weekend");
    EXPECT_EQ(Rows("Date IN ('2027-06-07', '2027-06-14')"), "2027-06-07 06:30:00 Wake wake");
    EXPECT_EQ(Flags("d.Date = '2028-01-08'"), "");

    std::string rows = Rows();
    std::string flags = Flags();
    EXPECT_EQ(RunTool({"refresh", Path}).Out,
              "Wake  0 added, 0 updated, 0 removed, 109 unchanged\n"
              "holidays de-nw Holiday tomorrow  0 added, 0 updated, 0 removed, 11 unchanged\n"
              "weekends  0 added, 0 updated, 0 removed, 116 unchanged\n");
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Flags(), flags);
}

// The user's edits meet the provider's changes: a moved collection takes the edited row along,
// new UIDs add no second row, and refresh names both.
TEST_F(Sources, RefreshKeepsTheUsersEditsWhenTheFeedMovesOrRenamesTheirEvents) {
    TScopedClock clock(EncodeDate(2027, 1, 1) + EncodeTime(8, 0, 0, 0));
    std::string feed = Write("waste.ics", Calendar(Event("p", ";VALUE=DATE:20270407", "Paper bin") +
                                                   Event("r", ";VALUE=DATE:20270408", "Rest bin")));
    ASSERT_EQ(Import(feed, {"--source", "w", "--at", "19:00", "--script", "bins"}).Exit, 0);
    RunSql(Path, "UPDATE Dates SET Script = 'loud' WHERE Discription = 'Paper bin'");
    RunSql(Path, "UPDATE Dates SET Date = '2027-04-09' WHERE Discription = 'Rest bin'");

    Write("waste.ics", Calendar(Event("p", ";VALUE=DATE:20270410", "Paper bin") +
                                Event("r", ";VALUE=DATE:20270411", "Rest bin")));
    TRun moved = RunTool({"refresh", Path});
    EXPECT_EQ(moved.Out, "w  0 added, 1 updated, 0 removed, 1 unchanged\n");
    EXPECT_EQ(moved.Err,
              "mondrel-db: refresh: w: kept your edit of 'Paper bin' and moved it from 2027-04-07 "
              "to 2027-04-10, as the feed did\n"
              "mondrel-db: refresh: w: kept your edit of 'Rest bin' 2027-04-09; the feed now has "
              "it on 2027-04-11\n");
    EXPECT_EQ(Rows(), "2027-04-09 19:00:00 Rest bin bins, 2027-04-10 19:00:00 Paper bin loud");

    Write("waste.ics", Calendar(Event("p2", ";VALUE=DATE:20270410", "Paper bin") +
                                Event("r2", ";VALUE=DATE:20270411", "Rest bin")));
    TRun renamed = RunTool({"refresh", Path});
    EXPECT_EQ(renamed.Out, "w  0 added, 0 updated, 0 removed, 2 unchanged\n");
    EXPECT_EQ(renamed.Err,
              "mondrel-db: refresh: w: kept your edit of 'Paper bin' 2027-04-10 for the feed's "
              "event of that day, which it now names anew: no second row\n"
              "mondrel-db: refresh: w: kept your edit of 'Rest bin' 2027-04-09 for the feed's "
              "event of that day, which it now names anew: no second row\n");
    EXPECT_EQ(RunTool({"refresh", Path}).Err, "");
    EXPECT_EQ(Rows(), "2027-04-09 19:00:00 Rest bin bins, 2027-04-10 19:00:00 Paper bin loud");
}

TEST_F(Sources, AFailingSourceKeepsItsRowsWhileTheOthersRefresh) {
    std::string feed = Write("feed.ics", Calendar(Event("a", ":20270105T070000", "Paper")));
    TScopedClock clock(EncodeDate(2027, 1, 1) + EncodeTime(8, 0, 0, 0));
    ASSERT_EQ(Import(feed, {"--source", "feed"}).Exit, 0);
    ASSERT_EQ(RunTool({"weekends", Path, "--standing"}).Exit, 0);
    std::filesystem::remove(feed);

    TRun refresh = RunTool({"refresh", Path});
    EXPECT_EQ(refresh.Exit, 1);
    EXPECT_EQ(refresh.Out, "weekends  0 added, 0 updated, 0 removed, 115 unchanged\n");
    EXPECT_EQ(refresh.Err, "mondrel-db: refresh: feed: cannot read \"" + feed + "\"\n");
    EXPECT_EQ(Rows(), "2027-01-05 07:00:00 Paper ");
    EXPECT_NE(RunTool({"sources", Path}).Out.find("failed: cannot read"), std::string::npos);
    EXPECT_NE(RunTool({"check", Path})
                  .Out.find("warning  refresh failed  \"feed\": the last "
                            "refresh (2027-01-01 08:00:00) failed: cannot"),
              std::string::npos);
}

TEST_F(Sources, SourcesListsForgetRemovesAndCheckWarnsWhenRefreshStopped) {
    std::string feed = Write("feed.ics", Calendar(Event("a", ":20270105T070000", "Paper") +
                                                  Event("b", ":20270112T070000", "Plastic")));
    {
        TScopedClock clock(EncodeDate(2027, 1, 1) + EncodeTime(8, 0, 0, 0));
        ASSERT_EQ(Import(feed, {"--source", "bins", "--script", "bins.sh"}).Exit, 0);
        ASSERT_EQ(RunTool({"add", Path, "--date", "2027-01-04", "--time", "07:00", "--description",
                           "Wake", "--repeat", "FREQ=MONTHLY"})
                      .Exit,
                  0);
        EXPECT_EQ(RunTool({"sources", Path}).Out,
                  "NAME  KIND    OPTIONS                                                           "
                  "       "
                  "AHEAD    THROUGH     LAST RUN             RESULT\n"
                  "Wake  repeat  --date 2027-01-04 --time 07:00 --description Wake --repeat "
                  "FREQ=MONTHLY  14 rows  2028-02-05  2027-01-01 08:00:00  ok\n"
                  "bins  file    --script bins.sh                                                  "
                  "       "
                  "2 rows   2027-12-31  2027-01-01 08:00:00  ok\n");
    }
    std::string json = RunTool({"sources", Path, "--json"}).Out;
    EXPECT_NE(json.find("\"Name\": \"bins\",\n    \"Kind\": \"file\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"OpenRowsAhead\": 14"), std::string::npos);
    {
        TScopedClock clock(EncodeDate(2027, 12, 10) + EncodeTime(8, 0, 0, 0));
        std::string check = RunTool({"check", Path}).Out;
        EXPECT_NE(check.find("warning  refresh not run  \"bins\": refresh has not run since "
                             "2027-01-01 08:00:00"),
                  std::string::npos)
            << check;
        EXPECT_NE(check.find("warning  source runs dry  \"bins\": written up to 2027-12-31"),
                  std::string::npos);
    }

    RunSql(Path, "UPDATE Dates SET Time = '08:00:00' WHERE Discription = 'Plastic'");
    EXPECT_EQ(RunTool({"forget", Path, "bins"}).Out,
              "Forgot bins: 1 open rows and flags taken out\n");
    EXPECT_EQ(Rows("Discription <> 'Wake'"), "2027-01-12 08:00:00 Plastic bins.sh");
    EXPECT_EQ(RunTool({"forget", Path, "bins"}).Exit, 1);
    EXPECT_EQ(RunTool({"forget", Path, "Wake", "--keep-rows"}).Exit, 0);
    EXPECT_EQ(Count("Dates", "Discription = 'Wake'"), "14");
    EXPECT_EQ(Count("MondrelImports"), "0");
    EXPECT_EQ(RunTool({"sources", Path}).Out, "no sources\n");
}

TEST_F(Sources, RemoveBySourceTakesItsRowsAndAReimportLeavesThemOut) {
    std::string feed = Write("feed.ics", Calendar(Event("a", ":20270105T070000", "Paper") +
                                                  Event("b", ":20270112T070000", "Plastic") +
                                                  Event("c", ":20270119T070000", "Glass")));
    ASSERT_EQ(Import(feed, {"--source", "bins"}).Exit, 0);
    RunSql(Path,
           "INSERT INTO Dates (Date, Time, Discription, Value, Script) VALUES "
           "('2027-01-12', '08:00:00', 'Mine', '', '')");
    TRun removed =
        RunTool({"remove", Path, "--source", "bins", "--from", "2027-01-01", "--to", "2027-01-15"});
    ASSERT_EQ(removed.Exit, 0) << removed.Err;
    EXPECT_EQ(Rows(), "2027-01-12 08:00:00 Mine , 2027-01-19 07:00:00 Glass ");
    EXPECT_EQ(Import(feed, {"--source", "bins"}).Out,
              "0 added, 0 updated, 0 removed, 3 unchanged, 0 skipped\n");
    EXPECT_EQ(RunTool({"remove", Path, "--source", "nobody"}).Exit, 1);
}

TEST_F(Sources, RecordsOfImportsBeforeSourcesGoToTheFirstImportNamingTheirEvents) {
    RunSql(Path,
           "CREATE TABLE MondrelImports (ID INTEGER NOT NULL, UID TEXT NOT NULL, Occurrence TEXT "
           "NOT NULL, Date TEXT, Time TEXT, Discription TEXT, Value TEXT, Script TEXT, Done "
           "INTEGER)");
    RunSql(Path,
           "INSERT INTO Dates (ID, Date, Time, Discription, Value, Script) VALUES "
           "(1, '2027-01-05', '07:00:00', 'Paper', '', ''), "
           "(2, '2027-02-05', '07:00:00', 'Old feed', '', '')");
    RunSql(Path,
           "INSERT INTO MondrelImports SELECT ID, CASE ID WHEN 1 THEN 'a' ELSE 'old' END, "
           "'', Date, Time, Discription, Value, Script, Done FROM Dates");
    std::string other = Write("other.ics", Calendar(Event("z", ":20270301T070000", "Other")));
    EXPECT_EQ(Import(other).Out, "1 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    std::string feed = Write("feed.ics", Calendar(Event("a", ":20270105T070000", "Paper")));
    EXPECT_EQ(Import(feed).Out, "0 added, 0 updated, 0 removed, 1 unchanged, 0 skipped\n");
    EXPECT_EQ(Count("Dates"), "3");
    EXPECT_NE(RunTool({"sources", Path}).Out.find("\nlegacy "), std::string::npos);
}

// The school feed stopped publishing: its window reaches far, its last event does not.
TEST_F(Sources, CheckWarnsOfACalendarWhoseLastOccurrenceIsNear) {
    TScopedClock clock(EncodeDate(2027, 1, 1) + EncodeTime(8, 0, 0, 0));
    std::string file = Write("school.ics", Calendar(Event("s", ":20270107T080000", "School") +
                                                    Event("t", ":20270201T080000", "Trip")));
    ASSERT_EQ(Import(file, {"--source", "school", "--script", "S"}).Exit, 0);
    EXPECT_EQ(RunTool({"check", Path}).Out.find("runs dry"), std::string::npos);
    Write("school.ics", Calendar(Event("s", ":20270107T080000", "School")));
    ASSERT_EQ(Import(file, {"--source", "school", "--script", "S"}).Exit, 0);
    std::string check = RunTool({"check", Path}).Out;
    EXPECT_NE(check.find("warning  source runs dry  \"school\": its last occurrence is on "
                         "2027-01-07, less than 30 days ahead"),
              std::string::npos)
        << check;
}

TEST_F(Sources, UnreadableOptionsExitTwoAndWriteNothing) {
    std::string feed = Write("feed.ics", Calendar(Event("a", ":20270105T070000", "Paper")));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"import", Path, feed, "--offset", "1x"},
             {"import", Path, feed, "--offset", "-1h2d"},
             {"import", Path, feed, "--at", "25:00"},
             {"import", Path, feed, "--script-for", "=paper.sh"},
             {"import", Path, feed, "--value-for", "paper"},
             {"import", Path, feed, "--source", ""},
             {"import", Path, "-"},
             {"refresh", Path, "--horizon", "0"},
             {"refresh", Path, "--horizon", "soon"},
             {"weekends", Path, "--standing", "--shift", "x"},
             {"weekends", Path, "--standing", "--year", "2027"},
             {"add", Path, "--date", "2027-01-04", "--time", "07:00", "--description", "x",
              "--repeat", "FREQ=DAILY", "--until", "2027-02-01", "--source", "x"}}) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, 2) << args[3];
        EXPECT_EQ(run.Err.rfind("mondrel-db: " + args[0] + ": ", 0), 0u) << run.Err;
    }
    EXPECT_EQ(Count("Dates"), "0");
    EXPECT_EQ(Count("DayFlags"), "0");
}

TEST(SourceOptions, DurationsAndStoredArgumentsReadBack) {
    EXPECT_EQ(ParseDuration("-15m"), -15);
    EXPECT_EQ(ParseDuration("+1d"), 24 * 60);
    EXPECT_EQ(ParseDuration("-1d2h30m"), -(24 * 60 + 150));
    EXPECT_EQ(ParseDuration("0"), 0);
    for (const char* bad : {"", "-", "15", "m", "1m2h", "1d1d", "1w", "1.5h", "9999999999d"}) {
        EXPECT_EQ(ParseDuration(bad), std::nullopt) << bad;
    }
    std::vector<std::string> args{"--script-for", "it's=a b", "", "--x", "\\", "Grüße"};
    EXPECT_EQ(SplitArguments(JoinArguments(args)), args);
}

}  // namespace
