#include "DBTransaction.h"

TDBTransaction::TDBTransaction(const std::string& Path) : FDatabase(Path) {
    FDatabase.BeginTransaction();
}

void TDBTransaction::Commit() {
    FDatabase.Commit();
}
