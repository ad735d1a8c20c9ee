#include <gtest/gtest.h>

#include "DBTransaction.h"
#include "FlagLookup.h"
#include "MondrelError.h"
#include "StoreTestSupport.h"

namespace {

using FlagLookup = TReadyDatabaseTest;

TEST_F(FlagLookup, FlagsAreFoundByCaptionOrVariableFirstInStoredOrder) {
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
