// What the host's run history (a SQLite file of its own, table ScriptRuns) says, read only:
// the runs of a day and the runs that failed. A missing file, or none given, says nothing.
#pragma once

#include <string>

#include "JsonValue.h"

// {"available": false} without the file; else {"available": true, "runs": [...]}, the runs
// asked on Day (YYYY-MM-DD) in the order they were asked.
TJsonValue RunsOfDay(const std::string& HistoryFile, const std::string& Day);
// The last 200 runs that failed, timed out or were not started, newest first, in the same form.
TJsonValue FailedRuns(const std::string& HistoryFile);
