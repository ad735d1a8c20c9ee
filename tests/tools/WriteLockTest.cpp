// Every command that writes waits for another program's write lock, as long as the busy
// time-out allows, instead of failing with "database is locked".
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "Sqlite3Db.h"
#include "StoreTestSupport.h"
#include "ToolTestSupport.h"

namespace {

// Another connection that holds the file's write lock for a fifth of a second, as a host firing
// an appointment or a script with sqlite3 would. A command that does not wait fails within a few
// milliseconds of reaching the lock, long before the holder lets go.
class TWriteLockHolder {
  public:
    explicit TWriteLockHolder(const std::string& path) : Database(path) {
        Database.Execute("BEGIN IMMEDIATE");
        Releaser = std::thread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            Database.Commit();
        });
    }
    ~TWriteLockHolder() { Releaser.join(); }
    TWriteLockHolder(const TWriteLockHolder&) = delete;
    TWriteLockHolder& operator=(const TWriteLockHolder&) = delete;

  private:
    TSqliteDatabase Database;
    std::thread Releaser;
};

class WriteLock : public TReadyDatabaseTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WriteLock, EveryWritingCommandWaitsForAnotherWriter) {
    RunSql(Path, std::string("PRAGMA journal_mode = ") + GetParam());
    ASSERT_EQ(QueryText(Path, "PRAGMA journal_mode"), GetParam());
    // Something for check --fix to repair.
    RunSql(Path, "DROP INDEX DayFlagsByDate");
    std::string ics = Temp.File("feed.ics");
    std::ofstream(ics, std::ios::binary)
        << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//test//EN\r\nBEGIN:VEVENT\r\n"
           "UID:a\r\nDTSTART:20270105T070000\r\nSUMMARY:Paper\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    const std::vector<std::vector<std::string>> commands = {
        {"add", Path, "--date", "2027-01-04", "--time", "07:00", "--description", "Once"},
        {"add", Path, "--date", "2027-01-04", "--time", "07:00", "--description", "Weekly",
         "--repeat", "FREQ=WEEKLY;COUNT=3"},
        {"import", Path, ics, "--script", "bins", "--from", "2027-01-01", "--until", "2027-12-31"},
        {"weekends", Path, "--year", "2027"},
        {"holidays", Path, "--region", "de-by", "--year", "2027"},
        {"check", Path, "--fix"},
        {"export", Path, Temp.File("out.ics")},
        {"weekends", Path, "--standing", "--source", "weekends"},
        {"refresh", Path},
        {"forget", Path, "weekends"},
        {"edit", Path, "1", "--value", "loud"},
        {"flags", Path, "add", "Guests", "--variable", "Mondrel_Guests"},
        {"flags", Path, "edit", "Guests", "--caption", "Visitors"},
        {"flags", Path, "remove", "Visitors"},
    };
    for (const auto& command : commands) {
        TRun run;
        {
            TWriteLockHolder holder(Path);
            run = RunTool(command);
        }
        EXPECT_EQ(run.Exit, 0) << command[0] << ": " << run.Err;
    }
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates"), "5");
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM sqlite_master WHERE name = 'DayFlagsByDate'"),
              "1");
    EXPECT_EQ(QueryText(Path, "SELECT count(*) > 100 FROM DayFlags"), "1");
    EXPECT_NE(QueryText(Path, "SELECT Value FROM MondrelFile WHERE Name = 'Token'"), "");
}

INSTANTIATE_TEST_SUITE_P(JournalModes, WriteLock, ::testing::Values("delete", "wal"));

}  // namespace
