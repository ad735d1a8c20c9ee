// mondrel-db holidays PATH --region CODE (--year YYYY | --from ... --to ...) [--flag CAPTION]
// [--all] [--dry-run] [--clear]: sets a flag on every day of a region's holidays.
#pragma once

#include "CommandTable.h"

extern const TCommand HolidaysCommand;
