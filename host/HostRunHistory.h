// The run history: one row per script run in an SQLite file (table ScriptRuns), written when a
// run is accepted, when it starts and when it ends. The rows still 'queued' or 'running' are the
// queue, so runs accepted before the host stopped (or was killed) are found and run by the next
// start. The file is in WAL mode: `nhx-host --show-history`, mondrel-web and sqlite3 read it
// while a host writes.
//
// Rows of finished runs older than the age limit go: successes after `Days` days, every other
// outcome after twice as long.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostScriptResult.h"

class QDateTime;
class TSqliteDatabase;

// The history file cannot be opened, made or written; the message names it.
class EHistoryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// States of a run as the file stores them.
namespace HostRunState {
inline constexpr const char* Queued = "queued";
inline constexpr const char* Running = "running";
inline constexpr const char* Ok = "ok";
inline constexpr const char* Failed = "failed";
inline constexpr const char* NotStarted = "not started";
inline constexpr const char* TimedOut = "timed out";
}  // namespace HostRunState

// One row. Result.Outcome holds the row's State, queued and running included.
struct THostRunRecord {
    THostScriptResult Result;
    std::optional<std::int64_t> DurationMs;
    std::string Note;
};

// What --show-history and the window's tab ask for.
struct THostHistoryFilter {
    std::string Since;        // YYYY-MM-DD: runs asked on that day or later; empty: all
    bool FailedOnly = false;  // every outcome but ok, queued and running
    std::string Script;       // only this script; empty: all
    int Limit = 0;            // at most this many, newest first; 0: no limit
};

inline constexpr int DefaultHistoryDays = 90;

class THostRunHistory {
  public:
    enum class TAccess { Write, Read };
    // Opens (Write: makes, with the host's file mode, when missing) the file. Raises
    // EHistoryError.
    explicit THostRunHistory(const std::string& path, TAccess access = TAccess::Write);
    ~THostRunHistory();
    THostRunHistory(const THostRunHistory&) = delete;
    THostRunHistory& operator=(const THostRunHistory&) = delete;

    const std::string& Path() const { return File; }

    // A run accepted now: answers its ID. `run.Outcome` is the state (queued, or not started
    // with its Reason).
    std::int64_t Add(const THostScriptResult& run, const std::string& note = {});
    void MarkStarted(std::int64_t id, const std::string& started);
    // How the run ended (Outcome, Finished, ExitStatus, Signal, Reason, OutputTail).
    void MarkEnded(std::int64_t id, const THostScriptResult& run,
                   std::optional<std::int64_t> durationMs);
    void SetNote(std::int64_t id, const std::string& note);

    // Runs accepted and not ended, oldest first.
    std::vector<THostRunRecord> Unfinished();
    std::vector<THostRunRecord> List(const THostHistoryFilter& filter);
    // Deletes what is older than the limit (see above) at `now` (ISO 8601); answers the rows gone.
    std::int64_t Prune(int days, const std::string& now);

    // A time as the file writes times: ISO 8601 local time with its offset ("+00:00", never
    // "Z"), to the second; Now() is the current time so.
    static std::string IsoTime(const QDateTime& time);
    static std::string Now();
    // `days` before the ISO time `time`, in the same form.
    static std::string DaysBefore(const std::string& time, int days);
    // The parameters as one JSON object of strings, and back (order kept). The bytes are kept as
    // they are, also where they are not UTF-8, so that a run taken up again after a restart gets
    // its parameters exactly; what others read is written with HostJson's AppendJsonText.
    static std::string ParametersJson(
        const std::vector<std::pair<std::string, std::string>>& parameters);
    static std::vector<std::pair<std::string, std::string>> ParseParameters(
        const std::string& json);

  private:
    bool HasColumn(const std::string& name);
    std::vector<THostRunRecord> Select(const std::string& where,
                                       const std::vector<std::string>& values, int limit,
                                       bool newestFirst);

    std::string File;
    std::unique_ptr<TSqliteDatabase> Db;
    bool HasInstance = false;  // files of older hosts, read only, lack the column
};
