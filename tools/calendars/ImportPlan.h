// What an import does to the appointments it wrote before: which rows it adds, updates and
// removes, decided from the rows a calendar wants and the rows the last import left. No file is
// touched here; the import command carries the plan out.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

// An appointment as stored: the texts of its Dates row.
struct TImportValues {
    std::string Date;  // YYYY-MM-DD
    std::string Time;  // HH:MM:SS
    std::string Discription;
    std::string Value;
    std::string Script;
    int64_t Done = 0;

    bool operator==(const TImportValues&) const = default;
};

// Which event, and which occurrence of it, a row comes from.
struct TImportKey {
    std::string UID;
    std::string Occurrence;  // the RECURRENCE-ID in UTC, or "" for an event that does not repeat

    auto operator<=>(const TImportKey&) const = default;
};

// A row the calendar wants.
struct TWantedRow {
    TImportKey Key;
    TImportValues Values;
};

// A row an earlier import wrote, as the tool's own table remembers it.
struct TImportRecord {
    int64_t RecordID = 0;  // the record's own key in the tool's table
    int64_t ID = 0;        // Dates.ID
    TImportKey Key;
    TImportValues Last;  // what the import wrote
    bool RowExists = false;
    TImportValues Current;  // the row as it is now, when it exists

    // Still as imported and not done: an import may change or remove it. A row the user edited
    // or deleted, one that has fired, and one whose ID another row took over are the user's.
    bool Ours() const { return RowExists && Current == Last && Current.Done == 0; }
};

// Where the feed changed an occurrence whose row the user edited (or that is done): what the
// plan did about it, for the import to say.
struct TEditNote {
    enum TKind {
        Moved,    // the feed moved it to another day; the row went along, keeping the edit
        Kept,     // the feed moved it, but the user's row keeps its own day (or is done)
        Renamed,  // the feed names it anew (another UID or start); the row stands for it
    };
    TKind Kind = Moved;
    TImportValues Row;   // the user's row as it was
    TImportValues Feed;  // what the feed has now
};

struct TImportPlan {
    std::vector<TWantedRow> Add;
    struct TUpdate {
        TImportRecord Record;
        TImportValues Values;    // what the row becomes
        TImportValues Recorded;  // what the record keeps as written by the import
    };
    std::vector<TUpdate> Update;
    std::vector<TImportRecord> Remove;  // the row and its record
    std::vector<TImportRecord> Forget;  // the record only: its row is the user's
    // Records that stand for another key or values from now on; their rows stay as they are.
    struct TRecordOnly {
        int64_t RecordID = 0;
        TWantedRow Now;
    };
    std::vector<TRecordOnly> Rerecord;
    std::vector<TEditNote> Notes;
    size_t Unchanged = 0;
};

struct TImportScope {
    // Events the file names but that could not be read this time: their rows stay as they are.
    std::unordered_set<std::string> KeptUIDs;
    // Events the file holds (cancelled ones included).
    std::unordered_set<std::string> PresentUIDs;
    // The window repeating events were expanded in, as date texts: occurrences of an event still
    // in the file that lie outside it are left alone.
    std::string From;
    std::string Until;
};

// Matches Wanted against Records key by key: a wanted row whose values equal what was last
// written is unchanged; the other wanted rows pair with the other records of their key in date
// order and update them (only rows that are still ours), or are added; records left over lose
// their row (when ours), stay with the user's row that still exists, or are forgotten.
// Rows the user edited meet the feed's changes as follows: an occurrence the feed moved to
// another day takes the open row along, keeping the fields the user changed, unless the user
// gave the row a day of its own (then the row stays, and a note says so); a wanted row that
// would be added on the day of a left-over row of the user's with the same summary (the feed
// gave the event a new UID or start) is not added: that row's record stands for it.
TImportPlan PlanImport(const std::vector<TWantedRow>& Wanted,
                       const std::vector<TImportRecord>& Records, const TImportScope& Scope);
