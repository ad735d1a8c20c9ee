// Making a ready database file: the four tables, their indexes, the named colours and the fixed
// flags. The module itself never defines schema; this is for the mondrel-db tool and tests.
#pragma once

#include <string>

// Creates a new database at Path; raises EMondrelError when a file is already there, and
// ESqliteException when SQLite fails (no file is left behind then).
void CreateMondrelDatabase(const std::string& Path);
