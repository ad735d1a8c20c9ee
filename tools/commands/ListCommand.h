// mondrel-db list PATH [--month YYYY-MM]: the appointments as a table, by date and time.
#pragma once

#include "CommandTable.h"

extern const TCommand ListCommand;
