// What a CalDAV source keeps beside its MondrelSources row: MondrelDavSources (the account and
// the state of its last sync) and MondrelDavEvents (each event resource as last read, with its
// ETag). Passwords are never kept: only the path of the file that holds one.
#pragma once

#include <optional>
#include <string>
#include <vector>

class TSqliteDatabase;

struct TDavState {
    std::string Source;
    std::string Calendar;  // the collection's URL
    std::string User;
    std::string PasswordFile;  // absolute; empty: MONDREL_DAV_PASSWORD, or no credentials
    bool TwoWay = false;
    std::string Auth;  // "basic", "digest" or "" (ask the server)
    std::string SyncToken;
    std::string CTag;
    std::string FetchedFrom;  // the days read by calendar-query, YYYY-MM-DD
    std::string FetchedUntil;
    std::string LastAnswer;   // YYYY-MM-DD HH:MM:SS the server last answered
    std::string Refused;      // when the server last refused the credentials; "" since it took them
    int64_t WrittenBack = 0;  // events written to the server, all told
    std::string LastWriteBack;  // when, and what, the last time
    std::string Conflicts;      // lines, the newest last
};

struct TDavEvent {
    std::string Url;
    std::string ETag;
    std::string Data;
};

void CreateDavTables(TSqliteDatabase& Database);
std::optional<TDavState> ReadDavState(TSqliteDatabase& Database, const std::string& Source);
void SaveDavState(TSqliteDatabase& Database, const TDavState& State);
void DeleteDavSource(TSqliteDatabase& Database, const std::string& Source);

std::vector<TDavEvent> ReadDavEvents(TSqliteDatabase& Database, const std::string& Source);
// Keeps one event of Source as written, or forgets it.
void SaveDavEvent(TSqliteDatabase& Database, const std::string& Source, const TDavEvent& Event);
void DeleteDavEvent(TSqliteDatabase& Database, const std::string& Source, const std::string& Url);
// Replaces every event of Source.
void SaveDavEvents(TSqliteDatabase& Database, const std::string& Source,
                   const std::vector<TDavEvent>& Events);
