// The tables mondrel-db keeps in a database file for itself, beside the four the module uses
// (which it never reads these): MondrelImports, which appointment came from which calendar event,
// and MondrelFile, facts about the file (the token that makes exported UIDs unique to it).
// Both are made when first needed.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ImportPlan.h"

class TSqliteDatabase;

bool HasImportTable(TSqliteDatabase& Database);
void CreateImportTable(TSqliteDatabase& Database);

// Every record, each with the Dates row of its ID as it is now. None without the table.
std::vector<TImportRecord> ReadImportRecords(TSqliteDatabase& Database);
// The event each imported appointment came from, by Dates.ID. None without the table.
std::map<int64_t, TImportKey> ReadImportKeys(TSqliteDatabase& Database);

void AddImportRecord(TSqliteDatabase& Database, int64_t ID, const TImportKey& Key,
                     const TImportValues& Values);
void UpdateImportRecord(TSqliteDatabase& Database, int64_t RecordID, const TImportValues& Values);
void DeleteImportRecord(TSqliteDatabase& Database, int64_t RecordID);

// The token of the file, or "" when it has none yet. Reads only.
std::string ReadFileToken(TSqliteDatabase& Database);
// The UID export gives an appointment without one of its own, and a day flag.
std::string ExportedUID(int64_t ID, const std::string& Token);
std::string ExportedFlagUID(int64_t FlagID, const std::string& Day, const std::string& Token);
// Whether UID is one that export gave a row of the file with that token.
bool IsExportedUID(const std::string& UID, const std::string& Token);

// A random token kept in MondrelFile, made on first use. When this process may not write the
// file, a token derived from the file's full path stands in; any other failure raises.
std::string FileToken(const std::string& Path);
