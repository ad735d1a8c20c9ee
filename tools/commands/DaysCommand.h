// mondrel-db days PATH --flag CAPTION (--date DAY... | --from DAY --to DAY) [--clear] [--dry-run]:
// sets or clears one flag on chosen days (a vacation), leaving other flags alone.
#pragma once

#include "CommandTable.h"

extern const TCommand DaysCommand;
