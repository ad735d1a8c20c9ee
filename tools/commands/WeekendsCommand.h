// mondrel-db weekends PATH (--year YYYY | --from YYYY-MM-DD --to YYYY-MM-DD) [--flag CAPTION]
// [--days sat,sun] [--clear]: sets a flag on every day of the range whose weekday is listed.
#pragma once

#include "CommandTable.h"

extern const TCommand WeekendsCommand;
