// mondrel-db flags PATH [add|edit|remove CAPTION]: lists the flags, or adds, changes or removes
// one, as the page's Flags tab does without a display.
#pragma once

#include "CommandTable.h"

extern const TCommand FlagsCommand;
