// mondrel-db export PATH FILE: every appointment and day flag as an iCalendar file (or on
// standard output), which import reads back unchanged.
#pragma once

#include "CommandTable.h"

extern const TCommand ExportCommand;
