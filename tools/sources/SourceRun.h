// Running one source: what each kind keeps of the options it was made with, what it wants
// written, and the one transaction that writes it. import, add --repeat, weekends --standing,
// holidays --standing and refresh all run their sources through here.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Core.Mondrel_Types.h"
#include "SourceTables.h"
#include "SourceWrite.h"

// Rows and flags are written this many days ahead unless --horizon says otherwise.
constexpr int DefaultHorizonDays = 400;

// The options a source of Kind keeps, as a grammar: what import, add, weekends and holidays take
// for it and what refresh reads back.
const TCommandGrammar& KeptGrammar(const std::string& Kind);
// The options of Args that a source of Kind keeps, as arguments ("--script", "bins.sh", ...).
std::vector<std::string> KeptOptions(const std::string& Kind, const TArguments& Args);

// Raises EUsageError (exit 2) for a source's options that cannot be read: Args read with
// KeptGrammar(Kind). Everything RunSource reads of them is checked here first.
void CheckKeptOptions(const std::string& Kind, const TArguments& Args);

// --source NAME, checked: not empty, no control characters; "" when not given.
std::string SourceNameOption(const TArguments& Args);

// Whether a source of the kind reads a calendar (file, url, standard input).
bool IsCalendarKind(const std::string& Kind);

struct TFeedAccount;
// The sign-in of a URL source, from its options --user and --password-file (the password read
// now, from the file or MONDREL_DAV_PASSWORD); none for other sources or without --user.
TFeedAccount FeedAccountOf(const std::string& Kind, const std::vector<std::string>& Options);

// A repeat rule as add --repeat gives it: the first appointment and the RRULE.
struct TRepeatRule {
    TMondrelDate First;
    std::string Rule;
    bool HasEnd = false;  // COUNT or UNTIL in the rule
};
TRepeatRule ReadRepeatRule(const TArguments& Args);

struct TRunOptions {
    std::string Path;  // the database file
    TDateTime From = 0;
    TDateTime Until = 0;  // the window written: From to Until, days included
    bool DryRun = false;
    bool AllowEmpty = false;
    bool ReuseOptions = false;  // a known source keeps its stored options instead of Options
    // When the run changes no row, flag or record, leave saving the source to the caller
    // (SaveSource with TSourceRun::Source), so that many runs end in one write.
    bool DeferUnchanged = false;
    std::optional<std::string> Text;  // the calendar, already read
    std::string Command;              // names the command in errors about stored options
    std::function<void(const std::string&)> Warn = [](const std::string&) {};
    // What the source keeps beyond its rows (a CalDAV source's ETags), written in the same
    // transaction.
    std::function<void(TSqliteDatabase&)> AlsoWrite;
};

struct TSourceRun {
    TSourceWrite Write;
    std::string Flag;                  // the caption of the flag a weekends or holidays rule sets
    std::vector<std::string> Options;  // the options the source ran with
    bool Saved = true;                 // false: DeferUnchanged held it back; save Source
    TSource Source;                    // the source as the run leaves it
    std::string WrittenUntil;          // the last day rows reach: the window's, or where a cap cut
};

// Reads what Source names (its file or URL unless Run.Text holds it), brings its rows and flags
// up to date in one transaction and saves the source with how the run went; with DryRun commits
// nothing. Raises, leaving the file as it was, when anything fails.
TSourceRun RunSource(TSource Source, const TRunOptions& Run);

// The date and time now, as sources record their runs.
std::string RunStamp();
