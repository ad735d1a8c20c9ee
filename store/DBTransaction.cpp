#include "DBTransaction.h"

TDBTransaction::TDBTransaction(const std::string& Path, TBegin Begin, int BusyTimeoutMs)
    : FDatabase(Path, TSqliteOpen::Existing, BusyTimeoutMs) {
    if (Begin == AsWriter) {
        FDatabase.BeginWriteTransaction();
    } else {
        FDatabase.BeginTransaction();
    }
}

void TDBTransaction::Commit() {
    FDatabase.Commit();
}

bool TDBTransaction::DoneIsNotNull() {
    if (!FDoneIsNotNull) {
        FDoneIsNotNull = !FDatabase
                              .Query(
                                  "SELECT 1 FROM pragma_table_info('Dates') WHERE name = "
                                  "'Done' COLLATE NOCASE AND \"notnull\" = 1")
                              ->AtEnd();
    }
    return *FDoneIsNotNull;
}
