#include "DBTransaction.h"

namespace {

void Begin(TSqliteDatabase& database, TDBTransaction::TBegin begin) {
    if (begin == TDBTransaction::AsWriter) {
        database.BeginWriteTransaction();
    } else {
        database.BeginTransaction();
    }
}

}  // namespace

TDBTransaction::TDBTransaction(const std::string& Path, TBegin Begin, int BusyTimeoutMs)
    : FOwned(std::in_place, Path, TSqliteOpen::Existing, BusyTimeoutMs), FDatabase(&*FOwned) {
    ::Begin(*FDatabase, Begin);
}

TDBTransaction::TDBTransaction(TSqliteDatabase& Connection, TBegin Begin) : FDatabase(&Connection) {
    ::Begin(*FDatabase, Begin);
}

TDBTransaction::~TDBTransaction() {
    if (!FOwned && FDatabase->TransactionOpen()) {
        try {
            FDatabase->Rollback();
        } catch (const std::exception&) {
            // Still open: the connection's owner sees it there and closes the connection, which
            // discards the transaction.
        }
    }
}

void TDBTransaction::Commit() {
    FDatabase->Commit();
}

bool TDBTransaction::DoneIsNotNull() {
    if (!FDoneIsNotNull) {
        FDoneIsNotNull = !FDatabase
                              ->Query(
                                  "SELECT 1 FROM pragma_table_info('Dates') WHERE name = "
                                  "'Done' COLLATE NOCASE AND \"notnull\" = 1")
                              ->AtEnd();
    }
    return *FDoneIsNotNull;
}
