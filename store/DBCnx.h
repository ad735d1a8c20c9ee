// The store: every operation opens the database at Path, works in one transaction, commits and
// closes. Nothing is cached between calls. Failures raise ESqliteException (SQLite's message) or
// EConvertError (an unreadable stored date or time); a failed operation leaves nothing
// half-written and no lock behind.
//
// Each operation also comes in a form that works inside a TDBTransaction the caller holds, so
// several of them form one unit of work:
//     InTransaction(path, [&](TDBTransaction& transaction) {
//         for (const TMondrelDate& date : dates) AddDate(transaction, date);
//     });
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Core.Mondrel_Types.h"
#include "DBTransaction.h"

// Keys are SQLite's 64-bit rowids, also where files made by other tools use large ones.
using TIntegerArray = std::vector<int64_t>;

enum TDateQueryMode { dqMonth = 0, dqDayOpen = 1 };

// Opens the file and checks it holds the four tables the module works on; raises
// "Failed to open database \"<Path>\": <why>" (no file, a folder, no database, "no table Dates").
void CheckDatabase(const std::string& Path);

// Date texts: year, separator, two-digit month, separator, two-digit day (2009-03-05).
std::string DateToDBText(char Separator, TDateTime Date);
TDateTime DBTextToDate(const std::string& Text, char Separator);

// One line naming a skipped row, its column and its text, for error reports and logs.
std::string DescribeSkippedRow(const TSkippedRow& Row);

// The listings below read every row or fail. With `Skipped` given, a row whose date or time
// cannot be read is left out and added to *Skipped instead, so the readable rows still arrive;
// a failure of the whole file (missing, no table, no database) raises either way.
TDates GetDates(const std::string& Path, TDateQueryMode Mode, TDateTime Date,
                TSkippedRows* Skipped = nullptr);
TMondrelDate GetDate(const std::string& Path, int64_t ID);
// The appointment with that ID, or nothing when there is none (GetDate raises then).
std::optional<TMondrelDate> FindDate(const std::string& Path, int64_t ID);
void AddDate(const std::string& Path, const TMondrelDate& Appointment);
void UpdateDate(const std::string& Path, const TMondrelDate& Appointment);
// Saves an edit as UpdateDate does. A done appointment whose date or time the edit changes to a
// moment after `Now` is opened again, so that it fires at its new time; a change of the other
// fields alone leaves it done. Answers whether it was opened again.
bool SaveEditedDate(const std::string& Path, const TMondrelDate& Appointment, TDateTime Now);
void SetDateDone(const std::string& Path, int64_t ID);
void DeleteDate(const std::string& Path, int64_t ID);

TFlags GetFlags(const std::string& Path);
void AddFlag(const std::string& Path, const std::string& Caption, const std::string& Variable,
             int32_t Color);
void DeleteFlag(const std::string& Path, int64_t ID);

// Date 0 returns the rows of every day.
TDayFlags GetDayFlags(const std::string& Path, TDateTime Date, TSkippedRows* Skipped = nullptr);
void SetDayFlags(const std::string& Path, const TIntegerArray& FlagIDs, TDateTime Date);
// Sets the flags of Add on the day (those not set yet) and takes the flags of Remove off it, in
// one transaction; the day's other rows stay as they are, whoever wrote them.
void ChangeDayFlags(const std::string& Path, const TIntegerArray& Add, const TIntegerArray& Remove,
                    TDateTime Date);

TDBColors GetColors(const std::string& Path);

// The same operations inside the caller's transaction.
TDates GetDates(TDBTransaction& Transaction, TDateQueryMode Mode, TDateTime Date,
                TSkippedRows* Skipped = nullptr);
TMondrelDate GetDate(TDBTransaction& Transaction, int64_t ID);
std::optional<TMondrelDate> FindDate(TDBTransaction& Transaction, int64_t ID);
// Answers the new row's ID.
int64_t AddDate(TDBTransaction& Transaction, const TMondrelDate& Appointment);
void UpdateDate(TDBTransaction& Transaction, const TMondrelDate& Appointment);
bool SaveEditedDate(TDBTransaction& Transaction, const TMondrelDate& Appointment, TDateTime Now);
void SetDateDone(TDBTransaction& Transaction, int64_t ID);
void DeleteDate(TDBTransaction& Transaction, int64_t ID);

TFlags GetFlags(TDBTransaction& Transaction);
void AddFlag(TDBTransaction& Transaction, const std::string& Caption, const std::string& Variable,
             int32_t Color);
void DeleteFlag(TDBTransaction& Transaction, int64_t ID);

TDayFlags GetDayFlags(TDBTransaction& Transaction, TDateTime Date, TSkippedRows* Skipped = nullptr);
// The day flags of the days First to Last, both included, read by one statement (a month's
// view needs them all at once).
TDayFlags GetDayFlagsBetween(TDBTransaction& Transaction, TDateTime First, TDateTime Last,
                             TSkippedRows* Skipped = nullptr);
void SetDayFlags(TDBTransaction& Transaction, const TIntegerArray& FlagIDs, TDateTime Date);
void ChangeDayFlags(TDBTransaction& Transaction, const TIntegerArray& Add,
                    const TIntegerArray& Remove, TDateTime Date);

TDBColors GetColors(TDBTransaction& Transaction);

// Whole rows of Dates (every column the record has) for the tools that list, export and edit
// many at once, each listing read by one statement. Rows come in the order of their keys; with
// `Skipped` given, rows that cannot be read are left out and reported there, as above.
// Every appointment.
TDates GetAllDates(TDBTransaction& Transaction, TSkippedRows* Skipped = nullptr);
// The appointments of the days First to Last, both included.
TDates GetDatesBetween(TDBTransaction& Transaction, TDateTime First, TDateTime Last,
                       TSkippedRows* Skipped = nullptr);
// Whether a row of Dates has that key, readable or not.
bool HasDate(TDBTransaction& Transaction, int64_t ID);
// Marks an appointment open again, so that it fires on its day.
void SetDateOpen(TDBTransaction& Transaction, int64_t ID);
// Writes a flag's caption, variable and colour (not its fixed mark) under its ID; raises when no
// flag has that ID.
void UpdateFlag(TDBTransaction& Transaction, const TFlag& Flag);

// One flag on many days at once, for the tools that fill day flags in bulk. Each operation reads
// the flag's rows once and then writes by rowid, which stays fast in files whose DayFlags has no
// index on Date. A day listed twice counts once; rows of other flags, and columns another tool
// added to DayFlags, stay as they are.
struct TDayFlagChanges {
    size_t Changed = 0;                         // days that gained (or lost) the flag
    size_t Unchanged = 0;                       // days that had it already (or did not have it)
    std::vector<std::string> ChangedDays = {};  // the Changed days as the file writes them
};
// Gives each day one row of the flag unless it has one already, whatever other rows it has.
TDayFlagChanges AddFlagToDays(TDBTransaction& Transaction, int64_t FlagID,
                              const std::vector<TDateTime>& Days);
// What a day that holds the flag more than once loses: every row of the flag, or one row only
// (a writer that takes back the row it added leaves the row another writer added).
enum class TFlagRowsOff { Every, One };
// Takes the flag off each day that has it.
TDayFlagChanges RemoveFlagFromDays(TDBTransaction& Transaction, int64_t FlagID,
                                   const std::vector<TDateTime>& Days,
                                   TFlagRowsOff RowsOff = TFlagRowsOff::Every);
// The days that hold the flag, as their texts stand in the file.
std::set<std::string> DaysWithFlag(TDBTransaction& Transaction, int64_t FlagID);
