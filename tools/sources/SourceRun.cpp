#include "SourceRun.h"

#include <algorithm>
#include <iostream>
#include <map>

#include "AccountPassword.h"
#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "DayRules.h"
#include "FeedFetch.h"
#include "FlagLookup.h"
#include "HolidayCalendar.h"
#include "ICalendarSupport.h"
#include "MondrelError.h"
#include "Shaping.h"
#include "Sqlite3Db.h"
#include "TimeText.h"
#include "ToolTables.h"

namespace {

using namespace std::chrono;

// Events of this category in our own exports are day flags.
constexpr const char* FlagCategory = "MONDREL-FLAG";
// The one event of a repeat rule, as its records name it.
constexpr const char* RuleUID = "rule";

const TCommandGrammar CalendarGrammar = {.Options = {"script", "value", "as-flag", "offset", "at"},
                                         .Repeatable = {"script-for", "value-for"}};
// A feed behind a sign-in keeps its account too: the user and the path of the password's file.
const TCommandGrammar UrlGrammar = {
    .Options = {"script", "value", "as-flag", "offset", "at", "user", "password-file"},
    .Repeatable = {"script-for", "value-for"}};
const TCommandGrammar RepeatGrammar = {
    .Options = {"date", "time", "description", "value", "script", "repeat"}};
const TCommandGrammar WeekendsGrammar = {.Options = {"days", "flag", "shift"}};
const TCommandGrammar HolidaysGrammar = {.Options = {"region", "flag", "shift"},
                                         .Switches = {"all"}};

TShaping ReadShaping(const TArguments& args) {
    TShaping shaping;
    shaping.Script = args.Option("script");
    shaping.Value = args.Option("value");
    if (args.Has("as-flag")) {
        shaping.AsFlag = args.Option("as-flag");
    }
    if (args.Has("offset")) {
        std::optional<int64_t> offset = ParseDuration(args.Option("offset"));
        if (!offset) {
            args.Fail("--offset '" + args.Option("offset") +
                      "' is no duration (expected e.g. -15m, -5h, +1d, -1d2h30m)");
        }
        shaping.OffsetMinutes = *offset;
    }
    if (args.Has("at")) {
        TTimeParts at = DecodeTime(args.Time("at"));
        shaping.AtMinutes = at.Hour * 60 + at.Minute;
    }
    for (const auto& [name, rules] :
         {std::pair{"script-for", &shaping.ScriptFor}, std::pair{"value-for", &shaping.ValueFor}}) {
        for (const std::string& text : args.All(name)) {
            std::optional<TMatchRule> rule = ParseMatchRule(text);
            if (!rule) {
                args.Fail("--" + std::string(name) + " '" + text + "' is no TEXT=" +
                          (rules == &shaping.ScriptFor ? "SCRIPT" : "VALUE") + " pair");
            }
            rules->push_back(*rule);
        }
    }
    return shaping;
}

std::string Day(TDateTime day) {
    return DateToDBText('-', day);
}

std::string Day(sys_days day) {
    return DateToDBText('-', FromSysDays(day));
}

bool IsFlagEvent(const TICalEvent& event) {
    return std::find(event.Categories.begin(), event.Categories.end(), FlagCategory) !=
           event.Categories.end();
}

TImportValues ValuesOf(const TICalEvent& event, const TICalOccurrence& occurrence,
                       const TShaping& shaping) {
    TICalStamp start = ShapedStart(occurrence.Start, event.AllDay, shaping);
    TImportValues values;
    values.Date = Day(StampDay(start));
    values.Time = FormatLongTime(StampTime(start));
    values.Discription = event.Summary;
    values.Value = event.Value.value_or(
        FirstMatch(shaping.ValueFor, event.Summary, event.Categories).value_or(shaping.Value));
    values.Script = event.Script.value_or(
        FirstMatch(shaping.ScriptFor, event.Summary, event.Categories).value_or(shaping.Script));
    values.Done = event.Done.value_or(0) != 0 ? 1 : 0;
    return values;
}

// The flag of a flag event: --as-flag for every event, else the one captioned as the event's
// summary (looked up once per caption).
std::optional<TFlag> FlagFor(TDBTransaction& transaction, const std::string& caption,
                             std::map<std::string, std::optional<TFlag>>& known) {
    auto found = known.find(caption);
    if (found == known.end()) {
        std::optional<TFlag> flag;
        try {
            flag = FlagByCaption(transaction, caption);
        } catch (const ESqliteException&) {
            throw;
        } catch (const EMondrelError&) {
        }
        found = known.emplace(caption, flag).first;
    }
    return found->second;
}

TSourceWanted CalendarWanted(TDBTransaction& transaction, const TICalendar& calendar,
                             const TShaping& shaping, const TRunOptions& run) {
    TSourceWanted wanted;
    for (const TICalSkipped& skipped : calendar.Skipped) {
        run.Warn("skipped event " + Printable(skipped.Name) + ": " + skipped.Reason);
        if (!skipped.UID.empty()) {
            wanted.Scope.KeptUIDs.insert(skipped.UID);
        }
        ++wanted.Skipped;
    }
    std::optional<TFlag> asFlag;
    if (shaping.AsFlag) {
        asFlag = FlagByCaption(transaction, *shaping.AsFlag);  // none: exit 1, nothing written
    }
    std::map<std::string, std::optional<TFlag>> flags;
    size_t occurrences = 0;
    for (const TICalEvent& event : calendar.Events) {
        occurrences += event.Occurrences.size();
    }
    wanted.Rows.reserve(occurrences);
    // An export of this very file names its own rows: importing it again must not copy them.
    std::string ownToken = ReadFileToken(transaction.Database());
    for (const TICalEvent& event : calendar.Events) {
        if (IsExportedUID(event.UID, ownToken) && !asFlag && !IsFlagEvent(event)) {
            wanted.OwnRows += event.Occurrences.size();
            continue;
        }
        if (!event.Cancelled) {
            wanted.Scope.PresentUIDs.insert(event.UID);
        }
        for (const std::string& warning : event.Warnings) {
            run.Warn("event " + Printable(event.Name) + ": " + Printable(warning));
        }
        if (event.Capped) {
            run.Warn("event " + Printable(event.Name) + " has more occurrences than the " +
                     std::to_string(event.Occurrences.size()) + " imported (at most " +
                     std::to_string(ICalOccurrenceCap) + " of one event); the later ones are " +
                     "left out");
        }
        if (asFlag || IsFlagEvent(event)) {
            std::optional<TFlag> flag =
                asFlag ? asFlag : FlagFor(transaction, event.Summary, flags);
            if (!flag) {
                run.Warn("skipped event " + Printable(event.Name) + ": no flag \"" +
                         Printable(event.Summary) + "\"");
                ++wanted.Skipped;
                continue;
            }
            for (const TICalOccurrence& occurrence : event.Occurrences) {
                TICalStamp day = ShapedStart(occurrence.Start, event.AllDay, shaping);
                wanted.FlagDays.push_back({Day(StampDay(day)), flag->ID, flag->Caption});
            }
            continue;
        }
        for (const TICalOccurrence& occurrence : event.Occurrences) {
            wanted.Rows.push_back(
                {{event.UID, occurrence.RecurrenceID}, ValuesOf(event, occurrence, shaping)});
        }
    }
    return wanted;
}

std::string StampKey(const TICalStamp& stamp) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", stamp.Year, stamp.Month,
                  stamp.Day, stamp.Hour, stamp.Minute, stamp.Second);
    return text;
}

TSourceWanted RepeatWanted(const TRepeatRule& rule, const TRunOptions& run) {
    TSourceWanted wanted;
    wanted.Scope.PresentUIDs.insert(RuleUID);
    bool capped = false;
    for (const TICalStamp& start :
         ExpandRepeatRule(rule.Rule, ToStamp(rule.First.Date, rule.First.Time),
                          {ToStamp(run.From), ToStamp(run.Until)}, capped)) {
        TImportValues values;
        values.Date = Day(StampDay(start));
        values.Time = FormatLongTime(StampTime(start));
        values.Discription = rule.First.Discription;
        values.Value = rule.First.Value;
        values.Script = rule.First.Script;
        wanted.Rows.push_back({{RuleUID, StampKey(start)}, values});
    }
    if (capped && !wanted.Rows.empty()) {
        const TImportValues& last = wanted.Rows.back().Values;
        wanted.CutAfter = last.Date;
        run.Warn("the rule gives more than " + std::to_string(wanted.Rows.size()) +
                 " occurrences up to " + Day(run.Until) + "; the " +
                 std::to_string(wanted.Rows.size()) + " written reach up to " + last.Date + " " +
                 last.Time);
    }
    return wanted;
}

TFlag RuleFlag(TDBTransaction& transaction, const TArguments& args, const std::string& variable) {
    return args.Has("flag") ? FlagByCaption(transaction, args.Option("flag"))
                            : FlagByVariable(transaction, variable);
}

std::string HolidayRegion(const TArguments& args) {
    std::string code = args.Required("region");
    std::string region = FindHolidayRegion(code);
    if (region.empty()) {
        throw EMondrelError("unknown holiday region \"" + code +
                            "\" (mondrel-db regions lists them)");
    }
    return region;
}

TSourceWanted DayRuleWanted(TDBTransaction& transaction, const std::string& kind,
                            const TArguments& args, const TRunOptions& run, std::string& caption) {
    TDayRange range{ToSysDays(run.From), ToSysDays(run.Until)};
    int shift = ShiftOption(args);
    std::vector<sys_days> days;
    TFlag flag;
    if (kind == WeekendsSource) {
        flag = RuleFlag(transaction, args, "Mondrel_IsWeekend");
        days = WeekdaysIn(WeekdaysOption(args), range, shift);
    } else {
        std::string region = HolidayRegion(args);
        flag = RuleFlag(transaction, args, "Mondrel_IsPublicHoliday");
        for (const THolidayDay& holiday : HolidaysIn(region, range, args.Has("all"), shift)) {
            days.push_back(holiday.Day);
        }
    }
    caption = flag.Caption;
    TSourceWanted wanted;
    for (sys_days day : days) {
        wanted.FlagDays.push_back({Day(day), flag.ID, flag.Caption});
    }
    return wanted;
}

std::string ReadSourceText(const TSource& source) {
    if (source.Kind == StdinSource) {
        throw EMondrelError("\"" + source.Name +
                            "\" was read from standard input; import it again to refresh it");
    }
    return ReadCalendarText(source.Location, std::cin, FeedAccountOf(source.Kind, source.Options));
}

// Rows inserted, updated or deleted on the connection so far.
int64_t TotalChanges(TSqliteDatabase& database) {
    return database.Query("SELECT total_changes()")->FieldAsInteger(0);
}

bool HasRecords(TSqliteDatabase& database, const std::string& source) {
    return !ReadImportRecords(database, source).empty() ||
           !ReadFlagRecords(database, source).empty();
}

}  // namespace

const TCommandGrammar& KeptGrammar(const std::string& Kind) {
    if (Kind == RepeatSource) {
        return RepeatGrammar;
    }
    if (Kind == WeekendsSource) {
        return WeekendsGrammar;
    }
    if (Kind == HolidaysSource) {
        return HolidaysGrammar;
    }
    if (Kind == UrlSource) {
        return UrlGrammar;
    }
    return CalendarGrammar;
}

std::vector<std::string> KeptOptions(const std::string& Kind, const TArguments& Args) {
    const TCommandGrammar& grammar = KeptGrammar(Kind);
    std::vector<std::string> kept;
    for (const std::string& name : grammar.Options) {
        if (Args.Has(name)) {
            kept.insert(kept.end(), {"--" + name, Args.Option(name)});
        }
    }
    for (const std::string& name : grammar.Switches) {
        if (Args.Has(name)) {
            kept.push_back("--" + name);
        }
    }
    for (const std::string& name : grammar.Repeatable) {
        for (const std::string& value : Args.All(name)) {
            kept.insert(kept.end(), {"--" + name, value});
        }
    }
    return kept;
}

void CheckKeptOptions(const std::string& Kind, const TArguments& Args) {
    if (IsCalendarKind(Kind)) {
        ReadShaping(Args);
    } else if (Kind == RepeatSource) {
        ReadRepeatRule(Args);
    } else {
        ShiftOption(Args);
        if (Kind == WeekendsSource) {
            WeekdaysOption(Args);
        }
    }
}

std::string SourceNameOption(const TArguments& Args) {
    if (!Args.Has("source")) {
        return "";
    }
    std::string name = Args.Option("source");
    bool control = std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    if (name.find_first_not_of(' ') == std::string::npos || control) {
        Args.Fail("--source '" + Printable(name) +
                  "' is no source name (expected text without control characters)");
    }
    return name;
}

bool IsCalendarKind(const std::string& Kind) {
    return Kind == FileSource || Kind == UrlSource || Kind == StdinSource || Kind == CalDavSource;
}

TFeedAccount FeedAccountOf(const std::string& Kind, const std::vector<std::string>& Options) {
    if (Kind != UrlSource) {
        return {};
    }
    TArguments options("refresh", UrlGrammar, Options);
    const std::string user = options.Option("user");
    return {user, ReadAccountPassword(user, options.Option("password-file"))};
}

TRepeatRule ReadRepeatRule(const TArguments& Args) {
    for (const char* required : {"date", "time", "description", "repeat"}) {
        Args.Required(required);
    }
    TRepeatRule rule;
    rule.First.ID = -1;
    rule.First.Date = Args.Day("date");
    rule.First.Time = Args.Time("time");
    rule.First.Discription = Args.Option("description");
    rule.First.Value = Args.Option("value");
    rule.First.Script = Args.Option("script");
    rule.Rule = Args.Option("repeat");
    try {
        CheckRepeatRule(rule.Rule);
    } catch (const ERepeatRuleError& error) {
        Args.Fail("--repeat '" + rule.Rule + "': " + error.what());
    }
    std::string upper = LowerCase(rule.Rule);
    rule.HasEnd =
        upper.find("count=") != std::string::npos || upper.find("until=") != std::string::npos;
    return rule;
}

TSourceRun RunSource(TSource Source, const TRunOptions& Run) {
    std::optional<TICalendar> calendar;
    if (IsCalendarKind(Source.Kind)) {
        std::string text = Run.Text ? *Run.Text : ReadSourceText(Source);
        try {
            calendar = ReadICalendar(text, {ToStamp(Run.From), ToStamp(Run.Until)});
        } catch (const ECutOffCalendar& cut) {
            throw EICalError(std::string(cut.what()) + "; nothing was written");
        }
    }

    // A dry run only reads: it need not wait for, or hold off, other writers.
    TDBTransaction transaction(Run.Path,
                               Run.DryRun ? TDBTransaction::AsReader : TDBTransaction::AsWriter);
    TSqliteDatabase& database = transaction.Database();
    CreateSourceTables(database);
    std::optional<TSource> known = FindSource(database, Source.Name);
    if (known && known->Kind != Source.Kind &&
        !(IsCalendarKind(known->Kind) && IsCalendarKind(Source.Kind))) {
        throw EMondrelError("a " + known->Kind + " source named \"" + Source.Name +
                            "\" exists already (--source NAME names another)");
    }
    if (known && Run.ReuseOptions) {
        Source.Options = known->Options;
    }
    TArguments options(Run.Command, KeptGrammar(Source.Kind), Source.Options);
    TSourceRun result;
    TSourceWanted wanted;
    const int64_t changesBefore = TotalChanges(database);
    if (calendar) {
        wanted = CalendarWanted(transaction, *calendar, ReadShaping(options), Run);
        AdoptLegacyRecords(database, Source.Name, wanted.Scope);
        if (calendar->Events.empty() && calendar->Skipped.empty() && !Run.AllowEmpty &&
            HasRecords(database, Source.Name)) {
            throw EMondrelError("\"" + Source.Name +
                                "\" has no events; a feed that empties is more likely broken "
                                "than cleared; use --allow-empty to clear the source");
        }
    } else if (Source.Kind == RepeatSource) {
        wanted = RepeatWanted(ReadRepeatRule(options), Run);
    } else {
        wanted = DayRuleWanted(transaction, Source.Kind, options, Run, result.Flag);
    }
    wanted.Scope.From = Day(Run.From);
    wanted.Scope.Until = Day(Run.Until);
    result.Write = WriteSource(transaction, Source.Name, wanted, Run.DryRun);

    Source.Through = Day(Run.Until);
    result.WrittenUntil = wanted.CutAfter.empty() ? Source.Through : wanted.CutAfter;
    Source.LastRun = RunStamp();
    Source.LastResult = "ok";
    bool sameSource = known && known->Kind == Source.Kind && known->Location == Source.Location &&
                      known->Options == Source.Options;
    result.Saved = !(Run.DeferUnchanged && sameSource && TotalChanges(database) == changesBefore);
    if (result.Saved) {
        SaveSource(database, Source);
    }
    if (Run.AlsoWrite) {
        Run.AlsoWrite(database);
    }
    if (!Run.DryRun) {
        transaction.Commit();
    }
    for (const std::string& note : result.Write.Notes) {
        Run.Warn(note);
    }
    result.Options = Source.Options;
    result.Source = Source;
    return result;
}

std::string RunStamp() {
    TDateTime now = Now();
    return Day(DateOf(now)) + ' ' + FormatLongTime(TimeOf(now));
}
