#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "DBCnx.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

class MondrelDb : public ::testing::Test {
  protected:
    TTempFolder Temp;
    std::string Path = Temp.File("Mondrel.sdb");

    std::vector<std::string> Column(const std::string& sql) {
        std::vector<std::string> values;
        TSqliteDatabase database(Path);
        auto query = database.Query(sql);
        for (; !query->AtEnd(); query->Next()) {
            values.push_back(query->FieldAsText(0));
        }
        return values;
    }
};

TEST_F(MondrelDb, InitMakesTheFourTablesWithKeysDefaultsAndIndexes) {
    TRun run = RunTool({"init", Path});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Err, "");

    using TNames = std::vector<std::string>;
    EXPECT_EQ(Column("SELECT name FROM pragma_table_info('Dates')"),
              (TNames{"ID", "Date", "Time", "Discription", "Value", "Script", "Done"}));
    EXPECT_EQ(Column("SELECT name FROM pragma_table_info('Flags')"),
              (TNames{"ID", "Caption", "Variable", "Color", "isFix"}));
    EXPECT_EQ(Column("SELECT name FROM pragma_table_info('DayFlags')"), (TNames{"Date", "FlagID"}));
    EXPECT_EQ(Column("SELECT name FROM pragma_table_info('Colors')"), (TNames{"Value", "Name"}));
    EXPECT_EQ(Column("SELECT name FROM pragma_table_info('Dates') WHERE pk = 1"), (TNames{"ID"}));
    EXPECT_EQ(Column("SELECT name FROM pragma_table_info('Flags') WHERE pk = 1"), (TNames{"ID"}));
    EXPECT_EQ(Column("SELECT dflt_value FROM pragma_table_info('Dates') WHERE name = 'Done'"),
              (TNames{"0"}));
    EXPECT_EQ(Column("SELECT tbl_name || '(' || (SELECT group_concat(name) FROM "
                     "pragma_index_info(m.name)) || ')' FROM sqlite_master m "
                     "WHERE type = 'index' ORDER BY tbl_name"),
              (TNames{"Dates(Date,Done,Time)", "DayFlags(Date)"}));
}

// Contrast of two 0x00BBGGRR colours as WCAG measures it: 1 (the same) to 21 (black on white).
double Contrast(int32_t first, int32_t second) {
    auto luminance = [](int32_t color) {
        auto linear = [](int channel) {
            double c = channel / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(color & 0xFF) + 0.7152 * linear((color >> 8) & 0xFF) +
               0.0722 * linear((color >> 16) & 0xFF);
    };
    double a = luminance(first) + 0.05;
    double b = luminance(second) + 0.05;
    return std::max(a, b) / std::min(a, b);
}

TEST_F(MondrelDb, InitFillsNamedColoursThatStandOutAndTheFixedFlags) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    ASSERT_DOUBLE_EQ(Contrast(0x000000, 0xFFFFFF), 21);
    // The page's calendar body, and its colour of other months' days and of the marker.
    const int32_t body = 0xF0FBFF;
    const int32_t otherMonth = 0xF0CAA6;
    TDBColors colors = GetColors(Path);
    ASSERT_GE(colors.size(), 12u);
    EXPECT_EQ(colors[0].Name, "Red");
    std::set<int32_t> values;
    std::set<std::string> names;
    for (const TDBColor& color : colors) {
        values.insert(color.Value);
        names.insert(color.Name);
        EXPECT_EQ(color.Value & ~0xFFFFFF, 0) << color.Name << " is no plain colour";
        EXPECT_GE(Contrast(color.Value, body), 3) << color.Name;
        EXPECT_GE(Contrast(color.Value, otherMonth), 3) << color.Name;
    }
    EXPECT_EQ(values.size(), colors.size()) << "every colour differs";
    EXPECT_EQ(names.size(), colors.size()) << "every name differs";

    TFlags flags = GetFlags(Path);
    ASSERT_EQ(flags.size(), 2u);
    EXPECT_EQ(flags[0].Caption, "Weekend");
    EXPECT_EQ(flags[0].Variable, "Mondrel_IsWeekend");
    EXPECT_EQ(flags[1].Caption, "Public holiday");
    EXPECT_EQ(flags[1].Variable, "Mondrel_IsPublicHoliday");
    for (const TFlag& flag : flags) {
        EXPECT_EQ(flag.isFix, 1);
        EXPECT_TRUE(values.count(flag.Color)) << flag.Caption << " has a colour of the list";
    }
    // Weekend and public holiday differ clearly: far apart as RGB points (red against blue).
    auto channel = [](int32_t color, int shift) { return (color >> shift) & 0xFF; };
    double distance = 0;
    for (int shift : {0, 8, 16}) {
        distance += std::pow(channel(flags[0].Color, shift) - channel(flags[1].Color, shift), 2);
    }
    EXPECT_GE(std::sqrt(distance), 200);
}

TEST_F(MondrelDb, InitRefusesAnExistingFileAndLeavesItAloneButFillsAnEmptyOne) {
    { std::ofstream(Path) << "precious"; }
    TRun run = RunTool({"init", Path});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Err, "mondrel-db: \"" + Path + "\" already exists; not overwriting it\n");
    std::ifstream in(Path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");

    { std::ofstream(Path, std::ios::trunc); }
    run = RunTool({"init", Path});
    EXPECT_EQ(run.Exit, 0) << "an empty file is taken as new: " << run.Err;
    EXPECT_EQ(GetFlags(Path).size(), 2u);

    std::string nowhere = Temp.File("missing/Mondrel.sdb");
    run = RunTool({"init", nowhere});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_NE(run.Err.find(nowhere), std::string::npos) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

TEST_F(MondrelDb, AddStoresAnOpenAppointmentThatListShowsByMonth) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    TRun added = RunTool({"add", Path, "--date", "2024-05-03", "--time", "7:05", "--description",
                          "Water \"the\" plants", "--value", "on", "--script", "Garden"});
    ASSERT_EQ(added.Exit, 0) << added.Err;
    EXPECT_EQ(added.Out, "Added 2024-05-03 07:05:00 Water \"the\" plants\n");
    ASSERT_EQ(
        RunTool({"add", Path, "--date=2024-05-01", "--time=18:30", "--description=Lights\non"})
            .Exit,
        0);
    ASSERT_EQ(
        RunTool({"add", Path, "--date", "2024-06-01", "--time", "06:00", "--description", "June"})
            .Exit,
        0);

    TDates open = GetDates(Path, dqDayOpen, EncodeDate(2024, 5, 3));
    ASSERT_EQ(open.size(), 1u);
    TMondrelDate stored = GetDate(Path, open[0].ID);
    EXPECT_EQ(stored.Discription, "Water \"the\" plants");
    EXPECT_EQ(stored.Value, "on");
    EXPECT_EQ(stored.Script, "Garden");
    EXPECT_DOUBLE_EQ(stored.Time, EncodeTime(7, 5, 0, 0));
    SetDateDone(Path, open[0].ID);

    TRun may = RunTool({"list", Path, "--month", "2024-05"});
    ASSERT_EQ(may.Exit, 0) << may.Err;
    EXPECT_EQ(may.Out,
              "ID  Date        Time      Done  Description         Value  Script\n"
              "2   2024-05-01  18:30:00  no    Lights\\non\n"
              "1   2024-05-03  07:05:00  yes   Water \"the\" plants  on     Garden\n"
              "2 appointments\n");

    TRun all = RunTool({"list", Path});
    ASSERT_EQ(all.Exit, 0) << all.Err;
    EXPECT_NE(all.Out.find("3   2024-06-01  06:00:00  no    June"), std::string::npos) << all.Out;
    EXPECT_NE(all.Out.find("\n3 appointments\n"), std::string::npos) << all.Out;

    EXPECT_EQ(RunTool({"list", Path, "--month", "2023-01"}).Out,
              "ID  Date  Time  Done  Description  Value  Script\n0 appointments\n");
}

TEST_F(MondrelDb, BadArgumentsExplainAndChangeNothing) {
    ASSERT_EQ(RunTool({"init", Path}).Exit, 0);
    const std::string other = Temp.File("other.sdb");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"init"}, "init: no PATH given"},
        {{"init", other, "extra"}, "init: unexpected argument 'extra'"},
        {{"init", other, "--force", "yes"}, "init: unknown option --force"},
        {{"list", Path, "--month"}, "list: --month needs a value"},
        {{"list", Path, "--month", "2024-5"}, "list: --month '2024-5' is no valid month"},
        {{"list", Path, "--month", "2024-13"}, "list: --month '2024-13' is no valid month"},
        {{"add", Path, "--time", "10:00", "--description", "x"}, "add: --date is required"},
        {{"add", Path, "--date", "2024-05-01", "--description", "x"}, "add: --time is required"},
        {{"add", Path, "--date", "2024-05-01", "--time", "10:00"},
         "add: --description is required"},
        {{"add", Path, "--date", "2024-02-30", "--time", "10:00", "--description", "x"},
         "add: --date '2024-02-30' is no valid day"},
        {{"add", Path, "--date", "24-05-01", "--time", "10:00", "--description", "x"},
         "add: --date '24-05-01' is no valid day"},
        {{"add", Path, "--date", "2024-05-01", "--time", "25:00", "--description", "x"},
         "add: --time '25:00' is no valid time"},
        {{"add", Path, "--date", "2024-05-01", "--date", "2024-05-02", "--time", "10:00",
          "--description", "x"},
         "add: --date given twice"},
    };
    for (const auto& [args, message] : cases) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, 2) << message;
        EXPECT_EQ(run.Err.rfind("mondrel-db: " + message, 0), 0u) << run.Err;
        // One line for the error, then the command's usage line.
        EXPECT_EQ(run.Err.substr(run.Err.find('\n') + 1)
                      .rfind("usage: mondrel-db " + args[0] + " PATH", 0),
                  0u)
            << run.Err;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 2) << run.Err;
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(other));
    EXPECT_TRUE(GetDates(Path, dqMonth, EncodeDate(2024, 5, 1)).empty());
}

TEST_F(MondrelDb, ListAndAddNeedAnExistingDatabase) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", Path},
          {"add", Path, "--date", "2024-05-01", "--time", "10:00", "--description", "x"}}) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Exit, 1);
        EXPECT_EQ(run.Err, "mondrel-db: no database at \"" + Path +
                               "\" (make one with: mondrel-db init " + Path + ")\n");
    }
    EXPECT_FALSE(std::filesystem::exists(Path)) << "a mistyped path must not become a file";

    // What init would refuse too is named instead of sending the user there.
    const std::string folder = Path + ".d", pipe = Path + ".fifo", dangling = Path + ".link";
    std::filesystem::create_directory(folder);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_symlink(Path + ".nowhere", dangling);
    for (auto [path, what] : {std::pair{folder, "a folder"}, std::pair{pipe, "a named pipe"},
                              std::pair{dangling, "a link to nothing"}}) {
        EXPECT_EQ(RunTool({"list", path}).Err,
                  "mondrel-db: \"" + path + "\" is " + what + ", not a database file\n");
    }

    { std::ofstream(Path) << ""; }
    TRun run = RunTool({"list", Path});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Err,
              "mondrel-db: Error: no such table: Dates; SELECT ID, Date, Time, Discription, "
              "Value, Script, Done FROM Dates ORDER BY ID\n");
}

// The installed program itself: exit codes and where its messages go.
TEST_F(MondrelDb, ProgramExitsNonZeroWithMessageOnStandardError) {
    auto shell = [&](const std::string& arguments, std::string& output) {
        std::string command = std::string(MONDREL_DB_PROGRAM) + " " + arguments + " 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        char buffer[256];
        output.clear();
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            output += buffer;
        }
        int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string output;
    EXPECT_EQ(shell("add '" + Path + "' --date 2024-05-01 2>/dev/null 1>&2", output), 2);
    EXPECT_EQ(output, "") << "messages go to standard error";
    EXPECT_EQ(shell("init '" + Path + "'", output), 0) << output;
    EXPECT_EQ(shell("add '" + Path + "' --date 2024-05-01 --time 10:00 --description Hi", output),
              0)
        << output;
    EXPECT_EQ(shell("list '" + Path + "'", output), 0);
    EXPECT_NE(output.find("2024-05-01  10:00:00  no    Hi"), std::string::npos) << output;
    EXPECT_EQ(shell("init '" + Path + "'", output), 1);
}

}  // namespace

namespace {

// The holiday library is built on Qt 5: the program may carry Qt 5 Core, never Qt 6.
TEST(MondrelDbProgram, LinksNoQt6) {
    std::string command = std::string("ldd ") + MONDREL_DB_PROGRAM + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string libraries;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        libraries += buffer;
    }
    ASSERT_EQ(pclose(pipe), 0) << libraries;
    EXPECT_NE(libraries.find("libKF5Holidays"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt6"), std::string::npos) << libraries;
}

}  // namespace
