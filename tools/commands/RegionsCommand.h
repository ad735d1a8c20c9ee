// mondrel-db regions [FILTER]: the holiday regions, one a line: the library's code, the short
// code we accept, the name.
#pragma once

#include "CommandTable.h"

extern const TCommand RegionsCommand;
