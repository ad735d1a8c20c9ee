// One transaction on one connection, for callers that run several store operations as one unit
// of work: either every write of the unit reaches the file or none does.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "Sqlite3Db.h"

class TDBTransaction {
  public:
    // How the transaction begins: work that reads and then writes begins as a writer, so it
    // waits for another connection's write lock instead of failing at its first write (see
    // TSqliteDatabase::BeginWriteTransaction).
    enum TBegin { AsReader, AsWriter };

    // Opens the file and begins; raises ESqliteException as the store's operations do.
    explicit TDBTransaction(const std::string& Path, TBegin Begin = AsReader,
                            int BusyTimeoutMs = TSqliteDatabase::DefaultBusyTimeoutMs);
    // Begins on a connection the caller keeps open from one unit of work to the next (a server
    // that reads the same file for every request); Connection outlives the transaction.
    TDBTransaction(TSqliteDatabase& Connection, TBegin Begin);
    // Without a Commit the connection closes uncommitted, so SQLite discards every write of the
    // transaction together with its lock. A caller's connection is rolled back instead; should
    // that fail, the connection is left inside its transaction (TransactionOpen), for its owner
    // to close.
    ~TDBTransaction();
    TDBTransaction(const TDBTransaction&) = delete;
    TDBTransaction& operator=(const TDBTransaction&) = delete;

    TSqliteDatabase& Database() { return *FDatabase; }
    void Commit();

    // Whether the file declares the Done column of Dates NOT NULL, so that no row can hold NULL
    // there. Looked up once: no other connection changes the tables while the transaction is
    // open.
    bool DoneIsNotNull();

  private:
    std::optional<TSqliteDatabase> FOwned;  // opened here, or none on a caller's connection
    TSqliteDatabase* FDatabase;
    std::optional<bool> FDoneIsNotNull;
};

// Runs Work(TDBTransaction&) in a new transaction on Path, begun as Begin says, and commits when
// it returns; when Work or the commit raises, nothing of it is written. Answers what Work answers.
template <typename TWork>
auto InTransaction(const std::string& Path, TDBTransaction::TBegin Begin, TWork&& Work) {
    TDBTransaction transaction(Path, Begin);
    if constexpr (std::is_void_v<decltype(Work(transaction))>) {
        Work(transaction);
        transaction.Commit();
    } else {
        auto result = Work(transaction);
        transaction.Commit();
        return result;
    }
}

// The same, begun as a reader.
template <typename TWork>
auto InTransaction(const std::string& Path, TWork&& Work) {
    return InTransaction(Path, TDBTransaction::AsReader, std::forward<TWork>(Work));
}
