// mondrel-db init PATH: makes a ready database file, never overwriting one.
#pragma once

#include "CommandTable.h"

extern const TCommand InitCommand;
