// `mondrel-db check`: what in a database file keeps the module from firing something, makes it
// slow, or behaves as specified but surprisingly; and, with --fix, the repairs that cannot lose
// anything (missing indexes, a Done that never reads as open).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "DateTime.h"

// Fixed marks what --fix did; it is no finding of the file.
enum class TFindingKind { Error, Warning, Note, Fixed };

struct TFinding {
    TFindingKind Kind = TFindingKind::Note;
    std::string What;    // the kind of finding: "unreadable Time", "missing index", ...
    std::string Detail;  // which row or object, and its text
};

// Reads the file and answers its findings, errors first, each kind in the order found. Today
// decides which open appointments are missed. Raises when the file cannot be read at all.
std::vector<TFinding> CheckDatabase(const std::string& Path, TDateTime Today);

// In one transaction: creates the indexes the tick and the page need where they are missing, and
// sets every Done that is NULL or text to 0. Changes nothing else and deletes nothing. Answers
// what it did, as lines for the user, and, as warnings, today's rows it opened: they fire at the
// next tick.
std::vector<TFinding> FixDatabase(const std::string& Path, TDateTime Today);

// One line per finding, `kind  what  detail`, at most MaxLinesPerWhat lines of each kind of
// finding and then "… and N more"; a last line with the counts. Answers the number of errors.
constexpr int MaxLinesPerWhat = 20;
int PrintFindings(std::ostream& Out, const std::vector<TFinding>& Findings);
// The same lines without the counts, for what --fix did.
void PrintLines(std::ostream& Out, const std::vector<TFinding>& Findings);
