#include "UpcomingCommand.h"

#include <chrono>
#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "JsonValue.h"
#include "ScriptName.h"
#include "TimeText.h"

namespace {

constexpr int DefaultDays = 7;
constexpr const char* WeekdayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};

struct TUpcomingDay {
    TDateTime Day = 0;
    TFlags Flags;
    TDates Appointments;  // in the order the module fires them
};

// When the module fires an appointment of `day`, seen at `now`.
std::string Firing(TDateTime day, TDateTime time, TDateTime now) {
    TDateTime today = DateOf(now);
    if (day < today) {
        return "never (its day has passed)";
    }
    TTimeParts clock = DecodeTime(now);
    if (day == today && TimeOf(time) <= EncodeTime(clock.Hour, clock.Minute, 59, 999)) {
        return "at the next tick";
    }
    return "at its time";
}

std::vector<TUpcomingDay> ReadDays(TDBTransaction& transaction, TDateTime first, int count,
                                   TSkippedRows& skipped) {
    TFlags flags = GetFlags(transaction);
    std::vector<TUpcomingDay> days;
    for (int i = 0; i < count; ++i) {
        TUpcomingDay& day = days.emplace_back();
        day.Day = first + i;
        for (const TDayFlag& dayFlag : GetDayFlags(transaction, day.Day, &skipped)) {
            for (const TFlag& flag : flags) {
                if (flag.ID == dayFlag.FlagID) {
                    day.Flags.push_back(flag);
                    break;
                }
            }
        }
        // The module's own query of a day's open appointments gives their firing order; each
        // is then read whole for its value.
        for (const TMondrelDate& open : GetDates(transaction, dqDayOpen, day.Day, &skipped)) {
            day.Appointments.push_back(GetDate(transaction, open.ID));
        }
    }
    return days;
}

std::string WeekdayName(TDateTime day) {
    return WeekdayNames[std::chrono::weekday(ToSysDays(day)).c_encoding()];
}

void PrintJson(std::ostream& out, const std::vector<TUpcomingDay>& days, TDateTime now) {
    TJsonValue list = TJsonValue::Array();
    for (const TUpcomingDay& day : days) {
        TJsonValue flags = TJsonValue::Array();
        for (const TFlag& flag : day.Flags) {
            flags.Append(TJsonValue::Object()
                             .Set("id", flag.ID)
                             .Set("caption", flag.Caption)
                             .Set("variable", flag.Variable));
        }
        TJsonValue appointments = TJsonValue::Array();
        for (const TMondrelDate& date : day.Appointments) {
            TJsonValue json = AppointmentJson(date);
            json.Set("blank_script", IsBlankScript(date.Script))
                .Set("fires", Firing(day.Day, date.Time, now));
            appointments.Append(json);
        }
        list.Append(TJsonValue::Object()
                        .Set("date", DateToDBText('-', day.Day))
                        .Set("weekday", WeekdayName(day.Day))
                        .Set("flags", flags)
                        .Set("appointments", appointments));
    }
    TJsonValue::Object().Set("days", list).Write(out);
}

void PrintText(std::ostream& out, const std::vector<TUpcomingDay>& days, TDateTime now) {
    for (const TUpcomingDay& day : days) {
        std::string flags;
        for (const TFlag& flag : day.Flags) {
            flags += (flags.empty() ? "" : ", ") + Printable(flag.Caption);
        }
        out << DateToDBText('-', day.Day) << ' ' << WeekdayName(day.Day) << "  "
            << (flags.empty() ? "no flags" : flags) << '\n';
        std::vector<std::vector<std::string>> rows;
        for (const TMondrelDate& date : day.Appointments) {
            std::string firing = Firing(day.Day, date.Time, now);
            rows.push_back({"  " + FormatLongTime(date.Time), "ID " + std::to_string(date.ID),
                            IsBlankScript(date.Script)
                                ? "(no script: sets only Mondrel_TriggerValue)"
                                : Printable(date.Script),
                            "value \"" + Printable(date.Value) + "\"", Printable(date.Discription),
                            firing == "at its time" ? "" : "(fires " + firing + ")"});
        }
        PrintTable(out, rows);
    }
}

int Upcoming(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    int count = Args.Has("days") ? Args.Count("days") : DefaultDays;
    TDateTime now = Now();
    TDateTime first = Args.Has("from") ? Args.Day("from") : DateOf(now);
    RequireDatabaseFile(path);
    TSkippedRows skipped;
    std::vector<TUpcomingDay> days = InTransaction(path, [&](TDBTransaction& transaction) {
        return ReadDays(transaction, first, count, skipped);
    });
    ReportSkippedRows(Streams, "upcoming", skipped);
    if (Args.Has("json")) {
        PrintJson(Streams.Out, days, now);
    } else {
        PrintText(Streams.Out, days, now);
    }
    return 0;
}

}  // namespace

const TCommand UpcomingCommand = {
    "upcoming",
    "upcoming PATH [--days N] [--from YYYY-MM-DD] [--json]",
    {.Positionals = {"PATH"}, .Options = {"days", "from"}, .Switches = {"json"}},
    Upcoming,
    {{"--days N", "how many days, 1 to 3660 (default: 7)"},
     {"--from YYYY-MM-DD", "the first day (default: today)"},
     {"--json", "one JSON document instead of the text (default: the text)"}}};
