// Finding the flag a command works on by its caption or by its variable.
#pragma once

#include <string>

#include "Core.Mondrel_Types.h"
#include "DBTransaction.h"

// The first flag whose Caption, or whose Variable, is Name; raises EMondrelError naming what
// was looked for when there is none.
TFlag FlagByCaption(TDBTransaction& Transaction, const std::string& Caption);
TFlag FlagByVariable(TDBTransaction& Transaction, const std::string& Variable);
