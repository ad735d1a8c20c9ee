#include "WeekendsCommand.h"

#include "DayFlagCommands.h"
#include "DayRules.h"
#include "SourceTables.h"
#include "StandingDays.h"

namespace {

int Weekends(const TArguments& Args, TToolStreams& Streams) {
    if (Args.Has("standing")) {
        FlagStanding(Args, Streams, WeekendsSource, "weekends");
        return 0;
    }
    if (Args.Has("source")) {
        Args.Fail("--source names a standing rule: it needs --standing");
    }
    TDayRange range = DayRangeOption(Args);
    std::set<unsigned> weekdays = WeekdaysOption(Args);
    FlagDays(Args, Streams, "Mondrel_IsWeekend", WeekdaysIn(weekdays, range, ShiftOption(Args)));
    return 0;
}

}  // namespace

const TCommand WeekendsCommand = {
    "weekends",
    "weekends PATH (--year YYYY | --from YYYY-MM-DD --to YYYY-MM-DD | --standing [--source NAME]) "
    "[--flag CAPTION] [--days sat,sun] [--shift DAYS] [--clear]",
    {.Positionals = {"PATH"},
     .Options = {"year", "from", "to", "flag", "days", "shift", "source"},
     .Switches = {"clear", "standing"}},
    Weekends,
    {{"--year YYYY", "every day of that year, 1900 to 2200"},
     {"--from YYYY-MM-DD", "the first day (with --to, instead of --year)"},
     {"--to YYYY-MM-DD", "the last day (with --from)"},
     {"--flag CAPTION", "the flag to set (default: the one with the variable Mondrel_IsWeekend)"},
     {"--days sat,sun", "the weekdays, mon to sun, comma-separated (default: sat,sun)"},
     {"--clear", "take the flag off those days instead (default: set it)"},
     {"--shift DAYS",
      "flag the day that many days away from each weekday, -1 the day before (default: 0)"},
     {"--standing", "keep the rule: flag every day up to 400 days ahead; refresh keeps flagging"},
     {"--source NAME", "the name of the standing rule (default: weekends [CAPTION])"}}};
