#include "AddCommand.h"

#include <algorithm>
#include <optional>
#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "DavSource.h"
#include "DavWriteBack.h"
#include "ICalAdapter.h"
#include "ICalendarSupport.h"
#include "SourceRun.h"
#include "TimeText.h"

namespace {

void PrintAdded(std::ostream& out, const TMondrelDate& date) {
    out << "Added " << DateToDBText('-', date.Date) << ' ' << FormatLongTime(date.Time) << ' '
        << Printable(date.Discription) << '\n';
}

// --repeat RULE with --until DAY, or with an end of its own: one row per occurrence of the rule
// from --date on, as if added one by one. Answers nothing when the rule's own end lies more than
// ICalOccurrenceCap rows away: such a rule is written as a standing one, never cut.
std::optional<TDates> FiniteDates(const TArguments& Args, const TRepeatRule& rule,
                                  TToolStreams& Streams) {
    const TMondrelDate& first = rule.First;
    TDateTime until = EncodeDate(MaxYear, 12, 31);
    if (Args.Has("until")) {
        until = Args.Day("until");
        if (until < first.Date) {
            Args.Fail("--until " + DateToDBText('-', until) + " is before --date " +
                      DateToDBText('-', first.Date));
        }
    }
    bool capped = false;
    TDates dates;
    for (const TICalStamp& start :
         ExpandRepeatRule(rule.Rule, ToStamp(first.Date, first.Time),
                          {ToStamp(first.Date), ToStamp(until)}, capped)) {
        TMondrelDate date = first;
        date.Date = StampDay(start);
        date.Time = StampTime(start);
        dates.push_back(date);
    }
    if (capped && !Args.Has("until")) {
        return std::nullopt;
    }
    if (capped) {
        Streams.Err << "mondrel-db: add: the rule gives more than " << ICalOccurrenceCap
                    << " days; the first " << ICalOccurrenceCap << " are added\n";
    }
    return dates;
}

// --repeat RULE without --until: a standing rule, kept as a source. Its rows are written up to
// the horizon, and refresh writes the later ones as days pass; a COUNT in the rule is kept.
int AddStanding(const TArguments& Args, TToolStreams& Streams, const TRepeatRule& rule) {
    TSource source;
    source.Name = SourceNameOption(Args);
    if (source.Name.empty()) {
        source.Name = rule.First.Discription;
    }
    if (source.Name.find_first_not_of(' ') == std::string::npos) {
        Args.Fail("a standing rule needs a name: --source NAME");
    }
    source.Kind = RepeatSource;
    source.Options = KeptOptions(RepeatSource, Args);
    TRunOptions run;
    run.Path = Args.Positional("PATH");
    run.Command = "add";
    // Days gone by never fire: a rule begun in the past is written from today on.
    const TDateTime today = DateOf(Now());
    run.From = std::max(rule.First.Date, today);
    run.Until = today + DefaultHorizonDays;
    run.Warn = [&](const std::string& message) {
        Streams.Err << "mondrel-db: add: " << message << '\n';
    };
    RequireDatabaseFile(run.Path);
    const TSourceRun done = RunSource(source, run);
    const TSourceCounts& counts = done.Write.Counts;
    Streams.Out << Printable(source.Name) << "  " << counts.Added << " added, " << counts.Updated
                << " updated, " << counts.Removed << " removed, " << counts.Unchanged
                << " unchanged; written up to " << done.WrittenUntil
                << ", refresh writes the later ones\n";
    return 0;
}

int Add(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    if (!Args.Has("repeat")) {
        for (const char* required : {"date", "time", "description"}) {
            Args.Required(required);
        }
        if (Args.Has("until")) {
            Args.Fail("--until needs --repeat");
        }
        TMondrelDate date;
        date.ID = -1;
        date.Date = Args.Day("date");
        date.Time = Args.Time("time");
        date.Discription = Args.Option("description");
        date.Value = Args.Option("value");
        date.Script = Args.Option("script");
        RequireDatabaseFile(path);
        if (Args.Has("source")) {
            // A new event of a two-way CalDAV source, written to the server at once.
            std::string name = SourceNameOption(Args);
            AddDavAppointment(path, name, date);
            PrintAdded(Streams.Out, date);
            return WriteBackNow(path, name, Streams);
        }
        AddDate(path, date);
        PrintAdded(Streams.Out, date);
        return 0;
    }
    TRepeatRule rule = ReadRepeatRule(Args);
    if (Args.Has("until") && Args.Has("source")) {
        Args.Fail("--source names a standing rule: it takes no --until");
    }
    std::optional<TDates> finite;
    if (Args.Has("until") || rule.HasEnd) {
        finite = FiniteDates(Args, rule, Streams);
    }
    if (!finite || Args.Has("source")) {
        return AddStanding(Args, Streams, rule);
    }
    const TDates& dates = *finite;
    RequireDatabaseFile(path);
    InTransaction(path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
        for (const TMondrelDate& repeated : dates) {
            AddDate(transaction, repeated);
        }
    });
    for (const TMondrelDate& repeated : dates) {
        PrintAdded(Streams.Out, repeated);
    }
    return 0;
}

}  // namespace

const TCommand AddCommand = {
    "add",
    "add PATH --date YYYY-MM-DD --time HH:MM --description TEXT [--value TEXT] [--script NAME] "
    "[--repeat RULE [--until YYYY-MM-DD | --source NAME]]",
    {.Positionals = {"PATH"},
     .Options = {"date", "time", "description", "value", "script", "repeat", "until", "source"}},
    Add,
    {{"--date YYYY-MM-DD", "the day (required)"},
     {"--time HH:MM", "the time of day, HH:MM or HH:MM:SS (required)"},
     {"--description TEXT", "the text Mondrel_TriggerValue takes (required)"},
     {"--value TEXT", "the value handed to the script (default: empty)"},
     {"--script NAME",
      "the script to run (default: none; the appointment then only sets Mondrel_TriggerValue)"},
     {"--repeat RULE",
      "an RFC 5545 rule such as FREQ=WEEKLY;BYDAY=MO: one row per occurrence (default: one row)"},
     {"--until YYYY-MM-DD",
      "the last day of --repeat (default: none; a rule without an end is standing, written 400 "
      "days ahead and continued by refresh)"},
     {"--source NAME",
      "the name of a standing rule (default: its description); without --repeat, a two-way "
      "CalDAV source the appointment is added to and written to"}}};
