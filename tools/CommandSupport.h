// Helpers every command of mondrel-db shares: the check for an existing database file and the
// forms in which rows are printed.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "Core.Mondrel_Types.h"
#include "DBCnx.h"
#include "JsonValue.h"
#include "MondrelError.h"
#include "Text.h"
#include "TimeText.h"

struct TToolStreams;

// Raises EMondrelError (exit 1) unless Path names an existing regular file. Commands that read
// or change rows call it first: SQLite would otherwise leave an empty file where a mistyped
// path pointed.
void RequireDatabaseFile(const std::string& Path);

// The text with control characters written as \n, \t or \xNN, so that one value stays on one
// line.
std::string Printable(const std::string& Text);

// The count and the noun that fits it: "1 row", "2 rows".
std::string Counted(int64_t Count, const char* One, const char* Many);

// Rows as columns two spaces apart, each as wide as its widest cell (UTF-8 characters
// counted), without trailing spaces.
void PrintTable(std::ostream& Out, const std::vector<std::vector<std::string>>& Rows);

// Names each row a listing left out on standard error, one line each, after "mondrel-db:
// COMMAND: ": the rows that were read are still printed.
void ReportSkippedRows(TToolStreams& Streams, const std::string& Command,
                       const TSkippedRows& Skipped);

// An appointment as `--json` writes it: id, date, time, done, description, value, script.
TJsonValue AppointmentJson(const TMondrelDate& Date);
// The same fields in the same order, each handed to Field(name, value), the value an int64_t,
// a std::string or a bool: for documents written as text (TJsonText) rather than as a tree.
template <typename TField>
void AppointmentFields(const TMondrelDate& Date, TField&& Field) {
    Field("id", Date.ID);
    Field("date", DateToDBText('-', Date.Date));
    Field("time", FormatLongTime(Date.Time));
    Field("done", Date.Done != 0);
    Field("description", Date.Discription);
    Field("value", Date.Value);
    Field("script", Date.Script);
}
// An appointment on one line: "ID 12: 2027-01-04 07:00:00 Bins out (open)".
std::string AppointmentLine(const TMondrelDate& Date);
// A short text that changes whenever any field of the row changes: `edit --if-match TAG` and
// `remove --if-match TAG` refuse a row that no longer carries the tag it was shown with.
std::string AppointmentTag(const TMondrelDate& Date);
// The row asked for has changed or gone since it was read: nothing was written.
class ERowChanged : public EMondrelError {
  public:
    using EMondrelError::EMondrelError;
};
// Raises ERowChanged unless Tag is empty or Date's tag.
void RequireTag(const TMondrelDate& Date, const std::string& Tag);
// By day, then time of day, then ID.
void SortByDay(TDates& Dates);
