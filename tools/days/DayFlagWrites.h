// Setting one flag on many days, and taking it off again, as the commands that fill day flags
// share it. Works inside the caller's transaction and touches only DayFlags rows of that flag:
// other flags' rows, and any columns another tool added to the table, stay as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Core.Mondrel_Types.h"
#include "DBTransaction.h"

// The first flag whose Caption, or whose Variable, is Name; raises EMondrelError naming what
// was looked for when there is none.
TFlag FlagByCaption(TDBTransaction& Transaction, const std::string& Caption);
TFlag FlagByVariable(TDBTransaction& Transaction, const std::string& Variable);

struct TDayFlagChanges {
    size_t Changed = 0;                         // days that gained (or lost) the flag
    size_t Unchanged = 0;                       // days that had it already (or did not have it)
    std::vector<std::string> ChangedDays = {};  // the Changed days as the file writes them
};

// Gives each day one row of the flag unless it has one already, whatever other rows it has.
// A day listed twice counts once.
TDayFlagChanges AddFlagToDays(TDBTransaction& Transaction, int64_t FlagID,
                              const std::vector<TDateTime>& Days);
// Removes every row of the flag from each day.
TDayFlagChanges RemoveFlagFromDays(TDBTransaction& Transaction, int64_t FlagID,
                                   const std::vector<TDateTime>& Days);
