// The tables mondrel-db keeps in a database file for itself, beside the four the module uses
// (which it never reads these): MondrelImports, which appointment came from which calendar event
// of which source, and MondrelFile, facts about the file (the token that makes exported UIDs
// unique to it). Both are made when first needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ImportPlan.h"

class TSqliteDatabase;

bool HasTable(TSqliteDatabase& Database, const std::string& Name);
bool HasColumn(TSqliteDatabase& Database, const std::string& Table, const std::string& Column);

// Records written before sources existed belong to this source.
constexpr const char* LegacySource = "legacy";

bool HasImportTable(TSqliteDatabase& Database);
// Makes the table, or gives an older one its Source column (its records becoming the legacy
// source's).
void CreateImportTable(TSqliteDatabase& Database);
// Whether the table exists with its Source column: a file no writing command has opened since
// sources came has none.
bool HasImportSources(TSqliteDatabase& Database);

// Every record of Source, each with the Dates row of its ID as it is now. None without the table.
std::vector<TImportRecord> ReadImportRecords(TSqliteDatabase& Database, const std::string& Source);
// The event each imported appointment came from, by Dates.ID. None without the table.
std::map<int64_t, TImportKey> ReadImportKeys(TSqliteDatabase& Database);

// Records that IDs[i] is the Dates row written for Rows[i], in that order. Many records go in
// one statement: running a statement costs several times what one more row in it does. Chunks
// of MaxRecordsPerInsert, then of half as many down to one, keep the statement texts few, so
// that the connection keeps each prepared.
constexpr size_t MaxRecordsPerInsert = 64;
void AddImportRecords(TSqliteDatabase& Database, const std::string& Source,
                      const std::vector<TWantedRow>& Rows, const std::vector<int64_t>& IDs);
// Hands the legacy records of the events Scope names (present or kept) to Source.
void AdoptLegacyRecords(TSqliteDatabase& Database, const std::string& Source,
                        const TImportScope& Scope);
// Deletes every record of Source.
void DeleteImportRecords(TSqliteDatabase& Database, const std::string& Source);
void UpdateImportRecord(TSqliteDatabase& Database, int64_t RecordID, const TImportValues& Values);
// The record stands for Row's key and values from now on.
void RerecordImport(TSqliteDatabase& Database, int64_t RecordID, const TWantedRow& Row);
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
