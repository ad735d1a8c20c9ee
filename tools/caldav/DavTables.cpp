#include "DavTables.h"

#include "Sqlite3Db.h"
#include "ToolTables.h"

void CreateDavTables(TSqliteDatabase& Database) {
    Database.Execute(
        "CREATE TABLE IF NOT EXISTS MondrelDavSources (Source TEXT PRIMARY KEY, Calendar TEXT NOT "
        "NULL, User TEXT NOT NULL DEFAULT '', PasswordFile TEXT NOT NULL DEFAULT '', TwoWay "
        "INTEGER NOT NULL DEFAULT 0, Auth TEXT NOT NULL DEFAULT '', SyncToken TEXT NOT NULL "
        "DEFAULT '', CTag TEXT NOT NULL DEFAULT '', FetchedFrom TEXT NOT NULL DEFAULT '', "
        "FetchedUntil TEXT NOT NULL DEFAULT '', LastAnswer TEXT NOT NULL DEFAULT '', Refused TEXT "
        "NOT NULL DEFAULT '', WrittenBack INTEGER NOT NULL DEFAULT 0, LastWriteBack TEXT NOT NULL "
        "DEFAULT '', Conflicts TEXT NOT NULL DEFAULT '')");
    Database.Execute(
        "CREATE TABLE IF NOT EXISTS MondrelDavEvents (Source TEXT NOT NULL, Url TEXT NOT NULL, "
        "ETag TEXT NOT NULL DEFAULT '', Data TEXT NOT NULL, PRIMARY KEY (Source, Url))");
}

std::optional<TDavState> ReadDavState(TSqliteDatabase& Database, const std::string& Source) {
    if (!HasTable(Database, "MondrelDavSources")) {
        return std::nullopt;
    }
    auto row = Database.Query(
        "SELECT Source, Calendar, User, PasswordFile, TwoWay, Auth, SyncToken, CTag, FetchedFrom, "
        "FetchedUntil, LastAnswer, Refused, WrittenBack, LastWriteBack, Conflicts FROM "
        "MondrelDavSources WHERE Source = ?",
        {Source});
    if (row->AtEnd()) {
        return std::nullopt;
    }
    TDavState state;
    state.Source = row->FieldAsText(0);
    state.Calendar = row->FieldAsText(1);
    state.User = row->FieldAsText(2);
    state.PasswordFile = row->FieldAsText(3);
    state.TwoWay = row->FieldAsInteger(4) != 0;
    state.Auth = row->FieldAsText(5);
    state.SyncToken = row->FieldAsText(6);
    state.CTag = row->FieldAsText(7);
    state.FetchedFrom = row->FieldAsText(8);
    state.FetchedUntil = row->FieldAsText(9);
    state.LastAnswer = row->FieldAsText(10);
    state.Refused = row->FieldAsText(11);
    state.WrittenBack = row->FieldAsInteger(12);
    state.LastWriteBack = row->FieldAsText(13);
    state.Conflicts = row->FieldAsText(14);
    return state;
}

void SaveDavState(TSqliteDatabase& Database, const TDavState& State) {
    Database.Execute(
        "INSERT OR REPLACE INTO MondrelDavSources (Source, Calendar, User, PasswordFile, TwoWay, "
        "Auth, SyncToken, CTag, FetchedFrom, FetchedUntil, LastAnswer, Refused, WrittenBack, "
        "LastWriteBack, Conflicts) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {State.Source, State.Calendar, State.User, State.PasswordFile,
         static_cast<int64_t>(State.TwoWay ? 1 : 0), State.Auth, State.SyncToken, State.CTag,
         State.FetchedFrom, State.FetchedUntil, State.LastAnswer, State.Refused, State.WrittenBack,
         State.LastWriteBack, State.Conflicts});
}

void DeleteDavSource(TSqliteDatabase& Database, const std::string& Source) {
    if (HasTable(Database, "MondrelDavSources")) {
        Database.Execute("DELETE FROM MondrelDavSources WHERE Source = ?", {Source});
        Database.Execute("DELETE FROM MondrelDavEvents WHERE Source = ?", {Source});
    }
}

std::vector<TDavEvent> ReadDavEvents(TSqliteDatabase& Database, const std::string& Source) {
    std::vector<TDavEvent> events;
    if (!HasTable(Database, "MondrelDavEvents")) {
        return events;
    }
    auto row = Database.Query(
        "SELECT Url, ETag, Data FROM MondrelDavEvents WHERE Source = ? ORDER BY Url", {Source});
    for (; !row->AtEnd(); row->Next()) {
        events.push_back({row->FieldAsText(0), row->FieldAsText(1), row->FieldAsText(2)});
    }
    return events;
}

void SaveDavEvent(TSqliteDatabase& Database, const std::string& Source, const TDavEvent& Event) {
    Database.Execute(
        "INSERT OR REPLACE INTO MondrelDavEvents (Source, Url, ETag, Data) VALUES (?, ?, ?, ?)",
        {Source, Event.Url, Event.ETag, Event.Data});
}

void DeleteDavEvent(TSqliteDatabase& Database, const std::string& Source, const std::string& Url) {
    Database.Execute("DELETE FROM MondrelDavEvents WHERE Source = ? AND Url = ?", {Source, Url});
}

void SaveDavEvents(TSqliteDatabase& Database, const std::string& Source,
                   const std::vector<TDavEvent>& Events) {
    Database.Execute("DELETE FROM MondrelDavEvents WHERE Source = ?", {Source});
    for (const TDavEvent& event : Events) {
        Database.Execute(
            "INSERT INTO MondrelDavEvents (Source, Url, ETag, Data) VALUES (?, ?, ?, ?)",
            {Source, event.Url, event.ETag, event.Data});
    }
}
