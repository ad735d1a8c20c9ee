// What the commands that fill day flags (weekends, holidays) share: their range of days and
// the one transaction that sets or clears their flag.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "CommandTable.h"

struct TDayRange {
    std::chrono::sys_days First;
    std::chrono::sys_days Last;
};

// `--year YYYY` or `--from YYYY-MM-DD --to YYYY-MM-DD`, years 1900 to 2200, the first day not
// after the last; raises EUsageError otherwise.
TDayRange DayRangeOption(const TArguments& Args);

// Sets the flag on every day of Days that lacks it, or with --clear takes it off them, in one
// transaction, and prints what it did ("104 days flagged Weekend, 0 already set"). The flag is
// the one named by --flag CAPTION, otherwise the first whose Variable is DefaultVariable;
// with none, or when the file cannot be read or written, it raises and writes nothing.
enum class TFlagDaysRun {
    Write,
    FindFlag,  // finds the flag, then stops before writing and prints nothing
    Preview,   // makes every change, prints each day it changed, then rolls all of it back
};
void FlagDays(const TArguments& Args, TToolStreams& Streams, const std::string& DefaultVariable,
              const std::vector<std::chrono::sys_days>& Days,
              TFlagDaysRun Run = TFlagDaysRun::Write);

// The day as the database writes it: 2027-01-06.
std::string DayText(std::chrono::sys_days Day);
