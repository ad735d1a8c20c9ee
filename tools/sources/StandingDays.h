// weekends --standing and holidays --standing: the rule is kept as a source, every day up to the
// horizon is flagged, and refresh keeps flagging.
#pragma once

#include <string>

#include "CommandTable.h"

// Refuses the options of a range (--year, --from, --to) and --clear beside --standing.
void CheckStandingOptions(const TArguments& Args);

// Runs the rule of Kind (weekends, holidays) named by --source or DefaultName and prints what it
// flagged.
void FlagStanding(const TArguments& Args, TToolStreams& Streams, const std::string& Kind,
                  const std::string& DefaultName);
