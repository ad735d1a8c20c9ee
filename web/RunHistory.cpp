#include "RunHistory.h"

#include <filesystem>

#include "Sqlite3Db.h"

namespace {

constexpr const char* Columns =
    "SELECT ID, Asked, Started, Finished, Sender, Script, Parameters, State, ExitStatus, Signal, "
    "Reason, DurationMs, OutputTail FROM ScriptRuns ";

TJsonValue Runs(const std::string& file, const std::string& where, const TSqliteParams& params) {
    TJsonValue answer = TJsonValue::Object();
    std::error_code error;
    if (file.empty() || !std::filesystem::is_regular_file(file, error)) {
        return answer.Set("available", false);
    }
    TSqliteDatabase database(file);
    TJsonValue runs = TJsonValue::Array();
    auto text = [](TSqliteQueryResults& row, int column) {
        return row.FieldIsNull(column) ? TJsonValue(nullptr) : TJsonValue(row.FieldAsText(column));
    };
    auto number = [](TSqliteQueryResults& row, int column) {
        return row.FieldIsNull(column) ? TJsonValue(nullptr)
                                       : TJsonValue(row.FieldAsInteger(column));
    };
    for (auto row = database.Query(std::string(Columns) + where, params); !row->AtEnd();
         row->Next()) {
        runs.Append(TJsonValue::Object()
                        .Set("id", row->FieldAsInteger(0))
                        .Set("asked", text(*row, 1))
                        .Set("started", text(*row, 2))
                        .Set("finished", text(*row, 3))
                        .Set("sender", text(*row, 4))
                        .Set("script", text(*row, 5))
                        .Set("parameters", text(*row, 6))
                        .Set("state", text(*row, 7))
                        .Set("exit_status", number(*row, 8))
                        .Set("signal", number(*row, 9))
                        .Set("reason", text(*row, 10))
                        .Set("duration_ms", number(*row, 11))
                        .Set("output_tail", text(*row, 12)));
    }
    return answer.Set("available", true).Set("runs", runs);
}

}  // namespace

TJsonValue RunsOfDay(const std::string& HistoryFile, const std::string& Day) {
    return Runs(HistoryFile, "WHERE substr(Asked, 1, 10) = ? ORDER BY ID", {Day});
}

TJsonValue FailedRuns(const std::string& HistoryFile) {
    return Runs(HistoryFile,
                "WHERE State IN ('failed', 'timed out', 'not started') ORDER BY ID DESC LIMIT 200",
                {});
}
