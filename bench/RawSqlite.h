// The same units of work as the store's operations, written with the SQLite C API alone: open,
// the same pragma, begin, prepare, bind, step, read, finalize, commit, close. The yardstick the
// store is measured against.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

using TRawValue = std::variant<int64_t, std::string>;

struct TRawStatement {
    std::string SQL;
    std::vector<TRawValue> Params;
};

// Runs the statements in one transaction and reads every column of every row; answers the
// number of rows read.
int64_t RawUnitOfWork(const std::string& path, const std::vector<TRawStatement>& statements);

// One statement without waiting for the disk, for putting a file back between timed runs.
void RawUntimedWrite(const std::string& path, const TRawStatement& statement);
