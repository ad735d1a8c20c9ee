#include "RawSqlite.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <stdexcept>

namespace {

void Check(sqlite3* handle, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
        throw std::runtime_error(sqlite3_errmsg(handle));
    }
}

int64_t Run(sqlite3* handle, const TRawStatement& statement) {
    sqlite3_stmt* prepared = nullptr;
    Check(handle, sqlite3_prepare_v2(handle, statement.SQL.c_str(),
                                     static_cast<int>(statement.SQL.size()), &prepared, nullptr));
    int index = 1;
    for (const TRawValue& value : statement.Params) {
        if (const auto* number = std::get_if<int64_t>(&value)) {
            sqlite3_bind_int64(prepared, index++, *number);
        } else {
            const std::string& text = std::get<std::string>(value);
            sqlite3_bind_text(prepared, index++, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
        }
    }
    int64_t rows = 0;
    int rc;
    while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
        for (int column = 0; column < sqlite3_column_count(prepared); ++column) {
            const unsigned char* text = sqlite3_column_text(prepared, column);
            benchmark::DoNotOptimize(text);
            benchmark::DoNotOptimize(sqlite3_column_bytes(prepared, column));
        }
        ++rows;
    }
    sqlite3_finalize(prepared);
    Check(handle, rc);
    return rows;
}

int64_t RawUnitOfWork(const std::string& path, const std::vector<TRawStatement>& statements,
                      const char* pragma) {
    sqlite3* handle = nullptr;
    Check(handle, sqlite3_open(path.c_str(), &handle));
    int64_t rows = Run(handle, {pragma, {}});
    Run(handle, {"begin", {}});
    for (const TRawStatement& statement : statements) {
        rows += Run(handle, statement);
    }
    Run(handle, {"commit", {}});
    sqlite3_close(handle);
    return rows;
}

}  // namespace

int64_t RawUnitOfWork(const std::string& path, const std::vector<TRawStatement>& statements) {
    return RawUnitOfWork(path, statements, "pragma temp_store = memory");
}

void RawUntimedWrite(const std::string& path, const TRawStatement& statement) {
    RawUnitOfWork(path, {statement}, "pragma synchronous = off");
}
