// Bringing the appointments and day flags of one source to what the source wants now, inside the
// caller's transaction: the import plan for rows, the same rules for day flags. Rows and flags
// the user edited or deleted stay as the user left them; other sources' rows and flags are never
// touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DBTransaction.h"
#include "ImportPlan.h"

struct TFlagDay {
    std::string Date;  // YYYY-MM-DD
    int64_t FlagID = 0;
    std::string Caption;
};

// What a source wants written this run.
struct TSourceWanted {
    std::vector<TWantedRow> Rows;
    // Scope.From and Scope.Until also bound the day flags: flags of days before From stay.
    TImportScope Scope;
    std::vector<TFlagDay> FlagDays;
    size_t Skipped = 0;
    size_t OwnRows = 0;  // rows of this very file in an export of it: counted unchanged
    // The last day written when the rows were cut before the end of the window; "" otherwise.
    std::string CutAfter;
};

struct TSourceCounts {
    size_t Added = 0;
    size_t Updated = 0;
    size_t Removed = 0;
    size_t Unchanged = 0;
    size_t Skipped = 0;
};

struct TSourceWrite {
    TSourceCounts Counts;
    // What was written, a line each, in date order; only when asked for (dry runs show it).
    std::vector<std::string> Lines;
    size_t WithoutScript = 0;  // rows added or updated without a script
    // What became of rows the user edited where the feed changed their occurrence, a line each.
    std::vector<std::string> Notes;
};

TSourceWrite WriteSource(TDBTransaction& Transaction, const std::string& Source,
                         const TSourceWanted& Wanted, bool ListLines);

// Forgets every record of Source; unless KeepRows, first takes its open rows nobody edited and
// the day flags it set out of the file. Answers the rows and flags taken out.
TSourceCounts ForgetSourceRecords(TDBTransaction& Transaction, const std::string& Source,
                                  bool KeepRows);
