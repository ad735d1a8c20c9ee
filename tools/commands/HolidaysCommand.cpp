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
    FlagDays(Args, Streams, "Mondrel_IsPublicHoliday", days, dryRun);
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
    Holidays};
