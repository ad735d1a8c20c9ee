#include "WeekendsCommand.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <set>
#include <sstream>

#include "CommandSupport.h"
#include "DayFlagCommands.h"

namespace {

using namespace std::chrono;

// Weekdays by their names in --days, Monday first.
constexpr std::array<const char*, 7> WeekdayNames = {"mon", "tue", "wed", "thu",
                                                     "fri", "sat", "sun"};

std::set<unsigned> WeekdaysOption(const TArguments& args) {
    std::string list = args.Has("days") ? args.Option("days") : "sat,sun";
    std::set<unsigned> weekdays;  // ISO numbers, Monday 1
    std::istringstream names(list + ",");
    std::string name;
    while (std::getline(names, name, ',')) {
        size_t first = name.find_first_not_of(' ');
        name = LowerCase(first == std::string::npos
                             ? ""
                             : name.substr(first, name.find_last_not_of(' ') - first + 1));
        auto found = std::find(WeekdayNames.begin(), WeekdayNames.end(), name);
        if (found == WeekdayNames.end()) {
            args.Fail("unknown weekday '" + name + "' in --days (expected mon to sun)");
        }
        weekdays.insert(static_cast<unsigned>(found - WeekdayNames.begin()) + 1);
    }
    return weekdays;
}

int Weekends(const TArguments& Args, TToolStreams& Streams) {
    TDayRange range = DayRangeOption(Args);
    std::set<unsigned> weekdays = WeekdaysOption(Args);
    std::vector<sys_days> chosen;
    for (sys_days day = range.First; day <= range.Last; day += days{1}) {
        if (weekdays.count(weekday(day).iso_encoding()) != 0) {
            chosen.push_back(day);
        }
    }
    FlagDays(Args, Streams, "Mondrel_IsWeekend", chosen);
    return 0;
}

}  // namespace

const TCommand WeekendsCommand = {
    "weekends",
    "weekends PATH (--year YYYY | --from YYYY-MM-DD --to YYYY-MM-DD) [--flag CAPTION] "
    "[--days sat,sun] [--clear]",
    {.Positionals = {"PATH"},
     .Options = {"year", "from", "to", "flag", "days"},
     .Switches = {"clear"}},
    Weekends,
    {{"--year YYYY", "every day of that year, 1900 to 2200"},
     {"--from YYYY-MM-DD", "the first day (with --to, instead of --year)"},
     {"--to YYYY-MM-DD", "the last day (with --from)"},
     {"--flag CAPTION", "the flag to set (default: the one with the variable Mondrel_IsWeekend)"},
     {"--days sat,sun", "the weekdays, mon to sun, comma-separated (default: sat,sun)"},
     {"--clear", "take the flag off those days instead (default: set it)"}}};
