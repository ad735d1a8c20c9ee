// Helpers every command of mondrel-db shares: the check for an existing database file and the
// forms in which rows are printed.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Raises EMondrelError (exit 1) unless Path names an existing regular file. Commands that read
// or change rows call it first: SQLite would otherwise leave an empty file where a mistyped
// path pointed.
void RequireDatabaseFile(const std::string& Path);

// The text with control characters written as \n, \t or \xNN, so that one value stays on one
// line.
std::string Printable(const std::string& Text);

// Rows as columns two spaces apart, each as wide as its widest cell (UTF-8 characters
// counted), without trailing spaces.
void PrintTable(std::ostream& Out, const std::vector<std::vector<std::string>>& Rows);
