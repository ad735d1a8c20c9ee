#include "Sqlite3Db.h"

#include <sqlite3.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace {

constexpr size_t MessageValueBytes = 200;
// Statements a connection keeps for reuse. The texts of this system are a few dozen; the bound
// only stops texts built at run time from piling up.
constexpr size_t MaxKeptStatements = 64;

int LengthOf(std::string_view text) {
    if (text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
        throw ESqliteException("Text too long for the database (" + std::to_string(text.size()) +
                               " bytes)");
    }
    return static_cast<int>(text.size());
}

// Binds with explicit byte lengths, so quotes, NUL bytes and high bytes arrive whole; texts are
// copied unless `copy` is SQLITE_STATIC.
int BindAll(sqlite3_stmt* statement, const TSqliteParams& params, sqlite3_destructor_type copy) {
    int index = 1;
    for (const TSqliteValue& value : params) {
        int rc = SQLITE_OK;
        if (const auto* number = std::get_if<int64_t>(&value)) {
            rc = sqlite3_bind_int64(statement, index, *number);
        } else {
            std::string_view text = std::get<std::string_view>(value);
            // A null pointer would bind NULL; an empty text must stay an empty text.
            rc = sqlite3_bind_text(statement, index, text.empty() ? "" : text.data(),
                                   LengthOf(text), copy);
        }
        if (rc != SQLITE_OK) {
            return rc;
        }
        ++index;
    }
    return SQLITE_OK;
}

// The statement as it reads with its values written in, texts between double quotes and
// integers in decimal, so that an error report names the day or the ID it was about. A text is
// cut after MessageValueBytes bytes, so a huge value never makes a huge message.
std::string StatementText(std::string_view sql, const TSqliteParams& params) {
    std::string text;
    size_t next = 0;
    char quote = 0;
    for (char c : sql) {
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?' && next < params.size()) {
            const TSqliteValue& value = params[next++];
            if (const auto* number = std::get_if<int64_t>(&value)) {
                text += std::to_string(*number);
            } else {
                std::string_view bytes = std::get<std::string_view>(value);
                text += '"';
                text += bytes.substr(0, MessageValueBytes);
                if (bytes.size() > MessageValueBytes) {
                    text += "\u2026";
                }
                text += '"';
            }
            continue;
        }
        text += c;
    }
    return text;
}

[[noreturn]] void RaiseOpenFailure(const std::string& fileName, const std::string& reason,
                                   int code) {
    throw ESqliteException("Failed to open database \"" + fileName + "\": " + reason, code);
}

// Why SQLite could not open the path, in the words a user can act on.
std::string OpenFailureReason(const std::string& fileName, sqlite3* handle) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(fileName, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return "the file does not exist";
    }
    if (status.type() == std::filesystem::file_type::directory) {
        return "it is a folder, not a file";
    }
    std::string reason = handle ? sqlite3_errmsg(handle) : "out of memory";
    if (int system = handle ? sqlite3_system_errno(handle) : 0; system != 0) {
        reason += std::string(" (") + std::strerror(system) + ")";
    }
    return reason;
}

// SQLite opens any file and only fails at the first statement; a file that holds something
// else is told apart here by its header. An empty file is an empty database.
bool LooksLikeDatabase(const std::string& fileName) {
    static constexpr char Header[] = "SQLite format 3";  // with its zero byte: 16 bytes
    std::ifstream file(fileName, std::ios::binary);
    std::array<char, sizeof Header> start{};
    file.read(start.data(), start.size());
    if (file.gcount() == 0) {
        return true;
    }
    return file.gcount() == static_cast<std::streamsize>(start.size()) &&
           std::memcmp(start.data(), Header, sizeof Header) == 0;
}

}  // namespace

void TSqliteStatementFinalizer::operator()(sqlite3_stmt* statement) const noexcept {
    sqlite3_finalize(statement);
}

void TSqliteDatabase::TConnectionCloser::operator()(sqlite3* handle) const noexcept {
    // Closing discards an uncommitted transaction, so a failed operation leaves no lock and
    // nothing half-written. The _v2 form defers the close while a stray query is still alive.
    sqlite3_close_v2(handle);
}

TSqliteDatabase::TSqliteDatabase(const std::string& FileName, TSqliteOpen Mode, int BusyTimeoutMs) {
    // Made by opening, an empty file at a mistyped path would only fail later, with "no such
    // table", and stand in the way of the tool that makes a real database there.
    int flags = SQLITE_OPEN_READWRITE;
    if (Mode == TSqliteOpen::CreateIfMissing) {
        flags |= SQLITE_OPEN_CREATE;
    }
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(FileName.c_str(), &raw, flags, nullptr);
    Handle.reset(raw);  // sqlite3_open_v2 hands out a handle even when it fails
    if (rc != SQLITE_OK) {
        RaiseOpenFailure(FileName, OpenFailureReason(FileName, Handle.get()), rc);
    }
    if (!FileName.empty() && !LooksLikeDatabase(FileName)) {
        RaiseOpenFailure(FileName, "the file is not a database", SQLITE_NOTADB);
    }
    sqlite3_busy_timeout(Handle.get(), BusyTimeoutMs);
    // synchronous stays at SQLite's default: switched off, a power cut during a commit could
    // corrupt the whole file, and commits here are few.
    Execute("pragma temp_store = memory");
}

TSqliteDatabase::~TSqliteDatabase() {
    FinalizeStatement();
}

TSqliteStatementPtr TSqliteDatabase::Prepare(std::string_view SQL, const TSqliteParams& Params,
                                             TBind Bind) {
    TSqliteStatementPtr statement;
    if (auto kept = Kept.find(SQL); kept != Kept.end() && kept->second) {
        statement = std::move(kept->second);
    } else {
        sqlite3_stmt* raw = nullptr;
        // The tail is ignored: only the first statement of the text runs.
        int rc = sqlite3_prepare_v2(Handle.get(), SQL.data(), LengthOf(SQL), &raw, nullptr);
        statement.reset(raw);
        Check(rc, SQL, Params);
        if (!statement) {
            throw ESqliteException("Error: no statement to run\r\n\r\n" + std::string(SQL));
        }
    }
    Check(
        BindAll(statement.get(), Params, Bind == TBind::Borrow ? SQLITE_STATIC : SQLITE_TRANSIENT),
        SQL, Params);
    return statement;
}

void TSqliteDatabase::Keep(std::string_view SQL, TSqliteStatementPtr Statement) noexcept {
    if (!Statement) {
        return;
    }
    // Reset at once: a statement left on a row would hold its read lock.
    sqlite3_reset(Statement.get());
    sqlite3_clear_bindings(Statement.get());
    // A text run twice at once keeps one of its statements.
    if (auto kept = Kept.find(SQL); kept != Kept.end()) {
        if (!kept->second) {
            kept->second = std::move(Statement);
        }
    } else if (Kept.size() < MaxKeptStatements) {
        try {
            Kept.try_emplace(std::string(SQL), std::move(Statement));
        } catch (...) {
            // Out of memory: the statement is finalized instead of kept.
        }
    }
}

int32_t TSqliteDatabase::Execute(std::string_view SQL, const TSqliteParams& Params) {
    // Stepped once and reset below, while Params still stand: SQLite need not copy the texts.
    TSqliteStatementPtr statement = Prepare(SQL, Params, TBind::Borrow);
    int rc = Check(sqlite3_step(statement.get()), SQL, Params);
    Keep(SQL, std::move(statement));
    return rc;
}

int64_t TSqliteDatabase::Changes() const {
    return sqlite3_changes64(Handle.get());
}

int64_t TSqliteDatabase::LastInsertRowID() const {
    return sqlite3_last_insert_rowid(Handle.get());
}

void TSqliteDatabase::BeginTransaction() {
    Execute("begin");
}

void TSqliteDatabase::BeginWriteTransaction() {
    Execute("begin immediate");
}

void TSqliteDatabase::Commit() {
    Execute("commit");
}

void TSqliteDatabase::Rollback() {
    Execute("rollback");
}

bool TSqliteDatabase::TransactionOpen() const {
    return sqlite3_get_autocommit(Handle.get()) == 0;
}

std::unique_ptr<TSqliteQueryResults> TSqliteDatabase::Query(std::string_view SQL,
                                                            const TSqliteParams& Params) {
    return std::make_unique<TSqliteQueryResults>(*this, SQL, Params);
}

int TSqliteDatabase::Check(int Rc, std::string_view SQL, const TSqliteParams& Params) const {
    if (Rc == SQLITE_OK || Rc == SQLITE_ROW || Rc == SQLITE_DONE) {
        return Rc;
    }
    RaiseError(StatementText(SQL, Params), Rc);
}

void TSqliteDatabase::RaiseError(const std::string& SQL) const {
    RaiseError(SQL, sqlite3_errcode(Handle.get()));
}

void TSqliteDatabase::RaiseError(const std::string& SQL, int Code) const {
    std::string message = sqlite3_errmsg(Handle.get());
    if (SQL.empty()) {
        throw ESqliteException(message, Code);
    }
    throw ESqliteException("Error: " + message + "\r\n\r\n" + SQL, Code);
}

void TSqliteDatabase::FinalizeStatement() {
    Kept.clear();
}

TSqliteQueryResults::TSqliteQueryResults(TSqliteDatabase& Database, std::string_view SQL,
                                         const TSqliteParams& Params)
    : Database(Database),
      Text(SQL),
      SQL(StatementText(SQL, Params)),
      // Copied: the query steps on after the caller's texts may have gone.
      Statement(Database.Prepare(SQL, Params, TSqliteDatabase::TBind::Copy)) {
    Next();
}

TSqliteQueryResults::~TSqliteQueryResults() {
    Database.Keep(Text, std::move(Statement));
}

bool TSqliteQueryResults::Next() {
    if (FAtEnd) {
        return true;  // stepping on would start the statement over: a query never rewinds
    }
    // A failed step must end the reading loop, never let it run on a row that is not there.
    FHasRow = false;
    int rc = Database.Check(sqlite3_step(Statement.get()), SQL);
    FHasRow = rc == SQLITE_ROW;
    FAtEnd = rc == SQLITE_DONE;
    return FAtEnd;
}

int64_t TSqliteQueryResults::FieldAsInteger(int32_t Column) const {
    return OnRow() ? sqlite3_column_int64(Statement.get(), Column) : 0;
}

bool TSqliteQueryResults::FieldIsNull(int32_t Column) const {
    return !OnRow() || sqlite3_column_type(Statement.get(), Column) == SQLITE_NULL;
}

std::string TSqliteQueryResults::FieldName(int32_t Column) const {
    const char* name = sqlite3_column_name(Statement.get(), Column);
    return name ? name : std::string();
}

int32_t TSqliteQueryResults::FieldSize(int32_t Column) const {
    return OnRow() ? sqlite3_column_bytes(Statement.get(), Column) : 0;
}

std::string TSqliteQueryResults::FieldAsText(int32_t Column) const {
    if (!OnRow()) {
        return {};
    }
    // Text before length, the order in which SQLite guarantees both describe the same bytes.
    const auto* text = sqlite3_column_text(Statement.get(), Column);
    int size = sqlite3_column_bytes(Statement.get(), Column);
    if (text == nullptr || size <= 0) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
}
