#pragma once

#include "CommandTable.h"

// forget PATH NAME [--keep-rows]: removes a source or standing rule and, unless --keep-rows,
// its open rows and the day flags it set that nobody edited.
extern const TCommand ForgetCommand;
