#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DayFlagTestSupport.h"

namespace {

using TArgs = std::vector<std::string>;

class DayFlagArguments : public TDayFlagCommandTest {
  protected:
    // Runs the command and checks its exit status, that the error is one line (with the
    // command's usage line after it for exit 2), and that nothing was written.
    void ExpectRefused(const TArgs& args, int exit, const std::string& message) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, exit) << message;
        EXPECT_EQ(run.Out, "") << message;
        std::string first = run.Err.substr(0, run.Err.find('\n') + 1);
        EXPECT_EQ(first, "mondrel-db: " + message + "\n");
        std::string usage = "usage: mondrel-db " + args[0] + " ";
        if (exit == 2) {
            EXPECT_EQ(run.Err.substr(first.size(), usage.size()), usage) << run.Err;
            EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 2) << run.Err;
        } else {
            EXPECT_EQ(run.Err, first);
        }
        EXPECT_EQ(Count("SELECT count(*) FROM DayFlags"), "0") << message;
    }
};

TEST_F(DayFlagArguments, WrongArgumentsExitTwo) {
    const std::vector<std::pair<TArgs, std::string>> cases = {
        {{"weekends", Path, "--year", "2027", "--frobnicate"},
         "weekends: unknown option --frobnicate"},
        {{"weekends", Path, "--year"}, "weekends: --year needs a value"},
        {{"weekends", Path, "--year", "2027", "--clear=yes"}, "weekends: --clear takes no value"},
        {{"weekends", "--year", "2027"}, "weekends: no PATH given"},
        {{"weekends", Path}, "weekends: --year or --from and --to is required"},
        {{"weekends", Path, "--year", "1899"}, "weekends: --year 1899 is outside 1900-2200"},
        {{"weekends", Path, "--year", "2201"}, "weekends: --year 2201 is outside 1900-2200"},
        {{"weekends", Path, "--year", "27"},
         "weekends: --year '27' is no valid year (expected YYYY)"},
        {{"weekends", Path, "--from", "2027-02-30", "--to", "2027-03-01"},
         "weekends: --from '2027-02-30' is no valid day (expected YYYY-MM-DD)"},
        {{"weekends", Path, "--from", "2027-1-1", "--to", "2027-03-01"},
         "weekends: --from '2027-1-1' is no valid day (expected YYYY-MM-DD)"},
        {{"weekends", Path, "--from", "2027-03-02", "--to", "2027-03-01"},
         "weekends: --from 2027-03-02 is after --to 2027-03-01"},
        {{"weekends", Path, "--from", "1899-12-31", "--to", "2027-03-01"},
         "weekends: --from 1899-12-31 is outside 1900-2200"},
        {{"weekends", Path, "--from", "2027-03-02"}, "weekends: --from needs --to"},
        {{"weekends", Path, "--year", "2027", "--to", "2027-03-02"},
         "weekends: give --year or --from and --to, not both"},
        {{"weekends", Path, "--year", "2027", "--days", "sat,sunday"},
         "weekends: unknown weekday 'sunday' in --days (expected mon to sun)"},
        {{"weekends", Path, "--year", "2027", "--days", ""},
         "weekends: unknown weekday '' in --days (expected mon to sun)"},
        {{"holidays", Path, "--year", "2027"}, "holidays: --region is required"},
        {{"holidays", Path, "--region", "de-by", "--year", "2027", "--days", "sat"},
         "holidays: unknown option --days"},
        {{"holidays", Path, "--region", "de-by", "--from", "2027-13-01", "--to", "2027-12-31"},
         "holidays: --from '2027-13-01' is no valid day (expected YYYY-MM-DD)"},
        {{"regions", "a", "b"}, "regions: unexpected argument 'b'"},
    };
    for (const auto& [args, message] : cases) {
        ExpectRefused(args, 2, message);
    }
}

TEST_F(DayFlagArguments, RefusedFilesRegionsAndFlagsExitOne) {
    const std::string missing = Temp.File("missing.sdb");
    const std::string empty = Temp.File("empty.sdb");
    { std::ofstream(empty) << ""; }
    const std::string before = OtherTables();
    const std::vector<std::pair<TArgs, std::string>> cases = {
        {{"weekends", missing, "--year", "2027"},
         "no database at \"" + missing + "\" (make one with: mondrel-db init " + missing + ")"},
        {{"holidays", missing, "--region", "at", "--year", "2027"},
         "no database at \"" + missing + "\" (make one with: mondrel-db init " + missing + ")"},
        {{"weekends", empty, "--year", "2027"},
         "Error: no such table: Flags; SELECT ID, Caption, Variable, Color, isFix FROM Flags"},
        {{"holidays", Path, "--region", "atlantis", "--year", "2027"},
         "unknown holiday region \"atlantis\" (mondrel-db regions lists them)"},
        {{"weekends", Path, "--year", "2027", "--flag", "weekend"},
         "no flag with the caption \"weekend\""},
        {{"holidays", Path, "--region", "at", "--year", "2027", "--flag", "Bins", "--dry-run"},
         "no flag with the caption \"Bins\""},
    };
    for (const auto& [args, message] : cases) {
        ExpectRefused(args, 1, message);
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(OtherTables(), before);

    RunSql(Path, "UPDATE Flags SET Variable = 'Other'");
    ExpectRefused({"weekends", Path, "--year", "2027"}, 1,
                  "no flag with the variable \"Mondrel_IsWeekend\"");
    ExpectRefused({"holidays", Path, "--region", "at", "--year", "2027"}, 1,
                  "no flag with the variable \"Mondrel_IsPublicHoliday\"");
}

}  // namespace
