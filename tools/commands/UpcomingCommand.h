// mondrel-db upcoming PATH [--days N] [--from YYYY-MM-DD] [--json]: day by day, the flags set
// and the open appointments as the module will fire them.
#pragma once

#include "CommandTable.h"

extern const TCommand UpcomingCommand;
