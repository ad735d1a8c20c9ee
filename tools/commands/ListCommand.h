// mondrel-db list PATH [--month YYYY-MM] [--json]: the appointments as a table (or one JSON
// document), by date and time.
#pragma once

#include "CommandTable.h"

extern const TCommand ListCommand;
