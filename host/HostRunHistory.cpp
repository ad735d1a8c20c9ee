#include "HostRunHistory.h"

#include <QDateTime>
#include <QTimeZone>
#include <cstdio>

#include "HostFileMode.h"
#include "HostJson.h"
#include "Sqlite3Db.h"

namespace {

constexpr const char* Schema =
    "CREATE TABLE IF NOT EXISTS ScriptRuns (ID INTEGER PRIMARY KEY, Asked TEXT NOT NULL, "
    "Started TEXT, Finished TEXT, Sender TEXT NOT NULL, Script TEXT NOT NULL, "
    "Parameters TEXT NOT NULL, State TEXT NOT NULL, ExitStatus INTEGER, Signal INTEGER, "
    "Reason TEXT, DurationMs INTEGER, OutputTail TEXT, Note TEXT, Instance INTEGER)";
// Files made before runs carried their module instance get the column, empty in their old rows.
constexpr const char* AddInstanceColumn = "ALTER TABLE ScriptRuns ADD COLUMN Instance INTEGER";
// The queue is read by state at every start; the list and the pruning go by time.
constexpr const char* StateIndex =
    "CREATE INDEX IF NOT EXISTS ScriptRunsState ON ScriptRuns (State)";
constexpr const char* AskedIndex =
    "CREATE INDEX IF NOT EXISTS ScriptRunsAsked ON ScriptRuns (Asked)";

// The last column is "IFNULL(Instance, 0)", or "0" in a file read before a host added it.
constexpr const char* Columns =
    "SELECT ID, Asked, IFNULL(Started, ''), IFNULL(Finished, ''), Sender, Script, Parameters, "
    "State, IFNULL(ExitStatus, -1), IFNULL(Signal, 0), IFNULL(Reason, ''), DurationMs, "
    "IFNULL(OutputTail, ''), IFNULL(Note, ''), ";

// Times compare as texts in UTC, whatever offset each was written with.
QDateTime ParseTime(const std::string& time) {
    return QDateTime::fromString(QString::fromStdString(time), Qt::ISODate);
}

// Quoted, with quotes, backslashes and control bytes escaped; every other byte as it is.
void AppendByteString(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

}  // namespace

THostRunHistory::THostRunHistory(const std::string& path, TAccess access) : File(path) {
    try {
        if (access == TAccess::Write && !CreateHostFile(path)) {
            throw EHistoryError("Cannot make the history file " + path);
        }
        Db = std::make_unique<TSqliteDatabase>(path);
        if (access == TAccess::Write) {
            Db->Execute("PRAGMA journal_mode = WAL");
            // In WAL mode NORMAL never corrupts the file; a commit is safe from a crash or a kill
            // of the host (the kernel has it) and only a power cut can lose the last ones. FULL
            // waits for the disk at each of a run's three writes: accepting a tick of 300 runs
            // took 1.3 s instead of 66 ms (history_bench).
            Db->Execute("PRAGMA synchronous = NORMAL");
            Db->Execute(Schema);
            if (!HasColumn("Instance")) {
                Db->Execute(AddInstanceColumn);
            }
            Db->Execute(StateIndex);
            Db->Execute(AskedIndex);
        }
        HasInstance = HasColumn("Instance");
    } catch (const ESqliteException& e) {
        throw EHistoryError("The history file " + path + " cannot be used: " + e.what());
    }
}

THostRunHistory::~THostRunHistory() = default;

bool THostRunHistory::HasColumn(const std::string& name) {
    auto rows = Db->Query("SELECT 1 FROM pragma_table_info('ScriptRuns') WHERE name = ?", {name});
    return !rows->AtEnd();
}

std::int64_t THostRunHistory::Add(const THostScriptResult& run, const std::string& note) {
    const std::string parameters = ParametersJson(run.Parameters);
    try {
        Db->Execute(
            "INSERT INTO ScriptRuns (Asked, Finished, Sender, Script, Parameters, State, Reason, "
            "Note, Instance) VALUES (?, NULLIF(?, ''), ?, ?, ?, ?, NULLIF(?, ''), NULLIF(?, ''), "
            "NULLIF(?, 0))",
            {run.Asked, run.Finished, run.Sender, run.Script, parameters, run.Outcome, run.Reason,
             note, std::int64_t{run.Instance}});
        return Db->LastInsertRowID();
    } catch (const ESqliteException& e) {
        throw EHistoryError("Cannot record the run of " + run.Script + " in " + File + ": " +
                            e.what());
    }
}

void THostRunHistory::MarkStarted(std::int64_t id, const std::string& started) {
    try {
        Db->Execute("UPDATE ScriptRuns SET State = 'running', Started = ? WHERE ID = ?",
                    {started, id});
    } catch (const ESqliteException& e) {
        throw EHistoryError("Cannot record a start in " + File + ": " + e.what());
    }
}

void THostRunHistory::MarkEnded(std::int64_t id, const THostScriptResult& run,
                                std::optional<std::int64_t> durationMs) {
    try {
        Db->Execute(
            "UPDATE ScriptRuns SET State = ?, Finished = ?, ExitStatus = NULLIF(?, -1), "
            "Signal = NULLIF(?, 0), Reason = NULLIF(?, ''), DurationMs = NULLIF(?, -1), "
            "OutputTail = NULLIF(?, '') WHERE ID = ?",
            {run.Outcome, run.Finished, std::int64_t{run.ExitStatus}, std::int64_t{run.Signal},
             run.Reason, durationMs.value_or(-1), run.OutputTail, id});
    } catch (const ESqliteException& e) {
        throw EHistoryError("Cannot record the end of a run in " + File + ": " + e.what());
    }
}

void THostRunHistory::SetNote(std::int64_t id, const std::string& note) {
    try {
        Db->Execute("UPDATE ScriptRuns SET Note = ? WHERE ID = ?", {note, id});
    } catch (const ESqliteException& e) {
        throw EHistoryError("Cannot write a note in " + File + ": " + e.what());
    }
}

std::vector<THostRunRecord> THostRunHistory::Select(const std::string& where,
                                                    const std::vector<std::string>& values,
                                                    int limit, bool newestFirst) {
    std::string sql = std::string(Columns) + (HasInstance ? "IFNULL(Instance, 0)" : "0") +
                      " FROM ScriptRuns" + (where.empty() ? "" : " WHERE " + where) +
                      " ORDER BY ID" + (newestFirst ? " DESC" : "");
    if (limit > 0) {
        sql += " LIMIT " + std::to_string(limit);
    }
    TSqliteParams params(values.begin(), values.end());
    std::vector<THostRunRecord> records;
    try {
        auto rows = Db->Query(sql, params);
        for (; !rows->AtEnd(); rows->Next()) {
            THostRunRecord record;
            THostScriptResult& r = record.Result;
            r.HistoryId = rows->FieldAsInteger(0);
            r.Asked = rows->FieldAsText(1);
            r.Started = rows->FieldAsText(2);
            r.Finished = rows->FieldAsText(3);
            r.Sender = rows->FieldAsText(4);
            r.Script = rows->FieldAsText(5);
            r.Parameters = ParseParameters(rows->FieldAsText(6));
            r.Outcome = rows->FieldAsText(7);
            r.ExitStatus = static_cast<int>(rows->FieldAsInteger(8));
            r.Signal = static_cast<int>(rows->FieldAsInteger(9));
            r.Reason = rows->FieldAsText(10);
            if (!rows->FieldIsNull(11)) {
                record.DurationMs = rows->FieldAsInteger(11);
            }
            r.OutputTail = rows->FieldAsText(12);
            record.Note = rows->FieldAsText(13);
            r.Instance = static_cast<int>(rows->FieldAsInteger(14));
            records.push_back(std::move(record));
        }
    } catch (const ESqliteException& e) {
        throw EHistoryError("Cannot read the history file " + File + ": " + e.what());
    }
    return records;
}

std::vector<THostRunRecord> THostRunHistory::Unfinished() {
    return Select("State IN ('queued', 'running')", {}, 0, false);
}

std::vector<THostRunRecord> THostRunHistory::List(const THostHistoryFilter& filter) {
    std::string where;
    std::vector<std::string> values;
    const auto add = [&where](const std::string& condition) {
        where += (where.empty() ? "" : " AND ") + condition;
    };
    if (!filter.Since.empty()) {
        // Asked starts with the local date: a text comparison of the first ten bytes.
        add("substr(Asked, 1, 10) >= ?");
        values.push_back(filter.Since);
    }
    if (filter.FailedOnly) {
        add("State NOT IN ('ok', 'queued', 'running')");
    }
    if (!filter.Script.empty()) {
        add("Script = ?");
        values.push_back(filter.Script);
    }
    return Select(where, values, filter.Limit, true);
}

std::int64_t THostRunHistory::Prune(int days, const std::string& now) {
    if (days <= 0) {
        return 0;
    }
    // Times carry their offsets; julianday() compares them as instants.
    try {
        Db->Execute(
            "DELETE FROM ScriptRuns WHERE State NOT IN ('queued', 'running') AND "
            "julianday(IFNULL(Finished, Asked)) < julianday(?) - "
            "(CASE State WHEN 'ok' THEN ? ELSE 2 * ? END)",
            {now, std::int64_t{days}, std::int64_t{days}});
        return Db->Changes();
    } catch (const ESqliteException& e) {
        throw EHistoryError("Cannot prune the history file " + File + ": " + e.what());
    }
}

std::string THostRunHistory::IsoTime(const QDateTime& time) {
    std::string text =
        time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    // Qt writes UTC as "Z"; the file always carries the offset.
    if (!text.empty() && text.back() == 'Z') {
        text.replace(text.size() - 1, 1, "+00:00");
    }
    return text;
}

std::string THostRunHistory::Now() {
    return IsoTime(QDateTime::currentDateTime());
}

std::string THostRunHistory::DaysBefore(const std::string& time, int days) {
    return IsoTime(ParseTime(time).addDays(-days));
}

std::string THostRunHistory::ParametersJson(
    const std::vector<std::pair<std::string, std::string>>& parameters) {
    std::string out = "{";
    for (const auto& [name, value] : parameters) {
        if (out.size() > 1) {
            out += ',';
        }
        AppendByteString(out, name);
        out += ':';
        AppendByteString(out, value);
    }
    return out + "}";
}

std::vector<std::pair<std::string, std::string>> THostRunHistory::ParseParameters(
    const std::string& json) {
    THostStringPairs parameters;
    std::string problem;
    ReadByteStringObject(json, parameters, problem);
    return parameters;
}
