#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "DBCnx.h"
#include "DBTransaction.h"
#include "MondrelError.h"
#include "Sqlite3Db.h"
#include "StoreTestSupport.h"

namespace {

class DBTransaction : public TReadyDatabaseTest {
  protected:
    TMondrelDate Appointment(const std::string& text) {
        TMondrelDate date;
        date.ID = -1;
        date.Date = Day(2027, 1, 4);
        date.Time = At(7, 0);
        date.Discription = text;
        return date;
    }
    std::string Count(const std::string& table) {
        return QueryText(Path, "SELECT count(*) FROM " + table);
    }
};

TEST_F(DBTransaction, SeveralOperationsCommitTogetherAndSeeTheirOwnWrites) {
    int32_t flags = InTransaction(Path, [&](TDBTransaction& transaction) {
        AddDate(transaction, Appointment("one"));
        AddDate(transaction, Appointment("two"));
        AddFlag(transaction, "Trash", "Trash", 0xFF);
        SetDayFlags(transaction, {1, 2}, Day(2027, 1, 4));
        EXPECT_EQ(GetDates(transaction, dqDayOpen, Day(2027, 1, 4)).size(), 2u);
        return static_cast<int32_t>(GetFlags(transaction).size());
    });
    EXPECT_EQ(flags, 3);
    EXPECT_EQ(Count("Dates"), "2");
    EXPECT_EQ(GetDayFlags(Path, Day(2027, 1, 4)).size(), 2u);
}

TEST_F(DBTransaction, AFailureAnywhereLeavesTheFileAsItWas) {
    EXPECT_THROW_MSG(InTransaction(Path,
                                   [&](TDBTransaction& transaction) {
                                       AddDate(transaction, Appointment("lost"));
                                       SetDayFlags(transaction, {1}, Day(2027, 1, 4));
                                       throw std::runtime_error("stop");
                                   }),
                     std::runtime_error, "stop");
    RunSql(Path,
           "CREATE TRIGGER RefuseDayFlags BEFORE INSERT ON DayFlags "
           "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    EXPECT_THROW_MSG(
        InTransaction(Path,
                      [&](TDBTransaction& transaction) {
                          AddDate(transaction, Appointment("lost"));
                          SetDayFlags(transaction, {1}, Day(2027, 1, 4));
                      }),
        ESqliteException,
        "Error: refused\r\n\r\nINSERT INTO DayFlags (Date, FlagID) VALUES (\"2027-01-04\", 1)");
    EXPECT_EQ(Count("Dates"), "0");
    EXPECT_EQ(Count("DayFlags"), "0");

    // Nothing of a dropped transaction holds the file: the next one writes at once.
    {
        TDBTransaction dropped(Path);
        AddDate(dropped, Appointment("dropped"));
    }
    AddDate(Path, Appointment("kept"));
    EXPECT_EQ(Count("Dates"), "1");
}

}  // namespace
