#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>
#include <string>
#include <vector>

#include "DBCnx.h"
#include "DBTransaction.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"

namespace {

// Byte strings built to break statement texts: quotes, column names as whole values, SQL
// fragments, NUL bytes, bytes above 0x7F, and random bytes.
class TNastyTexts {
  public:
    explicit TNastyTexts(unsigned seed) : Random(seed) {}

    std::string Next() {
        static const std::vector<std::string> pieces = {
            "\"",          "'",        "\"\"",     "''",
            "ID",          "Date",     "Time",     "Discription",
            "Value",       "Script",   "Done",     "value",
            "dIsCrIpTiOn", "done",     "Caption",  "Variable",
            "Color",       "isFix",    "FlagID",   "Name",
            ", ",          ");",       "--",       "/*",
            "?",           "?1",       ":a",       "@b",
            "$c",          "%s",       "\\",       std::string(1, '\0'),
            "\r\n",        "\xC3\xA4", "\xFF",     "\x80",
            " ",           "NULL",     "1 OR 1=1",
        };
        std::string text;
        int parts = static_cast<int>(Random() % 6);
        for (int i = 0; i < parts; ++i) {
            if (Random() % 4 == 0) {
                text += static_cast<char>(Random() % 256);
            } else {
                text += pieces[Random() % pieces.size()];
            }
        }
        return text;
    }

  private:
    std::mt19937 Random;
};

class StoreSafety : public TReadyDatabaseTest {};

// Every text column of every writing operation stores each generated value unchanged.
TEST_F(StoreSafety, ArbitraryBytesRoundTripThroughEveryWritingOperation) {
    TNastyTexts texts(20090305);
    const TDateTime day = Day(2009, 3, 5);
    const int count = 400;  // each appointment carries three texts, each update three more

    for (int i = 0; i < count; ++i) {
        TMondrelDate appointment;
        appointment.Date = day;
        appointment.Time = At(0, i / 60, i % 60);  // unique times keep the list in add order
        appointment.Discription = texts.Next();
        appointment.Value = texts.Next();
        appointment.Script = texts.Next();
        AddDate(Path, appointment);

        TDates listed = GetDates(Path, dqDayOpen, day);
        ASSERT_EQ(listed.size(), static_cast<size_t>(i + 1));
        TMondrelDate stored = GetDate(Path, listed.back().ID);
        ASSERT_EQ(stored.Discription, appointment.Discription);
        ASSERT_EQ(stored.Value, appointment.Value);
        ASSERT_EQ(stored.Script, appointment.Script);

        appointment.ID = stored.ID;
        appointment.Discription = texts.Next();
        appointment.Value = texts.Next();
        appointment.Script = texts.Next();
        UpdateDate(Path, appointment);
        stored = GetDate(Path, stored.ID);
        ASSERT_EQ(stored.Discription, appointment.Discription);
        ASSERT_EQ(stored.Value, appointment.Value);
        ASSERT_EQ(stored.Script, appointment.Script);
        ASSERT_EQ(stored.Date, day);
    }
    EXPECT_EQ(GetDates(Path, dqMonth, day).size(), static_cast<size_t>(count))
        << "no value may reach another row";

    std::vector<std::pair<std::string, std::string>> flags;
    for (int i = 0; i < count; ++i) {
        flags.emplace_back(texts.Next(), texts.Next());
        AddFlag(Path, flags.back().first, flags.back().second, i);
    }
    TFlags stored = GetFlags(Path);
    ASSERT_EQ(stored.size(), flags.size() + 2);
    for (size_t i = 0; i < flags.size(); ++i) {
        ASSERT_EQ(stored[i + 2].Caption, flags[i].first);
        ASSERT_EQ(stored[i + 2].Variable, flags[i].second);
        ASSERT_EQ(stored[i + 2].Color, static_cast<int32_t>(i));
    }
}

// A raw connection of another process's kind, with no busy wait.
class TOtherConnection {
  public:
    explicit TOtherConnection(const std::string& path) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &Handle), SQLITE_OK);
    }
    ~TOtherConnection() { sqlite3_close(Handle); }
    TOtherConnection(const TOtherConnection&) = delete;
    TOtherConnection& operator=(const TOtherConnection&) = delete;

    int Run(const char* sql) { return sqlite3_exec(Handle, sql, nullptr, nullptr, nullptr); }

  private:
    sqlite3* Handle = nullptr;
};

// Runs store operations as one unit on a connection that waits only briefly for another
// connection's lock, so a refusal comes at once instead of after the full busy time-out.
template <class TWork>
void Briefly(const std::string& path, TWork&& work) {
    TDBTransaction transaction(path, TDBTransaction::AsReader, 50);
    work(transaction);
    transaction.Commit();
}

TEST_F(StoreSafety, WriteAgainstAnotherWriterRaisesAndWritesNothing) {
    SetDayFlags(Path, {1}, Day(2009, 3, 5));
    {
        TOtherConnection other(Path);
        ASSERT_EQ(other.Run("BEGIN IMMEDIATE"), SQLITE_OK);
        TMondrelDate appointment;
        appointment.Date = Day(2009, 3, 5);
        appointment.Discription = "refused";
        EXPECT_THROW_MSG(Briefly(Path, [&](TDBTransaction& t) { AddDate(t, appointment); }),
                         ESqliteException,
                         "Error: database is locked\r\n\r\nINSERT INTO Dates (Date, Time, "
                         "Discription, Value, Script) VALUES (\"2009-03-05\", \"00:00:00\", "
                         "\"refused\", \"\", \"\")");
        EXPECT_THROW_MSG(
            Briefly(Path,
                    [](TDBTransaction& t) {
                        SetDayFlags(t, {2, 2}, Day(2009, 3, 5));
                    }),
            ESqliteException,
            "Error: database is locked\r\n\r\nDELETE From DayFlags WHERE Date = \"2009-03-05\"");
        ASSERT_EQ(other.Run("ROLLBACK"), SQLITE_OK);
    }
    EXPECT_EQ(QueryText(Path, "SELECT count(*) FROM Dates"), "0");
    TDayFlags rows = GetDayFlags(Path, 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].FlagID, 1);
}

TEST_F(StoreSafety, CommitBlockedByAReaderRaisesAndRollsBack) {
    SetDayFlags(Path, {1}, Day(2009, 3, 5));
    {
        // A reader inside its transaction keeps a shared lock: the store's statements run,
        // but its commit cannot get the file.
        TOtherConnection other(Path);
        ASSERT_EQ(other.Run("BEGIN"), SQLITE_OK);
        ASSERT_EQ(other.Run("SELECT count(*) FROM DayFlags"), SQLITE_OK);
        EXPECT_THROW_MSG(Briefly(Path,
                                 [](TDBTransaction& t) {
                                     SetDayFlags(t, {2, 3}, Day(2009, 3, 5));
                                 }),
                         ESqliteException, "Error: database is locked\r\n\r\ncommit");
        ASSERT_EQ(other.Run("COMMIT"), SQLITE_OK);
    }
    TDayFlags rows = GetDayFlags(Path, Day(2009, 3, 5));
    ASSERT_EQ(rows.size(), 1u) << "the deleting half of a refused write must not land";
    EXPECT_EQ(rows[0].FlagID, 1);
}

TEST_F(StoreSafety, FailedOperationLeavesNoLockAndNoHalfWrite) {
    SetDayFlags(Path, {1}, Day(2009, 3, 5));
    RunSql(Path,
           "CREATE TRIGGER Refuse AFTER INSERT ON DayFlags WHEN NEW.FlagID = 666 "
           "BEGIN SELECT RAISE(ABORT, 'flag 666 refused'); END");
    EXPECT_THROW_MSG(SetDayFlags(Path, {2, 666}, Day(2009, 3, 5)), ESqliteException,
                     "Error: flag 666 refused\r\n\r\nINSERT INTO DayFlags (Date, FlagID) "
                     "VALUES (\"2009-03-05\", 666)");
    EXPECT_THROW_MSG(GetDate(Path, 999), EConvertError, "'' is not a valid date");

    TOtherConnection other(Path);
    EXPECT_EQ(other.Run("BEGIN IMMEDIATE"), SQLITE_OK) << "a failed operation left a lock";
    EXPECT_EQ(other.Run("COMMIT"), SQLITE_OK);
    TDayFlags rows = GetDayFlags(Path, Day(2009, 3, 5));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].FlagID, 1);
}

}  // namespace
