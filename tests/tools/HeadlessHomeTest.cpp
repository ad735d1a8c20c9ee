#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Clock.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

using TArgs = std::vector<std::string>;
using nlohmann::json;

class HeadlessHome : public ::testing::Test {
  protected:
    // Runs a command that must succeed and answers what it printed.
    std::string Ok(TArgs args) {
        args.insert(args.begin() + 1, Path);
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, 0) << args[0] << ": " << run.Err;
        return run.Out;
    }
    json Json(const TArgs& args) { return json::parse(Ok(args)); }

    TTempFolder Temp;
    std::string Path = Temp.File("Mondrel.sdb");
};

// A home set up from a fresh file by commands alone: a Vacation flag on a fortnight, a wake-up
// series moved and thinned, and the week the module will run.
TEST_F(HeadlessHome, SetUpByCommandsAndShownDayByDay) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    std::string added =
        Ok({"flags", "add", "Vacation", "--variable", "Mondrel_IsVacation", "--color", "#FF8000"});
    EXPECT_NE(added.find("its variables file (nhx-host --variables FILE), or add the variable in "
                         "its window:\nMondrel_IsVacation\tboolean\tfalse\n"),
              std::string::npos)
        << added;
    json flags = Json({"flags", "--json"})["flags"];
    ASSERT_EQ(flags.size(), 3u);
    EXPECT_EQ(flags[2]["caption"], "Vacation");
    EXPECT_EQ(flags[2]["color"], "#FF8000");
    EXPECT_EQ(flags[2]["fixed"], false);
    EXPECT_EQ(QueryText(Path, "SELECT Color FROM Flags WHERE Caption = 'Vacation'"),
              std::to_string(0x0080FF))
        << "stored as 0x00BBGGRR";

    EXPECT_EQ(Ok({"days", "--flag", "Vacation", "--from", "2027-07-05", "--to", "2027-07-18"}),
              "14 days flagged Vacation, 0 already set\n");
    EXPECT_EQ(Ok({"days", "--flag", "Vacation", "--date", "2027-07-18", "--date", "2027-07-19"}),
              "1 day flagged Vacation, 1 already set\n");
    Ok({"weekends", "--from", "2027-07-05", "--to", "2027-07-18"});

    Ok({"add", "--date", "2027-07-05", "--time", "06:30", "--description", "Wake up", "--script",
        "wake.sh", "--value", "on", "--repeat", "FREQ=DAILY", "--until", "2027-07-11"});
    Ok({"add", "--date", "2027-07-06", "--time", "07:00", "--description", "Coffee"});
    Ok({"edit", "3", "--time", "05:45", "--value", "loud"});  // 2027-07-07
    std::string preview = Ok({"remove", "4", "--dry-run"});
    EXPECT_EQ(preview,
              "Would remove ID 4: 2027-07-08 06:30:00 Wake up (open)\n"
              "1 appointment would be removed\n");
    EXPECT_EQ(Ok({"remove", "4"}),
              "Removed ID 4: 2027-07-08 06:30:00 Wake up (open)\n1 appointment removed\n");

    TScopedClock clock(Day(2027, 7, 6) + At(6, 40));
    json days = Json({"upcoming", "--json"})["days"];
    ASSERT_EQ(days.size(), 7u);
    EXPECT_EQ(days[0]["date"], "2027-07-06");
    EXPECT_EQ(days[0]["weekday"], "Tuesday");
    ASSERT_EQ(days[0]["flags"].size(), 1u);
    EXPECT_EQ(days[0]["flags"][0]["caption"], "Vacation");
    const json& today = days[0]["appointments"];
    ASSERT_EQ(today.size(), 2u);
    EXPECT_EQ(today[0]["time"], "06:30:00");
    EXPECT_EQ(today[0]["fires"], "at the next tick") << "already past";
    EXPECT_EQ(today[1]["description"], "Coffee");
    EXPECT_EQ(today[1]["blank_script"], true);
    EXPECT_EQ(today[1]["fires"], "at its time");
    EXPECT_EQ(days[1]["appointments"][0]["time"], "05:45:00");
    EXPECT_EQ(days[1]["appointments"][0]["value"], "loud");
    EXPECT_TRUE(days[2]["appointments"].empty()) << "the removed occurrence";
    EXPECT_EQ(days[4]["flags"].size(), 2u) << "Saturday: Vacation and Weekend";

    std::string text = Ok({"upcoming", "--days", "1"});
    EXPECT_NE(text.find("2027-07-06 Tuesday  Vacation\n"), std::string::npos) << text;
    EXPECT_NE(text.find("(no script: sets only Mondrel_TriggerValue)"), std::string::npos);

    json listed = Json({"list", "--json"})["appointments"];
    EXPECT_EQ(listed.size(), 7u);
    Ok({"flags", "remove", "Vacation"});
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM DayFlags WHERE FlagID = 3"), "0");
}

// As after the page's editor: a done appointment moved to a moment ahead fires again there, a
// change of its value alone keeps it done, and --done still has the last word.
TEST_F(HeadlessHome, EditOpensADoneAppointmentMovedAheadUnlessDoneIsGiven) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    TScopedClock clock(Day(2027, 7, 5) + At(7, 0));
    Ok({"add", "--date", "2027-07-05", "--time", "06:30", "--description", "Wake up", "--script",
        "wake.sh"});
    const auto done = [this] { return QueryText(Path, "SELECT Done FROM Dates WHERE ID = 1"); };
    Ok({"edit", "1", "--done"});
    Ok({"edit", "1", "--value", "soft"});
    EXPECT_EQ(done(), "1");
    EXPECT_NE(Ok({"edit", "1", "--time", "07:15"}).find("(open)"), std::string::npos);
    EXPECT_EQ(done(), "0");
    Ok({"edit", "1", "--time", "07:30", "--done"});
    EXPECT_EQ(done(), "1");
}

// What cannot be read, or a file that refuses: the right exit status, nothing written.
TEST_F(HeadlessHome, RefusalsWriteNothing) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    Ok({"add", "--date", "2027-07-05", "--time", "06:30", "--description", "Wake up"});
    const std::string before =
        QueryText(Path,
                  "SELECT group_concat(ID || Date || Time || Discription || Done) FROM Dates") +
        QueryText(Path, "SELECT count(*) FROM DayFlags") +
        QueryText(Path, "SELECT group_concat(Caption) FROM Flags");
    const std::vector<std::pair<TArgs, int>> cases = {
        {{"edit", Path, "1", "--date", "2027-02-30"}, 2},
        {{"edit", Path, "0", "--done"}, 2},
        {{"edit", Path, "1", "--open", "--done"}, 2},
        {{"edit", Path, "9", "--done"}, 1},
        {{"remove", Path, "1", "9"}, 1},
        {{"remove", Path, "1", "x"}, 2},
        {{"remove", Path, "--from", "2027-07-06", "--to", "2027-07-05"}, 2},
        {{"days", Path, "--flag", "Weekend", "--date", "2027-07-05,soon"}, 2},
        {{"days", Path, "--flag", "Nope", "--date", "2027-07-05"}, 1},
        {{"flags", Path, "add", "weekend", "--variable", "V"}, 1},
        {{"flags", Path, "add", "V", "--variable", "mondrel_isweekend"}, 1},
        {{"flags", Path, "add", "V", "--variable", "V", "--color", "#12345"}, 2},
        {{"flags", Path, "add", "V", "--variable", "V", "--color", "Plaid"}, 2},
        {{"flags", Path, "remove", "Weekend"}, 1},
        {{"flags", Path, "rename", "Weekend"}, 2},
        {{"upcoming", Path, "--days", "0"}, 2},
    };
    for (const auto& [args, exit] : cases) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, exit) << args[2] << ' ' << run.Err;
        EXPECT_EQ(run.Out, "") << args[2];
        EXPECT_EQ(run.Err.rfind("mondrel-db: ", 0), 0u) << run.Err;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), exit == 2 ? 2 : 1) << run.Err;
    }
    EXPECT_EQ(
        QueryText(Path,
                  "SELECT group_concat(ID || Date || Time || Discription || Done) FROM Dates") +
            QueryText(Path, "SELECT count(*) FROM DayFlags") +
            QueryText(Path, "SELECT group_concat(Caption) FROM Flags"),
        before);
}

// A row that cannot be read is named on standard error and left out; the others still come,
// and remove takes it away by its ID.
TEST_F(HeadlessHome, UnreadableRowsAreNamedAndLeftOut) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    Ok({"add", "--date", "2027-07-05", "--time", "06:30", "--description", "Wake up"});
    RunSql(Path,
           "INSERT INTO Dates (ID, Date, Time, Discription, Script, Done) "
           "VALUES (7, 'garbage', '08:00', 'bad', 'x', 0)");
    const std::string named = "Unreadable row in Dates: ID 7, Date \"garbage\" (left out)\n";
    for (const TArgs& args : {TArgs{"list", Path, "--json"}, TArgs{"export", Path, "-"}}) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, 0) << args[0];
        EXPECT_NE(run.Out.find("Wake up"), std::string::npos) << args[0];
        EXPECT_NE(run.Err.find("mondrel-db: " + args[0] + ": " + named), std::string::npos)
            << run.Err;
    }
    EXPECT_EQ(Ok({"remove", "7"}),
              "Removed ID 7: unreadable ('garbage' is not a valid date)\n1 appointment removed\n");
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates"), "1");
}

// While another process holds the file's write lock, export cannot keep the file's token: it
// fails and writes nothing, since a stand-in token would make a re-import add every row again.
TEST_F(HeadlessHome, ExportUnderAnotherWriteLockFailsWithNothingWritten) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    Ok({"add", "--date", "2027-07-05", "--time", "06:30", "--description", "Wake up"});
    std::string target = Temp.File("out.ics");
    {
        TSqliteDatabase other(Path);
        other.Execute("BEGIN IMMEDIATE");
        TRun run = RunTool({"export", Path, target});
        EXPECT_EQ(run.Exit, 1) << run.Err;
        EXPECT_NE(run.Err.find("locked"), std::string::npos) << run.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(RunTool({"export", Path, target}).Exit, 0);
}

}  // namespace
