#include "SqlRows.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

std::string RowsText(sqlite3* connection, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(connection));
    }
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    std::string text;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        for (int column = 0; column < sqlite3_column_count(raw); ++column) {
            const auto* value = sqlite3_column_text(raw, column);
            text += column > 0 ? "|" : "";
            text += value ? reinterpret_cast<const char*>(value) : "NULL";
        }
        text += '\n';
    }
    if (rc != SQLITE_DONE) {
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(connection));
    }
    return text;
}

std::string RowsText(const std::string& path, const std::string& sql) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> connection(raw, sqlite3_close);
    if (rc != SQLITE_OK) {
        throw std::runtime_error(path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory"));
    }
    return RowsText(connection.get(), sql);
}
