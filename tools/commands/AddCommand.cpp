#include "AddCommand.h"

#include <ostream>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "ICalAdapter.h"
#include "ICalendarSupport.h"
#include "TimeText.h"

namespace {

void PrintAdded(std::ostream& out, const TMondrelDate& date) {
    out << "Added " << DateToDBText('-', date.Date) << ' ' << FormatLongTime(date.Time) << ' '
        << Printable(date.Discription) << '\n';
}

// --repeat RULE [--until DAY]: one row per occurrence of the rule from --date on, until --until
// or one year after --date, at most ICalOccurrenceCap rows.
TDates RepeatedDates(const TArguments& Args, const TMondrelDate& first, TToolStreams& Streams) {
    std::string rule = Args.Option("repeat");
    try {
        CheckRepeatRule(rule);
    } catch (const ERepeatRuleError& error) {
        Args.Fail("--repeat '" + rule + "': " + error.what());
    }
    TDateTime until = Args.Has("until") ? Args.Day("until") : OneYearAfter(first.Date);
    if (until < first.Date) {
        Args.Fail("--until " + DateToDBText('-', until) + " is before --date " +
                  DateToDBText('-', first.Date));
    }
    bool capped = false;
    TDates dates;
    for (const TICalStamp& start :
         ExpandRepeatRule(rule, ToStamp(first.Date, first.Time),
                          {ToStamp(first.Date), ToStamp(until)}, capped)) {
        TMondrelDate date = first;
        date.Date = StampDay(start);
        date.Time = StampTime(start);
        dates.push_back(date);
    }
    if (capped) {
        Streams.Err << "mondrel-db: add: the rule gives more than " << ICalOccurrenceCap
                    << " days; the first " << ICalOccurrenceCap << " are added\n";
    }
    return dates;
}

int Add(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    for (const char* required : {"date", "time", "description"}) {
        Args.Required(required);
    }
    TMondrelDate date;
    date.ID = -1;
    date.Date = Args.Day("date");
    date.Time = Args.Time("time");
    date.Discription = Args.Option("description");
    date.Value = Args.Option("value");
    date.Script = Args.Option("script");
    if (!Args.Has("repeat")) {
        if (Args.Has("until")) {
            Args.Fail("--until needs --repeat");
        }
        RequireDatabaseFile(path);
        AddDate(path, date);
        PrintAdded(Streams.Out, date);
        return 0;
    }
    TDates dates = RepeatedDates(Args, date, Streams);
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
    "[--repeat RULE [--until YYYY-MM-DD]]",
    {.Positionals = {"PATH"},
     .Options = {"date", "time", "description", "value", "script", "repeat", "until"}},
    Add};
