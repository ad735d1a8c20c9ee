// Rows of a query as text, for comparing what a file holds before and after an operation.
#pragma once

#include <string>

struct sqlite3;

// Every row of `sql`, one line each ending in '\n', columns separated by '|', NULL as "NULL".
// Raises std::runtime_error when the statement fails.
std::string RowsText(sqlite3* connection, const std::string& sql);
// The same on the file at `path`, opened read-only for this one query.
std::string RowsText(const std::string& path, const std::string& sql);
