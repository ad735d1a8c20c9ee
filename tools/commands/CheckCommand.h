// mondrel-db check PATH [--fix]: what in a file keeps the module from firing an appointment,
// makes its tick or page slow, or works as specified but surprises; with --fix, the repairs that
// lose nothing, in one transaction.
#pragma once

#include "CommandTable.h"

extern const TCommand CheckCommand;
