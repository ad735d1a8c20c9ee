#include "HolidaysCommand.h"

#include <algorithm>
#include <ostream>

#include "CommandSupport.h"
#include "DayFlagCommands.h"
#include "HolidayCalendar.h"
#include "MondrelError.h"

namespace {

using namespace std::chrono;

struct THolidayDay {
    sys_days Day;
    std::string Name;
};

// One entry per day of each chosen holiday inside the range, in date order.
std::vector<THolidayDay> HolidayDays(const std::string& region, const TDayRange& range,
                                     bool observances) {
    std::vector<THolidayDay> days;
    for (const THoliday& holiday : RegionHolidays(region, range.First, range.Last)) {
        if (!holiday.DayOff && !observances) {
            continue;
        }
        for (sys_days day = std::max(holiday.First, range.First);
             day <= std::min(holiday.Last, range.Last); day += std::chrono::days{1}) {
            days.push_back({day, holiday.Name});
        }
    }
    std::stable_sort(days.begin(), days.end(),
                     [](const THolidayDay& a, const THolidayDay& b) { return a.Day < b.Day; });
    return days;
}

int Holidays(const TArguments& Args, TToolStreams& Streams) {
    std::string code = Args.Required("region");
    TDayRange range = DayRangeOption(Args);
    std::string region = FindHolidayRegion(code);
    if (region.empty()) {
        throw EMondrelError("unknown holiday region \"" + code +
                            "\" (mondrel-db regions lists them)");
    }
    std::vector<THolidayDay> holidays = HolidayDays(region, range, Args.Has("all"));
    std::vector<sys_days> days;
    for (const THolidayDay& holiday : holidays) {
        days.push_back(holiday.Day);
    }
    bool dryRun = Args.Has("dry-run");
    FlagDays(Args, Streams, "Mondrel_IsPublicHoliday", days,
             dryRun ? TFlagDaysRun::FindFlag : TFlagDaysRun::Write);
    if (dryRun) {
        for (const THolidayDay& holiday : holidays) {
            Streams.Out << DayText(holiday.Day) << "  " << Printable(holiday.Name) << '\n';
        }
    }
    return 0;
}

}  // namespace

const TCommand HolidaysCommand = {
    "holidays",
    "holidays PATH --region CODE (--year YYYY | --from YYYY-MM-DD --to YYYY-MM-DD) "
    "[--flag CAPTION] [--all] [--dry-run] [--clear]",
    {.Positionals = {"PATH"},
     .Options = {"region", "year", "from", "to", "flag"},
     .Switches = {"all", "dry-run", "clear"}},
    Holidays,
    {{"--region CODE", "the holiday region, as `mondrel-db regions` lists it (required)"},
     {"--year YYYY", "every day of that year, 1900 to 2200"},
     {"--from YYYY-MM-DD", "the first day (with --to, instead of --year)"},
     {"--to YYYY-MM-DD", "the last day (with --from)"},
     {"--flag CAPTION",
      "the flag to set (default: the one with the variable Mondrel_IsPublicHoliday)"},
     {"--all", "observances too, such as Christmas Eve (default: days off work only)"},
     {"--dry-run", "list the days and write nothing (default: write)"},
     {"--clear", "take the flag off those days instead (default: set it)"}}};
