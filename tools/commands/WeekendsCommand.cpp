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
    Weekends};
