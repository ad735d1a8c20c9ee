// import, export and add --repeat as a user runs them: exact output lines, exit statuses and
// the rows they leave in the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DBCnx.h"
#include "MondrelDbCommand.h"
#include "MondrelSchema.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

std::string Event(const std::string& uid, const std::string& start, const std::string& summary,
                  const std::string& more = "") {
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTART:" + start + "\r\nSUMMARY:" + summary +
           "\r\n" + more + "END:VEVENT\r\n";
}

using TRows = std::vector<std::string>;

class ICalendarCommand : public TReadyDatabaseTest {
  protected:
    std::string Ics = Temp.File("calendar.ics");

    void WriteIcs(const std::string& text) { std::ofstream(Ics, std::ios::binary) << text; }
    TRun Import(const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"import",     Path,      Ics,         "--from",
                                      "2027-01-01", "--until", "2027-12-31"};
        args.insert(args.end(), more.begin(), more.end());
        return RunTool(args);
    }
    // The first column of every row of a query.
    static TRows Texts(const std::string& path, const std::string& sql) {
        TRows rows;
        TSqliteDatabase database(path);
        auto query = database.Query(sql);
        for (; !query->AtEnd(); query->Next()) {
            rows.push_back(query->FieldAsText(0));
        }
        return rows;
    }
    // Every appointment as "Date Time|Discription|Value|Script|Done", in date order.
    TRows Rows(const std::string& path) {
        return Texts(path,
                     "SELECT Date || ' ' || Time || '|' || Discription || '|' || Value || '|' || "
                     "Script || '|' || Done FROM Dates ORDER BY Date, Time, ID");
    }
    TRows Rows() { return Rows(Path); }
    TRows DayFlagRows(const std::string& path) {
        return Texts(path,
                     "SELECT d.Date || ' ' || f.Caption FROM DayFlags d JOIN Flags f ON "
                     "f.ID = d.FlagID ORDER BY d.Date, f.Caption");
    }
};

TEST_F(ICalendarCommand, HostileTextsDoneAndDayFlagsSurviveExportAndImportIntoAFreshFile) {
    std::string longLine;
    for (int i = 0; i < 40; ++i) {
        longLine += "Grüße aus München € ";
    }
    const std::vector<std::string> texts{
        "say \"hi\"; then, maybe \\ not",
        "line one\nline two\r\nline three",
        "bytes \x01\x02\x1F\x7F\x80\xFF\xFE end",
        longLine,
        "",
    };
    TSqliteDatabase database(Path);
    for (size_t i = 0; i < texts.size(); ++i) {
        database.Execute(
            "INSERT INTO Dates (Date, Time, Discription, Value, Script, Done) VALUES (?, ?, ?, ?, "
            "?, ?)",
            {"2027-03-0" + std::to_string(i + 1), "07:0" + std::to_string(i) + ":30", texts[i],
             texts[(i + 1) % texts.size()], texts[(i + 2) % texts.size()], int64_t(i % 2)});
    }
    database.Execute(
        "INSERT INTO DayFlags (Date, FlagID) SELECT '2027-12-25', ID FROM Flags WHERE Caption = "
        "'Public holiday'");
    TRows before = Rows();

    TRun exported = RunTool({"export", Path, Ics});
    ASSERT_EQ(exported.Exit, 0) << exported.Err;
    EXPECT_EQ(exported.Out, "5 appointments, 1 day flag exported\n");

    // Read back into the file it came from, the export adds no copies.
    EXPECT_EQ(RunTool({"import", Path, Ics, "--from", "2027-01-01"}).Out,
              "0 added, 0 updated, 0 removed, 6 unchanged, 0 skipped\n");
    EXPECT_EQ(Rows(), before);

    std::string fresh = Temp.File("fresh.sdb");
    CreateMondrelDatabase(fresh);
    TRun imported = RunTool({"import", fresh, Ics, "--from", "2027-01-01", "--script", "ignored"});
    ASSERT_EQ(imported.Exit, 0) << imported.Err;
    EXPECT_EQ(imported.Out, "6 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(Rows(fresh), before);
    EXPECT_EQ(DayFlagRows(fresh), TRows{"2027-12-25 Public holiday"});

    // The same file again adds nothing, and the second export names the same events.
    EXPECT_EQ(RunTool({"import", fresh, Ics}).Out,
              "0 added, 0 updated, 0 removed, 6 unchanged, 0 skipped\n");
    std::string again = Temp.File("again.ics");
    ASSERT_EQ(RunTool({"export", Path, again}).Exit, 0);
    auto uids = [](const std::string& file) {
        std::ifstream in(file);
        TRows lines;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("UID:", 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    };
    EXPECT_EQ(uids(again), uids(Ics));
}

TEST_F(ICalendarCommand, ExportWritesAValidCalendarReplacesTheFileWholeAndHonoursBounds) {
    RunSql(Path,
           "INSERT INTO Dates (Date, Time, Discription, Value, Script) VALUES "
           "('2027-01-10', '08:00:00', 'Early', '', ''), "
           "('2027-06-10', '08:00:00', 'Middle', '', ''), "
           "('2027-12-10', '08:00:00', 'Late', '', '')");
    WriteIcs("old contents that are much longer than nothing at all\n");
    TRun run = RunTool({"export", Path, Ics, "--from", "2027-02-01"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "2 appointments, 0 day flags exported\n");
    std::ifstream in(Ics, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 15), "END:VCALENDAR\r\n");
    EXPECT_EQ(text.find("Early"), std::string::npos);
    EXPECT_NE(text.find("DTSTART:20270610T080000\r\n"), std::string::npos);
    EXPECT_NE(text.find("X-MONDREL-DONE:0\r\n"), std::string::npos);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Temp.Path())) {
        files += entry.path().filename().string().find("calendar.ics") != std::string::npos;
    }
    EXPECT_EQ(files, 1u);  // no temporary file left beside it

    TRun toStdout = RunTool({"export", Path, "-", "--to", "2027-01-31"});
    ASSERT_EQ(toStdout.Exit, 0);
    EXPECT_NE(toStdout.Out.find("SUMMARY:Early\r\n"), std::string::npos);
    EXPECT_EQ(toStdout.Err, "1 appointment, 0 day flags exported\n");

    EXPECT_EQ(RunTool({"export", Path, Ics, "--from", "2027-05-01", "--to", "2027-04-01"}).Exit, 2);
    EXPECT_EQ(RunTool({"export", Path, Temp.File("no/such/dir/x.ics")}).Exit, 1);
}

TEST_F(ICalendarCommand, DryRunPrintsWhatItWouldWriteAndWritesNothing) {
    WriteIcs(Calendar(Event("a", "20270105T090000", "Dentist") +
                      Event("b", "20270104T070000", "Bins out") +
                      "BEGIN:VEVENT\r\nUID:h\r\nDTSTART;VALUE=DATE:20270106\r\nSUMMARY:Public "
                      "holiday\r\nCATEGORIES:MONDREL-FLAG\r\nEND:VEVENT\r\n"));
    TRun run = Import({"--dry-run", "--script", "Door"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "2027-01-04 07:00:00  Bins out\n"
              "2027-01-05 09:00:00  Dentist\n"
              "2027-01-06  Public holiday\n"
              "3 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(run.Err, "");
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(DayFlagRows(Path).empty());
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM sqlite_master WHERE name = 'MondrelImports'"),
              "0");
}

TEST_F(ICalendarCommand, FeedOnStandardInputWithoutScriptIsCountedInOneWarning) {
    std::string feed =
        Calendar(Event("a", "20270105T090000Z", "One") + Event("b", "20270106T090000Z", "Two"));
    TRun run = RunTool({"import", Path, "-", "--source", "feed", "--value", "v"}, feed);
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "2 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(run.Err,
              "mondrel-db: import: 2 appointments have no script: each sets Mondrel_TriggerValue "
              "every minute of its day and never finishes (--script NAME gives them one)\n");
    EXPECT_EQ(Rows(), (TRows{"2027-01-05 09:00:00|One|v||0", "2027-01-06 09:00:00|Two|v||0"}));
}

TEST_F(ICalendarCommand, AllDayEventOverThreeDaysGivesThreeMidnightAppointments) {
    WriteIcs(
        Calendar("BEGIN:VEVENT\r\nUID:trip\r\nDTSTART;VALUE=DATE:20270802\r\n"
                 "DTEND;VALUE=DATE:20270805\r\nSUMMARY:Trip\r\nEND:VEVENT\r\n"));
    ASSERT_EQ(Import({"--script", "S"}).Exit, 0);
    EXPECT_EQ(Rows(), (TRows{"2027-08-02 00:00:00|Trip||S|0", "2027-08-03 00:00:00|Trip||S|0",
                             "2027-08-04 00:00:00|Trip||S|0"}));
    EXPECT_EQ(Import({"--script", "S"}).Out,
              "0 added, 0 updated, 0 removed, 3 unchanged, 0 skipped\n");
}

TEST_F(ICalendarCommand, AsFlagMakesEveryEventADayFlagOfThatFlag) {
    WriteIcs(Calendar(
        "BEGIN:VEVENT\r\nUID:x1\r\nDTSTART;VALUE=DATE:20271224\r\nDTEND;VALUE=DATE:20271227\r\n"
        "SUMMARY:Christmas\r\nEND:VEVENT\r\n" +
        Event("x2", "20270501T100000", "Labour day")));
    RunSql(Path,
           "INSERT INTO DayFlags (Date, FlagID) SELECT '2027-12-25', ID FROM Flags WHERE "
           "Caption = 'Public holiday'");
    TRun run = Import({"--as-flag", "Public holiday"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "3 added, 0 updated, 0 removed, 1 unchanged, 0 skipped\n");
    EXPECT_EQ(DayFlagRows(Path), (TRows{"2027-05-01 Public holiday", "2027-12-24 Public holiday",
                                        "2027-12-25 Public holiday", "2027-12-26 Public holiday"}));
    EXPECT_TRUE(Rows().empty());

    TRun noFlag = Import({"--as-flag", "School holiday"});
    EXPECT_EQ(noFlag.Exit, 1);
    EXPECT_EQ(noFlag.Err, "mondrel-db: no flag with the caption \"School holiday\"\n");
}

TEST_F(ICalendarCommand, FlagEventOfAnUnknownFlagIsSkippedByName) {
    WriteIcs(
        Calendar("BEGIN:VEVENT\r\nUID:f\r\nDTSTART;VALUE=DATE:20270101\r\nSUMMARY:Holidays "
                 "at granny\r\nCATEGORIES:MONDREL-FLAG\r\nEND:VEVENT\r\n"));
    TRun run = Import();
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out, "0 added, 0 updated, 0 removed, 0 unchanged, 1 skipped\n");
    EXPECT_EQ(run.Err, "mondrel-db: import: skipped event f: no flag \"Holidays at granny\"\n");
}

TEST_F(ICalendarCommand, ReimportOfAChangedFileMovesCancelsAndRemovesOnlyItsOwnOpenRows) {
    WriteIcs(Calendar(Event("move", "20270105T090000", "Move me") +
                      Event("cancel", "20270106T090000", "Cancel me") +
                      Event("remove", "20270107T090000", "Remove me") +
                      Event("keep", "20270108T090000", "Keep me") +
                      Event("done", "20270109T090000", "Done already")));
    ASSERT_EQ(Import({"--script", "S"}).Out,
              "5 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    RunSql(Path, "UPDATE Dates SET Done = 1 WHERE Discription = 'Done already'");

    WriteIcs(Calendar(Event("move", "20270115T100000", "Move me") +
                      Event("cancel", "20270106T090000", "Cancel me", "STATUS:CANCELLED\r\n") +
                      Event("keep", "20270108T090000", "Keep me") +
                      Event("done", "20270119T090000", "Done already") +
                      Event("new", "20270110T090000", "New one")));
    TRun run = Import({"--script", "S"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "1 added, 1 updated, 2 removed, 2 unchanged, 0 skipped\n");
    EXPECT_EQ(Rows(),
              (TRows{"2027-01-08 09:00:00|Keep me||S|0", "2027-01-09 09:00:00|Done already||S|1",
                     "2027-01-10 09:00:00|New one||S|0", "2027-01-15 10:00:00|Move me||S|0"}));
}

TEST_F(ICalendarCommand, ReimportLeavesARowTheUserEditedAndAddsNoSecondOne) {
    WriteIcs(
        Calendar(Event("e", "20270105T090000", "Dentist") + Event("g", "20270106T090000", "Gym")));
    ASSERT_EQ(Import({"--script", "S"}).Exit, 0);
    RunSql(Path, "UPDATE Dates SET Time = '11:30:00' WHERE Discription = 'Dentist'");
    RunSql(Path, "DELETE FROM Dates WHERE Discription = 'Gym'");

    EXPECT_EQ(Import({"--script", "S"}).Out,
              "0 added, 0 updated, 0 removed, 2 unchanged, 0 skipped\n");
    WriteIcs(Calendar(Event("e", "20270105T100000", "Dentist, later")));
    EXPECT_EQ(Import({"--script", "S"}).Out,
              "0 added, 0 updated, 0 removed, 1 unchanged, 0 skipped\n");
    EXPECT_EQ(Rows(), TRows{"2027-01-05 11:30:00|Dentist||S|0"});

    // A file without AUTOINCREMENT hands a deleted ID to the next row: that row is not ours.
    RunSql(Path, "DELETE FROM Dates");
    RunSql(Path,
           "INSERT INTO Dates (ID, Date, Time, Discription, Value, Script) SELECT ID, "
           "'2027-02-02', '08:00:00', 'Mine', '', '' FROM MondrelImports");
    WriteIcs(Calendar(""));
    EXPECT_EQ(Import({"--allow-empty"}).Out,
              "0 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(Rows(), TRows{"2027-02-02 08:00:00|Mine|||0"});
}

// An edited row of an event that leaves the feed and comes back stands for it again: its script
// runs once, not twice.
TEST_F(ICalendarCommand, AnEditedRowWhoseEventLeavesAndComesBackGetsNoSecondOne) {
    const std::string both =
        Event("b", "20270301T070000", "Bins") + Event("p", "20270308T070000", "Paper");
    WriteIcs(Calendar(both));
    ASSERT_EQ(Import({"--script", "S"}).Exit, 0);
    ASSERT_EQ(RunTool({"edit", Path, "1", "--value", "loud"}).Exit, 0);
    WriteIcs(Calendar(Event("p", "20270308T070000", "Paper")));
    ASSERT_EQ(Import({"--script", "S"}).Exit, 0);
    WriteIcs(Calendar(both));
    EXPECT_EQ(Import({"--script", "S"}).Out,
              "0 added, 0 updated, 0 removed, 2 unchanged, 0 skipped\n");
    EXPECT_EQ(Rows(),
              (TRows{"2027-03-01 07:00:00|Bins|loud|S|0", "2027-03-08 07:00:00|Paper||S|0"}));
}

TEST_F(ICalendarCommand, EveryRecordOfALargeImportNamesItsOwnRow) {
    // Records go many to a statement: 100 events take chunks of 64, 32 and 4.
    std::string events;
    for (int n = 0; n < 100; ++n) {
        char start[32];
        std::snprintf(start, sizeof start, "202701%02dT%02d0000", 1 + n % 28, n % 24);
        events += Event("e" + std::to_string(n), start, "Event " + std::to_string(n));
    }
    WriteIcs(Calendar(events));
    ASSERT_EQ(Import({"--script", "S"}).Out,
              "100 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(QueryText(Path,
                        "SELECT count(*) FROM MondrelImports i JOIN Dates d ON d.ID = i.ID AND "
                        "d.Discription = 'Event ' || substr(i.UID, 2) AND d.Date = i.Date AND "
                        "d.Time = i.Time"),
              "100");
    EXPECT_EQ(Import({"--script", "S"}).Out,
              "0 added, 0 updated, 0 removed, 100 unchanged, 0 skipped\n");
}

TEST_F(ICalendarCommand, ImportKeepsKeysBeyond32Bits) {
    RunSql(Path,
           "INSERT INTO Dates (ID, Date, Time, Discription, Value, Script) VALUES "
           "(4294967301, '2027-01-01', '08:00:00', 'Big key', '', '')");
    WriteIcs(Calendar(Event("e", "20270105T090000", "Dentist")));
    ASSERT_EQ(Import({"--script", "S"}).Exit, 0);
    EXPECT_EQ(QueryText(Path, "SELECT ID FROM MondrelImports"), "4294967302");
    WriteIcs(Calendar(Event("e", "20270106T090000", "Dentist")));
    EXPECT_EQ(Import({"--script", "S"}).Out,
              "0 added, 1 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(QueryText(Path, "SELECT Date FROM Dates WHERE ID = 4294967302"), "2027-01-06");
}

TEST_F(ICalendarCommand, BadEventsAreSkippedByNameWhileTheOthersImport) {
    WriteIcs(
        Calendar("BEGIN:VEVENT\r\nUID:nostart\r\nSUMMARY:Nothing\r\nEND:VEVENT\r\n"
                 "BEGIN:VEVENT\r\nSUMMARY:Anonymous\r\nEND:VEVENT\r\n" +
                 Event("fine", "20270105T090000", "Fine") +
                 "BEGIN:VEVENT\r\nUID:mars\r\nDTSTART;TZID=Mars/Olympus:20270104T090000\r\n"
                 "SUMMARY:Far\r\nEND:VEVENT\r\n"));
    TRun run = Import({"--script", "S"});
    ASSERT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out, "1 added, 0 updated, 0 removed, 0 unchanged, 3 skipped\n");
    EXPECT_EQ(run.Err,
              "mondrel-db: import: skipped event nostart: no DTSTART\n"
              "mondrel-db: import: skipped event \"Anonymous\" (event 2): no DTSTART\n"
              "mondrel-db: import: skipped event mars: unknown time zone \"Mars/Olympus\"\n");
}

TEST_F(ICalendarCommand, FileThatIsNoCalendarOrMissingIsExitOneAndWritesNothing) {
    WriteIcs("This is a shopping list.\nMilk\n");
    TRun run = Import();
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Err, "mondrel-db: no iCalendar data (BEGIN:VCALENDAR is missing)\n");
    EXPECT_EQ(RunTool({"import", Path, Temp.File("missing.ics")}).Exit, 1);
    EXPECT_EQ(RunTool({"import", Temp.File("missing.sdb"), Ics}).Exit, 1);
    EXPECT_EQ(RunTool({"import", Path}).Exit, 2);
    EXPECT_EQ(Import({"--from", "2028-01-01"}).Exit, 2);
    EXPECT_EQ(Import({"--until", "2027-13-01"}).Exit, 2);
    EXPECT_TRUE(Rows().empty());
}

TEST_F(ICalendarCommand, OccurrenceCapIsNamedInAWarning) {
    WriteIcs(Calendar(Event("often", "20270101T000000", "Often", "RRULE:FREQ=MINUTELY\r\n")));
    TRun run = Import({"--script", "S"});
    ASSERT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out, "10000 added, 0 updated, 0 removed, 0 unchanged, 0 skipped\n");
    EXPECT_EQ(run.Err,
              "mondrel-db: import: event often has more occurrences than the 10000 imported (at "
              "most 10000 of one event); the later ones are left out\n");
    EXPECT_EQ(QueryText(Path, "SELECT max(Date || ' ' || Time) FROM Dates"), "2027-01-07 22:39:00");
    // Six days of minutes fit: nothing is left out, nothing is said.
    TRun fits = RunTool(
        {"import", Path, Ics, "--from", "2027-01-01", "--until", "2027-01-06", "--script", "S"});
    ASSERT_EQ(fits.Exit, 0);
    EXPECT_EQ(fits.Err, "");
}

TEST_F(ICalendarCommand, AddRepeatCutAtTheCapSaysHowFarItsRowsReach) {
    TRun run = RunTool({"add", Path, "--date", "2027-06-01", "--time", "07:30", "--description",
                        "Tick", "--script", "S", "--repeat", "FREQ=SECONDLY"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Err.find("; the 10000 written reach up to 2027-06-01 10:16:39"),
              std::string::npos)
        << run.Err;
    EXPECT_NE(run.Out.find("; written up to 2027-06-01,"), std::string::npos) << run.Out;
}

TEST_F(ICalendarCommand, AddRepeatWithCountUntilAndTheUntilOption) {
    TRun count = RunTool({"add", Path, "--date", "2027-01-04", "--time", "07:30", "--description",
                          "Bins", "--script", "S", "--repeat", "FREQ=WEEKLY;BYDAY=MO,FR;COUNT=3"});
    ASSERT_EQ(count.Exit, 0) << count.Err;
    EXPECT_EQ(count.Out,
              "Added 2027-01-04 07:30:00 Bins\n"
              "Added 2027-01-08 07:30:00 Bins\n"
              "Added 2027-01-11 07:30:00 Bins\n");
    RunSql(Path, "DELETE FROM Dates");

    ASSERT_EQ(RunTool({"add", Path, "--date", "2027-01-31", "--time", "20:00", "--description",
                       "Rent", "--repeat", "FREQ=MONTHLY;BYMONTHDAY=-1;UNTIL=20270430T235959"})
                  .Exit,
              0);
    EXPECT_EQ(Rows(), (TRows{"2027-01-31 20:00:00|Rent|||0", "2027-02-28 20:00:00|Rent|||0",
                             "2027-03-31 20:00:00|Rent|||0", "2027-04-30 20:00:00|Rent|||0"}));
    RunSql(Path, "DELETE FROM Dates");

    ASSERT_EQ(RunTool({"add", Path, "--date", "2027-03-01", "--time", "06:00", "--description",
                       "Birthday", "--repeat", "FREQ=YEARLY", "--until", "2030-03-01"})
                  .Exit,
              0);
    EXPECT_EQ(Rows(),
              (TRows{"2027-03-01 06:00:00|Birthday|||0", "2028-03-01 06:00:00|Birthday|||0",
                     "2029-03-01 06:00:00|Birthday|||0", "2030-03-01 06:00:00|Birthday|||0"}));
}

TEST_F(ICalendarCommand, AddRepeatRefusesABadRuleWithLibicalsReason) {
    TRun run = RunTool({"add", Path, "--date", "2027-01-04", "--time", "07:30", "--description",
                        "x", "--repeat", "FREQ=SOMETIMES"});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_EQ(run.Err.rfind("mondrel-db: add: --repeat 'FREQ=SOMETIMES': ", 0), 0u) << run.Err;
    EXPECT_EQ(RunTool({"add", Path, "--date", "2027-01-04", "--time", "07:30", "--description", "x",
                       "--until", "2027-02-01"})
                  .Exit,
              2);
    EXPECT_EQ(RunTool({"add", Path, "--date", "2027-01-04", "--time", "07:30", "--description", "x",
                       "--repeat", "FREQ=DAILY", "--until", "2026-01-01"})
                  .Exit,
              2);
    EXPECT_TRUE(Rows().empty());
}

}  // namespace
