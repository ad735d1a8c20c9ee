// import over small calendar files (tests/tools/calendars/), one per way real calendars went
// wrong: the exact rows each leaves, and what it says on standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Sqlite3Db.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

using TTexts = std::vector<std::string>;

class ICalImportCases : public TReadyDatabaseTest {
  protected:
    // Imports a calendar of tests/tools/calendars into a fresh file under TZ=Zone, for 2027.
    TRun Import(const std::string& name, const char* zone = "UTC") {
        TZoneScope scope(zone);
        std::string path = Temp.File(name + "-" + std::to_string(++Imports) + ".sdb");
        EXPECT_EQ(RunTool({"init", path}).Exit, 0);
        TRun run = RunTool({"import", path, std::string(MONDREL_TEST_CALENDARS) + "/" + name,
                            "--from", "2027-01-01", "--until", "2027-12-31", "--script", "S"});
        RowsOfLastImport = Rows(path);
        return run;
    }
    // Every appointment as "Date Time Discription", in date order.
    static TTexts Rows(const std::string& path) {
        TTexts rows;
        TSqliteDatabase database(path);
        auto query = database.Query(
            "SELECT Date || ' ' || Time || ' ' || Discription FROM Dates ORDER BY Date, Time, "
            "Discription");
        for (; !query->AtEnd(); query->Next()) {
            rows.push_back(query->FieldAsText(0));
        }
        return rows;
    }
    static TTexts Lines(const std::string& text) {
        TTexts lines;
        for (size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos;
             begin = end + 1) {
            lines.push_back(text.substr(begin, end - begin));
        }
        return lines;
    }

    TTexts RowsOfLastImport;
    int Imports = 0;
};

TEST_F(ICalImportCases, EveryCalendarOfAStreamIsRead) {
    TRun run = Import("several-calendars.ics");
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-01-01 00:00:00 New Year's Day", "2027-05-01 00:00:00 Labour Day",
                      "2027-12-25 00:00:00 Christmas Day"}));
}

TEST_F(ICalImportCases, MovedDayOfAnAllDaySeriesIsMatchedByItsDate) {
    Import("allday-override-by-date.ics");
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-04-01 00:00:00 Bins out", "2027-04-09 00:00:00 Bins out (Friday)",
                      "2027-04-15 00:00:00 Bins out"}));
}

TEST_F(ICalImportCases, BrokenPropertyIsNamedAndOnlyABrokenRuleSkipsItsEvent) {
    TRun run = Import("broken-properties.ics");
    EXPECT_EQ(RowsOfLastImport, TTexts{"2027-06-12 19:00:00 Concert"});
    EXPECT_EQ(Lines(run.Err),
              (TTexts{"mondrel-db: import: skipped event parade: broken property: Can't parse as "
                      "RECUR value in RRULE property. Removing entire property: FREQ=SOMETIMES",
                      "mondrel-db: import: event concert: left out property DTSTAMP that cannot "
                      "be read: Invalid VALUE type for property DTSTAMP: VALUE=DATE",
                      "mondrel-db: import: event concert: left out property DTEND that cannot be "
                      "read: Can't parse as DATE-TIME value in DTEND property. Removing entire "
                      "property: 2027061",
                      "mondrel-db: import: event concert: left out property GEO that cannot be "
                      "read: Can't parse as GEO value in GEO property. Removing entire property: "
                      "somewhere",
                      "mondrel-db: import: event concert: left out property FOO BAR that cannot "
                      "be read: Parse error in property name: FOO BAR"}));
    EXPECT_EQ(Lines(run.Out).back(), "1 added, 0 updated, 0 removed, 0 unchanged, 1 skipped");
}

TEST_F(ICalImportCases, RuleOfAnOverrideIsIgnoredAndNamed) {
    TRun run = Import("override-with-rule.ics");
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-03-01 08:00:00 Walk", "2027-03-02 09:00:00 Walk later",
                      "2027-03-03 08:00:00 Walk"}));
    EXPECT_EQ(run.Err,
              "mondrel-db: import: event walk: ignored the RRULE of an event with RECURRENCE-ID: "
              "it replaces one occurrence\n");
}

TEST_F(ICalImportCases, ThisAndFutureMovesAndRenamesTheLaterOccurrencesUpToTheirOwnOverride) {
    Import("this-and-future.ics");
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-01-04 09:00:00 Yoga", "2027-01-11 09:00:00 Yoga",
                      "2027-01-18 10:30:00 Yoga (new room)", "2027-01-25 10:30:00 Yoga (new room)",
                      "2027-02-01 08:00:00 Yoga early"}));
}

TEST_F(ICalImportCases, EachPeriodOfAnRdateStartsAnOccurrence) {
    Import("rdate-periods.ics");
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-01-10 09:00:00 Consultation", "2027-01-11 14:00:00 Consultation",
                      "2027-01-12 08:00:00 Consultation"}));
}

TEST_F(ICalImportCases, OneRowPerOccurrenceAndTheNewestOfTwoOverrides) {
    Import("duplicates.ics");
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-03-01 08:00:00 Medicine", "2027-03-02 08:00:00 Medicine",
                      "2027-03-03 09:00:00 Medicine (newer)",
                      "2027-03-04 07:00:00 Medicine (stamped later)"}));
}

TEST_F(ICalImportCases, ZoneIdsWithBlanksAndQuotesFindTheirZoneInTheFile) {
    Import("odd-zone-ids.ics");
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-01-04 03:30:00 Call India", "2027-01-04 12:00:00 Call office"}));
}

TEST_F(ICalImportCases, SummaryKeepsTheBlanksAtItsEnds) {
    Import("summary-blanks.ics");
    EXPECT_EQ(RowsOfLastImport, TTexts{"2027-01-04 07:00:00   Bins out  "});
}

TEST_F(ICalImportCases, CalendarCutOffInTheMiddleSaysWhatIsMissingAndWritesNothing) {
    TRun run = Import("cut-off.ics");
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Err,
              "mondrel-db: END:VEVENT is missing: the file looks cut off; nothing was written\n");
    EXPECT_TRUE(RowsOfLastImport.empty());
}

// A daily, a weekly and a single event through the spring gap (02:30 is read with the offset
// before it, the day after is 02:30 again) and the autumn hour that repeats (the first 02:30),
// in the system's zone and in an Outlook-style VTIMEZONE, seen from both zones.
TEST_F(ICalImportCases, ClockChangesInBerlin) {
    const TTexts berlin{
        "2027-03-21 02:30:00 Weekly spring",     "2027-03-27 02:30:00 Daily",
        "2027-03-27 02:30:00 Daily (file zone)", "2027-03-28 03:30:00 Daily",
        "2027-03-28 03:30:00 Daily (file zone)", "2027-03-28 03:30:00 Single spring",
        "2027-03-28 03:30:00 Weekly spring",     "2027-03-29 02:30:00 Daily",
        "2027-03-29 02:30:00 Daily (file zone)", "2027-04-04 02:30:00 Weekly spring",
        "2027-10-17 02:30:00 Weekly autumn",     "2027-10-24 02:30:00 Weekly autumn",
        "2027-10-31 02:30:00 Single autumn",     "2027-10-31 02:30:00 Weekly autumn"};
    Import("clock-changes-berlin.ics", "Europe/Berlin");
    EXPECT_EQ(RowsOfLastImport, berlin);
    Import("clock-changes-berlin.ics", "America/New_York");
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-03-20 21:30:00 Weekly spring", "2027-03-26 21:30:00 Daily",
                      "2027-03-26 21:30:00 Daily (file zone)", "2027-03-27 21:30:00 Daily",
                      "2027-03-27 21:30:00 Daily (file zone)", "2027-03-27 21:30:00 Single spring",
                      "2027-03-27 21:30:00 Weekly spring", "2027-03-28 20:30:00 Daily",
                      "2027-03-28 20:30:00 Daily (file zone)", "2027-04-03 20:30:00 Weekly spring",
                      "2027-10-16 20:30:00 Weekly autumn", "2027-10-23 20:30:00 Weekly autumn",
                      "2027-10-30 20:30:00 Single autumn", "2027-10-30 20:30:00 Weekly autumn"}));
}

TEST_F(ICalImportCases, ClockChangesInNewYork) {
    Import("clock-changes-new-york.ics", "America/New_York");
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-03-13 02:30:00 Daily", "2027-03-13 02:30:00 Daily (file zone)",
                      "2027-03-14 03:30:00 Daily", "2027-03-14 03:30:00 Daily (file zone)",
                      "2027-03-14 03:30:00 Single spring", "2027-03-15 02:30:00 Daily",
                      "2027-03-15 02:30:00 Daily (file zone)", "2027-10-24 01:30:00 Weekly autumn",
                      "2027-10-31 01:30:00 Weekly autumn", "2027-11-07 01:30:00 Single autumn",
                      "2027-11-07 01:30:00 Weekly autumn"}));
    Import("clock-changes-new-york.ics", "Europe/Berlin");
    EXPECT_EQ(RowsOfLastImport,
              (TTexts{"2027-03-13 08:30:00 Daily", "2027-03-13 08:30:00 Daily (file zone)",
                      "2027-03-14 08:30:00 Daily", "2027-03-14 08:30:00 Daily (file zone)",
                      "2027-03-14 08:30:00 Single spring", "2027-03-15 07:30:00 Daily",
                      "2027-03-15 07:30:00 Daily (file zone)", "2027-10-24 07:30:00 Weekly autumn",
                      "2027-10-31 06:30:00 Weekly autumn", "2027-11-07 06:30:00 Single autumn",
                      "2027-11-07 06:30:00 Weekly autumn"}));
}

TEST_F(ICalImportCases, WindowsZoneIdsAndDisplayNamesFindTheirZone) {
    TRun run = Import("windows-zone-names.ics");
    EXPECT_EQ(RowsOfLastImport, (TTexts{"2027-07-01 07:00:00 Berlin", "2027-07-01 08:00:00 London",
                                        "2027-07-01 13:00:00 New York",
                                        "2027-07-01 13:00:00 New York by display name"}));
    EXPECT_EQ(run.Err,
              "mondrel-db: import: skipped event mars: unknown time zone \"Mars Standard Time\"\n");
}

TEST_F(ICalImportCases, OlsonNamedZoneOfTheFileGivesWayToTheSystemsAfterItsLastRule) {
    Import("olson-zone-with-old-rules.ics", "Europe/Berlin");
    EXPECT_EQ(RowsOfLastImport, (TTexts{"2027-01-07 14:00:00 Choir", "2027-07-07 14:00:00 Choir"}));
}

}  // namespace
