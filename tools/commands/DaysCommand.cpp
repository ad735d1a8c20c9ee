#include "DaysCommand.h"

#include "DayFlagCommands.h"

namespace {

using namespace std::chrono;

int Days(const TArguments& Args, TToolStreams& Streams) {
    Args.Required("flag");
    std::vector<sys_days> chosen;
    if (Args.Has("date")) {
        if (Args.Has("from") || Args.Has("to") || Args.Has("year")) {
            Args.Fail("give --date or --from and --to, not both");
        }
        for (TDateTime day : Args.Days("date")) {
            chosen.push_back(ToSysDays(day));
        }
    } else {
        TDayRange range = DayRangeOption(Args);
        for (sys_days day = range.First; day <= range.Last; day += days{1}) {
            chosen.push_back(day);
        }
    }
    FlagDays(Args, Streams, "", chosen,
             Args.Has("dry-run") ? TFlagDaysRun::Preview : TFlagDaysRun::Write);
    return 0;
}

}  // namespace

const TCommand DaysCommand = {
    "days",
    "days PATH --flag CAPTION (--date YYYY-MM-DD... | --from YYYY-MM-DD --to YYYY-MM-DD | "
    "--year YYYY) [--clear] [--dry-run]",
    {.Positionals = {"PATH"},
     .Options = {"flag", "date", "from", "to", "year"},
     .Switches = {"clear", "dry-run"},
     .Repeatable = {"date"}},
    Days,
    {{"--flag CAPTION", "the flag to set (required; `mondrel-db flags PATH` lists them)"},
     {"--date YYYY-MM-DD", "a day; give it again or separate days by commas for more"},
     {"--from YYYY-MM-DD", "the first day of a range (with --to)"},
     {"--to YYYY-MM-DD", "the last day of a range (with --from)"},
     {"--year YYYY", "every day of that year, 1900 to 2200"},
     {"--clear", "take the flag off those days instead (default: set it)"},
     {"--dry-run", "list the days the run would change and write nothing (default: write)"}}};
