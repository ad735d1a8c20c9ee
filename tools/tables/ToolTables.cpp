#include "ToolTables.h"

#include <cstdio>
#include <filesystem>
#include <random>

#include <unistd.h>

#include "Sqlite3Db.h"

namespace {

TImportValues ReadValues(const TSqliteQueryResults& row, int32_t first) {
    TImportValues values;
    values.Date = row.FieldAsText(first);
    values.Time = row.FieldAsText(first + 1);
    values.Discription = row.FieldAsText(first + 2);
    values.Value = row.FieldAsText(first + 3);
    values.Script = row.FieldAsText(first + 4);
    values.Done = row.FieldAsInteger(first + 5);
    return values;
}

// Whether this process may change the file: write it and make its journal beside it.
bool MayWriteFile(const std::string& path) {
    std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    return access(path.c_str(), W_OK) == 0 && access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

bool HasTable(TSqliteDatabase& Database, const std::string& Name) {
    auto query =
        Database.Query("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", {Name});
    return !query->AtEnd();
}

bool HasColumn(TSqliteDatabase& Database, const std::string& Table, const std::string& Column) {
    auto query =
        Database.Query("SELECT 1 FROM pragma_table_info(?) WHERE name = ?", {Table, Column});
    return !query->AtEnd();
}

bool HasImportTable(TSqliteDatabase& Database) {
    return HasTable(Database, "MondrelImports");
}

bool HasImportSources(TSqliteDatabase& Database) {
    return HasImportTable(Database) && HasColumn(Database, "MondrelImports", "Source");
}

void CreateImportTable(TSqliteDatabase& Database) {
    // Occurrence: the RECURRENCE-ID of the occurrence in UTC, "" for an event that does not
    // repeat. Date to Done: the values the import last wrote into the Dates row ID.
    Database.Execute(
        "CREATE TABLE IF NOT EXISTS MondrelImports (ID INTEGER NOT NULL, UID TEXT NOT NULL, "
        "Occurrence TEXT NOT NULL, Date TEXT, Time TEXT, Discription TEXT, Value TEXT, "
        "Script TEXT, Done INTEGER, Source TEXT NOT NULL DEFAULT 'legacy')");
    if (!HasColumn(Database, "MondrelImports", "Source")) {
        Database.Execute(
            "ALTER TABLE MondrelImports ADD COLUMN Source TEXT NOT NULL DEFAULT 'legacy'");
    }
    Database.Execute("CREATE INDEX IF NOT EXISTS MondrelImportsID ON MondrelImports(ID)");
    Database.Execute(
        "CREATE INDEX IF NOT EXISTS MondrelImportsSource ON MondrelImports(Source, UID)");
}

std::vector<TImportRecord> ReadImportRecords(TSqliteDatabase& Database, const std::string& Source) {
    std::vector<TImportRecord> records;
    if (!HasImportSources(Database)) {
        return records;
    }
    auto row = Database.Query(
        "SELECT i.rowid, i.ID, i.UID, i.Occurrence, i.Date, i.Time, i.Discription, i.Value, "
        "i.Script, i.Done, d.ID IS NOT NULL, d.Date, d.Time, d.Discription, d.Value, d.Script, "
        "d.Done FROM MondrelImports i LEFT JOIN Dates d ON d.ID = i.ID WHERE i.Source = ? "
        "ORDER BY i.rowid",
        {Source});
    for (; !row->AtEnd(); row->Next()) {
        TImportRecord& record = records.emplace_back();
        record.RecordID = row->FieldAsInteger(0);
        record.ID = row->FieldAsInteger(1);
        record.Key = {row->FieldAsText(2), row->FieldAsText(3)};
        record.Last = ReadValues(*row, 4);
        record.RowExists = row->FieldAsInteger(10) != 0;
        if (record.RowExists) {
            record.Current = ReadValues(*row, 11);
        }
    }
    return records;
}

std::map<int64_t, TImportKey> ReadImportKeys(TSqliteDatabase& Database) {
    std::map<int64_t, TImportKey> keys;
    if (!HasImportTable(Database)) {
        return keys;
    }
    auto row = Database.Query("SELECT ID, UID, Occurrence FROM MondrelImports ORDER BY rowid");
    for (; !row->AtEnd(); row->Next()) {
        keys[row->FieldAsInteger(0)] = {row->FieldAsText(1), row->FieldAsText(2)};
    }
    return keys;
}

void AddImportRecords(TSqliteDatabase& Database, const std::string& Source,
                      const std::vector<TWantedRow>& Rows, const std::vector<int64_t>& IDs) {
    size_t next = 0;
    for (size_t chunk = MaxRecordsPerInsert; chunk > 0; chunk /= 2) {
        std::string sql;
        while (Rows.size() - next >= chunk) {
            if (sql.empty()) {
                sql =
                    "INSERT INTO MondrelImports (ID, UID, Occurrence, Date, Time, Discription, "
                    "Value, Script, Done, Source) VALUES ";
                for (size_t i = 0; i < chunk; ++i) {
                    sql += i == 0 ? "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                                  : ", (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
                }
            }
            TSqliteParams params;
            params.reserve(chunk * 10);
            for (size_t i = next; i < next + chunk; ++i) {
                const TImportKey& key = Rows[i].Key;
                const TImportValues& values = Rows[i].Values;
                params.insert(params.end(), {IDs[i], key.UID, key.Occurrence, values.Date,
                                             values.Time, values.Discription, values.Value,
                                             values.Script, values.Done, Source});
            }
            Database.Execute(sql, params);
            next += chunk;
        }
    }
}

void AdoptLegacyRecords(TSqliteDatabase& Database, const std::string& Source,
                        const TImportScope& Scope) {
    if (Source == LegacySource) {
        return;
    }
    // Few files hold legacy records at all: look them up once instead of once per event.
    std::vector<std::string> legacy;
    auto row = Database.Query("SELECT DISTINCT UID FROM MondrelImports WHERE Source = ?",
                              {std::string(LegacySource)});
    for (; !row->AtEnd(); row->Next()) {
        legacy.push_back(row->FieldAsText(0));
    }
    row.reset();
    for (const std::string& uid : legacy) {
        if (Scope.PresentUIDs.count(uid) != 0 || Scope.KeptUIDs.count(uid) != 0) {
            Database.Execute("UPDATE MondrelImports SET Source = ? WHERE Source = ? AND UID = ?",
                             {Source, std::string(LegacySource), uid});
        }
    }
}

void DeleteImportRecords(TSqliteDatabase& Database, const std::string& Source) {
    if (HasImportSources(Database)) {
        Database.Execute("DELETE FROM MondrelImports WHERE Source = ?", {Source});
    }
}

void UpdateImportRecord(TSqliteDatabase& Database, int64_t RecordID, const TImportValues& Values) {
    Database.Execute(
        "UPDATE MondrelImports SET Date = ?, Time = ?, Discription = ?, Value = ?, Script = ?, "
        "Done = ? WHERE rowid = ?",
        {Values.Date, Values.Time, Values.Discription, Values.Value, Values.Script, Values.Done,
         RecordID});
}

void RerecordImport(TSqliteDatabase& Database, int64_t RecordID, const TWantedRow& Row) {
    const TImportValues& values = Row.Values;
    Database.Execute(
        "UPDATE MondrelImports SET UID = ?, Occurrence = ?, Date = ?, Time = ?, Discription = ?, "
        "Value = ?, Script = ?, Done = ? WHERE rowid = ?",
        {Row.Key.UID, Row.Key.Occurrence, values.Date, values.Time, values.Discription,
         values.Value, values.Script, values.Done, RecordID});
}

void DeleteImportRecord(TSqliteDatabase& Database, int64_t RecordID) {
    Database.Execute("DELETE FROM MondrelImports WHERE rowid = ?", {RecordID});
}

std::string ReadFileToken(TSqliteDatabase& Database) {
    if (!HasTable(Database, "MondrelFile")) {
        return "";
    }
    return Database.Query("SELECT Value FROM MondrelFile WHERE Name = 'Token'")->FieldAsText(0);
}

std::string ExportedUID(int64_t ID, const std::string& Token) {
    return std::to_string(ID) + "-" + Token + "@mondrel-db";
}

std::string ExportedFlagUID(int64_t FlagID, const std::string& Day, const std::string& Token) {
    return "flag-" + std::to_string(FlagID) + "-" + Day + "-" + Token + "@mondrel-db";
}

bool IsExportedUID(const std::string& UID, const std::string& Token) {
    std::string end = "-" + Token + "@mondrel-db";
    return !Token.empty() && UID.size() > end.size() &&
           UID.compare(UID.size() - end.size(), end.size(), end) == 0;
}

std::string FileToken(const std::string& Path) {
    try {
        TSqliteDatabase database(Path);
        // A file that has its token needs no write lock; one that has none yet takes it before
        // looking again, so two first exports agree on one token.
        std::string known = ReadFileToken(database);
        if (!known.empty()) {
            return known;
        }
        database.BeginWriteTransaction();
        database.Execute(
            "CREATE TABLE IF NOT EXISTS MondrelFile (Name TEXT PRIMARY KEY, Value TEXT)");
        known = ReadFileToken(database);
        if (!known.empty()) {
            return known;
        }
        std::random_device random;
        std::string token = Hex((uint64_t{random()} << 32) ^ random());
        database.Execute("INSERT OR REPLACE INTO MondrelFile (Name, Value) VALUES ('Token', ?)",
                         {token});
        database.Commit();
        return token;
    } catch (const ESqliteException&) {
        // Only a file we may not write falls back. Any other failure (another process holding
        // its write lock, a damaged file) would give a token no later export of the file
        // shares, and importing such an export back would add every appointment again.
        if (MayWriteFile(Path)) {
            throw;
        }
        // A file we may only read: the same path gives the same token.
        std::error_code error;
        std::string full = std::filesystem::weakly_canonical(Path, error).string();
        uint64_t hash = 1469598103934665603ull;
        for (unsigned char c : full) {
            hash = (hash ^ c) * 1099511628211ull;
        }
        return Hex(hash);
    }
}
