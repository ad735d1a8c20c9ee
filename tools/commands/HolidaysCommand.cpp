#include "HolidaysCommand.h"

#include <ostream>

#include "CommandSupport.h"
#include "DayFlagCommands.h"
#include "DayRules.h"
#include "HolidayCalendar.h"
#include "MondrelError.h"
#include "SourceTables.h"
#include "StandingDays.h"

namespace {

int Holidays(const TArguments& Args, TToolStreams& Streams) {
    std::string code = Args.Required("region");
    if (Args.Has("standing")) {
        FlagStanding(Args, Streams, HolidaysSource, "holidays " + LowerCase(code));
        return 0;
    }
    if (Args.Has("source")) {
        Args.Fail("--source names a standing rule: it needs --standing");
    }
    TDayRange range = DayRangeOption(Args);
    int shift = ShiftOption(Args);
    std::string region = FindHolidayRegion(code);
    if (region.empty()) {
        throw EMondrelError("unknown holiday region \"" + code +
                            "\" (mondrel-db regions lists them)");
    }
    std::vector<THolidayDay> holidays = HolidaysIn(region, range, Args.Has("all"), shift);
    std::vector<std::chrono::sys_days> days;
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
    "holidays PATH --region CODE (--year YYYY | --from YYYY-MM-DD --to YYYY-MM-DD | --standing "
    "[--source NAME]) [--flag CAPTION] [--all] [--shift DAYS] [--dry-run] [--clear]",
    {.Positionals = {"PATH"},
     .Options = {"region", "year", "from", "to", "flag", "shift", "source"},
     .Switches = {"all", "dry-run", "clear", "standing"}},
    Holidays,
    {{"--region CODE", "the holiday region, as `mondrel-db regions` lists it (required)"},
     {"--year YYYY", "every day of that year, 1900 to 2200"},
     {"--from YYYY-MM-DD", "the first day (with --to, instead of --year)"},
     {"--to YYYY-MM-DD", "the last day (with --from)"},
     {"--flag CAPTION",
      "the flag to set (default: the one with the variable Mondrel_IsPublicHoliday)"},
     {"--all", "observances too, such as Christmas Eve (default: days off work only)"},
     {"--dry-run", "list the days and write nothing (default: write)"},
     {"--clear", "take the flag off those days instead (default: set it)"},
     {"--shift DAYS",
      "flag the day that many days away from each holiday, -1 the day before (default: 0)"},
     {"--standing", "keep the rule: flag every day up to 400 days ahead; refresh keeps flagging"},
     {"--source NAME", "the name of the standing rule (default: holidays REGION [CAPTION])"}}};
