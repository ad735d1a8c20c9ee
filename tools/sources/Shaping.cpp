#include "Shaping.h"

#include <cctype>
#include <chrono>

#include "CommandSupport.h"

namespace {

using namespace std::chrono;

bool Contains(const std::string& text, const std::string& part) {
    return LowerCase(text).find(LowerCase(part)) != std::string::npos;
}

}  // namespace

std::optional<int64_t> ParseDuration(const std::string& Text) {
    if (Text == "0") {
        return 0;
    }
    size_t at = 0;
    int64_t sign = 1;
    if (at < Text.size() && (Text[at] == '+' || Text[at] == '-')) {
        sign = Text[at++] == '-' ? -1 : 1;
    }
    static const std::string units = "dhm";
    static const int64_t minutesPer[] = {24 * 60, 60, 1};
    size_t nextUnit = 0;
    int64_t total = 0;
    bool any = false;
    while (at < Text.size()) {
        size_t digits = at;
        while (at < Text.size() && std::isdigit(static_cast<unsigned char>(Text[at])) != 0) {
            ++at;
        }
        // Nine digits of days is far beyond any calendar; more would overflow.
        if (at == digits || at - digits > 9 || at >= Text.size()) {
            return std::nullopt;
        }
        size_t unit =
            units.find(static_cast<char>(std::tolower(static_cast<unsigned char>(Text[at]))));
        if (unit == std::string::npos || unit < nextUnit) {
            return std::nullopt;
        }
        total += std::stoll(Text.substr(digits, at - digits)) * minutesPer[unit];
        nextUnit = unit + 1;
        any = true;
        ++at;
    }
    if (!any) {
        return std::nullopt;
    }
    return sign * total;
}

std::optional<TMatchRule> ParseMatchRule(const std::string& Text) {
    size_t equals = Text.find('=');
    if (equals == std::string::npos || equals == 0) {
        return std::nullopt;
    }
    return TMatchRule{Text.substr(0, equals), Text.substr(equals + 1)};
}

std::optional<std::string> FirstMatch(const std::vector<TMatchRule>& Rules,
                                      const std::string& Summary,
                                      const std::vector<std::string>& Categories) {
    for (const TMatchRule& rule : Rules) {
        if (Contains(Summary, rule.Text)) {
            return rule.Target;
        }
        for (const std::string& category : Categories) {
            if (Contains(category, rule.Text)) {
                return rule.Target;
            }
        }
    }
    return std::nullopt;
}

TICalStamp ShapedStart(const TICalStamp& Start, bool AllDay, const TShaping& Shaping) {
    sys_days day{year{Start.Year} / month{unsigned(Start.Month)} /
                 std::chrono::day{unsigned(Start.Day)}};
    minutes time = hours{Start.Hour} + minutes{Start.Minute};
    seconds second{Start.Second};
    if (AllDay && Shaping.AtMinutes) {
        time = minutes{*Shaping.AtMinutes};
        second = seconds{0};
    }
    sys_seconds moved = day + time + second + minutes{Shaping.OffsetMinutes};
    sys_days movedDay = floor<days>(moved);
    year_month_day date{movedDay};
    hh_mm_ss<seconds> clock{moved - movedDay};
    return {int(date.year()),           int(unsigned(date.month())),  int(unsigned(date.day())),
            int(clock.hours().count()), int(clock.minutes().count()), int(clock.seconds().count())};
}
