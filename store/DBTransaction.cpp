#include "DBTransaction.h"

TDBTransaction::TDBTransaction(const std::string& Path, TBegin Begin) : FDatabase(Path) {
    if (Begin == AsWriter) {
        FDatabase.BeginWriteTransaction();
    } else {
        FDatabase.BeginTransaction();
    }
}

void TDBTransaction::Commit() {
    FDatabase.Commit();
}
