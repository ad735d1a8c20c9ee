#include <gtest/gtest.h>

#include <string>

#include "DBTransaction.h"
#include "DayFlagWrites.h"
#include "MondrelError.h"
#include "StoreTestSupport.h"

namespace {

class DayFlagWrites : public TReadyDatabaseTest {
  protected:
    std::string Rows() {
        return QueryText(Path,
                         "SELECT group_concat(Date || '=' || FlagID, ' ') FROM "
                         "(SELECT Date, FlagID FROM DayFlags ORDER BY Date, FlagID)");
    }
};

TEST_F(DayFlagWrites, FlagsEachDayOnceAndLeavesOtherRowsAlone) {
    RunSql(Path,
           "INSERT INTO DayFlags VALUES ('2027-01-02', 2), ('2027-01-03', 1), ('2027-01-03', 1)");
    TDayFlagChanges added = InTransaction(Path, [](TDBTransaction& transaction) {
        return AddFlagToDays(transaction, 1,
                             {Day(2027, 1, 2), Day(2027, 1, 3), Day(2027, 1, 2) + At(12, 0)});
    });
    EXPECT_EQ(added.Changed, 1u);
    EXPECT_EQ(added.Unchanged, 1u) << "a day with the flag, even twice, is already set";
    EXPECT_EQ(Rows(), "2027-01-02=1 2027-01-02=2 2027-01-03=1 2027-01-03=1");

    TDayFlagChanges removed = InTransaction(Path, [](TDBTransaction& transaction) {
        return RemoveFlagFromDays(transaction, 1, {Day(2027, 1, 3), Day(2027, 1, 4)});
    });
    EXPECT_EQ(removed.Changed, 1u);
    EXPECT_EQ(removed.Unchanged, 1u);
    EXPECT_EQ(Rows(), "2027-01-02=1 2027-01-02=2");
}

TEST_F(DayFlagWrites, FlagsAreFoundByCaptionOrVariableFirstInStoredOrder) {
    RunSql(Path,
           "INSERT INTO Flags (Caption, Variable) VALUES ('Weekend', 'Other'), "
           "('Bins', 'Mondrel_IsWeekend')");
    InTransaction(Path, [](TDBTransaction& transaction) {
        EXPECT_EQ(FlagByCaption(transaction, "Weekend").ID, 1);
        EXPECT_EQ(FlagByVariable(transaction, "Mondrel_IsWeekend").ID, 1);
        EXPECT_EQ(FlagByCaption(transaction, "Bins").ID, 4);
        EXPECT_THROW_MSG(FlagByCaption(transaction, "weekend"), EMondrelError,
                         "no flag with the caption \"weekend\"");
        EXPECT_THROW_MSG(FlagByVariable(transaction, "X"), EMondrelError,
                         "no flag with the variable \"X\"");
    });
}

}  // namespace
