// The days a weekends or holidays rule flags: chosen weekdays, or a region's holidays, each
// moved by a shift (--shift -1 flags the day before each one).
#pragma once

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "DayFlagCommands.h"

// --days mon,...,sun (default sat,sun) as ISO weekday numbers, Monday 1; raises EUsageError for
// an unknown name.
std::set<unsigned> WeekdaysOption(const TArguments& Args);
// --shift DAYS (default 0), -366 to 366; raises EUsageError otherwise.
int ShiftOption(const TArguments& Args);

// The days of Range that lie Shift days after one of Weekdays.
std::vector<std::chrono::sys_days> WeekdaysIn(const std::set<unsigned>& Weekdays,
                                              const TDayRange& Range, int Shift);

struct THolidayDay {
    std::chrono::sys_days Day;  // the day flagged, Shift days after the holiday
    std::string Name;
};

// The days of Range that lie Shift days after a day of one of the region's holidays (days off
// only, unless Observances), in date order. Region is a code FindHolidayRegion answered.
std::vector<THolidayDay> HolidaysIn(const std::string& Region, const TDayRange& Range,
                                    bool Observances, int Shift);
