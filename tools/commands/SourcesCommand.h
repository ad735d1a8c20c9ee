#pragma once

#include "CommandTable.h"

// sources PATH [--json]: every source and standing rule with its options, what it holds ahead, the
// last day written and how its last run went.
extern const TCommand SourcesCommand;
