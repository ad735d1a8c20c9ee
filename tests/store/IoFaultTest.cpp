// Every write of the store and of mondrel-db, run once per VFS call with that call failing (and
// once with every call from it on failing), in the rollback journal and in WAL. Whatever fails,
// the file holds exactly the old rows or exactly the new ones, passes its integrity check and
// keeps no lock, and the write succeeds when tried again; a normal return always means the new
// rows are there.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Clock.h"
#include "DBCnx.h"
#include "FaultVfs.h"
#include "MondrelDbCommand.h"
#include "MondrelSchema.h"
#include "SqlRows.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"

namespace {

enum class TJournal { Rollback, Wal };

enum class TOutcome { Done, Failed };

struct TWriteCase {
    // Makes the old rows at the path (no file at all is a state too).
    std::function<void(const std::string&)> Setup;
    // The write; answers Failed where it raised ESqliteException or the tool exited with 1.
    std::function<TOutcome(const std::string&)> Run;
    // A second run is meaningful after a normal return too.
    bool Repeatable = true;
};

struct TSqliteCloser {
    void operator()(sqlite3* handle) const noexcept { sqlite3_close(handle); }
};
using TConnection = std::unique_ptr<sqlite3, TSqliteCloser>;

// A connection of its own, outside the store, that never waits for a lock.
TConnection OpenOutside(const std::string& path) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    TConnection connection(raw);
    if (rc != SQLITE_OK) {
        throw std::runtime_error("cannot open " + path + ": " + sqlite3_errstr(rc));
    }
    sqlite3_busy_timeout(raw, 0);
    return connection;
}

// The whole content of the file: its schema and every row of every table.
std::string Snapshot(const std::string& path) {
    if (!std::filesystem::exists(path)) {
        return "<no file>";
    }
    TConnection connection = OpenOutside(path);
    std::string text = RowsText(connection.get(),
                                "SELECT type, name, sql FROM sqlite_master "
                                "ORDER BY name");
    std::istringstream tables(RowsText(
        connection.get(), "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"));
    for (std::string table; std::getline(tables, table);) {
        text += "-- " + table + "\n";
        text += RowsText(connection.get(), "SELECT * FROM \"" + table + "\" ORDER BY rowid");
    }
    return text;
}

void ExpectIntact(const std::string& path, const std::string& where) {
    if (!std::filesystem::exists(path)) {
        return;
    }
    TConnection connection = OpenOutside(path);
    // Another connection takes the strongest lock at once: nothing was left holding one.
    int rc = sqlite3_exec(connection.get(), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    EXPECT_EQ(rc, SQLITE_OK) << where << ": a lock is left: " << sqlite3_errstr(rc);
    if (rc == SQLITE_OK) {
        sqlite3_exec(connection.get(), "COMMIT", nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(RowsText(connection.get(), "PRAGMA integrity_check"), "ok\n") << where;
}

void RemoveDatabase(const std::string& path) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        std::filesystem::remove(path + suffix);
    }
}

TOutcome StoreWrite(const std::function<void()>& write) {
    try {
        write();
        return TOutcome::Done;
    } catch (const ESqliteException&) {
        return TOutcome::Failed;
    }
}

TOutcome ToolWrite(const std::vector<std::string>& args) {
    // Sources record when they ran: one fixed moment makes every run write the same.
    TScopedClock clock(EncodeDate(2009, 3, 1) + EncodeTime(12, 0, 0, 0));
    std::ostringstream out;
    std::ostringstream err;
    int exit = RunMondrelDb(args, out, err);
    if (exit == mdbFailed) {
        return TOutcome::Failed;
    }
    if (exit != mdbOK) {
        throw std::runtime_error("mondrel-db exited with " + std::to_string(exit) + ": " +
                                 err.str());
    }
    return TOutcome::Done;
}

// The old rows every store write starts from: three appointments (one done), the two fixed
// flags and one of the user's, and three day flags on two days.
void SetupRows(const std::string& path, TJournal journal) {
    CreateMondrelDatabase(path);
    TSqliteDatabase database(path);
    if (journal == TJournal::Wal) {
        database.Execute("PRAGMA journal_mode = WAL");
    }
    database.BeginTransaction();
    database.Execute(
        "INSERT INTO Dates (Date, Time, Discription, Value, Script, Done) VALUES "
        "('2009-03-05', '10:30:00', 'Alpha', 'one', 'Lights', 0), "
        "('2009-03-05', '11:00:00', 'Beta', 'two', 'Blinds', 1), "
        "('2009-03-06', '07:15:00', 'Gamma', '', '', 0)");
    database.Execute(
        "INSERT INTO Flags (Caption, Variable, Color) VALUES ('Trip', 'Mondrel_Trip', 255)");
    database.Execute(
        "INSERT INTO DayFlags (Date, FlagID) VALUES "
        "('2009-03-05', 1), ('2009-03-05', 3), ('2009-03-06', 2)");
    database.Commit();
}

TMondrelDate Appointment(int64_t id, TDateTime date, TDateTime time, const std::string& text) {
    TMondrelDate appointment;
    appointment.ID = id;
    appointment.Date = date;
    appointment.Time = time;
    appointment.Discription = text;
    appointment.Value = text + " value";
    appointment.Script = text + " script";
    return appointment;
}

TWriteCase StoreCase(TJournal journal, std::function<void(const std::string&)> write) {
    return {[journal](const std::string& path) { SetupRows(path, journal); },
            [write](const std::string& path) { return StoreWrite([&] { write(path); }); }};
}

// How the runs of one table ended, for the test's output.
struct TTally {
    int Runs = 0;
    int Failed = 0;
    int FailedAfterCommit = 0;
};

// One run with the planned fault, then the checks of the rows, the file and its lock.
void RunWithFault(TTally& tally, const TWriteCase& write, const std::string& path,
                  const TVfsFault& fault, const std::string& oldRows, const std::string& newRows,
                  const std::string& where) {
    RemoveDatabase(path);
    write.Setup(path);
    TFaultVfs::Arm(fault);
    TOutcome outcome = TOutcome::Failed;
    try {
        outcome = write.Run(path);
    } catch (const std::exception& error) {
        TFaultVfs::Disarm();
        ADD_FAILURE() << where
                      << ": raised something other than ESqliteException: " << error.what();
        return;
    }
    TFaultVfs::Disarm();

    ExpectIntact(path, where);
    std::string rows = Snapshot(path);
    ++tally.Runs;
    tally.Failed += outcome == TOutcome::Failed;
    tally.FailedAfterCommit += outcome == TOutcome::Failed && rows == newRows;
    if (outcome == TOutcome::Done) {
        EXPECT_EQ(rows, newRows) << where
                                 << (rows == oldRows ? ": a lost write reported as success"
                                                     : ": returned normally with other rows");
    } else {
        EXPECT_TRUE(rows == oldRows || rows == newRows) << where << ": failed and left a mixture:\n"
                                                        << rows;
    }
    if (outcome == TOutcome::Failed && rows == "<no file>") {
        for (const char* suffix : {"-journal", "-wal", "-shm"}) {
            EXPECT_FALSE(std::filesystem::exists(path + suffix))
                << where << ": left " << path + suffix << " without its database";
        }
    }
    if (outcome == TOutcome::Failed || write.Repeatable) {
        EXPECT_EQ(write.Run(path), TOutcome::Done) << where << ": does not succeed again";
    }
}

void RunFaultTable(const TWriteCase& write, const char* mode) {
    TFaultVfs::Install();
    TTempFolder temp;
    std::string path = temp.File("Mondrel.sdb");

    write.Setup(path);
    std::string oldRows = Snapshot(path);
    TFaultVfs::Arm({});
    ASSERT_EQ(write.Run(path), TOutcome::Done);
    std::vector<TVfsCall> calls = TFaultVfs::Disarm();
    std::string newRows = Snapshot(path);
    ASSERT_NE(oldRows, newRows) << "the write changes nothing to check";
    ASSERT_FALSE(calls.empty());

    TTally tally;
    for (size_t i = 0; i < calls.size(); ++i) {
        int number = static_cast<int>(i + 1);
        std::string where = std::string(mode) + ", call " + std::to_string(number) + " of " +
                            std::to_string(calls.size()) + " (" + VfsCallName(calls[i]) + ")";
        RunWithFault(tally, write, path, {number, false, false}, oldRows, newRows,
                     where + " fails");
        if (calls[i] == TVfsCall::Write) {
            RunWithFault(tally, write, path, {number, false, true}, oldRows, newRows,
                         where + " finds the disk full");
        }
        RunWithFault(tally, write, path, {number, true, false}, oldRows, newRows,
                     where + " and every later call fail");
        if (::testing::Test::HasFailure()) {
            return;  // the first failing call tells the story; the rest would repeat it
        }
    }
    std::cout << mode << ": " << calls.size() << " calls, " << tally.Runs << " runs, "
              << tally.Failed << " raised, " << tally.FailedAfterCommit
              << " of them after the change was in\n";
}

const TDateTime March5 = EncodeDate(2009, 3, 5);
const TDateTime March7 = EncodeDate(2009, 3, 7);

#define IO_FAULT_TEST(Name, MakeCase)                                    \
    TEST(IoFault, Name##RollbackJournal) {                               \
        RunFaultTable(MakeCase(TJournal::Rollback), "rollback journal"); \
    }                                                                    \
    TEST(IoFault, Name##Wal) {                                           \
        RunFaultTable(MakeCase(TJournal::Wal), "WAL");                   \
    }

TWriteCase AddDateCase(TJournal journal) {
    return StoreCase(journal, [](const std::string& path) {
        AddDate(path, Appointment(-1, March7, EncodeTime(12, 15, 0, 0), "Delta"));
    });
}
IO_FAULT_TEST(AddDate, AddDateCase)

TWriteCase UpdateDateCase(TJournal journal) {
    return StoreCase(journal, [](const std::string& path) {
        UpdateDate(path, Appointment(1, March7, EncodeTime(9, 5, 0, 0), "Alpha moved"));
    });
}
IO_FAULT_TEST(UpdateDate, UpdateDateCase)

TWriteCase DeleteDateCase(TJournal journal) {
    return StoreCase(journal, [](const std::string& path) { DeleteDate(path, 2); });
}
IO_FAULT_TEST(DeleteDate, DeleteDateCase)

TWriteCase SetDateDoneCase(TJournal journal) {
    return StoreCase(journal, [](const std::string& path) { SetDateDone(path, 1); });
}
IO_FAULT_TEST(SetDateDone, SetDateDoneCase)

TWriteCase AddFlagCase(TJournal journal) {
    return StoreCase(journal, [](const std::string& path) {
        AddFlag(path, "Birthday", "Mondrel_Birthday", static_cast<int32_t>(0x80FF00FFu));
    });
}
IO_FAULT_TEST(AddFlag, AddFlagCase)

TWriteCase DeleteFlagCase(TJournal journal) {
    return StoreCase(journal, [](const std::string& path) { DeleteFlag(path, 3); });
}
IO_FAULT_TEST(DeleteFlag, DeleteFlagCase)

// Several statements in one transaction: a delete and three inserts, one ID twice.
TWriteCase SetDayFlagsCase(TJournal journal) {
    return StoreCase(journal, [](const std::string& path) {
        SetDayFlags(path, {2, 3, 3}, March5);
    });
}
IO_FAULT_TEST(SetDayFlags, SetDayFlagsCase)

TWriteCase ToolAddCase(TJournal journal) {
    return {[journal](const std::string& path) { SetupRows(path, journal); },
            [](const std::string& path) {
                return ToolWrite({"add", path, "--date", "2009-03-08", "--time", "07:45",
                                  "--description", "Epsilon", "--value", "x", "--script", "Wake"});
            }};
}
IO_FAULT_TEST(ToolAdd, ToolAddCase)

// Two events, one of them weekly; the second calendar moves one, drops the weekly one and adds
// a third, so a second import updates, removes and adds rows of its own.
const char* const FirstCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
    "BEGIN:VEVENT\r\nUID:dentist@test\r\nDTSTART:20090310T083000\r\n"
    "SUMMARY:Dentist\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:bins@test\r\nDTSTART:20090302T070000\r\n"
    "RRULE:FREQ=WEEKLY;COUNT=4\r\nSUMMARY:Bins out\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";
const char* const SecondCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
    "BEGIN:VEVENT\r\nUID:dentist@test\r\nDTSTART:20090311T090000\r\n"
    "SUMMARY:Dentist moved\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:party@test\r\nDTSTART:20090321T200000\r\n"
    "SUMMARY:Party\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

std::string WriteCalendar(const std::string& path, const char* name, const char* text) {
    std::string file = std::filesystem::path(path).parent_path() / name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
}

std::vector<std::string> ImportArgs(const std::string& path, const std::string& file) {
    return {"import", path,         file,      "--script",  "Remind",
            "--from", "2009-03-01", "--until", "2009-03-31"};
}

TWriteCase ToolImportCase(TJournal journal) {
    return {[journal](const std::string& path) {
                SetupRows(path, journal);
                WriteCalendar(path, "first.ics", FirstCalendar);
            },
            [](const std::string& path) {
                std::string file = std::filesystem::path(path).parent_path() / "first.ics";
                return ToolWrite(ImportArgs(path, file));
            }};
}
IO_FAULT_TEST(ToolImport, ToolImportCase)

TWriteCase ToolImportChangesCase(TJournal journal) {
    return {[journal](const std::string& path) {
                SetupRows(path, journal);
                std::string first = WriteCalendar(path, "first.ics", FirstCalendar);
                if (ToolWrite(ImportArgs(path, first)) != TOutcome::Done) {
                    throw std::runtime_error("the first import failed without a fault");
                }
                WriteCalendar(path, "second.ics", SecondCalendar);
            },
            [](const std::string& path) {
                std::string file = std::filesystem::path(path).parent_path() / "second.ics";
                return ToolWrite(ImportArgs(path, file));
            }};
}
IO_FAULT_TEST(ToolImportChanges, ToolImportChangesCase)

// A tool command on the rows every store write starts from.
TWriteCase ToolCommandCase(TJournal journal, std::vector<std::string> args) {
    return {[journal](const std::string& path) { SetupRows(path, journal); },
            [args](const std::string& path) {
                std::vector<std::string> command = args;
                command.insert(command.begin() + 1, path);
                return ToolWrite(command);
            }};
}

// March 2009 holds nine weekend days; the day flags of 7 March already exist in no form.
TWriteCase ToolWeekendsCase(TJournal journal) {
    return ToolCommandCase(journal, {"weekends", "--from", "2009-03-01", "--to", "2009-03-31"});
}
IO_FAULT_TEST(ToolWeekends, ToolWeekendsCase)

TWriteCase ToolHolidaysCase(TJournal journal) {
    return ToolCommandCase(journal, {"holidays", "--region", "de-by", "--year", "2009"});
}
IO_FAULT_TEST(ToolHolidays, ToolHolidaysCase)

// Taking weekend flags off again removes rows inside the same transaction as the count.
TWriteCase ToolWeekendsClearCase(TJournal journal) {
    TWriteCase clear = ToolCommandCase(
        journal, {"weekends", "--from", "2009-03-01", "--to", "2009-03-31", "--clear"});
    clear.Setup = [journal](const std::string& path) {
        SetupRows(path, journal);
        if (ToolWrite({"weekends", path, "--from", "2009-03-01", "--to", "2009-03-31"}) !=
            TOutcome::Done) {
            throw std::runtime_error("weekends failed without a fault");
        }
    };
    return clear;
}
IO_FAULT_TEST(ToolWeekendsClear, ToolWeekendsClearCase)

// A file another tool made: no index on Dates, and a Done that is text.
TWriteCase ToolCheckFixCase(TJournal journal) {
    TWriteCase fix = ToolCommandCase(journal, {"check", "--fix"});
    fix.Setup = [journal](const std::string& path) {
        SetupRows(path, journal);
        TSqliteDatabase database(path);
        database.Execute("DROP INDEX DatesByDateDoneTime");
        database.Execute("UPDATE Dates SET Done = 'no' WHERE ID = 3");
    };
    return fix;
}
IO_FAULT_TEST(ToolCheckFix, ToolCheckFixCase)

// A new file always starts in the rollback journal, so init has no WAL variant. The old state
// is no file at all; a failed init must leave none, so that init can be run again.
TEST(IoFault, ToolInitRollbackJournal) {
    TWriteCase init{[](const std::string&) {},
                    [](const std::string& path) {
                        return ToolWrite({"init", path});
                    },
                    false};
    RunFaultTable(init, "rollback journal");
}

// Reads under the same faults: a read raises, or answers exactly what it answers without a
// fault. A row left out because a call failed would be a lost row reported as the whole list.
void RunReadTable(const std::function<std::string(const std::string&)>& read) {
    TFaultVfs::Install();
    TTempFolder temp;
    std::string path = temp.File("Mondrel.sdb");
    SetupRows(path, TJournal::Rollback);
    std::string rows = Snapshot(path);
    TFaultVfs::Arm({});
    std::string expected = read(path);
    std::vector<TVfsCall> calls = TFaultVfs::Disarm();
    int raised = 0;
    for (size_t i = 0; i < calls.size() && !::testing::Test::HasFailure(); ++i) {
        for (bool persistent : {false, true}) {
            int number = static_cast<int>(i + 1);
            std::string where = "call " + std::to_string(number) + " (" + VfsCallName(calls[i]) +
                                ")" + (persistent ? " and every later call" : "") + " fails";
            TFaultVfs::Arm({number, persistent, false});
            try {
                std::string answer = read(path);
                TFaultVfs::Disarm();
                EXPECT_EQ(answer, expected) << where << ": answered other rows";
            } catch (const ESqliteException&) {
                TFaultVfs::Disarm();
                ++raised;
            } catch (const std::exception& error) {
                TFaultVfs::Disarm();
                ADD_FAILURE() << where
                              << ": raised something other than ESqliteException: " << error.what();
            }
            ExpectIntact(path, where);
            EXPECT_EQ(Snapshot(path), rows) << where << ": a read changed the file";
        }
    }
    std::cout << calls.size() << " calls, " << 2 * calls.size() << " runs, " << raised
              << " raised\n";
}

std::string Written(const TDates& dates) {
    std::ostringstream text;
    for (const TMondrelDate& date : dates) {
        text << date.ID << '|' << date.Date << '|' << date.Time << '|' << date.Discription << '|'
             << date.Value << '|' << date.Script << '|' << date.Done << '\n';
    }
    return text.str();
}

TEST(IoFault, ReadsRaiseOrAnswerEveryRow) {
    RunReadTable([](const std::string& path) {
        std::string text = Written(GetDates(path, dqMonth, March5));
        text += Written(GetDates(path, dqDayOpen, March5));
        // Leaving out unreadable rows must never leave out a row that a failing call hid.
        TSkippedRows skipped;
        text += Written(GetDates(path, dqMonth, March5, &skipped));
        GetDayFlags(path, 0, &skipped);
        text += "skipped " + std::to_string(skipped.size()) + "\n";
        text += Written({GetDate(path, 1)});
        for (const TFlag& flag : GetFlags(path)) {
            text += std::to_string(flag.ID) + '|' + flag.Caption + '|' + flag.Variable + '|' +
                    std::to_string(flag.Color) + '|' + std::to_string(flag.isFix) + '\n';
        }
        for (const TDayFlag& dayFlag : GetDayFlags(path, 0)) {
            text += std::to_string(dayFlag.FlagID) + '|' + std::to_string(dayFlag.Date) + '\n';
        }
        for (const TDBColor& color : GetColors(path)) {
            text += std::to_string(color.Value) + '|' + color.Name + '\n';
        }
        return text;
    });
}

}  // namespace
