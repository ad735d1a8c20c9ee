// The sources of a database file and what each has written, in the tool's own tables:
// MondrelSources (one row per source or standing rule, with the options it was made with and
// how its last run went) and MondrelFlagRecords (each day flag a source set). The appointments a
// source wrote are recorded in MondrelImports (ToolTables.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DBTransaction.h"

// Kinds of sources.
constexpr const char* FileSource = "file";
constexpr const char* UrlSource = "url";
constexpr const char* StdinSource = "stdin";    // read once from standard input; never refreshed
constexpr const char* CalDavSource = "caldav";  // a calendar on a CalDAV server
constexpr const char* RepeatSource = "repeat";
constexpr const char* WeekendsSource = "weekends";
constexpr const char* HolidaysSource = "holidays";

struct TSource {
    std::string Name;
    std::string Kind;
    std::string Location;              // what refresh reads: a file's full path or a URL
    std::vector<std::string> Options;  // the options it was made with, as arguments
    std::string Through;               // the last day written, YYYY-MM-DD
    std::string LastRun;               // YYYY-MM-DD HH:MM:SS of the last import or refresh
    std::string LastResult;            // "ok", or why the last run failed
};

// Makes the tables of sources where they are missing (MondrelImports included). Writes: call it
// inside the writing command's transaction.
void CreateSourceTables(TSqliteDatabase& Database);

// Every source, by name. None in a file without the table.
std::vector<TSource> ReadSources(TSqliteDatabase& Database);
std::optional<TSource> FindSource(TSqliteDatabase& Database, const std::string& Name);
// Adds the source or replaces the one of that name.
void SaveSource(TSqliteDatabase& Database, const TSource& Source);
void DeleteSource(TSqliteDatabase& Database, const std::string& Name);
// Records how a run ended, leaving the rest of the source as it is.
void SaveRunResult(TSqliteDatabase& Database, const std::string& Name, const std::string& When,
                   const std::string& Result);

// What a source holds from Today on: open rows and flagged days.
struct TSourceAhead {
    size_t Rows = 0;
    size_t Days = 0;
};
TSourceAhead CountAhead(TDBTransaction& Transaction, const std::string& Name,
                        const std::string& Today);

// Names that records carry but no source row has: the legacy records of imports made before
// sources existed.
std::vector<std::string> UnlistedSources(TSqliteDatabase& Database);

// A day flag set on behalf of a source.
struct TFlagRecord {
    int64_t RecordID = 0;
    std::string Date;  // YYYY-MM-DD
    int64_t FlagID = 0;
    bool Wrote = false;  // the source wrote the DayFlags row (the day did not have the flag)
};

std::vector<TFlagRecord> ReadFlagRecords(TSqliteDatabase& Database, const std::string& Source);
void AddFlagRecord(TSqliteDatabase& Database, const std::string& Source, const std::string& Date,
                   int64_t FlagID, bool Wrote);
// Drops the record. When the source wrote the flag, another source that records the same day
// and flag takes it over (and the answer is false); otherwise the answer tells whether the
// flag's row is the source's to take off.
bool DropFlagRecord(TSqliteDatabase& Database, const TFlagRecord& Record);

// Arguments as one line, each quoted where a shell would need it, and back.
std::string JoinArguments(const std::vector<std::string>& Arguments);
std::vector<std::string> SplitArguments(const std::string& Line);
