#include "EditCommand.h"

#include <optional>
#include <ostream>

#include "Clock.h"
#include "CommandSupport.h"
#include "DBCnx.h"
#include "DavSource.h"
#include "MondrelError.h"
#include "SourceRun.h"
#include "ToolTables.h"

namespace {

// The standing repeat rule that wrote row ID, or nothing.
std::optional<TSource> RuleOfRow(const std::string& path, int64_t id) {
    TDBTransaction transaction(path);
    TSqliteDatabase& database = transaction.Database();
    for (const TSource& source : ReadSources(database)) {
        if (source.Kind != RepeatSource) {
            continue;
        }
        for (const TImportRecord& record : ReadImportRecords(database, source.Name)) {
            if (record.RowExists && record.ID == id) {
                return source;
            }
        }
    }
    return std::nullopt;
}

// --series: the rule that wrote the row takes the new time, description, value or script, and
// its open rows nobody edited follow; rows edited one by one, and done ones, stay as they are.
int EditSeries(const TArguments& Args, TToolStreams& Streams, const std::string& path, int64_t id) {
    for (const char* option : {"date", "open", "done"}) {
        if (Args.Has(option)) {
            Args.Fail("--" + std::string(option) +
                      " changes one row: it does not go with --series");
        }
    }
    if (Args.Has("time")) {
        Args.Time("time");
    }
    RequireDatabaseFile(path);
    if (Args.Has("if-match")) {
        InTransaction(path, [&](TDBTransaction& transaction) {
            std::optional<TMondrelDate> row = FindDate(transaction, id);
            if (!row) {
                throw ERowChanged("No appointment with ID " + std::to_string(id) + ".");
            }
            RequireTag(*row, Args.Option("if-match"));
            return 0;
        });
    }
    std::optional<TSource> rule = RuleOfRow(path, id);
    if (!rule) {
        throw EMondrelError("The appointment " + std::to_string(id) +
                            " is no row of a standing repeat rule (`sources` lists them); "
                            "edit it without --series");
    }
    const TCommandGrammar& grammar = KeptGrammar(RepeatSource);
    TArguments kept("edit", grammar, rule->Options);
    std::vector<std::string> options;
    for (const std::string& option : grammar.Options) {
        bool changed = option != "date" && option != "repeat" && Args.Has(option);
        if (changed || kept.Has(option)) {
            options.push_back("--" + option);
            options.push_back(changed ? Args.Option(option) : kept.Option(option));
        }
    }
    rule->Options = options;
    TRunOptions run;
    run.Path = path;
    run.Command = "edit";
    run.From = DateOf(Now());
    run.Until = run.From + DefaultHorizonDays;
    run.Warn = [&](const std::string& message) {
        Streams.Err << "mondrel-db: edit: " << message << '\n';
    };
    const TSourceCounts counts = RunSource(*rule, run).Write.Counts;
    Streams.Out << "Changed the series " << Printable(rule->Name) << ": " << counts.Updated
                << " updated, " << counts.Added << " added, " << counts.Removed << " removed, "
                << counts.Unchanged << " unchanged\n";
    return 0;
}

int Edit(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    int64_t id = Args.Key("ID", Args.Positional("ID"));
    if (Args.Has("series")) {
        bool anySeriesChange = false;
        for (const char* option : {"time", "description", "value", "script"}) {
            anySeriesChange = anySeriesChange || Args.Has(option);
        }
        if (!anySeriesChange) {
            Args.Fail("nothing to change (give --time, --description, --value or --script)");
        }
        return EditSeries(Args, Streams, path, id);
    }
    bool anyChange = false;
    for (const char* option : {"date", "time", "description", "value", "script", "open", "done"}) {
        anyChange = anyChange || Args.Has(option);
    }
    if (!anyChange) {
        Args.Fail(
            "nothing to change (give --date, --time, --description, --value, --script, "
            "--open or --done)");
    }
    if (Args.Has("open") && Args.Has("done")) {
        Args.Fail("give --open or --done, not both");
    }
    // Every option is read before the file is opened: a wrong one changes nothing.
    std::optional<TDateTime> date, timeOfDay;
    if (Args.Has("date")) {
        date = Args.Day("date");
    }
    if (Args.Has("time")) {
        timeOfDay = Args.Time("time");
    }
    RequireDatabaseFile(path);
    TMondrelDate edited =
        InTransaction(path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
            if (!HasDate(transaction, id)) {
                throw ERowChanged("No appointment with ID " + std::to_string(id) + ".");
            }
            TMondrelDate row;
            try {
                row = GetDate(transaction, id);
            } catch (const EConvertError& error) {
                throw EMondrelError("The appointment " + std::to_string(id) + " cannot be read: " +
                                    error.what() + " (remove it, or add it anew)");
            }
            RequireTag(row, Args.Option("if-match"));
            row.Date = date.value_or(row.Date);
            row.Time = timeOfDay.value_or(row.Time);
            for (auto [option, field] :
                 {std::pair{"description", &row.Discription}, std::pair{"value", &row.Value},
                  std::pair{"script", &row.Script}}) {
                if (Args.Has(option)) {
                    *field = Args.Option(option);
                }
            }
            // A done appointment moved to a moment still ahead fires again there, as after an
            // edit in the page; --done and --open still have the last word.
            if (SaveEditedDate(transaction, row, Now())) {
                row.Done = 0;
            }
            if (Args.Has("done")) {
                SetDateDone(transaction, id);
                row.Done = 1;
            } else if (Args.Has("open")) {
                SetDateOpen(transaction, id);
                row.Done = 0;
            }
            return row;
        });
    Streams.Out << "Changed " << AppointmentLine(edited) << '\n';
    return WriteBackRows(path, {id}, Streams);
}

}  // namespace

const TCommand EditCommand = {
    "edit",
    "edit PATH ID [--date YYYY-MM-DD] [--time HH:MM] [--description TEXT] [--value TEXT] "
    "[--script NAME] [--open|--done] [--series] [--if-match TAG]",
    {.Positionals = {"PATH", "ID"},
     .Options = {"date", "time", "description", "value", "script", "if-match"},
     .Switches = {"open", "done", "series"}},
    Edit,
    {{"ID", "the appointment's ID, as `mondrel-db list PATH` shows it"},
     {"--date YYYY-MM-DD", "the new day (default: unchanged, as every option)"},
     {"--time HH:MM", "the new time of day, HH:MM or HH:MM:SS"},
     {"--description TEXT", "the new text Mondrel_TriggerValue takes"},
     {"--value TEXT", "the new value handed to the script"},
     {"--script NAME", "the new script (\"\" for none)"},
     {"--open", "mark it open again, so it fires on its day"},
     {"--done", "mark it done, so it does not fire"},
     {"--series",
      "change the standing repeat rule that wrote the row (time, description, value, script): "
      "its open rows nobody edited follow (default: this row only, which refresh then leaves "
      "alone)"},
     {"--if-match TAG",
      "change nothing unless the row still carries this tag (the web page's check that nobody "
      "changed it meanwhile)"}}};
