#include "SourceTables.h"

#include <map>
#include <set>

#include "DBCnx.h"
#include "Sqlite3Db.h"
#include "ToolTables.h"

namespace {

TSource ReadSource(const TSqliteQueryResults& row) {
    return {row.FieldAsText(0), row.FieldAsText(1),
            row.FieldAsText(2), SplitArguments(row.FieldAsText(3)),
            row.FieldAsText(4), row.FieldAsText(5),
            row.FieldAsText(6)};
}

constexpr const char* SourceColumns =
    "SELECT Name, Kind, Location, Options, Through, LastRun, LastResult FROM MondrelSources";

bool NeedsQuotes(const std::string& argument) {
    if (argument.empty()) {
        return true;
    }
    for (unsigned char c : argument) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     std::string("-_=+:,./@%").find(static_cast<char>(c)) != std::string::npos ||
                     c >= 0x80;
        if (!plain) {
            return true;
        }
    }
    return false;
}

}  // namespace

void CreateSourceTables(TSqliteDatabase& Database) {
    CreateImportTable(Database);
    Database.Execute(
        "CREATE TABLE IF NOT EXISTS MondrelSources (Name TEXT PRIMARY KEY, Kind TEXT NOT NULL, "
        "Location TEXT NOT NULL DEFAULT '', Options TEXT NOT NULL DEFAULT '', Through TEXT NOT "
        "NULL DEFAULT '', LastRun TEXT NOT NULL DEFAULT '', LastResult TEXT NOT NULL DEFAULT '')");
    // Wrote: 1 when the source added the DayFlags row, 0 when the day had the flag already.
    Database.Execute(
        "CREATE TABLE IF NOT EXISTS MondrelFlagRecords (Source TEXT NOT NULL, Date TEXT NOT NULL, "
        "FlagID INTEGER NOT NULL, Wrote INTEGER NOT NULL)");
    Database.Execute(
        "CREATE INDEX IF NOT EXISTS MondrelFlagRecordsSource ON MondrelFlagRecords(Source)");
    Database.Execute(
        "CREATE INDEX IF NOT EXISTS MondrelFlagRecordsDay ON MondrelFlagRecords(Date, FlagID)");
}

std::vector<TSource> ReadSources(TSqliteDatabase& Database) {
    std::vector<TSource> sources;
    if (!HasTable(Database, "MondrelSources")) {
        return sources;
    }
    auto row = Database.Query(std::string(SourceColumns) + " ORDER BY Name");
    for (; !row->AtEnd(); row->Next()) {
        sources.push_back(ReadSource(*row));
    }
    return sources;
}

std::optional<TSource> FindSource(TSqliteDatabase& Database, const std::string& Name) {
    if (!HasTable(Database, "MondrelSources")) {
        return std::nullopt;
    }
    auto row = Database.Query(std::string(SourceColumns) + " WHERE Name = ?", {Name});
    if (row->AtEnd()) {
        return std::nullopt;
    }
    return ReadSource(*row);
}

void SaveSource(TSqliteDatabase& Database, const TSource& Source) {
    Database.Execute(
        "INSERT OR REPLACE INTO MondrelSources (Name, Kind, Location, Options, Through, LastRun, "
        "LastResult) VALUES (?, ?, ?, ?, ?, ?, ?)",
        {Source.Name, Source.Kind, Source.Location, JoinArguments(Source.Options), Source.Through,
         Source.LastRun, Source.LastResult});
}

void DeleteSource(TSqliteDatabase& Database, const std::string& Name) {
    if (HasTable(Database, "MondrelSources")) {
        Database.Execute("DELETE FROM MondrelSources WHERE Name = ?", {Name});
    }
}

void SaveRunResult(TSqliteDatabase& Database, const std::string& Name, const std::string& When,
                   const std::string& Result) {
    Database.Execute("UPDATE MondrelSources SET LastRun = ?, LastResult = ? WHERE Name = ?",
                     {When, Result, Name});
}

TSourceAhead CountAhead(TDBTransaction& Transaction, const std::string& Name,
                        const std::string& Today) {
    TSqliteDatabase& database = Transaction.Database();
    TSourceAhead ahead;
    for (const TImportRecord& record : ReadImportRecords(database, Name)) {
        if (record.RowExists && record.Current.Done == 0 && record.Current.Date >= Today) {
            ++ahead.Rows;
        }
    }
    std::map<int64_t, std::set<std::string>> flagged;  // by flag, read once each
    std::set<std::string> days;
    for (const TFlagRecord& record : ReadFlagRecords(database, Name)) {
        if (record.Date < Today) {
            continue;
        }
        auto found = flagged.find(record.FlagID);
        if (found == flagged.end()) {
            found = flagged.emplace(record.FlagID, DaysWithFlag(Transaction, record.FlagID)).first;
        }
        if (found->second.count(record.Date) != 0) {
            days.insert(record.Date);
        }
    }
    ahead.Days = days.size();
    return ahead;
}

std::vector<std::string> UnlistedSources(TSqliteDatabase& Database) {
    std::vector<std::string> names;
    if (!HasImportSources(Database)) {
        return names;
    }
    std::string listed = HasTable(Database, "MondrelSources")
                             ? " WHERE Source NOT IN (SELECT Name FROM MondrelSources)"
                             : "";
    auto row =
        Database.Query("SELECT DISTINCT Source FROM MondrelImports" + listed + " ORDER BY Source");
    for (; !row->AtEnd(); row->Next()) {
        names.push_back(row->FieldAsText(0));
    }
    return names;
}

std::vector<TFlagRecord> ReadFlagRecords(TSqliteDatabase& Database, const std::string& Source) {
    std::vector<TFlagRecord> records;
    if (!HasTable(Database, "MondrelFlagRecords")) {
        return records;
    }
    auto row = Database.Query(
        "SELECT rowid, Date, FlagID, Wrote FROM MondrelFlagRecords WHERE Source = ? ORDER BY "
        "Date, FlagID",
        {Source});
    for (; !row->AtEnd(); row->Next()) {
        records.push_back({row->FieldAsInteger(0), row->FieldAsText(1), row->FieldAsInteger(2),
                           row->FieldAsInteger(3) != 0});
    }
    return records;
}

void AddFlagRecord(TSqliteDatabase& Database, const std::string& Source, const std::string& Date,
                   int64_t FlagID, bool Wrote) {
    Database.Execute(
        "INSERT INTO MondrelFlagRecords (Source, Date, FlagID, Wrote) VALUES (?, ?, ?, ?)",
        {Source, Date, FlagID, int64_t{Wrote ? 1 : 0}});
}

bool DropFlagRecord(TSqliteDatabase& Database, const TFlagRecord& Record) {
    Database.Execute("DELETE FROM MondrelFlagRecords WHERE rowid = ?", {Record.RecordID});
    if (!Record.Wrote) {
        return false;
    }
    auto other =
        Database.Query("SELECT rowid FROM MondrelFlagRecords WHERE Date = ? AND FlagID = ? LIMIT 1",
                       {Record.Date, Record.FlagID});
    if (other->AtEnd()) {
        return true;
    }
    Database.Execute("UPDATE MondrelFlagRecords SET Wrote = 1 WHERE rowid = ?",
                     {other->FieldAsInteger(0)});
    return false;
}

std::string JoinArguments(const std::vector<std::string>& Arguments) {
    std::string line;
    for (const std::string& argument : Arguments) {
        if (!line.empty()) {
            line += ' ';
        }
        if (!NeedsQuotes(argument)) {
            line += argument;
            continue;
        }
        line += '\'';
        for (char c : argument) {
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        line += '\'';
    }
    return line;
}

std::vector<std::string> SplitArguments(const std::string& Line) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    for (size_t i = 0; i < Line.size(); ++i) {
        char c = Line[i];
        if (c == ' ') {
            if (inArgument) {
                arguments.push_back(current);
                current.clear();
                inArgument = false;
            }
        } else if (c == '\'') {
            inArgument = true;
            size_t end = Line.find('\'', i + 1);
            end = end == std::string::npos ? Line.size() : end;
            current += Line.substr(i + 1, end - i - 1);
            i = end;
        } else if (c == '\\' && i + 1 < Line.size()) {
            inArgument = true;
            current += Line[++i];
        } else {
            inArgument = true;
            current += c;
        }
    }
    if (inArgument) {
        arguments.push_back(current);
    }
    return arguments;
}
