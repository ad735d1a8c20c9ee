// mondrel-db import PATH FILE: the events of an iCalendar file (or of standard input) as
// appointments and day flags, repeats expanded; importing again brings the file up to date.
#pragma once

#include "CommandTable.h"

extern const TCommand ImportCommand;
