// A thin wrapper over the SQLite 3 C library: one connection class, one query class, one
// exception type. Values reach SQLite as bound parameters, never spliced into statement texts,
// so every byte string is stored and read back unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "MondrelError.h"

struct sqlite3;
struct sqlite3_stmt;

class ESqliteException : public EMondrelError {
  public:
    // Code: SQLite's result code, or 0 when the wrapper itself refused.
    explicit ESqliteException(const std::string& Message, int Code = 0)
        : EMondrelError(Message), FCode(Code) {}
    int Code() const noexcept { return FCode; }

  private:
    int FCode;
};

// One value bound to a `?` of a statement, in order: a 64-bit integer or a byte string.
using TSqliteValue = std::variant<int64_t, std::string_view>;
using TSqliteParams = std::vector<TSqliteValue>;

struct TSqliteStatementFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept;
};
using TSqliteStatementPtr = std::unique_ptr<sqlite3_stmt, TSqliteStatementFinalizer>;

class TSqliteQueryResults;

// Whether opening a path where no file is may make a new, empty database there.
enum class TSqliteOpen { Existing, CreateIfMissing };

class TSqliteDatabase {
  public:
    // How long a statement waits for another connection's lock before it fails, unless the
    // connection is opened with another time-out.
    static constexpr int DefaultBusyTimeoutMs = 3000;

    // Opens the file; raises "Failed to open database \"<FileName>\": <why>" when there is
    // none (and Mode does not allow making one), when it is a folder, when it is no database,
    // or when SQLite refuses it. An empty name opens a private temporary database.
    explicit TSqliteDatabase(const std::string& FileName, TSqliteOpen Mode = TSqliteOpen::Existing,
                             int BusyTimeoutMs = DefaultBusyTimeoutMs);
    ~TSqliteDatabase();
    TSqliteDatabase(const TSqliteDatabase&) = delete;
    TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

    // Runs the first statement of SQL once and answers SQLite's step code (row or done);
    // any other outcome raises. Error messages show the statement with its values in place of
    // the `?`s: texts between double quotes, integers in decimal.
    int32_t Execute(std::string_view SQL, const TSqliteParams& Params = {});
    // A transaction that first reads takes the write lock only at its first write, and SQLite
    // refuses that at once, without the busy wait, while another connection writes. A unit of
    // work that reads and then writes begins as a writer instead: it takes the write lock at
    // its start, waiting for it up to the busy time-out.
    void BeginTransaction();
    void BeginWriteTransaction();
    void Commit();
    void Rollback();
    // Whether a transaction is open on the connection (begun and neither committed nor rolled
    // back).
    bool TransactionOpen() const;
    // The rows the last completed INSERT, UPDATE or DELETE changed.
    int64_t Changes() const;
    // The rowid of the last row an INSERT added on this connection.
    int64_t LastInsertRowID() const;

    // The caller owns the result and destroys it before this connection.
    std::unique_ptr<TSqliteQueryResults> Query(std::string_view SQL,
                                               const TSqliteParams& Params = {});

    // Raises ESqliteException with the connection's current error message, its code and the
    // statement.
    [[noreturn]] void RaiseError(const std::string& SQL) const;
    // Finalizes the prepared statements the connection keeps for reuse.
    void FinalizeStatement();

  private:
    friend class TSqliteQueryResults;
    // Answers Rc when it is SQLITE_OK, SQLITE_ROW or SQLITE_DONE; raises with SQLite's message
    // and code and the statement (its values written in) otherwise.
    int Check(int Rc, std::string_view SQL, const TSqliteParams& Params = {}) const;
    [[noreturn]] void RaiseError(const std::string& SQL, int Code) const;
    // How bound texts reach SQLite: copied, or only pointed to when the statement runs to its
    // end before the caller's texts go.
    enum class TBind { Copy, Borrow };
    // A statement for SQL with Params bound: a kept one when there is one, else newly prepared.
    TSqliteStatementPtr Prepare(std::string_view SQL, const TSqliteParams& Params, TBind Bind);
    // Takes a statement back for reuse, reset and unbound. Never throws.
    void Keep(std::string_view SQL, TSqliteStatementPtr Statement) noexcept;

    // Looks texts up without making a std::string of each.
    struct TTextHash {
        using is_transparent = void;
        size_t operator()(std::string_view Text) const noexcept {
            return std::hash<std::string_view>{}(Text);
        }
    };

    struct TConnectionCloser {
        void operator()(sqlite3* handle) const noexcept;
    };
    std::unique_ptr<sqlite3, TConnectionCloser> Handle;
    // Prepared statements by their text, idle (null while in use). Preparing (parsing and
    // planning) costs several times as much as running a short statement, and a unit of work
    // such as an import runs the same few texts once per row. Declared after Handle, so they go
    // before it closes.
    std::unordered_map<std::string, TSqliteStatementPtr, TTextHash, std::equal_to<>> Kept;
};

class TSqliteQueryResults {
  public:
    // Prepared and stepped once: stands on the first row, or AtEnd when there is none.
    TSqliteQueryResults(TSqliteDatabase& Database, std::string_view SQL,
                        const TSqliteParams& Params = {});
    // Gives the statement back to the connection for reuse.
    ~TSqliteQueryResults();
    TSqliteQueryResults(const TSqliteQueryResults&) = delete;
    TSqliteQueryResults& operator=(const TSqliteQueryResults&) = delete;

    // Steps to the next row and answers AtEnd; a step that fails raises. Once at the end it
    // stays there.
    bool Next();
    bool AtEnd() const { return FAtEnd; }

    // Columns count from 0 in the order of the SELECT list. NULL, and every column when the
    // query stands on no row, reads as 0 and as the empty text.
    int64_t FieldAsInteger(int32_t Column) const;
    int32_t FieldSize(int32_t Column) const;
    std::string FieldAsText(int32_t Column) const;
    bool FieldIsNull(int32_t Column) const;
    // The column's name as the query gives it.
    std::string FieldName(int32_t Column) const;

  private:
    bool OnRow() const { return FHasRow; }

    TSqliteDatabase& Database;
    std::string Text;  // the statement as prepared, under which it is kept for reuse
    std::string SQL;   // with its values written in, for error reports
    TSqliteStatementPtr Statement;
    bool FAtEnd = false;
    bool FHasRow = false;
};
