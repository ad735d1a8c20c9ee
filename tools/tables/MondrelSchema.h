// Making a ready database file: the four tables, their indexes, the named colours and the fixed
// flags. The module itself never defines schema; this is for the mondrel-db tool and tests.
#pragma once

#include <string>

// Creates a new database at Path, also in an empty file that is there; raises EMondrelError
// when a file with content is already there, and ESqliteException when SQLite fails (no file
// is left behind then, or the empty one as it was).
void CreateMondrelDatabase(const std::string& Path);

// The index on Dates that keeps the once-a-minute tick flat however large the file grows: the
// tick's query of the day's open appointments finds them in time order without reading any
// other row, and the page's query of a month uses it too. Its columns as in the statement.
const char* DatesIndexColumns();
const char* DatesIndexStatement();
// The index on DayFlags for the query of one day's flags.
const char* DayFlagsIndexStatement();
