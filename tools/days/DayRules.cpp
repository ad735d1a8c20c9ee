#include "DayRules.h"

#include <algorithm>
#include <array>
#include <sstream>

#include "CommandSupport.h"
#include "HolidayCalendar.h"

namespace {

using namespace std::chrono;

// Weekdays by their names in --days, Monday first.
constexpr std::array<const char*, 7> WeekdayNames = {"mon", "tue", "wed", "thu",
                                                     "fri", "sat", "sun"};

constexpr int MaxShift = 366;

}  // namespace

std::set<unsigned> WeekdaysOption(const TArguments& Args) {
    std::string list = Args.Has("days") ? Args.Option("days") : "sat,sun";
    std::set<unsigned> weekdays;
    std::istringstream names(list + ",");
    std::string name;
    while (std::getline(names, name, ',')) {
        size_t first = name.find_first_not_of(' ');
        name = LowerCase(first == std::string::npos
                             ? ""
                             : name.substr(first, name.find_last_not_of(' ') - first + 1));
        auto found = std::find(WeekdayNames.begin(), WeekdayNames.end(), name);
        if (found == WeekdayNames.end()) {
            Args.Fail("unknown weekday '" + name + "' in --days (expected mon to sun)");
        }
        weekdays.insert(static_cast<unsigned>(found - WeekdayNames.begin()) + 1);
    }
    return weekdays;
}

int ShiftOption(const TArguments& Args) {
    if (!Args.Has("shift")) {
        return 0;
    }
    std::string text = Args.Option("shift");
    size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    bool number = text.size() > digits && text.size() - digits <= 3 &&
                  text.find_first_not_of("0123456789", digits) == std::string::npos;
    if (!number || std::abs(std::stoi(text)) > MaxShift) {
        Args.Fail("--shift '" + text + "' is no number of days from -" + std::to_string(MaxShift) +
                  " to " + std::to_string(MaxShift));
    }
    return std::stoi(text);
}

std::vector<sys_days> WeekdaysIn(const std::set<unsigned>& Weekdays, const TDayRange& Range,
                                 int Shift) {
    std::vector<sys_days> chosen;
    for (sys_days day = Range.First; day <= Range.Last; day += days{1}) {
        if (Weekdays.count(weekday(day - days{Shift}).iso_encoding()) != 0) {
            chosen.push_back(day);
        }
    }
    return chosen;
}

std::vector<THolidayDay> HolidaysIn(const std::string& Region, const TDayRange& Range,
                                    bool Observances, int Shift) {
    sys_days first = Range.First - days{Shift};
    sys_days last = Range.Last - days{Shift};
    std::vector<THolidayDay> chosen;
    for (const THoliday& holiday : RegionHolidays(Region, first, last)) {
        if (!holiday.DayOff && !Observances) {
            continue;
        }
        for (sys_days day = std::max(holiday.First, first); day <= std::min(holiday.Last, last);
             day += days{1}) {
            chosen.push_back({day + days{Shift}, holiday.Name});
        }
    }
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const THolidayDay& a, const THolidayDay& b) { return a.Day < b.Day; });
    return chosen;
}
