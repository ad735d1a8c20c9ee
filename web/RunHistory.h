// What the host's run history (a SQLite file of its own, table ScriptRuns) says, read only:
// the runs of a day, the runs that fired each appointment, and the runs that failed. A missing
// file, or none given, says nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "Core.Mondrel_Types.h"
#include "JsonValue.h"

// {"available": false} without the file; else {"available": true, "runs": [...]}, the runs
// asked on Day (YYYY-MM-DD) in the order they were asked.
TJsonValue RunsOfDay(const std::string& HistoryFile, const std::string& Day);

// For each appointment of one day, by ID, the runs (as above, oldest first) that fired it. The
// history holds no appointment ID; a run counts as the appointment's when the module asked for
// it (sender "Mondrel") with the appointment's script and with the four parameters it passes
// as they stand now: the description, the value and the time exactly, and the date in the
// host's short-date form of any locale (day, month and year in any order, the month as a
// number or a name). It was asked on that day or on the next one, whose first tick fires what
// the last tick of the day before missed. Appointments of that day alike in all of these share
// their runs; one edited after it ran no longer matches what ran. Empty without the file.
std::map<int64_t, TJsonValue> RunsOfAppointments(const std::string& HistoryFile,
                                                 const TDates& Appointments);

// The last 200 runs that failed, timed out or were not started, newest first, in the same form.
TJsonValue FailedRuns(const std::string& HistoryFile);

// Whether Text, the module's Mondrel_Date parameter, names Date (see RunsOfAppointments).
bool ShortDateNames(const std::string& Text, TDateTime Date);
