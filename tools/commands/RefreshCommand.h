#pragma once

#include "CommandTable.h"

// refresh PATH [--horizon DAYS] [--dry-run]: reads every file and URL source again with its
// stored options and extends every standing rule to the horizon, one transaction per source.
extern const TCommand RefreshCommand;
